#include "charging/DayClose.h"
#include "data/BoundWrite.h"
#include "data/Books.h"
#include "data/Capitals.h"
#include "data/DataModule.h"
#include "data/Roles.h"
#include "db/Dates.h"
#include "db/DbError.h"
#include "db/Numbers.h"
#include "db/Sql.h"

#include <QMap>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace DayClose {

namespace {

// Receipt numbers in the order they were given: by charging date, then by sequence (a
// five-digit sequence comes after every four-digit one of its date).
struct NumberKey {
    QString date;
    int length = 0;
    QString number;
    bool operator<(const NumberKey &o) const
    {
        if (date != o.date)
            return date < o.date;
        if (length != o.length)
            return length < o.length;
        return number < o.number;
    }
};

QString money(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("0") : Numbers::plain(Numbers::roundTo(Numbers::toDouble(text), 2));
}

// The sequence after the six digits of the date; -1 for a number of another form.
qint64 sequenceOf(const QString &number)
{
    bool ok = false;
    const qint64 n = number.mid(6).toLongLong(&ok);
    return ok && number.size() > 6 ? n : -1;
}

} // namespace

QString runsOf(QList<QPair<QString, QString>> dateAndNumber)
{
    const auto key = [](const QPair<QString, QString> &p) { return NumberKey{p.first, int(p.second.size()), p.second}; };
    std::sort(dateAndNumber.begin(), dateAndNumber.end(), [&](const auto &a, const auto &b) { return key(a) < key(b); });
    QStringList runs;
    qsizetype start = 0;
    for (qsizetype i = 1; i <= dateAndNumber.size(); ++i) {
        bool next = false;
        if (i < dateAndNumber.size()) {
            const auto &prev = dateAndNumber.at(i - 1);
            const auto &here = dateAndNumber.at(i);
            const qint64 s = sequenceOf(prev.second);
            next = prev.first == here.first && s >= 0 && prev.second.left(6) == here.second.left(6)
                && sequenceOf(here.second) == s + 1;
        }
        if (next)
            continue;
        if (start < dateAndNumber.size()) {
            const QString &first = dateAndNumber.at(start).second;
            const QString &last = dateAndNumber.at(i - 1).second;
            runs << (start == i - 1 ? first : first + QStringLiteral("–") + last);
        }
        start = i;
    }
    return runs.join(QStringLiteral(", "));
}

QString Report::periodText() const
{
    const QString from = Dates::format(criteria.from);
    const QString to = Dates::format(criteria.to);
    return from == to ? from : from + QStringLiteral(" 至 ") + to;
}

QString Report::operatorText() const
{
    return criteria.operatorName.isEmpty() ? QStringLiteral("全部") : criteria.operatorName;
}

