#pragma once
#include "bench/Bench.h"

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

// In a fresh process: lists the charge query, reports the resident memory, then scrolls
// the grid from top to bottom and reports the longest pause. Prints "key value" lines.
int childGrid(const QString &db);

} // namespace BenchScreens
