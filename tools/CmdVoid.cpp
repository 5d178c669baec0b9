// void: voids a payment from the command line through the logic of the 收费作废 window.
#include "tools/AdminCommand.h"
#include "charging/PaymentVoid.h"
#include "db/Dates.h"
#include "db/Sql.h"
#include "data/DataModule.h"

#include <QDate>

namespace {

int runVoid(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db"), QStringLiteral("reason"), QStringLiteral("operator")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    if (a.positional().size() != 1) {
        err << "用法: chengyue-admin void --db PATH NUMBER --reason TEXT [--operator NAME]\n";
        return 2;
    }
    openProgramDatabase(a.dbPath());
    const QString op = a.value(QStringLiteral("operator"));
    const Rows user = dataModule().query(
        QStringLiteral("SELECT ID, theName FROM SUser ")
        + (op.isEmpty() ? QStringLiteral("ORDER BY ID") : QStringLiteral("WHERE (theName = ") + Sql::quote(op) + QLatin1Char(')')));
    if (user.isEmpty()) {
        err << (op.isEmpty() ? QStringLiteral("还没有操作员") : QStringLiteral("操作员 “%1” 不存在").arg(op)) << '\n';
        return 1;
    }
    CurrentUserName = user.value(QStringLiteral("theName"));
    CurrentUserId = user.value(QStringLiteral("ID"));
    ChargeDate = Dates::format(QDate::currentDate());

    const PaymentVoid::Result r = PaymentVoid::run(a.positional().first(), a.value(QStringLiteral("reason")));
    const PaymentVoid::Payment &p = r.payment;
    out << QStringLiteral("收据 %1 已作废：%2 %3 %4，金额 %5 元；到期日期 %6 → %7")
               .arg(p.number, p.area, p.room, p.owner, p.amount, r.paidUpBefore, r.paidUpAfter)
        << '\n';
    return 0;
}

AdminCommandRegistrar r({QStringLiteral("void"), QStringLiteral("--db PATH NUMBER --reason TEXT [--operator NAME]"),
                         QStringLiteral("作废一笔收费（只能作废该户最近的一笔）：收费标记为作废，该户到期日期退回到收费起始日期的前一天，"
                                        "并记录作废人、时间和原因；操作员默认为第一个操作员"),
                         runVoid});

} // namespace
