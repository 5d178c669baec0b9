// role: gives an operator a role, as 用户设置 does.
#include "tools/AdminCommand.h"
#include "data/DataModule.h"
#include "data/Roles.h"
#include "operators/Accounts.h"

namespace {

int runRole(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db"), QStringLiteral("operator"), QStringLiteral("role"), QStringLiteral("as")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    const QString name = a.value(QStringLiteral("operator"));
    const QString role = a.value(QStringLiteral("role"));
    if (!a.positional().isEmpty() || name.isEmpty() || role.isEmpty()) {
        err << "用法: chengyue-admin role --db PATH --operator NAME --role 管理员|收费员|查询员 [--as NAME]\n";
        return 2;
    }
    openProgramDatabase(a.dbPath());
    // The operator giving the role (--as) must be allowed to; without it the tool acts itself.
    if (a.has(QStringLiteral("as")) && !actAsOperator(a.value(QStringLiteral("as")), err))
        return 1;
    Accounts::setRole(name, role);
    out << QStringLiteral("操作员 %1 的角色：%2").arg(name, Roles::roleOf(name)) << '\n';
    return 0;
}

AdminCommandRegistrar r({QStringLiteral("role"), QStringLiteral("--db PATH --operator NAME --role 管理员|收费员|查询员 [--as NAME]"),
                         QStringLiteral("设置操作员的角色（管理员：全部功能；收费员：收费、补打收据、查询、本人的收费日报、修改本人密码，"
                                        "作废须经管理员批准；查询员：只能查询和统计）；最后一个管理员不能改为其他角色；记入操作记录"),
                         runRole});

} // namespace
