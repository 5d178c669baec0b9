#include "data/Roles.h"
#include "data/BoundWrite.h"
#include "data/DataModule.h"
#include "db/DbError.h"
#include "db/Sql.h"

namespace Roles {

QStringList names()
{
    return {QString::fromUtf8(Admin), QString::fromUtf8(Cashier), QString::fromUtf8(Viewer)};
}

bool isRole(const QString &role) { return names().contains(role); }

QString actionWords(Action action)
{
    switch (action) {
    case Action::Browse: return QStringLiteral("查询");
    case Action::Charge: return QStringLiteral("收费");
    case Action::Reprint: return QStringLiteral("打印收据");
    case Action::Void: return QStringLiteral("作废收费");
    case Action::ApproveVoid: return QStringLiteral("批准作废");
    case Action::OwnDayClose: return QStringLiteral("查看收费日报");
    case Action::AnyDayClose: return QStringLiteral("查看其他收费员的收费日报");
    case Action::OwnPassword: return QStringLiteral("修改密码");
    case Action::Owners: return QStringLiteral("修改业主信息");
    case Action::ReferenceLists: return QStringLiteral("修改基础信息");
    case Action::Defaults: return QStringLiteral("设置默认项");
    case Action::Operators: return QStringLiteral("设置用户");
    case Action::UnitSettings: return QStringLiteral("设置使用单位");
    case Action::Backup: return QStringLiteral("备份或恢复数据");
    case Action::WaiveLateCharge: return QStringLiteral("免收违约金");
    }
    return {};
}

bool may(const QString &role, Action action)
{
    if (role == QString::fromUtf8(Admin))
        return true;
    if (role == QString::fromUtf8(Cashier))
        switch (action) {
        case Action::Browse:
        case Action::Charge:
        case Action::Reprint:
        case Action::Void:
        case Action::OwnDayClose:
        case Action::OwnPassword:
            return true;
        default:
            return false;
        }
    if (role == QString::fromUtf8(Viewer))
        return action == Action::Browse || action == Action::OwnPassword;
    return false;
}

QString roleOf(const QString &operatorName)
{
    const Rows rows = BoundWrite::select(dataModule().db(), QStringLiteral("SELECT theRole FROM SUser WHERE (theName = ?) ORDER BY ID"),
                                         {operatorName});
    if (rows.isEmpty())
        return {};
    const QString role = rows.at(0, 0).trimmed();
    return role.isEmpty() ? QString::fromUtf8(Admin) : role;
}

QString current()
{
    if (CurrentUserName.isEmpty())
        return QString::fromUtf8(Admin);
    const QString role = roleOf(CurrentUserName);
    if (role.isEmpty())
        throw AppError(QStringLiteral("当前操作员“%1”已不存在（可能已被删除或改名），请重新登录！").arg(CurrentUserName));
    return role;
}

QString refusal(const QString &role, Action action)
{
    return QStringLiteral("当前操作员（%1）无权%2！").arg(role, actionWords(action));
}

void require(Action action)
{
    const QString role = current();
    if (!may(role, action))
        throw AppError(refusal(role, action));
}

bool currentMay(Action action)
{
    try {
        return may(current(), action);
    } catch (const AppError &) {
        return false;
    }
}

int adminCount()
{
    return dataModule()
        .db()
        .scalar(QStringLiteral("SELECT COUNT(*) FROM SUser WHERE (theRole = ") + Sql::quote(QString::fromUtf8(Admin))
                + QStringLiteral(" OR theRole IS NULL OR theRole = '')"))
        .toInt();
}

} // namespace Roles
