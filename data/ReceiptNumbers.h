#pragma once
#include <QMap>
#include <QString>
#include <QStringList>

class Database;

// Receipt numbers by charging date. A payment's number is its charging date (yymmdd) and
// its place under that date (ChargeLogic::nextReceiptNumber): one more than the payments stamped with
// the date and the numbers of that date a restore took back. A restore puts an older
// database in place; the numbers the replaced one issued after the backup are on printed
// receipts, so they stay used: UNumSkip keeps, per charging date, how many numbers the
// numbering skips beyond the payments the database holds.
namespace ReceiptNumbers {

// The numbers of the charging date a restore took back (0 when none).
qint64 skipped(Database &db, const QString &chargingDate);

// The last place issued under each charging date: the payments stamped with it and the
// numbers skipped. Reads as much as it can of a damaged file (the table, its index of
// charging dates, the record of changes), so that a restore that replaces a damaged file
// still learns what was issued; whole is false when the payments could not be read at all.
struct Issued {
    QMap<QString, qint64> last;
    bool whole = true;
};
Issued issued(Database &db);

// After a restore: the numbering of the restored database goes on after every number the
// replaced one issued. In one transaction.
void carryOver(Database &restored, const Issued &before);

// Payments whose number lies beyond what the numbering of their charging date has issued:
// the next payments of that date would be given their numbers again. One line for each,
// in the operator's words.
QStringList beyondNumbering(Database &db);

} // namespace ReceiptNumbers
