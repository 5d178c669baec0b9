#include "charging/ChargeQueryWindow.h"
#include "output/UiSheetOpener.h"

ChargeQueryWindow::ChargeQueryWindow(QWidget *parent)
    : ChargeBrowseWindow(QStringLiteral("收费查询"), true, parent)
{
}

void ChargeQueryWindow::exportToExcel() { exportBrowseList(this, ExportLayouts::chargeQuery()); }
