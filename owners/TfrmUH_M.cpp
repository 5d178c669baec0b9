#include "owners/TfrmUH_M.h"
#include "data/Dates.h"
#include "owners/OwnerEntry.h"
#include "owners/TfrmUH_M1.h"
#include "widgets/DatePicker.h"
#include "widgets/DialogRunner.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/Guard.h"
#include "widgets/LookupCombo.h"
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
        dialog->HouseId = currentValue(QStringLiteral("ID"));
        dialog->DBLookupComboBox1->setKeyValue(currentValue(QStringLiteral("小区名称")));
        dialog->DBLookupComboBox2->setKeyValue(currentValue(QStringLiteral("房屋用途")));
        dialog->Edit1->setText(currentValue(QStringLiteral("房号")));
        dialog->Edit2->setText(currentValue(QStringLiteral("面积")));
        dialog->Edit3->setText(currentValue(QStringLiteral("单价")));
        // A paid-up date that is no date (a spreadsheet can bring one) must not lock the
        // house against the very dialog that corrects it: the picker keeps its default.
        const QString endDate = currentValue(QStringLiteral("到期日期"));
        const QDate end = Dates::tryParse(endDate);
        if (end.isValid())
            dialog->DateTimePicker1->setDateQuietly(end);
        else
            showInfo(this, QStringLiteral("到期日期“%1”不是有效的日期，请重新选择。").arg(endDate));
        dialog->Edit4->setText(currentValue(QStringLiteral("业主名称")));
        dialog->Edit5->setText(currentValue(QStringLiteral("手机号码")));
        dialog->Edit6->setText(currentValue(QStringLiteral("备注")));
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
