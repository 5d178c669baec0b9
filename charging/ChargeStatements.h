#pragma once
#include "browse/BrowseCriteria.h"
#include "browse/ListKeys.h"

#include <QDate>
#include <QString>
#include <QVector>

class Database;

// The statements of the charge lists: charge management, charge query, their export and
// the admin tool's export all build theirs here.
namespace ChargeStatements {

// The eight charge criteria in three rows (2, 3 and 3), in the order their clauses are
// appended; the second is the payment-date range of two pickers.
const QVector<BrowseCriterion> &criteria();
// Position of the date range in criteria().
constexpr int DateRangeCriterion = 1;

// The live payments narrowed by conditions, the most recently stored first; with reprints
// (收费管理) also "补打次数", how often each receipt was printed again.
QString list(const QString &conditions, bool reprints = false);
// How often the receipt of the payment whose ID is the expression `payment` was printed
// again, from the change record (a subquery).
QString reprintCount(const QString &payment);
// The list's order by its captions, the last key unique: the newest payment first.
QVector<ListKey> order();
// One row: "收款金额", the sum of the amounts of the same payments.
QString totals(const Database &db, const QString &conditions);
// The row count of the list, over the same rows without reading them.
QString count(const QString &conditions);
// Whether the payments of these conditions are whole groups of the kept figures
// (DayFigures): no conditions, or only the payment-date range, the area and the payment
// method. totals and count then read the figures, otherwise the payments themselves.
bool fromDayFigures(const QString &conditions);
// totals and count over the payments themselves, whatever the conditions.
QString totalsOfPayments(const Database &db, const QString &conditions);
QString countOfPayments(const QString &conditions);

// The default "from" date of the range: the charging date one calendar month back, the
// day kept or, where the earlier month is shorter, its last day (2024-03-31 -> 2024-02-29).
QDate defaultFrom(const QDate &chargeDate);

} // namespace ChargeStatements
