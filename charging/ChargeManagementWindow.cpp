#include "charging/TfrmUCharge_M.h"
#include "output/TfrmDMP.h"
#include "widgets/DialogParent.h"
#include "widgets/Guard.h"
#include "browse/QueryModel.h"

#include <QMenu>

TfrmUCharge_M::TfrmUCharge_M(QWidget *parent)
    : TfrmUCharge_Browse(QStringLiteral("收费管理"), false, parent)
{
    auto *menu = new QMenu(this);
    P1 = menu->addAction(QStringLiteral("打印 &P"));
    connect(P1, &QAction::triggered, this, &TfrmUCharge_M::P1Click);
    setGridPopup(menu);
}

void TfrmUCharge_M::P1Click()
{
    guard(this, [&] {
        if (ADOQuery1->rowCount() == 0)
            return;
        const AskingWindow asking(this);
        frmDMP().PrintCNF(currentValue(QStringLiteral("单号")));
    });
}
