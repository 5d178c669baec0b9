#pragma once
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

class Database;

// Copies of the database file: taken while other copies of the program work, encrypted
// like the file itself, checked after copying, kept for a while, and put back on request.
// Also the engine's checks of a file.
namespace Backup {

// A database named by a server address is backed up with the server's own tools; this
// program takes no copies of it.
bool isServerDatabase(const QString &location);
QString serverDatabaseMessage();

// The time that names copies and decides whether today's copy is due. Tests put a clock
// of their own here; nullptr restores the computer's.
using Clock = std::function<QDateTime()>;
void setClock(Clock clock);
QDateTime now();

// What a copy holds, as the operator is told before restoring it.
struct Contents {
    QDateTime taken;              // from the copy's name, else the file's time
    qint64 houses = 0;            // live houses
    qint64 payments = 0;          // live payments
    QString lastReceipt;          // receipt number of the newest payment
    QMap<QString, qint64> rows;   // every table's row count
};

// The engine's verdict on a file.
struct CheckResult {
    bool whole = true;
    QStringList problems;      // the engine's own lines
    QStringList damagedTables; // tables that cannot be read whole
};

// Pages copied so far and in all.
using Progress = std::function<void(int done, int total)>;

// Data/Backup beside the database file.
QString folderFor(const QString &dbPath);
// db-yyyyMMdd-HHmmss.edb
QString fileNameFor(const QDateTime &when);
// The newest copy in the folder, or "" when there is none.
QString latest(const QString &folder);

// A consistent copy of the file at dbPath into outPath (which must not exist), taken in one
// read snapshot while other connections write, then opened with the key and checked: the
// engine's integrity check and every table's row count equal to the source's at the
// snapshot. The copy appears under outPath only when it passed. Throws AppError.
Contents copy(const QString &dbPath, const QString &outPath, const Progress &progress = {});

// Opens a copy with the program's key and checks it whole and of this program's kind;
// throws AppError saying what is wrong. Returns what it holds.
Contents inspect(const QString &copyPath);

// Puts the copy in place of the file at dbPath: the copy is checked first (a damaged or
// foreign one is refused and nothing changes), the replaced file is kept beside the
// database under a name with the time, and the restored file is checked. Returns the
// path of the kept file. Other copies of the program should be closed.
QString restore(const QString &dbPath, const QString &copyPath);

// Keeps the newest copy of each of the last `daily` days and of the last `monthly` months
// that have copies, removes the other copies of the folder (files of other names are
// never touched). Returns the removed files.
QStringList rotate(const QString &folder, int daily = 30, int monthly = 12);

// True when the folder holds no copy made today (by the clock).
bool dueToday(const QString &folder);

struct DailyResult {
    QString path;
    Contents contents;
    QStringList removed;
};
// Today's copy of the file into its Backup folder, then the rotation.
DailyResult takeDaily(const QString &dbPath);

// The engine's check on an open database: the quick one (structure of every page) or the
// full one (also every index against its table).
CheckResult check(Database &db, bool quick);

} // namespace Backup
