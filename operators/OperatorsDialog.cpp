#include "operators/OperatorsDialog.h"
#include "data/DataModule.h"
#include "data/Roles.h"
#include "operators/Accounts.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/Guard.h"
#include "widgets/RowsModel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

OperatorsDialog::OperatorsDialog(QWidget *parent)
    : ReferenceListDialog(Accounts::users(), parent)
{
    const int row = entryLayout->rowCount();
    auto *roleLabel = new QLabel(QStringLiteral("角        色："), entryGroup);
    roleBox = new QComboBox(entryGroup);
    roleBox->addItems(Roles::names());
    roleLabel->setBuddy(roleBox);
    roleButton = new QPushButton(QStringLiteral("设置角色"), entryGroup);
    roleButton->setAutoDefault(false);
    entryLayout->addWidget(roleLabel, row, 0);
    entryLayout->addWidget(roleBox, row, 1);
    entryLayout->addWidget(roleButton, row, 2);
    initialPasswordLabel = new QLabel(QStringLiteral("新增的用户初始密码为：") + QString::fromUtf8(Accounts::InitialPassword), entryGroup);
    entryLayout->addWidget(initialPasswordLabel, entryLayout->rowCount(), 0, 1, 4);
    setTabOrder(remarkEdit, roleBox);
    setTabOrder(roleBox, roleButton);
    setTabOrder(roleButton, saveButton);
    connect(roleButton, &QPushButton::clicked, this, &OperatorsDialog::setRoleOfCurrent);
}

QString OperatorsDialog::thirdValue() const { return roleBox->currentText(); }

void OperatorsDialog::setRoleOfCurrent()
{
    guard(this, [&] {
        if (listRows->rowCount() == 0)
            return;
        const QString name = listRows->rows().at(currentRow(), QStringLiteral("用户名"));
        Accounts::setRole(name, roleBox->currentText());
        showInfo(this, QStringLiteral("操作员 %1 的角色已设为 %2！").arg(name, roleBox->currentText()));
        refreshList();
    });
}

bool OperatorsDialog::mayDelete(int row)
{
    // Exact comparison: only the very name the operator logged in with is protected.
    const QString name = listRows->rows().at(row, QStringLiteral("用户名"));
    if (name == CurrentUserName) {
        showInfo(this, QStringLiteral("不能删除当前登录的用户！"));
        return false;
    }
    return ReferenceListDialog::mayDelete(row);
}
