#pragma once
#include <QDate>
#include <QString>

// Every date of the program is the text "yyyy-mm-dd", on screen and in the database.
namespace Dates {

// Reads "yyyy-m-d" (one or two digits for month and day); an invalid QDate otherwise.
QDate tryParse(const QString &text);
// As tryParse, but throws AppError ("“x” 不是有效的日期") for a text that is no date.
QDate parse(const QString &text);
// A date in one of the forms people type into a spreadsheet: year, month and day joined by
// "-", "/" or "." (the same one twice), a four-digit year, one or two digits for month and
// day, blanks around it allowed ("2024-4-5", "2024/04/05", "2024.4.5"). An invalid QDate
// for any other text, and for one that names no day (2023-2-29).
QDate fromUsualForm(const QString &text);
// "yyyy-mm-dd", always with two-digit month and day.
QString format(const QDate &date);

} // namespace Dates
