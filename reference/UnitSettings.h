#pragma once
#include <QDate>
#include <QString>

// The using unit's name and charging period, kept in the single row of SDept.
namespace UnitSettings {

struct Period {
    int beginMonth = 10;
    int beginDay = 10;
    int endMonth = 4;
    int endDay = 10;
};

// The end of the charging period in the calendar year of a charging date: the default
// paid-up date of a new house and the arrears reminder's default reference date. The unit
// keeps month and day as typed, so they may form no date in that year: a day the month
// lacks (29 February of a common year, 31 April) or no day at all gives the month's last
// day, since the month still says when the period ends; a month that is no month gives the
// charging date itself. Either way `fitted` says the date is not the one set. A charging
// date that is no date counts as today.
struct PeriodEnd {
    QDate date;
    bool fitted = false;
};
PeriodEnd periodEnd(const QString &chargeDate, const QString &endMonth, const QString &endDay);

// Stores name and period. The numbers go into the statement as plain whole numbers.
void save(const QString &name, const Period &period);
// The office's settings kept with the unit's name and period.
struct OfficeSettings {
    bool reprintMark = false; // reprints marked 补打 with their print time, or identical to the original
    bool anyDate = false;     // every operator may choose the charging date, or only a 管理员
};
// The same, with the office's settings, all in one write.
void save(const QString &name, const Period &period, const OfficeSettings &office);
// The reprint setting as stored.
bool reprintMark();

// Whether every operator may choose another charging date than today at login (SDept.AnyDate
// = 1), or only a 管理员.
bool anyDate();
void setAnyDate(bool allowed);

} // namespace UnitSettings
