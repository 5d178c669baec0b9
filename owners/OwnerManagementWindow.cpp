#include "owners/OwnerManagementWindow.h"
#include "owners/OwnerEntry.h"
#include "owners/OwnerModifyDialog.h"
#include "owners/SuspendDialog.h"
#include "data/DataModule.h"
#include "data/OfficeRules.h"
#include "data/Roles.h"
#include "widgets/DialogRunner.h"
#include "widgets/Guard.h"
#include "browse/QueryModel.h"

#include <QMenu>
#include <QPointer>

OwnerManagementWindow::OwnerManagementWindow(QWidget *parent)
    : OwnerBrowseWindow(ownerSetup(QStringLiteral("业主管理"), false), parent)
{
    // After 收费 from the owner lists.
    QMenu *menu = gridMenu;
    menu->addSeparator();
    modifyAction = menu->addAction(QStringLiteral("修改 &M"));
    menu->addSeparator();
    deleteAction = menu->addAction(QStringLiteral("删除 &D"));
    connect(modifyAction, &QAction::triggered, this, &OwnerManagementWindow::modifyOwner);
    connect(deleteAction, &QAction::triggered, this, &OwnerManagementWindow::deleteOwner);
    // 报停 only where the office has switched it on: an office without it keeps its menu.
    bool suspending = false;
    try {
        suspending = OfficeRules::settings(dataModule().db()).suspend;
    } catch (const AppError &) {
    }
    if (suspending) {
        menu->addSeparator();
        suspendAction = menu->addAction(QStringLiteral("报停 &T"));
        suspendAction->setEnabled(Roles::currentMay(Roles::Action::Owners));
        connect(suspendAction, &QAction::triggered, this, &OwnerManagementWindow::suspendHouse);
    }
}

void OwnerManagementWindow::suspendHouse()
{
    if (currentRow() < 0)
        return;
    QPointer<SuspendDialog> dialog;
    const bool ready = guard(this, [&] {
        dialog = new SuspendDialog(this);
        dialog->load(currentValue(QStringLiteral("ID")));
    });
    if (ready)
        runModal(dialog);
    if (dialog)
        dialog->deleteLater();
}

void OwnerManagementWindow::modifyOwner()
{
    if (currentRow() < 0)
        return;
    QPointer<OwnerModifyDialog> dialog;
    const bool ready = guard(this, [&] {
        // Owned by this window, so that closing it releases the dialog too.
        dialog = new OwnerModifyDialog(this);
        dialog->opener = this;
        // The house as stored now: the row may be older than a payment taken since.
        dialog->load(currentValue(QStringLiteral("ID")));
    });
    if (ready)
        runModal(dialog);
    // The dialog lives for one change.
    if (dialog)
        dialog->deleteLater();
}

void OwnerManagementWindow::deleteOwner()
{
    if (currentRow() < 0)
        return;
    if (!confirmDelete(this))
        return;
    if (guard(this, [&] { OwnerEntry::markDeleted(currentValue(QStringLiteral("ID"))); }))
        requery();
}
