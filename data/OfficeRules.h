#pragma once
#include "data/Seasons.h"

#include <QDate>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

class Database;

// The office's own billing rules as stored, each off until the office switches it on (SRule),
// the season prices by house purpose (SSeasonPrice) and the seasons houses suspended (报停,
// USuspend): reading, changing (each change on the change record) and the refusals of a
// suspension. What they do to a payment is worked out by the charge (charging/BillingRules).
namespace OfficeRules {

// The office's settings (SRule). Missing rows are the defaults below, every rule off.
struct Settings {
    bool suspend = false;
    double suspendPercent = 30;                        // the base fee's percentage of the full fee
    QString suspendDeadline = QStringLiteral("09-30"); // applications up to this day of the season's first year
    bool refuseArrears = false;                        // no 报停 for a house owing an earlier season
    bool discount = false;
    double discountPercent = 1;
    QString discountFrom = QStringLiteral("09-10");
    QString discountTo = QStringLiteral("09-30");
    bool late = false;
    double latePermille = 0.5; // per day
    QString lateFrom = QStringLiteral("12-31");
    double lateCap = 100; // percent of the season's fee
    bool operator==(const Settings &) const = default;
};

// The using unit's charging period as stored (SDept), the default one when its row is gone.
// Throws AppError for a month or day that is none.
Seasons::Period storedPeriod(Database &db);

// The office's settings as stored.
Settings settings(Database &db);
// Stores the settings that differ from `before` (the office's 管理员; Roles UnitSettings)
// and records each on the change record (修改收费规则), in one transaction. Throws AppError
// for a percentage, ‰ or month and day that is none.
void storeSettings(const Settings &after);
// The settings in words, one line each: "报停：开启，基本热费 30%，截止日期 09-30，有欠费不予报停：否".
QStringList describe(const Settings &s);
// Refuses (AppError) a setting out of range.
void checkSettings(const Settings &s);

// Season prices (SSeasonPrice).
struct SeasonPrice {
    QString purpose;
    int year = 0;
    double price = 0;
};
QVector<SeasonPrice> seasonPrices(Database &db);
// Adds or changes the price of a purpose for a season; removes it. Each on the change
// record (新增采暖季单价, 修改采暖季单价, 删除采暖季单价). Role: ReferenceLists. The purpose
// must be in the list of purposes (SPrice). Throws AppError.
void setSeasonPrice(const QString &purpose, int year, const QString &price);
void removeSeasonPrice(const QString &purpose, int year);

// A house's seasons suspended and not cancelled: season → percentage.
QMap<int, double> suspendedSeasons(Database &db, const QString &houseId);

// What a 报停 or its cancellation is about: the house as it is stored now.
struct HouseState {
    QString id, area, room, paidUp;
};
HouseState houseState(Database &db, const QString &houseId);
// Empty when the house may suspend season `year` at `date`, else why not (the words the
// operator reads): the rule off, after the deadline, the season already paid or already
// suspended, arrears when the office refuses them.
QString suspendRefusal(Database &db, const HouseState &house, int year, const QDate &date);
// Empty when the suspension may be cancelled at `date` (before the season begins, and not
// yet paid as suspended), else why not.
QString cancelRefusal(Database &db, const HouseState &house, int year, const QDate &date);
// Stores the suspension / its cancellation under the login (Roles Owners) with its change
// record (报停, 取消报停), after the refusal checks above under the write lock. Throws AppError.
void suspend(const QString &houseId, int year, const QString &reason, const QDate &date);
void cancelSuspension(const QString &houseId, int year, const QDate &date);

// The live houses with season `year` suspended, by area (AName, houses, floor area), and
// the office's total as the last row with the area "合计"; empty when there are none.
struct SuspendedArea {
    QString area;
    int houses = 0;
    double floorArea = 0;
};
QVector<SuspendedArea> suspendedIn(Database &db, int year);

// The season prices or suspensions exist at all (the lists then count the seasons).
bool anySeasonPrices(Database &db);
bool anySuspensions(Database &db);

} // namespace OfficeRules
