#include "owners/TfrmUH_M.h"
#include "owners/OwnerEntry.h"
#include "owners/TfrmUH_M1.h"
#include "widgets/DialogRunner.h"
#include "widgets/Guard.h"
#include "browse/QueryModel.h"

#include <QMenu>
#include <QPointer>

TfrmUH_M::TfrmUH_M(QWidget *parent)
    : TfrmUH_Browse(ownerSetup(QStringLiteral("业主管理"), false), parent)
{
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("PopupMenu1"));
    M1 = menu->addAction(QStringLiteral("修改 &M"));
    menu->addSeparator();
    D1 = menu->addAction(QStringLiteral("删除 &D"));
    connect(M1, &QAction::triggered, this, &TfrmUH_M::M1Click);
    connect(D1, &QAction::triggered, this, &TfrmUH_M::D1Click);
    setGridPopup(menu);
}

void TfrmUH_M::M1Click()
{
    if (currentRow() < 0)
        return;
    QPointer<TfrmUH_M1> dialog;
    const bool ready = guard(this, [&] {
        // Owned by this window, so that closing it releases the dialog too.
        dialog = new TfrmUH_M1(this);
        dialog->Opener = this;
        // The house as stored now: the row may be older than a payment taken since.
        dialog->load(currentValue(QStringLiteral("ID")));
    });
    if (ready)
        runModal(dialog);
    // The dialog lives for one change.
    if (dialog)
        dialog->deleteLater();
}

void TfrmUH_M::D1Click()
{
    if (currentRow() < 0)
        return;
    if (!confirmDelete(this))
        return;
    if (guard(this, [&] { OwnerEntry::markDeleted(currentValue(QStringLiteral("ID"))); }))
        myRef();
}
