#pragma once
#include "report/Report.h"
#include "statistics/SeasonStatistics.h"

// The printed season statistics: A4 landscape, the unit's name and the season in the
// title, the three charts side by side, then the table. A table longer than the first
// page goes on over further pages, its headings repeated; every page is numbered.
namespace SeasonPrint {

report::Report design(const SeasonStatistics::Figures &figures, const QString &unitName);

// The names of the boxes a test or the admin tool looks for.
inline const char TitleBox[] = "title";

} // namespace SeasonPrint
