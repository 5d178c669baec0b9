#pragma once
#include <QDate>
#include <QString>
#include <functional>

class Database;

// A realistic fee office for demonstrations, screenshots and benchmarks: areas, house
// purposes with prices, payment methods, operators with default items, houses with
// owners, and several charging seasons of payments numbered per charging date exactly as
// charge entry numbers them, with a share of houses in arrears.
struct DemoOptions {
    int houses = 2000;
    int years = 3;          // charging seasons of payments, the last one the current
    int areas = 0;          // 0: one area per 1,000 houses, at least 6
    double payShare = 0.85; // share of houses that pay in a season
    QDate chargeDate = QDate::currentDate(); // "today" of the office
    quint32 seed = 20241010;
    std::function<void(const QString &)> progress;
};

struct DemoSummary {
    int areas = 0;
    int houses = 0;
    qint64 payments = 0;
    int inArrears = 0; // houses whose paid-up date lies before the current season's end
};

namespace DemoData {
// Fills an empty database (one without houses; throws AppError otherwise).
DemoSummary generate(Database &db, const DemoOptions &options);
} // namespace DemoData
