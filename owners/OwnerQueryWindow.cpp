#include "owners/OwnerQueryWindow.h"
#include "output/UiSheetOpener.h"

OwnerQueryWindow::OwnerQueryWindow(QWidget *parent)
    : OwnerBrowseWindow(ownerSetup(QStringLiteral("业主查询"), true), parent)
{
    // "Excel": the listed owners and their area total to a new workbook "业主报表".
    connect(this, &BrowseWindow::excelRequested, this, [this] { exportBrowseList(this, ExportLayouts::ownerQuery()); });
}
