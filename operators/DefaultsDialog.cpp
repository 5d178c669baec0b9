#include "operators/DefaultsDialog.h"
#include "data/DataModule.h"
#include "operators/Accounts.h"
#include "widgets/Guard.h"
#include "widgets/LookupCombo.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

DefaultsDialog::DefaultsDialog(QWidget *parent)
    : FixedDialog(parent, QStringLiteral("默认项设置"), 760, 160)
{
    defaultsGroup = new QGroupBox(QStringLiteral("默认项设置"), this);
    auto *row = new QHBoxLayout(defaultsGroup);
    const char *labels[3] = {"收款方式：", "房屋用途：", "小区名称："};
    LookupCombo **boxes[3] = {&paymentMethodBox, &purposeBox, &areaBox};
    for (int i = 0; i < 3; ++i) {
        auto *c = new LookupCombo(defaultsGroup);
        c->setMinimumWidth(140);
        *boxes[i] = c;
        auto *l = new QLabel(QString::fromUtf8(labels[i]), defaultsGroup);
        l->setBuddy(c);
        if (i > 0)
            row->addSpacing(16);
        row->addWidget(l);
        row->addWidget(c, 1);
    }

    QHBoxLayout *buttons = saveQuitButtons(saveButton, closeButton);

    auto *v = new QVBoxLayout(this);
    v->addWidget(defaultsGroup, 1);
    v->addLayout(buttons);

    connect(saveButton, &QPushButton::clicked, this, &DefaultsDialog::save);

    loadLists();
}

void DefaultsDialog::loadLists()
{
    guard(this, [&] {
        paymentMethodBox->bind(dataModule().paymentMethodList());
        purposeBox->bind(dataModule().purposeList());
        areaBox->bind(dataModule().areaList());
    });
}

void DefaultsDialog::onFirstShow()
{
    // A default that is empty or no longer listed leaves its box without a choice.
    paymentMethodBox->setKeyValue(DefaultPaymentMethod);
    purposeBox->setKeyValue(DefaultHouseType);
    areaBox->setKeyValue(DefaultAreaName);
}

void DefaultsDialog::save()
{
    guard(this, [&] {
        Accounts::saveDefaults(CurrentUserId, paymentMethodBox->text(), purposeBox->text(),
                               areaBox->text());
        showInfo(this, QStringLiteral("默认项 保存成功，请重新登录系统！"));
        quitProgram();
        accept();
    });
}
