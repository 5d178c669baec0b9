#include "operators/Accounts.h"
#include "data/Roles.h"
#include "data/BoundWrite.h"
#include "data/ChangeLog.h"
#include "data/DataModule.h"
#include "data/Roles.h"
#include "db/DbError.h"
#include "db/Numbers.h"
#include "data/PasswordHash.h"
#include "db/Sql.h"

namespace Accounts {

namespace {
// The list's third value is the new operator's role; without one they are 管理员.
BoundWrite::Bound insertUser(const QString &name, const QString &remark, const QString &role)
{
    const QString r = role.isEmpty() ? QString::fromUtf8(Roles::Admin) : role;
    if (!Roles::isRole(r))
        throw AppError(unknownRoleMessage(r));
    // The initial password is stored as a hash like every other.
    return {QStringLiteral("INSERT INTO SUser (theName, thePass, Remark, theRole) VALUES (?, ?, ?, ?) "),
            {name, PasswordHash::make(QString::fromUtf8(InitialPassword)), remark, r}};
}

bool isAdminRole(const QString &stored)
{
    return stored.trimmed().isEmpty() || stored == QString::fromUtf8(Roles::Admin);
}

// The last 管理员 stays: without one nobody could manage the operators again.
QString lastAdminRefusal(const QString &id)
{
    const QString role = dataModule().db().scalar(QStringLiteral("SELECT theRole FROM SUser WHERE (ID = ") + Sql::id(id)
                                                  + QStringLiteral(")"));
    if (dataModule().db().scalar(QStringLiteral("SELECT COUNT(*) FROM SUser WHERE (ID = ") + Sql::id(id) + QStringLiteral(")")).toInt() == 0
        || !isAdminRole(role) || Roles::adminCount() > 1)
        return {};
    return QStringLiteral("这是最后一个管理员，不能删除！");
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
        .listStatement = QStringLiteral("SELECT theName AS 用户名, COALESCE(NULLIF(theRole, ''), '管理员') AS 角色, Remark AS 备注, ")
            + QStringLiteral("ID ") + QStringLiteral("FROM SUser "),
        .widths = {0, 70, 210, -1},
        .savedMessage = QStringLiteral("用户名 保存成功！"),
        .insertStatement = &insertUser,
        .deleteRefusal = &lastAdminRefusal,
    };
    return s;
}

bool passwordMatches(const QString &name, const QString &password)
{
    const QString sql = QStringLiteral("SELECT thePass FROM SUser WHERE (theName = ?) AND (thePass IS NOT NULL)");
    SqlText = BoundWrite::shown(sql, {name});
    const Rows rows = BoundWrite::select(dataModule().db(), sql, {name});
    for (int r = 0; r < rows.rowCount(); ++r)
        if (PasswordHash::matches(rows.at(r, 0), password))
            return true;
    return false;
}

void setPassword(const QString &name, const QString &password)
{
    if (BoundWrite::count(dataModule().db(), QStringLiteral("SELECT ID FROM SUser WHERE (theName = ?)"), {name}) == 0)
        throw AppError(QStringLiteral("操作员“%1”已不存在（可能已被删除或改名），密码没有修改！").arg(name));
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
    if (dataModule().countRows(QStringLiteral("SELECT ID FROM SUser WHERE (ID = ") + Sql::id(userId) + QStringLiteral(")")) == 0)
        throw AppError(QStringLiteral("当前操作员已不存在（可能已被删除），默认项 没有保存！"));
    Roles::require(Roles::Action::Defaults);
    const BoundWrite::Bound update{QStringLiteral("UPDATE SUser SET theMT = ?, theHT = ?, theAN = ? WHERE (ID = ?)"),
                                   {paymentMethod, houseType, areaName, Sql::id(userId).toLongLong()}};
    SqlText = BoundWrite::shown(update);
    BoundWrite::run(dataModule().db(), update);
    if (dataModule().db().changes() == 0)
        throw AppError(QStringLiteral("当前操作员已不存在（可能已被删除），默认项 没有保存！"));
}

QString unknownRoleMessage(const QString &role)
{
    return QStringLiteral("角色“%1”不存在，请选择 %2！").arg(role, Roles::names().join(QStringLiteral("、")));
}

void setRole(const QString &name, const QString &role)
{
    Roles::require(Roles::Action::Operators);
    if (!Roles::isRole(role))
        throw AppError(unknownRoleMessage(role));
    Database &db = dataModule().db();
    // The count of 管理员s and the change under one write lock: two copies demoting the
    // last two 管理员s at once cannot both succeed.
    Transaction tx(db);
    const Rows row = BoundWrite::select(db, QStringLiteral("SELECT ID, theName, theRole FROM SUser WHERE (theName = ?) ORDER BY ID"), {name});
    if (row.isEmpty())
        throw AppError(QStringLiteral("操作员“%1”不存在！").arg(name));
    const QString before = isAdminRole(row.at(0, 2)) ? QString::fromUtf8(Roles::Admin) : row.at(0, 2);
    if (before == role)
        return;
    if (before == QString::fromUtf8(Roles::Admin) && Roles::adminCount() <= 1)
        throw AppError(QStringLiteral("“%1”是最后一个管理员，不能改为%2！").arg(row.at(0, 1), role));
    const QString id = row.at(0, 0);
    const BoundWrite::Bound update{QStringLiteral("UPDATE SUser SET theRole = ? WHERE (ID = ?)"), {role, Sql::id(id).toLongLong()}};
    SqlText = BoundWrite::shown(update);
    BoundWrite::run(db, update);
    ChangeLog::record({QStringLiteral("修改角色"), QStringLiteral("SUser"), Sql::id(id), {}, {},
                       QStringLiteral("操作员 %1，角色：%2 → %3").arg(row.at(0, 1), before, role)});
    tx.commit();
}

} // namespace Accounts
