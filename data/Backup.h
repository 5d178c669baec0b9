#pragma once
#include "db/DbError.h"

#include <QDateTime>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>
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
// What check on a server leaves to the server's own tools.
QString serverCheckMessage();

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

// Thrown when the operator stopped a copy, a check or a restore; everything is as it was
// before it began.
class Cancelled : public AppError {
public:
    Cancelled() : AppError(QStringLiteral("已取消")) {}
};

// Lets the window follow a copy, a check or a restore that runs on another thread, and
// stop it. A stop removes what was being written (the copy, the kept file) and leaves the
// database as it was; once the restored pages are in place the restore can no longer stop.
class Control {
public:
    // From the window's thread. stop() also interrupts the statement running; a stop that
    // comes between two statements is seen at the next, so the window repeats it until
    // the work has ended.
    void stop();
    bool stopRequested() const { return m_stop; }
    bool stoppable() const { return m_stoppable; }
    QString stage() const;
    int done() const { return m_done; }
    int total() const { return m_total; } // 0 while the end is not known

    // From the working thread.
    void setStage(const QString &words, bool stoppable = true);
    void setProgress(int done, int total);
    // Throws Cancelled when a stop was asked for.
    void throwIfStopped() const;
    // The connection a stop interrupts while a long statement runs on it; nullptr when none.
    void watch(Database *db);
    // Also told every step of a page copy, on the working thread.
    void onProgress(std::function<void(int done, int total)> progress) { m_progress = std::move(progress); }

private:
    mutable QMutex m_mutex;
    QString m_stage;
    Database *m_watched = nullptr;
    std::atomic_bool m_stop{false};
    std::atomic_bool m_stoppable{true};
    std::atomic_int m_done{0};
    std::atomic_int m_total{0};
    std::function<void(int, int)> m_progress;
};

// For tests: called on the working thread when the check of a new copy begins.
void setCheckHook(std::function<void()> hook);

// Data/Backup beside the database file.
QString folderFor(const QString &dbPath);
// db-yyyyMMdd-HHmmss.edb
QString fileNameFor(const QDateTime &when);
// A copy the program made: named as one, not dated after now() (a clock once ahead), and
// opening with the program's key as a database of the program (tables of its version).
bool isProgramCopy(const QString &path);
// The newest such copy in the folder, or "" when there is none.
QString latest(const QString &folder);

// A consistent copy of the file at dbPath into outPath (which must not exist), taken in one
// read snapshot while other connections write, then opened with the key and checked: the
// engine's integrity check and every table's row count equal to the source's at the
// snapshot. The copy appears under outPath only when it passed. Throws AppError.
Contents copy(const QString &dbPath, const QString &outPath, const Progress &progress = {});
// The same, followed and stoppable through control: a stopped copy leaves no file behind
// (nor does a failed one) and throws Cancelled.
Contents copy(const QString &dbPath, const QString &outPath, Control &control);

// Opens a copy with the program's key and checks it whole and of this program's kind
// (every table of its schema version); throws AppError saying what is wrong. Returns what
// it holds. The copy is only read, in the form it has: also from a write-protected
// medium, and never changed (a copy of an earlier version is upgraded once restored).
Contents inspect(const QString &copyPath);
Contents inspect(const QString &copyPath, Control &control);

// What a restore of a copy would take out of the database: the payments and voids the
// database holds that the copy does not (made after the copy was taken), newest first.
struct Loss {
    bool known = true;       // false when the database could not be read
    QStringList payments;    // their receipt numbers
    QStringList voids;       // the receipt numbers of the voided payments
    QString lastReceipt;     // the database's newest receipt number
};
Loss loss(const QString &dbPath, const QString &copyPath, Control &control);
// The loss in the operator's words, one paragraph.
QString lossText(const Loss &loss);

// Puts the copy in place of the file at dbPath: the copy is checked first (a damaged or
// foreign one is refused and nothing changes), the replaced file is kept beside the
// database under a name with the time, and the restored file is checked and brought to
// the current schema. Every receipt number the replaced file issued stays used in the
// restored one (ReceiptNumbers). Returns the path of the kept file. Other copies of the
// program should be closed. The copy itself is only read.
QString restore(const QString &dbPath, const QString &copyPath);
// The same, followed through control; stoppable until the restored pages are in place (the
// kept file is then removed again and the database is as it was).
QString restore(const QString &dbPath, const QString &copyPath, Control &control);

// Keeps the newest copy of each of the last `daily` days and of the last `monthly` months
// that have copies, removes the other copies of the folder. Only the program's copies
// (isProgramCopy) count and are removed: files of other names, files named like copies
// that are not the program's and copies dated after now() are never touched. The working
// files of a copy that was killed (name.part and its -wal, -shm), begun more than a day
// ago, are removed too. Returns the removed files.
QStringList rotate(const QString &folder, int daily = 30, int monthly = 12);

// True when the folder holds no copy of the program made today (by the clock).
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

// The program's own checks of its accounts, on the file or a server: every table of the
// schema version, the books not altered (Books::verify, from version 5 on), no receipt number on two payments, every void naming its voided
// payment, no payment numbered beyond what its charging date's numbering issued. One
// line in the operator's words for each fault; none when the accounts agree.
QStringList checkAccounts(Database &db);

} // namespace Backup
