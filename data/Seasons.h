#pragma once
#include <QDate>
#include <QString>

// The heating seasons of the using unit's charging period (SDept theBM/theBD/theEM/theED),
// and which season a yearly period of a payment pays. Shared by the charge's rules and the
// season statistics.
namespace Seasons {

// The using unit's charging period as whole numbers: from begin month/day of one year to
// end month/day of the next.
struct Period {
    int beginMonth = 10;
    int beginDay = 10;
    int endMonth = 4;
    int endDay = 10;
};

// Reads the period as the login state holds it (texts). Throws AppError naming the
// setting when a month is no month or a day no day of any month.
Period periodFromTexts(const QString &beginMonth, const QString &beginDay, const QString &endMonth,
                       const QString &endDay);

// The period of the login state (PeriodBeginMonth …); the default period when the login
// state holds none (the admin tool before a login). Throws as periodFromTexts.
Period loggedInPeriod();

// Season Y runs from Y-begin to (Y+1)-end, both days included. A day past the end of its
// month (31 April, 29 February of a common year) is the month's last day.
struct Season {
    int year = 0;
    QDate begin;
    QDate end;
    bool isValid() const { return begin.isValid() && end.isValid(); }
    bool contains(const QDate &d) const { return d >= begin && d <= end; }
    QString caption() const; // "2024—2025采暖季"
};

Season seasonOf(int year, const Period &period);
// The season holding the date; a date between two seasons gives the next one.
Season seasonHolding(const QDate &date, const Period &period);

// The season a yearly period starting on `start` pays: the one whose first day lies in
// [start, start + 1 year - 1 day]. The year from 2024-04-11 to 2025-04-10 pays 2024.
int seasonPaidFrom(const QDate &start, const Period &period);

// The day of the month, or the month's last day when the month is shorter.
QDate clampedDate(int year, int month, int day);

// A month and day "MM-DD" (as the office's rules store them); false when it is none
// (29 February is one: in a common year it is the 28th).
bool parseMonthDay(const QString &text, int *month, int *day);
// That month and day in the given year, clamped to the month's end.
QDate monthDayIn(int year, const QString &monthDay);
// That month and day inside season Y: in Y when it is on or after the season's first
// day's month and day, else in Y + 1 (a "01-15" of season 2024 is 2025-01-15).
QDate monthDayInSeason(const Season &season, const QString &monthDay);

} // namespace Seasons
