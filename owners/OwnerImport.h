#pragma once
#include "sheets/SheetReader.h"

#include <QString>
#include <QStringList>
#include <functional>

// Adds the houses of a sheet to one residential area: every row with a room number that
// is not yet a live house of the area becomes a UHouse row stamped with the login state
// (ChargeDate, CurrentUserName). The statements are those of entering owners by hand.
namespace OwnerImport {

// Houses written per transaction on the file (on a server: rows of the sheet, so fewer
// houses where some are already there): one commit per batch instead of one per house.
// Between two batches the import holds no lock, so another desk can take a payment. Large:
// every index of the house lists takes the batch's houses at places all over it, and a
// commit writes each page it changed (encrypted) once more; with batches of 1,000 a
// 100,000-row sheet into a district of 100,000 houses wrote the same pages a hundred times
// (12.2 s, against 4.8 s in batches of 10,000).
constexpr int BatchSize = 10000;

// The eight column titles the import reads, in the order of UHouse's columns.
const QStringList &headings();

// What the program does to a value before storing it: "?" becomes a blank and double
// quotes are dropped (they upset the spreadsheet export and the receipt).
QString clean(const QString &text);

// Imports the rows and returns how many houses were added. Throws AppError naming the
// missing title when the sheet lacks one (nothing written), and naming the sheet row,
// the reason and the count added before it when the database refuses a row (the rows
// before it stay stored). Rows are written in batches inside transactions; the result is
// the same as writing them one by one. afterBatch, when given, is called after each
// batch is committed with the number of houses stored so far. Each batch stores its
// change record (the workbook's file name, the area and the count) in its own transaction.
// 到期日期 in a usual date form is stored as "yyyy-mm-dd"; notDates (if given) receives how
// many added houses have a 到期日期 that is no date (stored as given; empty ones not counted).
// passedOver (if given) receives how many rows with a room number were not added because
// the area already has a live house of that number (or an earlier row of the sheet named it).
int run(const Sheet &sheet, const QString &area, const std::function<void(int stored)> &afterBatch = {},
        int *notDates = nullptr, const QString &fileName = QString(), int *passedOver = nullptr);

// The message of a finished import: "成功导入业主数据 N 条！", then how many of them have a
// 到期日期 that is no date, and how many rows were passed over as already there, when there
// are any.
QString doneMessage(int added, int notDates = 0, int passedOver = 0);

} // namespace OwnerImport
