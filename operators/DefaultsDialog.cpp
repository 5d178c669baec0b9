#include "operators/TfrmSMRX.h"
#include "data/TfrmDM.h"
#include "operators/Accounts.h"
#include "widgets/Guard.h"
#include "widgets/LookupCombo.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfrmSMRX::TfrmSMRX(QWidget *parent)
    : FixedDialog(parent, QStringLiteral("默认项设置"), 760, 160)
{
    GroupBox1 = new QGroupBox(QStringLiteral("默认项设置"), this);
    auto *row = new QHBoxLayout(GroupBox1);
    const char *labels[3] = {"收款方式：", "房屋用途：", "小区名称："};
    LookupCombo **boxes[3] = {&DBLookupComboBox1, &DBLookupComboBox2, &DBLookupComboBox3};
    for (int i = 0; i < 3; ++i) {
        auto *c = new LookupCombo(GroupBox1);
        c->setMinimumWidth(140);
        *boxes[i] = c;
        auto *l = new QLabel(QString::fromUtf8(labels[i]), GroupBox1);
        l->setBuddy(c);
        if (i > 0)
            row->addSpacing(16);
        row->addWidget(l);
        row->addWidget(c, 1);
    }

    QHBoxLayout *buttons = saveQuitButtons(BitBtn1, BitBtn2);

    auto *v = new QVBoxLayout(this);
    v->addWidget(GroupBox1, 1);
    v->addLayout(buttons);

    connect(BitBtn1, &QPushButton::clicked, this, &TfrmSMRX::BitBtn1Click);

    FormCreate();
}

void TfrmSMRX::FormCreate()
{
    guard(this, [&] {
        DBLookupComboBox1->bind(frmDM().DBComSMType());
        DBLookupComboBox2->bind(frmDM().DBComSPrice());
        DBLookupComboBox3->bind(frmDM().DBComSArea());
    });
}

void TfrmSMRX::FormShow()
{
    // A default that is empty or no longer listed leaves its box without a choice.
    DBLookupComboBox1->setKeyValue(DefaultPaymentMethod);
    DBLookupComboBox2->setKeyValue(DefaultHouseType);
    DBLookupComboBox3->setKeyValue(DefaultAreaName);
}

void TfrmSMRX::BitBtn1Click()
{
    guard(this, [&] {
        Accounts::saveDefaults(CurrentUserId, DBLookupComboBox1->text(), DBLookupComboBox2->text(),
                               DBLookupComboBox3->text());
        showInfo(this, QStringLiteral("默认项 保存成功，请重新登录系统！"));
        quitProgram();
        accept();
    });
}
