#include "charging/ChargeManagementWindow.h"
#include "output/PrintModule.h"
#include "widgets/DialogParent.h"
#include "widgets/Guard.h"
#include "browse/QueryModel.h"

#include <QMenu>

ChargeManagementWindow::ChargeManagementWindow(QWidget *parent)
    : ChargeBrowseWindow(QStringLiteral("收费管理"), false, parent)
{
    auto *menu = new QMenu(this);
    printAction = menu->addAction(QStringLiteral("打印 &P"));
    connect(printAction, &QAction::triggered, this, &ChargeManagementWindow::reprintReceipt);
    setGridPopup(menu);
}

void ChargeManagementWindow::reprintReceipt()
{
    guard(this, [&] {
        if (listModel->rowCount() == 0)
            return;
        const AskingWindow asking(this);
        printModule().printReceipt(currentValue(QStringLiteral("单号")));
    });
}
