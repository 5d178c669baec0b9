#pragma once
#include "charging/DayClose.h"
#include "output/XlsxExport.h"
#include "report/Report.h"

#include <QDateTime>
#include <QList>

// The printed day close: A4 portrait pages laid out for the report engine, with the unit's
// name at the top of the first page, the payment lines and the voids as ruled tables
// (their headings repeated on every page), the totals with the net in capital numerals,
// the lines for the cashier's and the checker's signatures, and "第 n 页 共 m 页" at the
// foot of every page.
namespace DayCloseReport {

QList<report::PreparedReport> pages(const DayClose::Report &close, const QString &unitName, const QDateTime &printedAt);

// The workbook of the "Excel" button and the admin tool: the rows of DayClose::asRows,
// under a title that names the day (or days) and the operator when one was chosen:
// "收费日报（2024-10-10，收费员：张三）".
ExportLayout layout(const DayClose::Report &close);
// The name the workbook is offered to be kept under: "收费日报-20241010.xlsx",
// "收费日报-张三-20241001-20241010.xlsx".
QString fileName(const DayClose::Report &close);

} // namespace DayCloseReport
