#include "data/Seasons.h"
#include "data/DataModule.h"
#include "db/DbError.h"

#include <QRegularExpression>

namespace Seasons {

namespace {

int wholeSetting(const QString &text, int low, int high, const QString &what)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < low || v > high)
        throw AppError(
            QStringLiteral("使用单位的收费周期设置有误：%1“%2”不是 %3 到 %4 之间的整数，请在 文件 → 使用单位 中改正")
                .arg(what, text, QString::number(low), QString::number(high)));
    return v;
}

} // namespace

QDate clampedDate(int year, int month, int day)
{
    const QDate first(year, month, 1);
    return first.addDays(qMin(day, first.daysInMonth()) - 1);
}

Period periodFromTexts(const QString &beginMonth, const QString &beginDay, const QString &endMonth,
                       const QString &endDay)
{
    Period p;
    p.beginMonth = wholeSetting(beginMonth, 1, 12, QStringLiteral("开始月份"));
    p.beginDay = wholeSetting(beginDay, 1, 31, QStringLiteral("开始日"));
    p.endMonth = wholeSetting(endMonth, 1, 12, QStringLiteral("截止月份"));
    p.endDay = wholeSetting(endDay, 1, 31, QStringLiteral("截止日"));
    return p;
}

Period loggedInPeriod()
{
    if (PeriodBeginMonth.isEmpty() && PeriodBeginDay.isEmpty() && PeriodEndMonth.isEmpty() && PeriodEndDay.isEmpty())
        return {};
    return periodFromTexts(PeriodBeginMonth, PeriodBeginDay, PeriodEndMonth, PeriodEndDay);
}

QString Season::caption() const
{
    return QStringLiteral("%1—%2采暖季").arg(year).arg(year + 1);
}

Season seasonOf(int year, const Period &period)
{
    Season s;
    s.year = year;
    s.begin = clampedDate(year, period.beginMonth, period.beginDay);
    s.end = clampedDate(year + 1, period.endMonth, period.endDay);
    return s;
}

Season seasonHolding(const QDate &date, const Period &period)
{
    // A season starts in its own year and ends in the next, so only the season of the
    // year before and the one of the date's year can hold it.
    const Season before = seasonOf(date.year() - 1, period);
    if (before.contains(date))
        return before;
    const Season current = seasonOf(date.year(), period);
    if (current.contains(date) || date < current.begin)
        return current;
    return seasonOf(date.year() + 1, period);
}

int seasonPaidFrom(const QDate &start, const Period &period)
{
    return seasonOf(start.year(), period).begin >= start ? start.year() : start.year() + 1;
}

bool parseMonthDay(const QString &text, int *month, int *day)
{
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d{1,2})-(\\d{1,2})\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    const int mm = m.captured(1).toInt();
    const int dd = m.captured(2).toInt();
    if (mm < 1 || mm > 12 || dd < 1 || dd > QDate(2000, mm, 1).daysInMonth())
        return false;
    *month = mm;
    *day = dd;
    return true;
}

QDate monthDayIn(int year, const QString &monthDay)
{
    int m = 0, d = 0;
    if (!parseMonthDay(monthDay, &m, &d))
        return {};
    return clampedDate(year, m, d);
}

QDate monthDayInSeason(const Season &season, const QString &monthDay)
{
    const QDate inYear = monthDayIn(season.year, monthDay);
    if (!inYear.isValid())
        return {};
    return inYear >= season.begin ? inYear : monthDayIn(season.year + 1, monthDay);
}

} // namespace Seasons
