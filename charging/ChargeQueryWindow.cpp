#include "charging/TfrmUCharge_Q.h"
#include "output/UiSheetOpener.h"

TfrmUCharge_Q::TfrmUCharge_Q(QWidget *parent)
    : TfrmUCharge_Browse(QStringLiteral("收费查询"), true, parent)
{
}

void TfrmUCharge_Q::BitBtn3Click() { exportBrowseList(this, ExportLayouts::chargeQuery()); }
