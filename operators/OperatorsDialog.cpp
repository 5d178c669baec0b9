#include "operators/OperatorsDialog.h"
#include "data/DataModule.h"
#include "operators/Accounts.h"
#include "widgets/Guard.h"
#include "widgets/RowsModel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

OperatorsDialog::OperatorsDialog(QWidget *parent)
    : ReferenceListDialog(Accounts::users(), parent)
{
    initialPasswordLabel = new QLabel(QStringLiteral("新增的用户初始密码为：") + QString::fromUtf8(Accounts::InitialPassword), entryGroup);
    entryLayout->addWidget(initialPasswordLabel, entryLayout->rowCount(), 0, 1, 4);
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
