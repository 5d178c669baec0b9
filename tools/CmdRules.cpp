// price, rules, suspend: the office's billing rules from the command line, through the same
// logic as the windows (season prices, the rules' settings, 报停 and its cancellation), each
// change on the change record.
#include "tools/AdminCommand.h"
#include "data/OfficeRules.h"
#include "data/BoundWrite.h"
#include "data/DataModule.h"
#include "db/Dates.h"
#include "db/DbError.h"
#include "db/Numbers.h"

#include <QDate>

namespace {

int usage(QTextStream &err, const char *text)
{
    err << "用法: chengyue-admin " << text << '\n';
    return 2;
}

bool seasonYear(const QString &text, int *year)
{
    bool ok = false;
    *year = text.trimmed().toInt(&ok);
    return ok && *year >= 1900 && *year <= 9998;
}

const char kPriceUsage[] = "price --db PATH --purpose NAME --season YYYY (--price P | --remove) [--as NAME]";

int runPrice(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args,
                      {QStringLiteral("db"), QStringLiteral("purpose"), QStringLiteral("season"),
                       QStringLiteral("price"), QStringLiteral("as")},
                      {QStringLiteral("remove")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    openProgramDatabase(a.dbPath());
    if (a.has(QStringLiteral("as")) && !actAsOperator(a.value(QStringLiteral("as")), err))
        return 1;
    const bool remove = a.has(QStringLiteral("remove"));
    // Without a purpose: the list of season prices.
    if (a.positional().isEmpty() && !a.has(QStringLiteral("purpose")) && !a.has(QStringLiteral("season")) && !remove
        && !a.has(QStringLiteral("price"))) {
        for (const OfficeRules::SeasonPrice &p : OfficeRules::seasonPrices(dataModule().db()))
            out << p.purpose << '\t' << p.year << '\t' << Numbers::plain(p.price) << '\n';
        return 0;
    }
    int year = 0;
    if (!a.positional().isEmpty() || a.value(QStringLiteral("purpose")).isEmpty()
        || !seasonYear(a.value(QStringLiteral("season")), &year) || remove == a.has(QStringLiteral("price")))
        return usage(err, kPriceUsage);
    const QString purpose = a.value(QStringLiteral("purpose"));
    if (remove) {
        OfficeRules::removeSeasonPrice(purpose, year);
        out << QStringLiteral("已删除 %1 %2采暖季的单价").arg(purpose).arg(year) << '\n';
    } else {
        OfficeRules::setSeasonPrice(purpose, year, a.value(QStringLiteral("price")));
        out << QStringLiteral("%1 %2采暖季 单价 %3").arg(purpose).arg(year).arg(a.value(QStringLiteral("price")))
            << '\n';
    }
    return 0;
}

const char kRulesUsage[]
    = "rules --db PATH [--suspend-percent P] [--suspend-deadline MM-DD] [--suspend-refuse-arrears on|off] "
      "[--discount P --discount-from MM-DD --discount-to MM-DD] [--late-permille R --late-from MM-DD --late-cap PERCENT] "
      "[--off suspend|discount|late] [--as NAME]";

bool number(const AdminArgs &a, const QString &option, double *into, QTextStream &err)
{
    if (!a.has(option))
        return true;
    const QString text = a.value(option);
    if (!Numbers::isNumber(text)) {
        err << QStringLiteral("--%1 “%2” 不是有效的数字").arg(option, text) << '\n';
        return false;
    }
    *into = Numbers::toDouble(text);
    return true;
}

int runRules(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const QStringList options{QStringLiteral("suspend-percent"),
                              QStringLiteral("suspend-deadline"),
                              QStringLiteral("suspend-refuse-arrears"),
                              QStringLiteral("discount"),
                              QStringLiteral("discount-from"),
                              QStringLiteral("discount-to"),
                              QStringLiteral("late-permille"),
                              QStringLiteral("late-from"),
                              QStringLiteral("late-cap"),
                              QStringLiteral("off")};
    const AdminArgs a(args, QStringList{QStringLiteral("db"), QStringLiteral("as")} + options);
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    if (!a.positional().isEmpty())
        return usage(err, kRulesUsage);
    openProgramDatabase(a.dbPath());
    if (a.has(QStringLiteral("as")) && !actAsOperator(a.value(QStringLiteral("as")), err))
        return 1;
    OfficeRules::Settings s = OfficeRules::settings(dataModule().db());
    bool changing = false;
    for (const QString &o : options)
        changing = changing || a.has(o);
    if (changing) {
        // Setting an option of a rule switches that rule on.
        const auto touches = [&](const QStringList &names) {
            for (const QString &n : names)
                if (a.has(n))
                    return true;
            return false;
        };
        if (touches({QStringLiteral("suspend-percent"), QStringLiteral("suspend-deadline"),
                     QStringLiteral("suspend-refuse-arrears")}))
            s.suspend = true;
        if (touches({QStringLiteral("discount"), QStringLiteral("discount-from"), QStringLiteral("discount-to")}))
            s.discount = true;
        if (touches({QStringLiteral("late-permille"), QStringLiteral("late-from"), QStringLiteral("late-cap")}))
            s.late = true;
        if (!number(a, QStringLiteral("suspend-percent"), &s.suspendPercent, err)
            || !number(a, QStringLiteral("discount"), &s.discountPercent, err)
            || !number(a, QStringLiteral("late-permille"), &s.latePermille, err)
            || !number(a, QStringLiteral("late-cap"), &s.lateCap, err))
            return 2;
        s.suspendDeadline = a.value(QStringLiteral("suspend-deadline"), s.suspendDeadline);
        s.discountFrom = a.value(QStringLiteral("discount-from"), s.discountFrom);
        s.discountTo = a.value(QStringLiteral("discount-to"), s.discountTo);
        s.lateFrom = a.value(QStringLiteral("late-from"), s.lateFrom);
        if (a.has(QStringLiteral("suspend-refuse-arrears"))) {
            const QString v = a.value(QStringLiteral("suspend-refuse-arrears"));
            if (v != QLatin1String("on") && v != QLatin1String("off"))
                return usage(err, kRulesUsage);
            s.refuseArrears = v == QLatin1String("on");
        }
        if (a.has(QStringLiteral("off"))) {
            const QString v = a.value(QStringLiteral("off"));
            if (v == QLatin1String("suspend"))
                s.suspend = false;
            else if (v == QLatin1String("discount"))
                s.discount = false;
            else if (v == QLatin1String("late"))
                s.late = false;
            else
                return usage(err, kRulesUsage);
        }
        OfficeRules::storeSettings(s);
    }
    for (const QString &line : OfficeRules::describe(s))
        out << line << '\n';
    return 0;
}

const char kSuspendUsage[]
    = "suspend --db PATH --area NAME --room NUMBER --season YYYY [--reason TEXT] [--cancel] [--charge-date yyyy-mm-dd] [--as NAME]";

int runSuspend(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const AdminArgs a(args,
                      {QStringLiteral("db"), QStringLiteral("area"), QStringLiteral("room"), QStringLiteral("season"),
                       QStringLiteral("reason"), QStringLiteral("charge-date"), QStringLiteral("as")},
                      {QStringLiteral("cancel")});
    if (!a.ok()) {
        err << a.error() << '\n';
        return 2;
    }
    int year = 0;
    if (!a.positional().isEmpty() || !a.has(QStringLiteral("area")) || !a.has(QStringLiteral("room"))
        || !seasonYear(a.value(QStringLiteral("season")), &year))
        return usage(err, kSuspendUsage);
    const QDate date = a.has(QStringLiteral("charge-date")) ? Dates::parse(a.value(QStringLiteral("charge-date")))
                                                            : QDate::currentDate();
    openProgramDatabase(a.dbPath());
    if (a.has(QStringLiteral("as")) && !actAsOperator(a.value(QStringLiteral("as")), err))
        return 1;
    const QString area = a.value(QStringLiteral("area"));
    const QString room = a.value(QStringLiteral("room"));
    const QString id
        = BoundWrite::scalar(dataModule().db(),
                             QStringLiteral(
                                 "SELECT ID FROM UHouse WHERE (theDel = '否') AND (AName = ?) AND (theNum = ?)"),
                             {area, room});
    if (id.isEmpty()) {
        err << QStringLiteral("业主信息 不存在，请重新录入房号！") << '\n';
        return 1;
    }
    if (a.has(QStringLiteral("cancel"))) {
        OfficeRules::cancelSuspension(id, year, date);
        out << QStringLiteral("%1 %2 %3采暖季 已取消报停").arg(area, room).arg(year) << '\n';
    } else {
        OfficeRules::suspend(id, year, a.value(QStringLiteral("reason")), date);
        const QMap<int, double> now = OfficeRules::suspendedSeasons(dataModule().db(), id);
        out << QStringLiteral("%1 %2 %3采暖季 报停，基本热费 %4%")
                   .arg(area, room)
                   .arg(year)
                   .arg(Numbers::plain(now.value(year)))
            << '\n';
    }
    return 0;
}

AdminCommandRegistrar
    price({QStringLiteral("price"), QString::fromUtf8(kPriceUsage).mid(6),
           QStringLiteral("设置或删除某房屋用途某采暖季的单价（该采暖季按此单价收费，不设则按房屋的单价）；"
                          "不带参数时列出全部采暖季单价；记入操作记录"),
           runPrice});
AdminCommandRegistrar
    rules({QStringLiteral("rules"), QString::fromUtf8(kRulesUsage).mid(6),
           QStringLiteral("显示或修改收费规则（报停、提前交费优惠、违约金）；设置某项规则的参数即开启该规则，"
                          "--off 关闭；不带参数时显示当前设置；记入操作记录"),
           runRules});
AdminCommandRegistrar
    suspendCmd({QStringLiteral("suspend"), QString::fromUtf8(kSuspendUsage).mid(8),
                QStringLiteral("为一户办理某采暖季的报停（过了截止日期、该季已交费或按规定有欠费时拒绝），"
                               "--cancel 在采暖季开始前取消报停；记入操作记录"),
                runSuspend});

} // namespace
