#include "operators/TfrmUser.h"
#include "data/TfrmDM.h"
#include "operators/Accounts.h"
#include "widgets/Guard.h"
#include "widgets/RowsModel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

TfrmUser::TfrmUser(QWidget *parent)
    : TfrmRefList(Accounts::users(), parent)
{
    Label3 = new QLabel(QStringLiteral("新增的用户初始密码为：") + QString::fromUtf8(Accounts::InitialPassword), GroupBox2);
    EntryLayout->addWidget(Label3, EntryLayout->rowCount(), 0, 1, 4);
}

bool TfrmUser::mayDelete(int row)
{
    // Exact comparison: only the very name the operator logged in with is protected.
    const QString name = DataSource1->rows().at(row, QStringLiteral("用户名"));
    if (name == CurrentUserName) {
        showInfo(this, QStringLiteral("不能删除当前登录的用户！"));
        return false;
    }
    return TfrmRefList::mayDelete(row);
}
