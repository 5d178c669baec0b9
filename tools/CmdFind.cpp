// find, history: the cashier desk's pick list and a house's past payments, as charge
// entry shows them.
#include "tools/AdminCommand.h"
#include "charging/ChargeDesk.h"
#include "charging/ChargeLogic.h"
#include "db/Dates.h"

#include <QDate>

namespace {

int runFind(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db"), QStringLiteral("charge-date")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    const QDate date = a.has(QStringLiteral("charge-date")) ? Dates::tryParse(a.value(QStringLiteral("charge-date")))
                                                            : QDate::currentDate();
    if (a.positional().size() != 1 || a.positional().at(0).trimmed().isEmpty() || !date.isValid()) {
        err << "用法: chengyue-admin find --db PATH [--charge-date yyyy-mm-dd] TEXT\n";
        return 2;
    }
    openProgramDatabase(a.dbPath());
    const ChargeDesk::Found found = ChargeDesk::find(a.positional().at(0), date);
    out << "小区名称\t房号\t业主名称\t联系电话\t交费截至日期\t欠费年数\n";
    for (const ChargeDesk::Match &m : found.houses)
        out << QStringList{m.area, m.room, m.owner, m.phone, m.paidUp, m.yearsBehind}.join(QLatin1Char('\t')) << '\n';
    if (found.more)
        out << ChargeDesk::tooManyMessage() << '\n';
    else if (found.houses.isEmpty())
        out << ChargeDesk::noneMessage() << '\n';
    return 0;
}

int runHistory(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args, {QStringLiteral("db"), QStringLiteral("area"), QStringLiteral("room")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    if (!a.positional().isEmpty() || a.value(QStringLiteral("area")).isEmpty() || !a.has(QStringLiteral("room"))) {
        err << "用法: chengyue-admin history --db PATH --area NAME --room NUMBER\n";
        return 2;
    }
    openProgramDatabase(a.dbPath());
    const Rows house = ChargeLogic::lookUpHouse(a.value(QStringLiteral("area")), a.value(QStringLiteral("room")));
    if (house.rowCount() != 1) {
        err << QStringLiteral("业主信息 不存在，请重新录入房号！") << '\n';
        return 1;
    }
    out << "单号\t收费日期\t起始日期\t截至日期\t年数\t金额\t收款方式\t收款人\t作废\t补打次数\n";
    for (const ChargeDesk::PastPayment &p : ChargeDesk::history(ChargeLogic::houseAt(house).id))
        out << QStringList{p.receipt, p.chargingDate, p.start, p.end, p.years, p.amount, p.method, p.payee,
                           ChargeDesk::voidWords(p), QString::number(p.reprints)}
                   .join(QLatin1Char('\t'))
            << '\n';
    return 0;
}

AdminCommandRegistrar f({QStringLiteral("find"), QStringLiteral("--db PATH [--charge-date yyyy-mm-dd] TEXT"),
                         QStringLiteral("按业主名称、联系电话或房号的一部分查找业主（所有小区，不含已删除的），"
                                        "列出收费录入查找列表中的各户（最多20户）"),
                         runFind});
AdminCommandRegistrar h({QStringLiteral("history"), QStringLiteral("--db PATH --area NAME --room NUMBER"),
                         QStringLiteral("列出一户的交费记录，新的在前，包括已作废的（注明作废原因）和收据补打次数"), runHistory});

} // namespace
