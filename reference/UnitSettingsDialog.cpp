#include "reference/TfrmSDept.h"
#include "data/Numbers.h"
#include "data/TfrmDM.h"
#include "reference/UnitSettings.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/Guard.h"
#include "widgets/RangeSpinBox.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfrmSDept::TfrmSDept(QWidget *parent)
    : FixedDialog(parent, QStringLiteral("使用单位设置"), 520, 197)
{
    GroupBox1 = new QGroupBox(QStringLiteral("使用单位设置"), this);
    auto *grid = new QGridLayout(GroupBox1);
    Edit1 = new GbkLineEdit(GroupBox1);
    Edit1->setByteLimit(50);
    auto *nameLabel = new QLabel(QStringLiteral("单位名称："), GroupBox1);
    nameLabel->setBuddy(Edit1);
    grid->addWidget(nameLabel, 0, 0);
    grid->addWidget(Edit1, 0, 1);

    SpinEdit1 = new RangeSpinBox(1, 12, GroupBox1);
    SpinEdit2 = new RangeSpinBox(1, 31, GroupBox1);
    SpinEdit3 = new RangeSpinBox(1, 12, GroupBox1);
    SpinEdit4 = new RangeSpinBox(1, 31, GroupBox1);
    const int starts[4] = {10, 10, 4, 10};
    RangeSpinBox *spins[4] = {SpinEdit1, SpinEdit2, SpinEdit3, SpinEdit4};
    const char *after[4] = {"月", "日，至下年", "月", "日"};
    auto *period = new QHBoxLayout;
    for (int i = 0; i < 4; ++i) {
        spins[i]->setValue(starts[i]);
        spins[i]->setFixedWidth(56);
        period->addWidget(spins[i]);
        period->addWidget(new QLabel(QString::fromUtf8(after[i]), GroupBox1));
    }
    period->addStretch();
    auto *periodLabel = new QLabel(QStringLiteral("收费周期："), GroupBox1);
    periodLabel->setBuddy(SpinEdit1);
    grid->addWidget(periodLabel, 1, 0);
    grid->addLayout(period, 1, 1);

    QHBoxLayout *buttons = saveQuitButtons(BitBtn1, BitBtn2);

    auto *v = new QVBoxLayout(this);
    v->addWidget(GroupBox1, 1);
    v->addLayout(buttons);

    setTabOrder(Edit1, SpinEdit1);
    setTabOrder(SpinEdit1, SpinEdit2);
    setTabOrder(SpinEdit2, SpinEdit3);
    setTabOrder(SpinEdit3, SpinEdit4);
    setTabOrder(SpinEdit4, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    connect(BitBtn1, &QPushButton::clicked, this, &TfrmSDept::BitBtn1Click);
}

namespace {
// A stored number far outside any range still lands on the nearest bound of its box.
int wholeNumber(const QString &text)
{
    return int(qBound(qint64(-1000000), Numbers::toInt(text), qint64(1000000)));
}
} // namespace

void TfrmSDept::FormShow()
{
    // The values read at start-up; a period that is not whole numbers (no unit row) is
    // reported, the boxes filled up to the faulty one.
    guard(this, [&] {
        Edit1->setText(UnitName);
        SpinEdit1->setValue(wholeNumber(PeriodBeginMonth));
        SpinEdit2->setValue(wholeNumber(PeriodBeginDay));
        SpinEdit3->setValue(wholeNumber(PeriodEndMonth));
        SpinEdit4->setValue(wholeNumber(PeriodEndDay));
    });
}

void TfrmSDept::BitBtn1Click()
{
    guard(this, [&] {
        UnitSettings::Period p;
        p.beginMonth = SpinEdit1->settledValue();
        p.beginDay = SpinEdit2->settledValue();
        p.endMonth = SpinEdit3->settledValue();
        p.endDay = SpinEdit4->settledValue();
        UnitSettings::save(Edit1->text(), p);
        showInfo(this, QStringLiteral("使用单位 保存成功，请重新登录系统！"));
        quitProgram();
        accept();
    });
}
