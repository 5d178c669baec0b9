#include "operators/TfrmCPass.h"
#include "data/TfrmDM.h"
#include "operators/Accounts.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/Guard.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfrmCPass::TfrmCPass(QWidget *parent)
    : FixedDialog(parent, QStringLiteral("修改密码"), 300, 230)
{
    GroupBox1 = new QGroupBox(QStringLiteral("修改密码"), this);
    auto *grid = new QGridLayout(GroupBox1);
    const char *labels[3] = {"原  密  码：", "新  密  码：", "确认密码："};
    GbkLineEdit **edits[3] = {&Edit1, &Edit2, &Edit3};
    for (int i = 0; i < 3; ++i) {
        auto *e = new GbkLineEdit(GroupBox1);
        e->setByteLimit(12);
        e->setPasswordMode();
        *edits[i] = e;
        auto *l = new QLabel(QString::fromUtf8(labels[i]), GroupBox1);
        l->setBuddy(e);
        grid->addWidget(l, i, 0);
        grid->addWidget(e, i, 1);
    }

    QHBoxLayout *buttons = saveQuitButtons(BitBtn1, BitBtn2);

    auto *v = new QVBoxLayout(this);
    v->addWidget(GroupBox1, 1);
    v->addLayout(buttons);

    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, Edit3);
    setTabOrder(Edit3, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    connect(BitBtn1, &QPushButton::clicked, this, &TfrmCPass::BitBtn1Click);
}

void TfrmCPass::FormShow()
{
    Edit1->setFocus();
}

void TfrmCPass::BitBtn1Click()
{
    guard(this, [&] {
        // The database compares the old password, ignoring letter case.
        if (!Accounts::passwordMatches(CurrentUserName, Edit1->text())) {
            showInfo(this, QStringLiteral("原密码 错误，请重新录入！"));
            Edit1->clear();
            Edit1->setFocus();
            return;
        }
        // The typed texts are compared exactly: a change of letter case is a new password.
        if (Edit2->text() == Edit1->text()) {
            showInfo(this, QStringLiteral("新密码 不能和 原密码 一致，请重新录入！"));
            Edit2->clear();
            Edit2->setFocus();
            return;
        }
        if (Edit2->text() != Edit3->text()) {
            showInfo(this, QStringLiteral("新密码 和 确认密码 不一致，请重新录入！"));
            Edit2->clear();
            Edit3->clear();
            Edit2->setFocus();
            return;
        }
        Accounts::setPassword(CurrentUserName, Edit3->text());
        showInfo(this, QStringLiteral("密码修改成功，请重新打开软件！"));
        // The login state still holds the old values: the program ends and starts afresh.
        quitProgram();
        accept();
    });
}
