#pragma once
#include <QDate>
#include <QString>

class Database;
class Rows;

// The arrears reminder: the owners whose paid-up date lies before a reference date, with
// the years and the amount they owe at that date. Its export and the admin tool build
// their statements here too. The owner criteria are those of OwnerStatements::criteria().
namespace ArrearsStatements {

// The clause that always starts conditions: "AND (EndDate < 'yyyy-mm-dd') ".
//
// Where the office keeps season prices or has houses' seasons suspended (报停), the amount
// owed is the sum over the house's unpaid seasons up to the reference date: the years owed
// (as below) are the seasons from the one its paid-up date leaves unpaid on, each charged at
// its season price (else the house's price) × area, × the suspension's percentage for a
// suspended one. An office with neither has the statements as they always were.
QString dateClause(const QDate &reference);

// What season prices and suspensions add to `years` × area × price for the UHouse row of a
// statement, as an expression; empty when the office has neither (or no database is open).
QString seasonsPart(const Database &db, const QString &years);

// The owner list plus "欠费年数" (calendar years from the paid-up date to the reference
// date) and "欠费金额" (those years times area times unit price), by area and room. A
// house whose amount no receipt can write (10^13 yuan or more, or beyond double
// precision) has no amount here, and counts in the totals' OutOfRangeHouses instead: such
// a list is not to be shown (checkAmounts names the houses).
QString list(const QDate &reference, const QString &conditions);
// One row: "面积" and "欠费金额", the sums over the same houses, and OutOfRangeHouses.
// Without criteria or with only the area's, read from the houses' figures kept by area and
// paid-up date (HouseFigures), to the same digits; from the houses themselves when any of
// the houses it covers does not fit those figures, and for any other criterion.
QString totals(const Database &db, const QDate &reference, const QString &conditions);
// The same row summed over the houses themselves, whatever the criteria.
QString totalsOfHouses(const Database &db, const QDate &reference, const QString &conditions);
inline constexpr char OutOfRangeHouses[] = "超限户数";

// Refuses (AppError) a list in which the arrears of a house cannot be computed or reach
// 10^13 yuan (ChargeLogic::MaxAmount, more than a receipt can write), naming the first
// such houses by area and room with their figures, so that the operator can correct them
// in the owner management. Same FROM and WHERE as list(); runs on db.
void checkAmounts(Database &db, const QDate &reference, const QString &conditions);
// The same refusal when totals (a row of totals() with that reference and conditions) count
// such houses; nothing more is read otherwise.
void checkAmounts(Database &db, const Rows &totals, const QDate &reference, const QString &conditions);

// The default reference date: UnitSettings::periodEnd, with a message when it had to be
// fitted.
struct ReferenceDefault {
    QDate date;
    QString problem; // empty when the period end is a date of that year
};
ReferenceDefault defaultReference(const QString &chargeDate, const QString &periodEndMonth,
                                  const QString &periodEndDay);

// Whether a listed row is drawn red at the picker's current date: its paid-up date lies
// before that date. A paid-up text that is no date is never red (it owes nothing either).
bool isOverdue(const QString &paidUpText, const QDate &pickerDate);

} // namespace ArrearsStatements
