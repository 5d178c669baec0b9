#include "reference/UnitSettingsDialog.h"
#include "data/DataModule.h"
#include "db/Numbers.h"
#include "reference/UnitSettings.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/Guard.h"
#include "widgets/RangeSpinBox.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

UnitSettingsDialog::UnitSettingsDialog(QWidget *parent)
    : FixedDialog(parent, QStringLiteral("使用单位设置"), 520, 250)
{
    unitGroup = new QGroupBox(QStringLiteral("使用单位设置"), this);
    auto *grid = new QGridLayout(unitGroup);
    unitNameEdit = new GbkLineEdit(unitGroup);
    unitNameEdit->setByteLimit(50);
    auto *nameLabel = new QLabel(QStringLiteral("单位名称："), unitGroup);
    nameLabel->setBuddy(unitNameEdit);
    grid->addWidget(nameLabel, 0, 0);
    grid->addWidget(unitNameEdit, 0, 1);

    beginMonthSpin = new RangeSpinBox(1, 12, unitGroup);
    beginDaySpin = new RangeSpinBox(1, 31, unitGroup);
    endMonthSpin = new RangeSpinBox(1, 12, unitGroup);
    endDaySpin = new RangeSpinBox(1, 31, unitGroup);
    const int starts[4] = {10, 10, 4, 10};
    RangeSpinBox *spins[4] = {beginMonthSpin, beginDaySpin, endMonthSpin, endDaySpin};
    const char *after[4] = {"月", "日，至下年", "月", "日"};
    auto *period = new QHBoxLayout;
    for (int i = 0; i < 4; ++i) {
        spins[i]->setValue(starts[i]);
        spins[i]->setFixedWidth(56);
        period->addWidget(spins[i]);
        period->addWidget(new QLabel(QString::fromUtf8(after[i]), unitGroup));
    }
    period->addStretch();
    auto *periodLabel = new QLabel(QStringLiteral("收费周期："), unitGroup);
    periodLabel->setBuddy(beginMonthSpin);
    grid->addWidget(periodLabel, 1, 0);
    grid->addLayout(period, 1, 1);
    reprintMarkCheck = new QCheckBox(QStringLiteral("补打收据注明补打（及补打时间）"), unitGroup);
    grid->addWidget(reprintMarkCheck, 2, 1);
    anyDateBox = new QCheckBox(QStringLiteral("允许所有操作员选择收费日期"), unitGroup);
    grid->addWidget(anyDateBox, 3, 1);

    QHBoxLayout *buttons = saveQuitButtons(saveButton, closeButton);

    auto *v = new QVBoxLayout(this);
    v->addWidget(unitGroup, 1);
    v->addLayout(buttons);

    setTabOrder(unitNameEdit, beginMonthSpin);
    setTabOrder(beginMonthSpin, beginDaySpin);
    setTabOrder(beginDaySpin, endMonthSpin);
    setTabOrder(endMonthSpin, endDaySpin);
    setTabOrder(endDaySpin, reprintMarkCheck);
    setTabOrder(reprintMarkCheck, anyDateBox);
    setTabOrder(anyDateBox, saveButton);
    setTabOrder(saveButton, closeButton);

    connect(saveButton, &QPushButton::clicked, this, &UnitSettingsDialog::save);
}

namespace {
// A stored number far outside any range still lands on the nearest bound of its box.
int wholeNumber(const QString &text)
{
    return int(qBound(qint64(-1000000), Numbers::toInt(text), qint64(1000000)));
}
} // namespace

void UnitSettingsDialog::onFirstShow()
{
    // The values read at start-up; a period that is not whole numbers (no unit row) is
    // reported, the boxes filled up to the faulty one.
    guard(this, [&] {
        unitNameEdit->setText(UnitName);
        beginMonthSpin->setValue(wholeNumber(PeriodBeginMonth));
        beginDaySpin->setValue(wholeNumber(PeriodBeginDay));
        endMonthSpin->setValue(wholeNumber(PeriodEndMonth));
        endDaySpin->setValue(wholeNumber(PeriodEndDay));
        reprintMarkCheck->setChecked(UnitSettings::reprintMark());
        anyDateBox->setChecked(UnitSettings::anyDate());
    });
}

void UnitSettingsDialog::save()
{
    guard(this, [&] {
        UnitSettings::Period p;
        p.beginMonth = beginMonthSpin->settledValue();
        p.beginDay = beginDaySpin->settledValue();
        p.endMonth = endMonthSpin->settledValue();
        p.endDay = endDaySpin->settledValue();
        UnitSettings::save(unitNameEdit->text(), p, {reprintMarkCheck->isChecked(), anyDateBox->isChecked()});
        showInfo(this, QStringLiteral("使用单位 保存成功，请重新登录系统！"));
        quitProgram();
        accept();
    });
}