Report build(const Criteria &criteria)
{
    if (!criteria.from.isValid() || !criteria.to.isValid())
        throw AppError(QStringLiteral("收费日期 不是有效的日期"));
    if (criteria.to < criteria.from)
        throw AppError(QStringLiteral("结束日期 %1 早于开始日期 %2，请重新选择！")
                           .arg(Dates::format(criteria.to), Dates::format(criteria.from)));
    // A cashier's own close; all cashiers' or another's only where the role allows.
    const bool own = !criteria.operatorName.isEmpty() && !CurrentUserName.isEmpty()
        && QString::compare(criteria.operatorName, CurrentUserName, Qt::CaseInsensitive) == 0;
    Roles::require(own ? Roles::Action::OwnDayClose : Roles::Action::AnyDayClose);
    Report r;
    r.criteria = criteria;
    // The dates and the cashier are bound, in this order, to every statement on `where`.
    QString where = QStringLiteral("WHERE (theDate Between ? AND ?) ");
    QVariantList values{Dates::format(criteria.from), Dates::format(criteria.to)};
    if (!criteria.operatorName.isEmpty()) {
        where += QStringLiteral("AND (UName = ?) ");
        values << criteria.operatorName;
    }
    Database &db = dataModule().db();

    // Count and amount per operator and method; the engine's exact sum adds without binary
    // noise.
    const Rows groups = BoundWrite::select(db, QStringLiteral("SELECT UName, MType, COUNT(*) AS n, ") + db.exactSum(QStringLiteral("theMoney"))
                                  + QStringLiteral(" AS amount FROM UCharge ")
                                  + where + QStringLiteral("GROUP BY UName, MType ORDER BY UName, MType"), values);
    // First and last number per group, per date and number length (see NumberKey).
    const Rows ends = BoundWrite::select(db, QStringLiteral("SELECT UName, MType, theDate, LENGTH(theNum) AS len, MIN(theNum) AS lo, "
                                               "MAX(theNum) AS hi FROM UCharge ")
                                + where + QStringLiteral("GROUP BY UName, MType, theDate, LENGTH(theNum)"), values);
    QMap<QPair<QString, QString>, QPair<NumberKey, NumberKey>> range;
    for (int i = 0; i < ends.rowCount(); ++i) {
        const QPair<QString, QString> g(ends.at(i, 0), ends.at(i, 1));
        const NumberKey lo{ends.at(i, 2), ends.at(i, 3).toInt(), ends.at(i, 4)};
        const NumberKey hi{ends.at(i, 2), ends.at(i, 3).toInt(), ends.at(i, 5)};
        auto it = range.find(g);
        if (it == range.end()) {
            range.insert(g, {lo, hi});
        } else {
            if (lo < it->first)
                it->first = lo;
            if (it->second < hi)
                it->second = hi;
        }
    }
    for (int i = 0; i < groups.rowCount(); ++i) {
        Line l;
        l.operatorName = groups.at(i, 0);
        l.method = groups.at(i, 1);
        l.count = groups.at(i, 2).toInt();
        l.amount = money(groups.at(i, 3));
        const auto ends = range.value({l.operatorName, l.method});
        l.firstNumber = ends.first.number;
        l.lastNumber = ends.second.number;
        r.lines << l;
    }
    QMap<QPair<QString, QString>, QList<QPair<QString, QString>>> numbers;
    const Rows all = BoundWrite::select(db, QStringLiteral("SELECT UName, MType, theDate, theNum FROM UCharge ") + where, values);
    for (int i = 0; i < all.rowCount(); ++i)
        numbers[{all.at(i, 0), all.at(i, 1)}] << QPair<QString, QString>(all.at(i, 2), all.at(i, 3));
    for (Line &l : r.lines)
        l.runs = runsOf(numbers.value({l.operatorName, l.method}));
    const Rows taken = BoundWrite::select(db, QStringLiteral("SELECT COUNT(*), ") + db.exactSum(QStringLiteral("theMoney")) + QStringLiteral(" FROM UCharge ") + where, values);
    r.paymentCount = taken.at(0, 0).toInt();
    r.paymentTotal = money(taken.at(0, 1));

    // A void goes to the cashier of the payment it voided (a void whose payment is gone, to
    // whoever voided it); an older void without an approver was approved by its requester.
    const QString cashier = QStringLiteral("COALESCE(c.UName, v.UName)");
    // Bound as `where` is.
    QString voidWhere = QStringLiteral("FROM UVoid v LEFT JOIN UCharge c ON (c.ID = v.CID) WHERE (v.theDate Between ? AND ?) ");
    if (!criteria.operatorName.isEmpty())
        voidWhere += QStringLiteral("AND (") + cashier + QStringLiteral(" = ?) ");
    const Rows voids = BoundWrite::select(db, QStringLiteral("SELECT v.theTime, ") + cashier
                                 + QStringLiteral(", v.theNum, v.myDate, v.AName, v.HNum, v.HName, v.MType, v.theMoney, "
                                                  "v.Reason, v.UName, COALESCE(v.Approver, v.UName) ")
                                 + voidWhere + QStringLiteral("ORDER BY v.ID"), values);
    for (int i = 0; i < voids.rowCount(); ++i) {
        Void v;
        v.time = voids.at(i, 0);
        v.operatorName = voids.at(i, 1);
        v.requester = voids.at(i, 10);
        v.approver = voids.at(i, 11);
        v.number = voids.at(i, 2);
        v.paymentDate = voids.at(i, 3);
        v.area = voids.at(i, 4);
        v.room = voids.at(i, 5);
        v.owner = voids.at(i, 6);
        v.method = voids.at(i, 7);
        v.amount = money(voids.at(i, 8));
        v.reason = voids.at(i, 9);
        r.voids << v;
    }
    const Rows voided = BoundWrite::select(db, QStringLiteral("SELECT COUNT(*), ") + db.exactSum(QStringLiteral("v.theMoney")) + QLatin1Char(' ') + voidWhere, values);
    r.voidCount = voided.at(0, 0).toInt();
    r.voidTotal = money(voided.at(0, 1));

    const Rows reprints = BoundWrite::select(db, QStringLiteral("SELECT theTime, UName, theChange FROM ULog ") + where
                                    + QStringLiteral("AND (theTable = 'UCharge') AND (theAction = ?) ORDER BY ID"),
                                    values + QVariantList{QString::fromUtf8(Books::ReceiptReprinted)});
    static const QRegularExpression said(QStringLiteral("^单号 ([^，]*)，第 (\\d+) 次"));
    for (int i = 0; i < reprints.rowCount(); ++i) {
        const QRegularExpressionMatch m = said.match(reprints.at(i, 2));
        r.reprints << Reprint{reprints.at(i, 0), reprints.at(i, 1), m.captured(1), m.captured(2)};
    }
    r.code = Books::dayCode(db, Dates::format(criteria.from), Dates::format(criteria.to));

    const double net = Numbers::roundTo(Numbers::toDouble(r.paymentTotal) - Numbers::toDouble(r.voidTotal), 2);
    r.net = Numbers::plain(net);
    if (std::fabs(net) < 1e13)
        r.netInWords = (net < 0 ? QStringLiteral("负") : QString()) + amountInCapitals(std::fabs(net));
    return r;
}

