#include "owners/ArrearsStatements.h"
#include "charging/ChargeLogic.h"
#include "data/HouseFigures.h"
#include "data/DataModule.h"
#include "data/LiveRow.h"
#include "data/OfficeRules.h"
#include "db/Dates.h"
#include "db/DbError.h"
#include "db/Database.h"
#include "owners/OwnerStatements.h"
#include "reference/UnitSettings.h"

namespace ArrearsStatements {

QString dateClause(const QDate &reference)
{
    return QStringLiteral("AND (EndDate < '") + Dates::format(reference) + QStringLiteral("') ");
}

QString seasonsPart(const Database &db, const QString &years)
{
    Seasons::Period period;
    try {
        // Reads only: whether the tables hold anything, and the period.
        Database &reader = const_cast<Database &>(db);
        if (!OfficeRules::anySeasonPrices(reader) && !OfficeRules::anySuspensions(reader))
            return {};
        period = OfficeRules::storedPeriod(reader);
    } catch (const AppError &) {
        return {};
    }
    // The first season unpaid: the one whose first day follows the paid-up date (in its
    // year when the date is before the season's first month and day, else in the next).
    const QString begin = QStringLiteral("%1-%2").arg(period.beginMonth, 2, 10, QLatin1Char('0')).arg(period.beginDay, 2, 10, QLatin1Char('0'));
    const QString judgeable = db.isServer() ? QStringLiteral("UHouse.EndDate::text ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}$'")
                                            : QStringLiteral("UHouse.EndDate GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]'");
    const QString first = QStringLiteral("(CASE WHEN %1 THEN CAST(substr(UHouse.EndDate, 1, 4) AS INTEGER) + "
                                         "CASE WHEN substr(UHouse.EndDate, 6, 5) < '%2' THEN 0 ELSE 1 END END)")
                              .arg(judgeable, begin);
    const QString range = QStringLiteral("%1.theYear >= %2 AND %1.theYear < %2 + %3");
    // A season with its own price: the difference, at the suspension's percentage where it
    // is suspended too. A suspended season: the percentage's shortfall of the house's price.
    return QStringLiteral("(COALESCE((SELECT SUM((p.thePrice - UHouse.thePrice) * COALESCE((SELECT s.thePercent FROM USuspend s "
                          "WHERE s.HID = UHouse.ID AND s.theDel = '否' AND s.theYear = p.theYear), 100)) FROM SSeasonPrice p "
                          "WHERE p.HType = UHouse.HType AND %1), 0) / 100.0 * UHouse.theArea + "
                          "COALESCE((SELECT SUM(s.thePercent - 100) FROM USuspend s WHERE s.HID = UHouse.ID AND s.theDel = '否' "
                          "AND %2), 0) / 100.0 * UHouse.theArea * UHouse.thePrice)")
        .arg(range.arg(QStringLiteral("p"), first, years), range.arg(QStringLiteral("s"), first, years));
}

namespace {

QString yearsOwed(const QString &reference)
{
    return QStringLiteral("DateDiff('yyyy', EndDate, '") + reference + QStringLiteral("')");
}

// True for a house whose amount owed no receipt can write: 10^13 yuan or more
// (ChargeLogic::MaxAmount), or beyond double precision. The product is formed only where
// it cannot overflow (the server refuses an overflowing product, the file makes it
// infinite), and the years (the costly part) only for the rare house whose area times
// price reaches 10^9: under ten thousand years nothing less reaches 10^13. A factor from
// 10^100 with the other not below 10^-80 makes a year's fee of 10^20 or more: such a
// house is out of range whatever its years.
QString outOfRange(const QString &years)
{
    return QStringLiteral("(CASE WHEN ABS(theArea) >= 1e100 OR ABS(thePrice) >= 1e100 THEN "
                          "CASE WHEN ABS(theArea) >= 1e-80 AND ABS(thePrice) >= 1e-80 THEN 1e100 "
                          "ELSE ABS(%1 * theArea * thePrice) END "
                          "WHEN ABS(theArea * thePrice) < 1e9 THEN 0 "
                          "ELSE ABS(%1 * theArea * thePrice) END >= 1e13)")
        .arg(years);
}

// The amount owed; none for a house out of range, whose amount could only read as INF, 0
// or an error.
QString amountOwed(const QString &years, const QString &seasons = {})
{
    return QStringLiteral("CASE WHEN %1 THEN NULL ELSE %2 * theArea * thePrice%3 END")
        .arg(outOfRange(years), years, seasons.isEmpty() ? QString() : QStringLiteral(" + ") + seasons);
}

QString seasonsPartOfProgram(const QString &years)
{
    try {
        return seasonsPart(dataModule().db(), years);
    } catch (const AppError &) {
        return {};
    }
}

} // namespace

QString list(const QDate &reference, const QString &conditions)
{
    const QString years = yearsOwed(Dates::format(reference));
    return OwnerStatements::leadingColumns()
        + QStringLiteral("Remark AS 备注, ")
        + years + QStringLiteral(" AS 欠费年数, ")
        + amountOwed(years, seasonsPartOfProgram(years)) + QStringLiteral(" AS 欠费金额, ")
        + QStringLiteral("ID FROM UHouse ")
        + QStringLiteral("WHERE (" LIVE_ROW ") ")
        + conditions
        + QStringLiteral("ORDER BY AName, theNum ");
}

QString totals(const Database &db, const QDate &reference, const QString &conditions)
{
    // The kept figures know the houses' prices, not the seasons'.
    if (!HouseFigures::covers(conditions) || !seasonsPart(db, yearsOwed(Dates::format(reference))).isEmpty())
        return totalsOfHouses(db, reference, conditions);
    // The groups' figures are whole units: summed exactly and read as square metres and
    // yuan. No house in them is out of range. A house that does not fit them sends the
    // whole row back to the houses; the one row of the two that applies is read.
    const QString where = QStringLiteral("WHERE (1 = 1) ") + conditions;
    const QString outOfRange = QString::fromUtf8(OutOfRangeHouses);
    return QStringLiteral("SELECT 面积, 欠费金额, %1 FROM (SELECT SUM(theCenti) / 100.0 AS 面积, "
                          "SUM(%2 * theFee) / 10000.0 AS 欠费金额, SUM(0) AS %1, SUM(theOdd) AS theOdd "
                          "FROM UHouseFigure %3) kept WHERE COALESCE(theOdd, 0) = 0 UNION ALL ")
               .arg(outOfRange, yearsOwed(Dates::format(reference)), where)
        + totalsOfHouses(db, reference, conditions) + QStringLiteral("AND EXISTS (SELECT 1 FROM UHouseFigure ") + where
        + QStringLiteral("AND (theOdd > 0)) ");
}

QString totalsOfHouses(const Database &db, const QDate &reference, const QString &conditions)
{
    const QString years = yearsOwed(Dates::format(reference));
    return QStringLiteral("SELECT ") + db.exactSum(QStringLiteral("theArea")) + QStringLiteral(" AS 面积, ")
        + db.exactSum(amountOwed(years, seasonsPart(db, years))) + QStringLiteral(" AS 欠费金额, ")
        + QStringLiteral("SUM(CASE WHEN ") + outOfRange(years) + QStringLiteral(" THEN 1 ELSE 0 END) AS ")
        + QString::fromUtf8(OutOfRangeHouses) + QLatin1Char(' ')
        + QStringLiteral("FROM UHouse ")
        + QStringLiteral("WHERE (" LIVE_ROW ") ")
        + conditions;
}

void checkAmounts(Database &db, const QDate &reference, const QString &conditions)
{
    const QString years = yearsOwed(Dates::format(reference));
    const Rows rows = db.select(QStringLiteral("SELECT AName, theNum, theArea, thePrice, ") + years
                                + QStringLiteral(" AS 欠费年数 FROM UHouse WHERE (" LIVE_ROW ") ") + conditions
                                + QStringLiteral("AND ") + outOfRange(years) + QStringLiteral(" ORDER BY AName, theNum "));
    if (rows.isEmpty())
        return;
    QStringList named;
    for (int r = 0; r < rows.rowCount() && r < 5; ++r)
        named << QStringLiteral("%1 %2（面积 %3 × 单价 %4 × %5 年）")
                     .arg(rows.at(r, 0), rows.at(r, 1), ChargeLogic::shortFigure(rows.at(r, 2)),
                          ChargeLogic::shortFigure(rows.at(r, 3)), rows.at(r, 4));
    QString houses = named.join(QStringLiteral("、"));
    if (rows.rowCount() > named.size())
        houses += QStringLiteral(" 等 %1 户").arg(rows.rowCount());
    throw AppError(QStringLiteral("欠费金额超出范围：%1。收据的大写金额最多写到万亿元，请在业主管理中检查这些业主的面积和单价")
                       .arg(houses));
}

void checkAmounts(Database &db, const Rows &totals, const QDate &reference, const QString &conditions)
{
    if (!totals.isEmpty() && totals.at(0, QString::fromUtf8(OutOfRangeHouses)).toDouble() > 0)
        checkAmounts(db, reference, conditions);
}

ReferenceDefault defaultReference(const QString &chargeDate, const QString &periodEndMonth,
                                  const QString &periodEndDay)
{
    const UnitSettings::PeriodEnd end = UnitSettings::periodEnd(chargeDate, periodEndMonth, periodEndDay);
    if (!end.fitted)
        return {end.date, {}};
    return {end.date, QStringLiteral("收费期截止日期 %1月%2日 在 %3 年不是有效日期，到期日期暂定为 %4，请确认后再查询。")
                          .arg(periodEndMonth, periodEndDay, QString::number(end.date.year()), Dates::format(end.date))};
}

bool isOverdue(const QString &paidUpText, const QDate &pickerDate)
{
    const QDate paidUp = Dates::tryParse(paidUpText);
    return paidUp.isValid() && pickerDate > paidUp;
}

} // namespace ArrearsStatements
