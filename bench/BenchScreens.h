#pragma once
#include "bench/Bench.h"

#include <QDate>

class BareEngine;

// The rows of the benchmark that go through the browse screens: each opens the real
// screen, presses "查询" and waits until the grid has painted its first rows and the
// footer is filled, against the bare engine running the same list and totals statements.
namespace BenchScreens {

using Bench::Row;

struct Hooks {
    int *runs;
    QStringList *details;
    BareEngine *bare;
};

Row ownerQuery(Hooks &h);
Row chargeQuery(Hooks &h, const QString &db);
Row arrears(Hooks &h);
Row scrolling(Hooks &h, const QString &db);
// The 收费统计 window filled for the current season (table and charts), against the bare
// engine running the same statements; and the longest pause of the window meanwhile.
Row seasonStatistics(Hooks &h);

// The charge query narrowed to payments from `from` to `to`, then its "Excel" button: the
// export as the operator makes it (the grid reads the rest of its rows, the workbook is
// written, the opener is a stand-in). Returns the times of the exports and the rows listed.
QVector<double> chargeExport(const QDate &from, const QDate &to, int runs, int *rows);

// In a fresh process: lists the charge query, reports the resident memory, then scrolls
// the grid from top to bottom and reports the longest pause. Prints "key value" lines.
int childGrid(const QString &db);

} // namespace BenchScreens
