#include "operators/Accounts.h"
#include "data/DataModule.h"
#include "db/DbError.h"
#include "db/Numbers.h"
#include "data/PasswordHash.h"
#include "db/Sql.h"

namespace Accounts {

namespace {
QString insertUser(const QString &name, const QString &remark, const QString &)
{
    // The initial password is stored as a hash like every other.
    return QStringLiteral("INSERT INTO SUser (theName, thePass, Remark) VALUES ('") + Sql::esc(name)
        + QStringLiteral("', '") + PasswordHash::make(QString::fromUtf8(InitialPassword)) + QStringLiteral("', '")
        + Sql::esc(remark) + QStringLiteral("') ");
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
    // The hash holds only the characters base64 uses and "$": nothing to escape.
    SqlText = QStringLiteral("UPDATE SUser SET thePass = '") + PasswordHash::make(password)
        + QStringLiteral("' WHERE (theName = '") + Sql::esc(name) + QStringLiteral("') ");
    dataModule().execute(SqlText);
    // The operator deleted or renamed since the login: no password was changed.
    if (dataModule().db().changes() == 0)
        throw AppError(QStringLiteral("操作员“%1”已不存在（可能已被删除或改名），密码没有修改！").arg(name));
}

void saveDefaults(const QString &userId, const QString &paymentMethod, const QString &houseType,
                  const QString &areaName)
{
    SqlText = QStringLiteral("UPDATE SUser SET theMT = '") + Sql::esc(paymentMethod) + QStringLiteral("', theHT = '")
        + Sql::esc(houseType) + QStringLiteral("', theAN = '") + Sql::esc(areaName) + QStringLiteral("' ")
        + QStringLiteral("WHERE (ID = ") + Sql::id(userId) + QStringLiteral(")");
    dataModule().execute(SqlText);
    if (dataModule().db().changes() == 0)
        throw AppError(QStringLiteral("当前操作员已不存在（可能已被删除），默认项 没有保存！"));
}

} // namespace Accounts
