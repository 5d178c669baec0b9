#include "operators/Accounts.h"
#include "data/Roles.h"
#include "data/BoundWrite.h"
#include "data/DataModule.h"
#include "db/DbError.h"
#include "db/Numbers.h"
#include "data/PasswordHash.h"
#include "db/Sql.h"

namespace Accounts {

namespace {
BoundWrite::Bound insertUser(const QString &name, const QString &remark, const QString &)
{
    // The initial password is stored as a hash like every other.
    return {QStringLiteral("INSERT INTO SUser (theName, thePass, Remark) VALUES (?, ?, ?) "),
            {name, PasswordHash::make(QString::fromUtf8(InitialPassword)), remark}};
}
} // namespace

const RefLists::ListConfig &users()
{
    static const RefLists::ListConfig s{
        .table = QStringLiteral("SUser"),
        .caption = QStringLiteral("用户设置"),
        .listGroup = QStringLiteral("用户列表信息"),
        .entryGroup = QStringLiteral("用户信息"),
        .nameLabel = QStringLiteral("用  户  名："),
        .nameField = QStringLiteral("用户名"),
        .listStatement = QStringLiteral("SELECT theName AS 用户名, Remark AS 备注, ") + QStringLiteral("ID ") + QStringLiteral("FROM SUser "),
        .widths = {0, 280, -1},
        .savedMessage = QStringLiteral("用户名 保存成功！"),
        .insertStatement = &insertUser,
    };
    return s;
}

bool passwordMatches(const QString &name, const QString &password)
{
    SqlText = QStringLiteral("SELECT thePass ") + QStringLiteral("FROM SUser ") + QStringLiteral("WHERE (theName = '")
        + Sql::esc(name) + QStringLiteral("') AND (thePass IS NOT NULL)");
    const Rows rows = dataModule().query(SqlText);
    for (int r = 0; r < rows.rowCount(); ++r)
        if (PasswordHash::matches(rows.at(r, 0), password))
            return true;
    return false;
}

void setPassword(const QString &name, const QString &password)
{
    Roles::require(name == CurrentUserName ? Roles::Action::OwnPassword : Roles::Action::Operators);
    const BoundWrite::Bound update{QStringLiteral("UPDATE SUser SET thePass = ? WHERE (theName = ?) "),
                                   {PasswordHash::make(password), name}};
    SqlText = BoundWrite::shown(update);
    BoundWrite::run(dataModule().db(), update);
    // The operator deleted or renamed since the login: no password was changed.
    if (dataModule().db().changes() == 0)
        throw AppError(QStringLiteral("操作员“%1”已不存在（可能已被删除或改名），密码没有修改！").arg(name));
}

void saveDefaults(const QString &userId, const QString &paymentMethod, const QString &houseType,
                  const QString &areaName)
{
    Roles::require(Roles::Action::Defaults);
    const BoundWrite::Bound update{QStringLiteral("UPDATE SUser SET theMT = ?, theHT = ?, theAN = ? WHERE (ID = ?)"),
                                   {paymentMethod, houseType, areaName, Sql::id(userId).toLongLong()}};
    SqlText = BoundWrite::shown(update);
    BoundWrite::run(dataModule().db(), update);
    if (dataModule().db().changes() == 0)
        throw AppError(QStringLiteral("当前操作员已不存在（可能已被删除），默认项 没有保存！"));
}

} // namespace Accounts
