#include "charging/BillingRules.h"
#include "data/BoundWrite.h"
#include "data/LiveRow.h"
#include "db/Database.h"
#include "db/Numbers.h"

#include <cmath>

namespace BillingRules {

namespace {

// The fen of an amount already rounded to two decimals.
qint64 fenOf(double yuan)
{
    return std::llround(Numbers::roundTo(yuan, 2) * 100.0);
}

QString yuan(qint64 fen)
{
    return Numbers::plain(double(fen) / 100.0);
}

bool inWindow(const QDate &date, const QString &from, const QString &to)
{
    const QDate f = Seasons::monthDayIn(date.year(), from);
    const QDate t = Seasons::monthDayIn(date.year(), to);
    if (!f.isValid() || !t.isValid())
        return false;
    return f <= t ? (date >= f && date <= t) : (date >= f || date <= t);
}

} // namespace

QString Bill::amount() const
{
    return yuan(totalFen);
}

QString Bill::words() const
{
    QStringList out;
    qint64 discount = 0, late = 0;
    for (const Part &p : parts) {
        if (p.kind == QString::fromUtf8(BaseFee))
            out << QStringLiteral("%1采暖季报停 基本热费%2%").arg(p.year).arg(Numbers::plain(p.percent));
        else if (p.kind == QString::fromUtf8(Discount))
            discount += p.fen;
        else if (p.kind == QString::fromUtf8(LateCharge))
            late += p.fen;
    }
    if (discount != 0)
        out << QStringLiteral("优惠 %1元").arg(yuan(discount));
    if (late != 0)
        out << QStringLiteral("违约金 %1元").arg(yuan(late));
    return out.join(QStringLiteral("，"));
}

QStringList partLines(const Bill &bill)
{
    QStringList out;
    for (const Part &p : bill.parts) {
        QString how;
        if (p.kind == QString::fromUtf8(YearFee))
            how = QStringLiteral("单价 %1").arg(Numbers::plain(p.price));
        else if (p.kind == QString::fromUtf8(BaseFee))
            how = QStringLiteral("单价 %1，%2%").arg(Numbers::plain(p.price), Numbers::plain(p.percent));
        else if (p.kind == QString::fromUtf8(Discount))
            how = QStringLiteral("%1%").arg(Numbers::plain(p.percent));
        else if (p.kind == QString::fromUtf8(LateCharge))
            how = QStringLiteral("%1 天 × %2‰").arg(p.days).arg(Numbers::plain(p.percent));
        out << QStringLiteral("%1采暖季\t%2\t%3\t%4").arg(QString::number(p.year), p.kind, how, yuan(p.fen));
    }
    return out;
}

Bill work(const Input &in)
{
    Bill bill;
    if (!in.start.isValid() || in.years <= 0)
        return bill;
    const OfficeRules::Settings &s = in.settings;
    const QDate today = in.chargingDate;
    // The season that has not begun at the charging date: the discount's.
    Seasons::Season upcoming = Seasons::seasonHolding(today, in.period);
    if (upcoming.begin <= today)
        upcoming = Seasons::seasonOf(upcoming.year + 1, in.period);
    const bool discountNow = s.discount && inWindow(today, s.discountFrom, s.discountTo);

    QVector<Part> parts;
    bool changed = false;
    for (int i = 0; i < in.years; ++i) {
        const int year = Seasons::seasonPaidFrom(in.start.addYears(i), in.period);
        const Seasons::Season season = Seasons::seasonOf(year, in.period);
        Part fee;
        fee.year = year;
        fee.kind = QString::fromUtf8(YearFee);
        fee.price = in.seasonPrices.value(year, in.housePrice);
        if (fee.price != in.housePrice)
            changed = true;
        qint64 feeFen = fenOf(in.floorArea * fee.price);
        if (in.suspended.contains(year)) {
            fee.kind = QString::fromUtf8(BaseFee);
            fee.percent = in.suspended.value(year);
            feeFen = fenOf(double(feeFen) * fee.percent / 10000.0);
            changed = true;
        }
        fee.fen = feeFen;
        parts << fee;
        if (discountNow && year == upcoming.year && s.discountPercent > 0) {
            Part d;
            d.kind = QString::fromUtf8(Discount);
            d.year = year;
            d.percent = s.discountPercent;
            d.fen = -fenOf(double(feeFen) * s.discountPercent / 10000.0);
            if (d.fen != 0) {
                parts << d;
                changed = true;
            }
        }
        if (s.late && season.begin <= today) {
            const QDate lateDate = Seasons::monthDayInSeason(season, s.lateFrom);
            if (lateDate.isValid() && lateDate < today) {
                const qint64 days = lateDate.daysTo(today);
                const double rate = qMin(double(days) * s.latePermille / 1000.0, s.lateCap / 100.0);
                Part l;
                l.kind = QString::fromUtf8(LateCharge);
                l.year = year;
                l.percent = s.latePermille;
                l.days = int(days);
                l.fen = fenOf(double(feeFen) / 100.0 * rate);
                if (l.fen != 0) {
                    parts << l;
                    changed = true;
                }
            }
        }
    }
    if (!changed)
        return bill;
    bill.plain = false;
    bill.parts = parts;
    for (const Part &p : parts)
        bill.totalFen += p.fen;
    return bill;
}

Bill billFor(Database &db, const QString &houseId, const QString &purpose, double floorArea, double housePrice,
             const QDate &start, int years, const QDate &chargingDate)
{
    if (!start.isValid() || years <= 0 || !std::isfinite(floorArea) || !std::isfinite(housePrice))
        return {};
    // One look first: an office without the discount, the late charge, a season price of
    // this purpose or a suspension of this house charges as always.
    const qint64 house = !houseId.isEmpty() && Numbers::isNumber(houseId) ? Numbers::toInt(houseId) : -1;
    const QString any = BoundWrite::scalar(
        db,
        QStringLiteral(
            "SELECT (SELECT COUNT(*) FROM SRule WHERE (theName IN ('discount', 'late')) AND (theValue = '1')) + "
            "(SELECT COUNT(*) FROM SSeasonPrice WHERE (HType = ?)) + "
            "(SELECT COUNT(*) FROM USuspend WHERE (HID = ?) AND (" LIVE_ROW "))"),
        {purpose, house});
    if (any.toLongLong() == 0)
        return {};
    Input in;
    in.settings = OfficeRules::settings(db);
    const Rows prices
        = BoundWrite::select(db, QStringLiteral("SELECT theYear, thePrice FROM SSeasonPrice WHERE (HType = ?)"),
                             {purpose});
    for (int i = 0; i < prices.rowCount(); ++i)
        in.seasonPrices.insert(int(Numbers::toInt(prices.at(i, 0))), Numbers::toDouble(prices.at(i, 1)));
    if (house >= 0)
        in.suspended = OfficeRules::suspendedSeasons(db, houseId);
    if (!in.settings.discount && !in.settings.late && in.seasonPrices.isEmpty() && in.suspended.isEmpty())
        return {};
    in.period = OfficeRules::storedPeriod(db);
    in.floorArea = floorArea;
    in.housePrice = housePrice;
    in.start = start;
    in.years = years;
    in.chargingDate = chargingDate;
    return work(in);
}

} // namespace BillingRules
