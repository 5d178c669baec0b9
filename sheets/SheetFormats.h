#pragma once
#include <atomic>
#include "sheets/SheetReader.h"

class QIODevice;

// The readers behind SheetReader::read, one per file format. Each yields the sheet named
// "Sheet1" or throws AppError with a message for the operator.
namespace SheetFormats {

Sheet readXlsx(const QString &path);
Sheet readOds(const QString &path);
// FreeXL trusts the lengths written in a workbook, so a damaged .xls can make it read
// past its buffers. readXls therefore runs it in a helper process (the admin tool's
// "xls-sheet" command beside the program): such a file costs a message, not the program.
// readXlsHere reads in this process (the helper itself, and where no helper is found);
// writeXlsResult is the helper's answer on its standard output.
// stop, when given and set from another thread, ends the helper at once (AppError).
Sheet readXls(const QString &path, const std::atomic<bool> *stop = nullptr);
Sheet readXlsHere(const QString &path);
void writeXlsResult(QIODevice *out, const QString &path);
Sheet readCsv(const QString &path);

// The sheet name the workbook uses for "Sheet1": the exact name, or else one that
// differs only in letter case (the spreadsheet providers find it so); -1 when absent.
int findSheet(const QStringList &names);
// "工作簿 … 中没有名为 Sheet1 的工作表 …" naming the sheets it has.
QString noSheetMessage(const QString &path, const QStringList &names);
QString unreadableMessage(const QString &path, const QString &why);

} // namespace SheetFormats
