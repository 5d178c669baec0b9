#pragma once
#include <QString>

class Database;

// The live payments counted by payment date, area and payment method, kept in UDayFigure
// beside the payments so that the season statistics and the charge lists' footers need not
// read millions of payments: per group the number of payments (theCount), their amounts in
// whole fen (theFen), and the number of payments whose amount is no whole number of fen
// (theOdd; their amounts are left out of theFen, and a reader that meets one counts the
// payments themselves instead). A missing date, area or method is kept as "".
//
// The database keeps them itself: triggers on UCharge change a payment's group in the
// statement that stores the payment (and so in its transaction), and take it away again in
// the statement that voids it, whoever writes: charge entry, the void, the demo data, the
// copy between engines, the admin tool's sql. Two desks never change a group at once: every
// write holds the writers' lock (the file's write lock, the server's writers' lock).
namespace DayFigures {

// The version of the schema that brought them.
inline constexpr int Since = 6;
// The version that brought the days' totals (UDayTotal): the same payments counted by
// payment date and method alone, so that a list's footer without an area criterion reads
// a few thousand rows at any size of the district, kept by the same triggers.
inline constexpr int TotalsSince = 7;

// The statements that make the triggers (on a server with their function cy_day_figures);
// withTotals: they keep the days' totals as well.
QString keepers(bool server, bool withTotals = true);
// The statements that remove them, so that they can be made again.
QString dropKeepers(bool server);

// Replaces every group (and every day's total, where the database keeps them) with a count
// over the live payments. Inside a transaction.
void rebuild(Database &db);
// Replaces the days' totals alone.
void rebuildTotals(Database &db);
// Whether the database keeps the days' totals (a version from TotalsSince on).
bool hasTotals(Database &db);

// The groups counted from the live payments (myDate, AName, MType, theCount, theFen,
// theOdd), as rebuild stores them.
QString recount(const Database &db);

// The kept groups and days' totals against a count over the live payments: empty when
// they agree, else the first group that differs, in date, area and method order, as the
// operator reads it ("日汇总与收费记录不符：2024-11-02 小区A 现金：…", "日合计与收费记录不符：
// 2024-11-02 现金：…"), followed by how many more differ.
QString firstDifference(Database &db);

} // namespace DayFigures
