#include "charging/ChargeManagementWindow.h"
#include "charging/ChargeStatements.h"
#include "output/PrintModule.h"
#include "widgets/DialogParent.h"
#include "widgets/Guard.h"
#include "browse/QueryModel.h"

#include <QMenu>
#include <QTableView>

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
        printModule().reprintReceipt(currentValue(QStringLiteral("单号")));
        // The new count shows at once, on the same row.
        const int row = listGrid->currentIndex().row();
        if (requery() && row >= 0 && row < listModel->rowCount())
            listGrid->setCurrentIndex(listModel->index(row, 0));
    });
}

QString ChargeManagementWindow::listSql() const { return ChargeStatements::list(conditions, true); }
