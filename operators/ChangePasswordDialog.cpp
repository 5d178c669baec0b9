#include "operators/ChangePasswordDialog.h"
#include "data/DataModule.h"
#include "operators/Accounts.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/Guard.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

ChangePasswordDialog::ChangePasswordDialog(QWidget *parent)
    : FixedDialog(parent, QStringLiteral("修改密码"), 300, 230)
{
    passwordGroup = new QGroupBox(QStringLiteral("修改密码"), this);
    auto *grid = new QGridLayout(passwordGroup);
    const char *labels[3] = {"原  密  码：", "新  密  码：", "确认密码："};
    GbkLineEdit **edits[3] = {&oldPasswordEdit, &newPasswordEdit, &confirmPasswordEdit};
    for (int i = 0; i < 3; ++i) {
        auto *e = new GbkLineEdit(passwordGroup);
        e->setByteLimit(12);
        e->setPasswordMode();
        *edits[i] = e;
        auto *l = new QLabel(QString::fromUtf8(labels[i]), passwordGroup);
        l->setBuddy(e);
        grid->addWidget(l, i, 0);
        grid->addWidget(e, i, 1);
    }

    QHBoxLayout *buttons = saveQuitButtons(saveButton, closeButton);

    auto *v = new QVBoxLayout(this);
    v->addWidget(passwordGroup, 1);
    v->addLayout(buttons);

    setTabOrder(oldPasswordEdit, newPasswordEdit);
    setTabOrder(newPasswordEdit, confirmPasswordEdit);
    setTabOrder(confirmPasswordEdit, saveButton);
    setTabOrder(saveButton, closeButton);

    connect(saveButton, &QPushButton::clicked, this, &ChangePasswordDialog::save);
}

void ChangePasswordDialog::onFirstShow()
{
    oldPasswordEdit->setFocus();
}

void ChangePasswordDialog::save()
{
    guard(this, [&] {
        // The database compares the old password, ignoring letter case.
        if (!Accounts::passwordMatches(CurrentUserName, oldPasswordEdit->text())) {
            showInfo(this, QStringLiteral("原密码 错误，请重新录入！"));
            oldPasswordEdit->clear();
            oldPasswordEdit->setFocus();
            return;
        }
        // The typed texts are compared exactly: a change of letter case is a new password.
        if (newPasswordEdit->text() == oldPasswordEdit->text()) {
            showInfo(this, QStringLiteral("新密码 不能和 原密码 一致，请重新录入！"));
            newPasswordEdit->clear();
            newPasswordEdit->setFocus();
            return;
        }
        if (newPasswordEdit->text() != confirmPasswordEdit->text()) {
            showInfo(this, QStringLiteral("新密码 和 确认密码 不一致，请重新录入！"));
            newPasswordEdit->clear();
            confirmPasswordEdit->clear();
            newPasswordEdit->setFocus();
            return;
        }
        Accounts::setPassword(CurrentUserName, confirmPasswordEdit->text());
        showInfo(this, QStringLiteral("密码修改成功，请重新打开软件！"));
        // The login state still holds the old values: the program ends and starts afresh.
        quitProgram();
        accept();
    });
}
