#pragma once
#include <QString>

class Database;

// The live houses counted by area and paid-up date, kept in UHouseFigure beside the houses
// so that the season statistics and the arrears reminder's footer need not read every
// house: per group the number of houses (theCount), their floor area in hundredths of a
// square metre (theCenti), their yearly fee, area times unit price, in ten-thousandths of a
// yuan (theFee), and the number of "odd" houses (theOdd) whose figures do not fit these
// units exactly: an area or price with more than two decimals or none at all, a paid-up
// date of NULL, a floor area of 10^9 m² or more, or a yearly fee of 10^7 yuan or more (so
// that no house left in the units can owe an amount out of range). An odd house is counted
// in theCount only; a reader that meets one counts the houses themselves instead. A missing
// area is kept as "".
//
// Kept like the payments' figures (DayFigures): triggers on UHouse change a house's group in
// the statement that writes the house, whoever writes, under the writers' lock.
namespace HouseFigures {

// The version of the schema that brought them.
inline constexpr int Since = 6;

// The statements that make the triggers (on a server with their function cy_house_figures).
QString keepers(bool server);

// A file's import of many houses in one transaction holds back the insert trigger (each
// house would otherwise save the pages it touches once more, encrypted, in case its own
// statement fails) and counts the batch's houses into their groups before it commits.
// Both inside the transaction: other connections never see the trigger missing, and a
// rolled-back batch takes both back. The newest house's ID now, for addNewer.
qint64 holdBackInserts(Database &db);
// Adds the live houses of ID above `after` to their groups and makes the trigger again.
void addNewer(Database &db, qint64 after);

// Replaces every group with a count over the live houses, in one statement. Inside a
// transaction.
void rebuild(Database &db);

// The groups counted from the live houses (AName, EndDate, theCount, theCenti, theFee,
// theOdd), as rebuild stores them.
QString recount(const Database &db);

// The kept groups against a count over the live houses: empty when they agree, else the
// first group that differs, in area and date order, as the operator reads it
// ("户汇总与房屋记录不符：小区A 2025-04-10：…"), followed by how many more differ.
QString firstDifference(Database &db);

// Whether the arrears reminder's conditions pick whole groups: its paid-up date clause
// alone or with the area criterion. The reminder's totals then read the groups.
bool covers(const QString &conditions);

} // namespace HouseFigures
