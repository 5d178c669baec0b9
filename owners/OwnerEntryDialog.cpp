#include "owners/TfrmUH_In.h"
#include "data/TfrmDM.h"
#include "widgets/DatePicker.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/Guard.h"
#include "widgets/LookupCombo.h"

#include <QCheckBox>
#include <QHBoxLayout>

TfrmUH_In::TfrmUH_In(QWidget *parent)
    : TfrmUH_Edit(QStringLiteral("业主录入"), QStringLiteral("元/年平方米"), parent)
{
    CheckBox1 = new QCheckBox(QStringLiteral("连续新增"), this);
    CheckBox1->setChecked(true);
    static_cast<QHBoxLayout *>(buttonRow())->insertWidget(0, CheckBox1);
    static_cast<QHBoxLayout *>(buttonRow())->insertSpacing(0, 12);
}

void TfrmUH_In::showEvent(QShowEvent *event)
{
    TfrmUH_Edit::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TfrmUH_In::FormShow()
{
    DBLookupComboBox1->setKeyValue(DefaultAreaName);
    DBLookupComboBox2->setKeyValue(DefaultHouseType);
    DBLookupComboBox2Click();
    if (!periodEnd().problem.isEmpty())
        showInfo(this, periodEnd().problem);
}

void TfrmUH_In::BitBtn1Click()
{
    guard(this, [&] {
        if (!checkRequired())
            return;
        if (!OwnerEntry::add(house())) {
            showInfo(this, QStringLiteral("房号 已经存在！"));
            Edit1->setFocus();
            return;
        }
        if (CheckBox1->isChecked()) {
            // Ready for the next house of the same area, purpose and paid-up date.
            for (GbkLineEdit *e : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6})
                e->clear();
            Edit1->setFocus();
            return;
        }
        showInfo(this, QStringLiteral("业主信息 保存成功！"));
        accept();
    });
}
