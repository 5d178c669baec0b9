#pragma once
#include <QDate>
#include <QString>

// Every date of the program is the text "yyyy-mm-dd", on screen and in the database.
namespace Dates {

// Reads "yyyy-m-d" (one or two digits for month and day); an invalid QDate otherwise.
QDate tryParse(const QString &text);
// As tryParse, but throws AppError ("“x” 不是有效的日期") for a text that is no date.
QDate parse(const QString &text);
// "yyyy-mm-dd", always with two-digit month and day.
QString format(const QDate &date);

} // namespace Dates
