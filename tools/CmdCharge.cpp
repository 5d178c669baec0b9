// charge: takes one payment from the command line through the logic of charge entry:
// the look-up, the proposal for the years, the receipt number, the insert and the paid-up
// date, all in one transaction. No receipt preview; the receipt number is printed, and the
// amount's parts where the office's rules (season prices, 报停, 优惠, 违约金) made any.
#include "tools/AdminCommand.h"
#include "data/BoundWrite.h"
#include "operators/Login.h"
#include "charging/ChargeLogic.h"
#include "db/Dates.h"
#include "db/Sql.h"
#include "data/DataModule.h"
#include "data/Roles.h"

#include <QDate>

namespace {

int fail(QTextStream &err, const QString &message)
{
    err << message << '\n';
    return 1;
}

int runCharge(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db"), QStringLiteral("area"), QStringLiteral("room"),
                             QStringLiteral("years"), QStringLiteral("operator"), QStringLiteral("charge-date"),
                             QStringLiteral("method")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    if (!a.positional().isEmpty() || !a.has(QStringLiteral("room")) || !a.has(QStringLiteral("years"))) {
        err << "用法: chengyue-admin charge --db PATH --area NAME --room NUMBER --years N [--operator NAME] "
               "[--charge-date yyyy-mm-dd] [--method NAME]\n";
        return 2;
    }
    const QString area = a.value(QStringLiteral("area"));
    const QString room = a.value(QStringLiteral("room"));
    const QString years = a.value(QStringLiteral("years"));
    // The window's checks, in its order and with its words.
    if (area.isEmpty())
        return fail(err, QStringLiteral("小区名称 不能为空，请重新选择！"));
    if (years.isEmpty())
        return fail(err, QStringLiteral("收费年数 不能为空，请重新录入！"));
    const QDate date = a.has(QStringLiteral("charge-date")) ? Dates::parse(a.value(QStringLiteral("charge-date")))
                                                            : QDate::currentDate();
    if (const QString refusal = Login::chargeDateRefusal(date); !refusal.isEmpty()) {
        err << refusal << '\n';
        return 2;
    }

    openProgramDatabase(a.dbPath());
    Database &db = dataModule().db();

    // The login state of the operator taking the payment: the first operator unless named.
    const QString op = a.value(QStringLiteral("operator"));
    const Rows user = op.isEmpty()
        ? dataModule().query(QStringLiteral("SELECT ID, theName, theMT FROM SUser ORDER BY ID"))
        : BoundWrite::select(dataModule().db(), QStringLiteral("SELECT ID, theName, theMT FROM SUser WHERE (theName = ?)"), {op});
    if (user.isEmpty())
        return fail(err, op.isEmpty() ? QStringLiteral("还没有操作员") : QStringLiteral("操作员 “%1” 不存在").arg(op));
    CurrentUserName = user.value(QStringLiteral("theName"));
    CurrentUserId = user.value(QStringLiteral("ID"));
    // Another charging date than today, as at the login: a 管理员's, or anyone's where allowed.
    if (date != QDate::currentDate() && !Login::mayChooseDate(CurrentUserName))
        return fail(err, QStringLiteral("操作员“%1”（%2）只能以今天 %3 为收费日期收费！")
                             .arg(CurrentUserName, Roles::roleOf(CurrentUserName), Dates::format(QDate::currentDate())));
    DefaultPaymentMethod = user.value(QStringLiteral("theMT"));
    ChargeDate = Dates::format(date);

    // The lists of the window let only their own names be picked.
    if (BoundWrite::count(dataModule().db(), QStringLiteral("SELECT ID FROM SArea WHERE (theName = ?)"), {area}) == 0)
        return fail(err, QStringLiteral("小区名称 “%1” 不在小区列表中").arg(area));
    QString method = a.has(QStringLiteral("method")) ? a.value(QStringLiteral("method")) : DefaultPaymentMethod;
    if (!method.isEmpty()) {
        const QString stored = BoundWrite::scalar(db, QStringLiteral("SELECT theName FROM SMType WHERE (theName = ?)"), {method});
        if (stored.isEmpty()) {
            if (a.has(QStringLiteral("method")))
                return fail(err, QStringLiteral("收款方式 “%1” 不在收款方式列表中").arg(method));
            // An operator default that has left the list selects nothing in the window.
        }
        method = stored;
    }
    if (const QString refusal = ChargeLogic::methodRefusal(method); !refusal.isEmpty())
        return fail(err, refusal + QStringLiteral("请用 --method 指定收款方式，或为操作员设好默认收款方式。"));

    const Rows found = ChargeLogic::lookUpHouse(area, room);
    if (found.rowCount() != 1)
        return fail(err, QStringLiteral("业主信息 不存在，请重新录入房号！"));
    const ChargeLogic::House h = ChargeLogic::houseAt(found);
    const ChargeLogic::Proposal proposal = ChargeLogic::propose(years, h.floorArea, h.unitPrice, h.paidUp);
    if (!proposal.hasPeriod)
        return fail(err, QStringLiteral("该业主的到期日期为空或不是有效的日期，无法推算收费期间，请在收费录入窗口中手工选择起始日期和截至日期！"));

    ChargeLogic::Payment p = ChargeLogic::paymentFor(h, years, proposal);
    p.paymentMethod = method;
    const QString number = ChargeLogic::save(p);
    out << number << '\n';
    // The amount's parts, where the office's rules made any.
    const BillingRules::Bill bill = ChargeLogic::billFor(h.id, h.purpose, h.floorArea, h.unitPrice, proposal.start, years, date);
    if (!bill.plain) {
        for (const QString &line : BillingRules::partLines(bill))
            out << line << '\n';
        out << QStringLiteral("合计\t%1").arg(p.amount) << '\n';
    }
    return 0;
}

AdminCommandRegistrar r({QStringLiteral("charge"),
                         QStringLiteral("--db PATH --area NAME --room NUMBER --years N [--operator NAME] "
                                        "[--charge-date yyyy-mm-dd] [--method NAME]"),
                         QStringLiteral("按收费录入的规则为一户收取 N 年的供热费（不显示收据预览），输出收据单号；"
                                        "操作员默认为第一个操作员，收费日期默认为今天，收款方式默认为操作员的默认收款方式"),
                         runCharge});

} // namespace
