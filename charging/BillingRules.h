#pragma once
#include "data/OfficeRules.h"
#include "data/Seasons.h"

#include <QDate>
#include <QMap>
#include <QString>
#include <QVector>

class Database;

// The office's own billing rules, each off until the office switches it on: seasons
// suspended (报停) for a base percentage of the fee, the early-payment discount (优惠) and
// the late charge (违约金); and season prices by house purpose. An office that sets none of
// them charges as it always did: area × the house's price × years, no parts stored.
//
// A payment of N years starting on S covers N yearly periods from S, each paying the
// season whose first day lies inside it (Seasons::seasonPaidFrom). For each of them:
//   fee       the season's price of the house's purpose when the office has one, else the
//             house's price; × floor area; rounded to the fen (halves to even)
//   基本热费   a suspended season pays its suspension's percentage of that fee instead
//             (rounded to the fen)
//   优惠       when the discount is on and the charging date's month and day lie in its
//             window (from..to, both included; a window over the new year wraps): minus the
//             percentage of the fee of the upcoming season only (the first one whose first
//             day is after the charging date), when the payment covers it
//   违约金     when the late charge is on: for every season of the payment that has begun by
//             the charging date (unpaid until now, since the payment starts after the
//             paid-up date) and whose late date (the rule's month and day inside the season:
//             in the season's first year when on or after its first day, else in the next)
//             is before the charging date: days from the late date to the charging date ×
//             ‰ per day × the season's fee as charged (after 报停), at most cap % of it
// Every part is rounded to the fen by itself; the total is their sum. The whole-yuan
// rounding of charge entry stays the operator's: a typed amount other than the total is
// stored with an adjustment part (调整) of the difference.
namespace BillingRules {

// The kinds of part, as UChargeItem.theKind stores them.
inline const char YearFee[] = "年费";
inline const char BaseFee[] = "基本热费";
inline const char Discount[] = "优惠";
inline const char LateCharge[] = "违约金";
inline const char Adjustment[] = "调整";

// One part of a payment.
struct Part {
    QString kind;
    int year = 0;       // the season it belongs to
    double price = 0;   // yuan per m² (fees), else 0
    double percent = 0; // 基本热费 / 优惠: the percentage; 违约金: the per-mille per day
    int days = 0;       // 违约金: days charged
    qint64 fen = 0;
};

// What the computation needs, read once.
struct Input {
    double floorArea = 0;
    double housePrice = 0;
    QDate start; // the first day the payment covers; invalid: no seasons known
    int years = 0;
    QDate chargingDate;
    Seasons::Period period;
    OfficeRules::Settings settings;
    QMap<int, double> seasonPrices; // of the house's purpose
    QMap<int, double> suspended;
};

struct Bill {
    // True when no rule or season price changes anything: the amount is today's
    // area × price × years and no parts are stored.
    bool plain = true;
    QVector<Part> parts;
    qint64 totalFen = 0;
    QString amount() const; // yuan, plain form
    // The remark's words for the receipt: "2024采暖季报停 基本热费30%，优惠 -8.50元，违约金 3.20元".
    QString words() const;
};

Bill work(const Input &in);

// The parts as lines for a list or the admin tool: "2024采暖季\t基本热费\t单价 20，30%\t600".
QStringList partLines(const Bill &bill);

// The bill of a house of that purpose for the years from start, at the charging date, with
// the office's settings, season prices and the house's suspensions read from db. A house
// without a period (start invalid), or a negative number of years, is plain.
Bill billFor(Database &db, const QString &houseId, const QString &purpose, double floorArea, double housePrice,
             const QDate &start, int years, const QDate &chargingDate);

} // namespace BillingRules
