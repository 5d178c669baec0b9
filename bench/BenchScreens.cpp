#include "bench/BenchScreens.h"

using namespace Bench;

namespace BenchScreens {

namespace {
Row notYet(const QString &operation, const QString &goal, const QString &what)
{
    Row r;
    r.operation = operation;
    r.goal = goal;
    r.note = QStringLiteral("not yet measurable: %1 has not landed").arg(what);
    return r;
}
} // namespace

Row ownerQuery(Hooks &)
{
    return notYet(QStringLiteral("owner query, no criteria, 100,000 houses"), QStringLiteral("≤ 2× bare engine"),
                  QStringLiteral("the owner query screen"));
}

Row chargeQuery(Hooks &, const QString &)
{
    return notYet(QStringLiteral("charge query, no criteria, 1,000,000 payments"),
                  QStringLiteral("≤ 2× bare engine; ≤ 300 MB resident"), QStringLiteral("the charge query screen"));
}

Row arrears(Hooks &)
{
    return notYet(QStringLiteral("arrears reminder over 100,000 houses"), QStringLiteral("≤ 2× bare engine"),
                  QStringLiteral("the arrears reminder screen"));
}

Row scrolling(Hooks &, const QString &)
{
    return notYet(QStringLiteral("scrolling the 1,000,000-row grid top to bottom"),
                  QStringLiteral("no pause over 100 ms"), QStringLiteral("the charge query screen"));
}

int childGrid(const QString &)
{
    return 2;
}

} // namespace BenchScreens
