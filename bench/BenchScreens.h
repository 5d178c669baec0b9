#pragma once
#include "bench/Bench.h"

#include <QDate>

// The rows of the benchmark that go through the real screens: each opens the window,
// presses its buttons as the operator does, and waits with the event loop turning, so
// that what the window does on its own thread shows as a pause (Bench::PauseProbe).
// The floor runs the statements the window ran, on the bare engine or plain libpq.
namespace BenchScreens {

using Bench::Row;

struct Hooks {
    int *runs;
    QStringList *details;
    Bench::Floor *floor;
    int scale = 1;
};

// "查询" of a list screen: first rows painted, footer filled, and the rest of the
// background work (the page keys) while the window answers.
Row ownerQuery(Hooks &h);
Row chargeQuery(Hooks &h);
Row arrears(Hooks &h);
// The charge query ordered by a click on the heading "业主名称".
Row sorting(Hooks &h);
Row sortingOwners(Hooks &h);
Row sortingArrears(Hooks &h);
// In a fresh process (db: file or server): the charge query listed, then the grid dragged
// to its end and to places all over the list; the longest pause, and resident memory
// before and after.
Row scrolling(Hooks &h, const QString &db);
// The 收费统计 window filled for the current season (table and charts).
Row seasonStatistics(Hooks &h);

// The owner import window: "打开" the sheet (read off the window's thread), choose the
// area, "导入". Returns the time of each run; *pause the longest pause, *added the houses
// added by the last run.
QVector<double> ownerImport(const QString &sheet, const QString &area, int runs, double *pause, int *added);

// The charge query narrowed to payments from `from` to `to`, then its "Excel" button: the
// export as the operator makes it (the workbook is written, the opener is a stand-in).
// Returns the times of the exports; *pause the longest pause, *rows the rows listed.
QVector<double> chargeExport(const QDate &from, const QDate &to, int runs, double *pause, int *rows);

// The child process of scrolling: prints "key value" lines.
int childGrid(const QString &db);

} // namespace BenchScreens