Rows asRows(const Report &report)
{
    const QStringList columns{QStringLiteral("类别"),     QStringLiteral("收费员"),   QStringLiteral("收款方式"),
                              QStringLiteral("笔数"),     QStringLiteral("起始单号"), QStringLiteral("结束单号"),
                              QStringLiteral("金额"),     QStringLiteral("说明")};
    QVector<QStringList> rows;
    for (const Line &l : report.lines)
        rows << QStringList{QStringLiteral("收款"), l.operatorName, l.method, QString::number(l.count), l.firstNumber,
                            l.lastNumber, l.amount, QStringLiteral("单号 ") + l.runs};
    for (const Void &v : report.voids) {
        const QString amount = Numbers::plain(0.0 - Numbers::toDouble(v.amount));
        rows << QStringList{QStringLiteral("作废"), v.operatorName, v.method, QStringLiteral("1"), v.number, v.number, amount,
                            QStringLiteral("%1 %2 %3，%4 作废：%5，作废人 %6，批准人 %7")
                                .arg(v.area, v.room, v.owner, v.time, v.reason, v.requester, v.approver)};
    }
    for (const Reprint &p : report.reprints)
        rows << QStringList{QStringLiteral("补打"), p.operatorName, QString(), QString(), p.number, p.number, QString(),
                            QStringLiteral("%1 第 %2 次补打").arg(p.time, p.times)};
    return Rows(columns, rows);
}

Rows totalsRow(const Report &report)
{
    return Rows({QStringLiteral("金额")}, {{report.net}});
}

QString asText(const Report &report)
{
    QString t;
    t += QStringLiteral("收费日报  收费日期 %1  收费员 %2\n\n").arg(report.periodText(), report.operatorText());
    t += QStringLiteral("收费员\t收款方式\t笔数\t起始单号\t结束单号\t金额\t单号\n");
    for (const Line &l : report.lines)
        t += QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\n")
                 .arg(l.operatorName, l.method, QString::number(l.count), l.firstNumber, l.lastNumber, l.amount, l.runs);
    t += QStringLiteral("收款合计\t\t%1\t\t\t%2\n\n").arg(report.paymentCount).arg(report.paymentTotal);
    t += QStringLiteral("作废时间\t收费员\t单号\t房屋\t金额\t原因\t作废人\t批准人\n");
    for (const Void &v : report.voids)
        t += QStringLiteral("%1\t%2\t%3\t%4 %5\t%6\t%7\t%8\t%9\n")
                 .arg(v.time, v.operatorName, v.number, v.area, v.room, v.amount, v.reason, v.requester, v.approver);
    t += QStringLiteral("作废合计\t\t%1\t\t%2\n\n").arg(report.voidCount).arg(report.voidTotal);
    t += QStringLiteral("实收合计\t%1\t%2\n").arg(report.net, report.netInWords);
    if (!report.reprints.isEmpty()) {
        t += QStringLiteral("\n补打时间\t补打人\t单号\t次数\n");
        for (const Reprint &p : report.reprints)
            t += QStringLiteral("%1\t%2\t%3\t%4\n").arg(p.time, p.operatorName, p.number, p.times);
    }
    t += QStringLiteral("\n校验码\t%1\n").arg(report.code);
    return t;
}

} // namespace DayClose
