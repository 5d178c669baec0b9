#include "reference/UnitSettings.h"
#include "data/Roles.h"
#include "data/BoundWrite.h"
#include "data/DataModule.h"
#include "db/Dates.h"
#include "db/DbError.h"
#include "db/Sql.h"

#include <optional>

namespace UnitSettings {

PeriodEnd periodEnd(const QString &chargeDate, const QString &endMonth, const QString &endDay)
{
    QDate charging = Dates::tryParse(chargeDate);
    if (!charging.isValid())
        charging = QDate::currentDate();
    bool monthOk = false;
    bool dayOk = false;
    const int month = endMonth.trimmed().toInt(&monthOk);
    const int day = endDay.trimmed().toInt(&dayOk);
    if (!monthOk || month < 1 || month > 12)
        return {charging, true};
    const int lastDay = QDate(charging.year(), month, 1).daysInMonth();
    if (dayOk && day >= 1 && day <= lastDay)
        return {QDate(charging.year(), month, day), false};
    return {QDate(charging.year(), month, lastDay), true};
}

namespace {
void store(const QString &name, const Period &period, const std::optional<OfficeSettings> &office)
{
    Roles::require(Roles::Action::UnitSettings);
    QVariantList values{name, qint64(period.beginMonth), qint64(period.beginDay), qint64(period.endMonth), qint64(period.endDay)};
    if (office)
        values << qint64(office->reprintMark ? 1 : 0) << qint64(office->anyDate ? 1 : 0);
    const BoundWrite::Bound update{QStringLiteral("UPDATE SDept SET theName = ?, theBM = ?, theBD = ?, theEM = ?, theED = ?")
                                       + (office ? QStringLiteral(", ReprintMark = ?, AnyDate = ?") : QString())
                                       + QStringLiteral(" WHERE (ID = 1)"),
                                   values};
    SqlText = BoundWrite::shown(update);
    BoundWrite::run(dataModule().db(), update);
    // The unit's row gone (a damaged or hand-edited file): saying "saved" would be a lie.
    if (dataModule().db().changes() == 0)
        throw AppError(QStringLiteral("数据库中没有使用单位的记录，使用单位 没有保存！"));
}
} // namespace

void save(const QString &name, const Period &period)
{
    store(name, period, std::nullopt);
}

void save(const QString &name, const Period &period, const OfficeSettings &office)
{
    store(name, period, office);
}

bool reprintMark()
{
    return dataModule().db().scalar(QStringLiteral("SELECT ReprintMark FROM SDept WHERE (ID = 1)")).toInt() == 1;
}

bool anyDate()
{
    return dataModule().db().scalar(QStringLiteral("SELECT AnyDate FROM SDept WHERE (ID = 1)")).toInt() == 1;
}

void setAnyDate(bool allowed)
{
    Roles::require(Roles::Action::UnitSettings);
    BoundWrite::run(dataModule().db(), QStringLiteral("UPDATE SDept SET AnyDate = ? WHERE (ID = 1)"), {qint64(allowed ? 1 : 0)});
}

} // namespace UnitSettings
