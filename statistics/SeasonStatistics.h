#pragma once
#include "data/OfficeRules.h"
#include "data/Seasons.h"
#include <QDate>
#include <QString>
#include <QVector>

class Database;

// How far the collection of a heating season has come, for the whole office and area by
// area: the figures of the statistics window, its print, its workbook and the admin
// tool's stats command. Logic only; the charts are drawn by SeasonCharts.
namespace SeasonStatistics {

// The charging period and its seasons live with the data (data/Seasons), where the
// charge's rules read them too; the statistics use them under their old names.
using Period = Seasons::Period;
using Season = Seasons::Season;
using Seasons::periodFromTexts;
using Seasons::seasonHolding;
using Seasons::seasonOf;

// The figures of one area, or of the whole office.
struct AreaFigures {
    QString area;
    int houses = 0;          // live houses
    double floorArea = 0;
    int paidHouses = 0;      // paid up to the season's end or later
    double paidArea = 0;
    int behindHouses = 0;    // paid-up date before the season's end
    double behindArea = 0;
    double owed = 0;         // at the season's end, as the arrears reminder counts it
    int undatedHouses = 0;   // paid-up date that is no date: neither paid nor behind
    double taken = 0;        // live payments whose payment date lies in the season
    int payments = 0;

    // Percentages, one decimal when shown; negative when there is nothing to divide by.
    double houseRate() const;
    double areaRate() const;
};

struct DayTaking {
    QDate day;
    double amount = 0;
    int payments = 0;
};

struct MethodTaking {
    QString method;
    double amount = 0;
    int payments = 0;
};

struct Figures {
    Season season;
    QVector<AreaFigures> areas; // every area of the list, of a live house or of a payment, by name
    AreaFigures office;         // the whole office; area "合计"
    QVector<DayTaking> days;    // days with payments, in date order
    QVector<MethodTaking> methods; // by amount, largest first
    // The season's suspended houses (报停) by area and the office's "合计" last; empty when
    // none are (the office's houses and area above include them).
    QVector<OfficeRules::SuspendedArea> suspended;
};

// The statements, for the benchmark's bare engine to run as they are.
QStringList statements(const Database &db, const Season &season);

// Where the payments' figures come from: the figures kept beside them by day, area and
// method (DayFigures), or the payments themselves, counted again. A season with a payment
// whose amount is no whole number of fen is counted from the payments either way.
enum class Payments { Kept, Recounted };

// Where the houses' figures come from: the figures kept beside them by area and paid-up
// date (HouseFigures), or the houses themselves. An area with a house that does not fit the
// kept figures is counted from its houses either way.
enum class Houses { Kept, Recounted };

// Runs the statements on db and gathers the figures. Throws DbError when one is refused.
Figures compute(Database &db, const Season &season, Payments payments = Payments::Kept, Houses houses = Houses::Kept);

// "87.5%"; "—" when there is nothing to divide by.
QString formatRate(double rate);
// Amounts with two decimals, areas as stored, both without separators.
QString formatMoney(double amount);

// The table as text, one line per area and the office's line last, tab-separated with a
// heading line (the admin tool's output); then the suspended houses, where there are any.
QString tableText(const Figures &figures);

// The table's column headings, in the order of the window, the print and the workbook.
QStringList tableHeadings();
// One area's cells, as shown.
QStringList tableCells(const AreaFigures &a);

} // namespace SeasonStatistics
