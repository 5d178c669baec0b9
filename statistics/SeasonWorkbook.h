#pragma once
#include "statistics/SeasonStatistics.h"

#include <QString>

// The season statistics as a workbook: the table as the window shows it (title with the
// unit's name and the season, headings, one row per area, the office's row), and below
// it a native column chart of the collection rate by floor area per area, drawn by the
// spreadsheet program from the table's cells. Throws AppError when the file cannot be
// written; no half-written file is left.
namespace SeasonWorkbook {

inline const char SheetName[] = "Sheet1"; // as every export of the program

void write(const QString &path, const SeasonStatistics::Figures &figures, const QString &unitName);

} // namespace SeasonWorkbook
