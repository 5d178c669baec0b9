#include "owners/OwnerBrowseWindow.h"
#include "owners/OwnerStatements.h"
#include "charging/ChargeEntryDialog.h"
#include "data/DataModule.h"
#include "data/Roles.h"
#include "report/UiReportPreview.h"
#include "widgets/DialogRunner.h"
#include "widgets/Guard.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

#include <QCheckBox>
#include <QLineEdit>

BrowseSetup OwnerBrowseWindow::ownerSetup(const QString &caption, bool excel)
{
    BrowseSetup s;
    s.caption = caption;
    s.criteria = OwnerStatements::criteria();
    s.excel = excel;
    s.widths = {{QStringLiteral("面积"), 60}, {QStringLiteral("单价"), 60}, {QStringLiteral("备注"), 120}};
    s.sums = {{QStringLiteral("面积"), QStringLiteral("面积：")}};
    return s;
}

OwnerBrowseWindow::OwnerBrowseWindow(const BrowseSetup &setup, QWidget *parent)
    : BrowseWindow(setup, parent)
{
    areaCheck = checkBox(1);
    roomCheck = checkBox(2);
    purposeCheck = checkBox(3);
    ownerCheck = checkBox(4);
    phoneCheck = checkBox(5);
    remarkCheck = checkBox(6);
    areaBox = lookup(1);
    purposeBox = lookup(2);
    roomEdit = edit(1);
    ownerEdit = edit(2);
    phoneEdit = edit(3);
    remarkEdit = edit(4);

    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("gridMenu"));
    chargeAction = menu->addAction(QStringLiteral("收费 &S"));
    chargeAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    chargeAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    chargeAction->setEnabled(Roles::currentMay(Roles::Action::Charge));
    addAction(chargeAction);
    connect(chargeAction, &QAction::triggered, this, &OwnerBrowseWindow::chargeHouse);
    setGridPopup(menu);
}

void OwnerBrowseWindow::chargeHouse()
{
    if (currentRow() < 0 || !chargeAction->isEnabled())
        return;
    QPointer<ChargeEntryDialog> dialog;
    const bool ready = guard(this, [&] {
        ensurePrintPreview(); // every save shows its receipt
        dialog = new ChargeEntryDialog(this);
        dialog->loadHouse(currentValue(QStringLiteral("小区名称")), currentValue(QStringLiteral("房号")));
    });
    if (ready)
        runModal(dialog);
    // A payment moved the house's paid-up date: the list shows the new one.
    const bool charged = dialog && dialog->savedPayments > 0;
    if (dialog)
        dialog->deleteLater();
    if (charged)
        requery();
}

QString OwnerBrowseWindow::listSql() const
{
    return OwnerStatements::list(conditions);
}

QString OwnerBrowseWindow::totalsSql() const
{
    return OwnerStatements::totals(dataModule().db(), conditions);
}

QVector<ListKey> OwnerBrowseWindow::listOrder() const
{
    return OwnerStatements::order();
}

QString OwnerBrowseWindow::countSql(const QString &) const
{
    return OwnerStatements::count(conditions);
}
