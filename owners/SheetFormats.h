#pragma once
#include "owners/SheetReader.h"

// The readers behind SheetReader::read, one per file format. Each yields the sheet named
// "Sheet1" or throws AppError with a message for the operator.
namespace SheetFormats {

Sheet readXlsx(const QString &path);
Sheet readOds(const QString &path);
Sheet readXls(const QString &path);
Sheet readCsv(const QString &path);

// The sheet name the workbook uses for "Sheet1": the exact name, or else one that
// differs only in letter case (the spreadsheet providers find it so); -1 when absent.
int findSheet(const QStringList &names);
// "工作簿 … 中没有名为 Sheet1 的工作表 …" naming the sheets it has.
QString noSheetMessage(const QString &path, const QStringList &names);
QString unreadableMessage(const QString &path, const QString &why);

} // namespace SheetFormats
