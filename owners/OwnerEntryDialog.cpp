#include "owners/OwnerEntryDialog.h"
#include "data/DataModule.h"
#include "widgets/DatePicker.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/Guard.h"
#include "widgets/LookupCombo.h"

#include <QCheckBox>
#include <QHBoxLayout>

OwnerEntryDialog::OwnerEntryDialog(QWidget *parent)
    : OwnerDialog(QStringLiteral("业主录入"), QStringLiteral("元/年平方米"), parent)
{
    continuousEntryCheck = new QCheckBox(QStringLiteral("连续新增"), this);
    continuousEntryCheck->setChecked(true);
    static_cast<QHBoxLayout *>(buttonRow())->insertWidget(0, continuousEntryCheck);
    static_cast<QHBoxLayout *>(buttonRow())->insertSpacing(0, 12);
}

void OwnerEntryDialog::showEvent(QShowEvent *event)
{
    OwnerDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        showDefaults();
    }
}

void OwnerEntryDialog::showDefaults()
{
    areaBox->setKeyValue(DefaultAreaName);
    purposeBox->setKeyValue(DefaultHouseType);
    lookUpPrice();
    if (!periodEnd().problem.isEmpty())
        showInfo(this, periodEnd().problem);
}

void OwnerEntryDialog::save()
{
    guard(this, [&] {
        if (!checkRequired())
            return;
        if (!OwnerEntry::add(house())) {
            showInfo(this, QStringLiteral("房号 已经存在！"));
            roomEdit->setFocus();
            return;
        }
        if (continuousEntryCheck->isChecked()) {
            // Ready for the next house of the same area, purpose and paid-up date.
            for (GbkLineEdit *e : {roomEdit, floorAreaEdit, priceEdit, ownerEdit, phoneEdit, remarkEdit})
                e->clear();
            roomEdit->setFocus();
            return;
        }
        showInfo(this, QStringLiteral("业主信息 保存成功！"));
        accept();
    });
}
