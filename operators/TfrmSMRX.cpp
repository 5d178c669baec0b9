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
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowTitle(QStringLiteral("默认项设置"));
    setModal(true);
    setFixedSize(760, 160);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(14);
    setFont(f);

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

    BitBtn1 = new QPushButton(QStringLiteral("保存"), this);
    BitBtn2 = new QPushButton(QStringLiteral("退出"), this);
    BitBtn1->setAutoDefault(false);
    BitBtn2->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addSpacing(20);
    buttons->addWidget(BitBtn2);
    buttons->addStretch();

    auto *v = new QVBoxLayout(this);
    v->addWidget(GroupBox1, 1);
    v->addLayout(buttons);

    connect(BitBtn1, &QPushButton::clicked, this, &TfrmSMRX::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::close);

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

void TfrmSMRX::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
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
