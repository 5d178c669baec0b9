// void: voids a payment from the command line through the logic of the 收费作废 window.
#include "tools/AdminCommand.h"
#include "data/BoundWrite.h"
#include "charging/PaymentVoid.h"
#include "db/Dates.h"
#include "db/Sql.h"
#include "data/DataModule.h"

#include <QDate>

namespace {

int runVoid(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db"), QStringLiteral("reason"), QStringLiteral("operator"), QStringLiteral("approver")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    if (a.positional().size() != 1) {
        err << "用法: chengyue-admin void --db PATH NUMBER --reason TEXT [--operator NAME] [--approver NAME]（批准人的密码从标准输入读一行）\n";
        return 2;
    }
    openProgramDatabase(a.dbPath());
    const QString op = a.value(QStringLiteral("operator"));
    const Rows user = op.isEmpty()
        ? dataModule().query(QStringLiteral("SELECT ID, theName FROM SUser ORDER BY ID"))
        : BoundWrite::select(dataModule().db(), QStringLiteral("SELECT ID, theName FROM SUser WHERE (theName = ?)"), {op});
    if (user.isEmpty()) {
        err << (op.isEmpty() ? QStringLiteral("还没有操作员") : QStringLiteral("操作员 “%1” 不存在").arg(op)) << '\n';
        return 1;
    }
    CurrentUserName = user.value(QStringLiteral("theName"));
    CurrentUserId = user.value(QStringLiteral("ID"));
    ChargeDate = Dates::format(QDate::currentDate());

    // The approver types their password on standard input, as passwd reads a new one.
    PaymentVoid::Approval approval{a.value(QStringLiteral("approver")), {}};
    if (a.has(QStringLiteral("approver")) && !readLine(approval.password)) {
        err << "没有从标准输入读到批准人的密码\n";
        return 2;
    }
    const PaymentVoid::Result r = PaymentVoid::run(a.positional().first(), a.value(QStringLiteral("reason")), approval);
    const PaymentVoid::Payment &p = r.payment;
    out << QStringLiteral("收据 %1 已作废：%2 %3 %4，金额 %5 元；到期日期 %6 → %7")
               .arg(p.number, p.area, p.room, p.owner, p.amount, r.paidUpBefore, r.paidUpAfter)
        << '\n';
    return 0;
}

AdminCommandRegistrar r({QStringLiteral("void"), QStringLiteral("--db PATH NUMBER --reason TEXT [--operator NAME] [--approver NAME]"),
                         QStringLiteral("作废一笔收费（只能作废该户最近的一笔）：收费标记为作废，该户到期日期退回到收费起始日期的前一天，"
                                        "并记录作废人、批准人、时间和原因；操作员默认为第一个操作员；收费员的作废（以及有两个以上管理员时管理员作废自己的收费）"
                                        "须由另一位管理员用 --approver 批准，其密码从标准输入读一行"),
                         runVoid});

} // namespace
