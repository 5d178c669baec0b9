#include "data/Backup.h"
#include "data/Database.h"
#include "data/DbError.h"
#include "data/Schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace Backup {

namespace {

Clock &clockSlot()
{
    static Clock c;
    return c;
}

std::function<void()> &checkHook()
{
    static std::function<void()> h;
    return h;
}

// The connection a stop interrupts, for as long as this lives.
class Watching {
public:
    Watching(Control &control, Database &db)
        : m_control(control)
    {
        m_control.watch(&db);
    }
    ~Watching() { m_control.watch(nullptr); }
    Watching(const Watching &) = delete;
    Watching &operator=(const Watching &) = delete;

private:
    Control &m_control;
};

QString key() { return QString::fromUtf8(Schema::DatabaseKey); }
QString native(const QString &path) { return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()); }

const QRegularExpression &copyName()
{
    static const QRegularExpression re(QStringLiteral("^db-(\\d{8})-(\\d{6})\\.edb$"));
    return re;
}

QDateTime timeFromName(const QString &fileName)
{
    const auto m = copyName().match(fileName);
    if (!m.hasMatch())
        return {};
    return QDateTime::fromString(m.captured(1) + m.captured(2), QStringLiteral("yyyyMMddHHmmss"));
}

QString quoteName(const QString &name)
{
    QString n = name;
    n.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

QStringList tableNames(Database &db)
{
    const Rows r = db.select(QStringLiteral(
        "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' ORDER BY name"));
    QStringList names;
    for (int i = 0; i < r.rowCount(); ++i)
        names << r.at(i, 0);
    return names;
}

QMap<QString, qint64> rowCounts(Database &db)
{
    QMap<QString, qint64> counts;
    for (const QString &t : tableNames(db))
        counts.insert(t, db.scalar(QStringLiteral("SELECT count(*) FROM ") + quoteName(t)).toLongLong());
    return counts;
}

// A megabyte of 4 KiB pages between two looks at the progress and at 取消.
constexpr int PagesPerStep = 256;

// Runs the engine's page copy from one open database into another, in steps so that the
// caller can show progress and stop it. A stopped copy is rolled back in the target, which
// stays as it was. The caller holds the snapshot (a read transaction on src).
void copyPages(Database &src, Database &dst, Control &control)
{
    // The engine's page copy exists for database files only.
    if (!src.handle() || !dst.handle())
        throw DbError(QStringLiteral("只能复制数据库文件"), QStringLiteral("backup"));
    sqlite3_backup *b = sqlite3_backup_init(dst.handle(), "main", src.handle(), "main");
    if (!b)
        throw DbError(QStringLiteral("复制数据库时出错（%1）").arg(QString::fromUtf8(sqlite3_errmsg(dst.handle()))),
                      QStringLiteral("backup"), sqlite3_errcode(dst.handle()));
    int rc;
    const auto since = std::chrono::steady_clock::now();
    for (;;) {
        if (control.stopRequested()) {
            sqlite3_backup_finish(b);
            throw Cancelled();
        }
        rc = sqlite3_backup_step(b, PagesPerStep);
        const int total = sqlite3_backup_pagecount(b);
        control.setProgress(total - sqlite3_backup_remaining(b), total);
        if (rc == SQLITE_OK)
            continue;
        // The target is a live file another copy is writing to: wait for its lock.
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            && std::chrono::steady_clock::now() - since < std::chrono::milliseconds(Database::BusyTimeoutMs)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        break;
    }
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE) {
        const QString engine = QString::fromUtf8(sqlite3_errstr(rc));
        throw DbError(QStringLiteral("复制数据库时出错（%1）").arg(engine), QStringLiteral("backup"), rc);
    }
}

void removeWithJournals(const QString &path)
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
}

// The pages of the file at dbPath as they are at one moment, into a new file at outPath.
// Returns the row counts of that moment.
QMap<QString, qint64> snapshot(const QString &dbPath, const QString &outPath, Control &control)
{
    Database src;
    src.open(dbPath, key());
    removeWithJournals(outPath);
    Database dst;
    dst.create(outPath, key());
    try {
        // One read transaction over the counting and the copying: both see the same
        // moment, whatever other copies of the program write meanwhile.
        src.exec(QStringLiteral("BEGIN"));
        QMap<QString, qint64> counts;
        {
            Watching watching(control, src);
            counts = rowCounts(src);
        }
        control.throwIfStopped();
        copyPages(src, dst, control);
        src.exec(QStringLiteral("COMMIT"));
        dst.close();
        return counts;
    } catch (...) {
        dst.close();
        removeWithJournals(outPath);
        throw;
    }
}

Contents contentsOf(Database &db, const QString &path)
{
    Contents c;
    c.rows = rowCounts(db);
    c.houses = db.scalar(QStringLiteral("SELECT count(*) FROM UHouse WHERE (theDel = '否')")).toLongLong();
    c.payments = db.scalar(QStringLiteral("SELECT count(*) FROM UCharge WHERE (theDel = '否')")).toLongLong();
    c.lastReceipt = db.scalar(QStringLiteral("SELECT theNum FROM UCharge ORDER BY ID DESC LIMIT 1"));
    c.taken = timeFromName(QFileInfo(path).fileName());
    if (!c.taken.isValid())
        c.taken = QFileInfo(path).lastModified();
    return c;
}

QString keptName(const QString &dbPath)
{
    return QFileInfo(dbPath).absoluteFilePath() + QStringLiteral(".replaced-")
        + now().toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

// Keeps the file about to be replaced: a consistent copy while it can be read, else the
// file and its write-ahead log as they lie on disk (a damaged file cannot be copied page
// by page, and is exactly the one someone may want to look at later).
QString keepReplaced(const QString &dbPath, Control &control)
{
    const QString kept = keptName(dbPath);
    if (QFileInfo::exists(kept))
        throw AppError(QStringLiteral("文件已经存在，不会覆盖：%1").arg(native(kept)));
    try {
        snapshot(dbPath, kept, control);
        return kept;
    } catch (const AppError &) {
        removeWithJournals(kept);
        if (control.stopRequested())
            throw Cancelled();
    }
    if (!QFile::copy(dbPath, kept))
        throw AppError(QStringLiteral("无法保留原数据库文件（复制到 %1 失败），没有恢复").arg(native(kept)));
    if (QFileInfo::exists(dbPath + QStringLiteral("-wal")))
        QFile::copy(dbPath + QStringLiteral("-wal"), kept + QStringLiteral("-wal"));
    return kept;
}

} // namespace

void Control::stop()
{
    QMutexLocker lock(&m_mutex);
    if (!m_stoppable)
        return;
    m_stop = true;
    if (m_watched)
        m_watched->interrupt();
}

QString Control::stage() const
{
    QMutexLocker lock(&m_mutex);
    return m_stage;
}

void Control::setStage(const QString &words, bool stoppable)
{
    QMutexLocker lock(&m_mutex);
    m_stage = words;
    m_stoppable = stoppable;
    m_done = 0;
    m_total = 0;
}

void Control::setProgress(int done, int total)
{
    m_total = total;
    m_done = done;
    if (m_progress)
        m_progress(done, total);
}

void Control::throwIfStopped() const
{
    if (m_stop)
        throw Cancelled();
}

void Control::watch(Database *db)
{
    QMutexLocker lock(&m_mutex);
    m_watched = db;
}

void setCheckHook(std::function<void()> hook) { checkHook() = std::move(hook); }

bool isServerDatabase(const QString &location)
{
    return Database::isServerUrl(location);
}

QString serverDatabaseMessage()
{
    return QStringLiteral("这是服务器上的数据库：请用数据库服务器自己的工具（pg_dump）备份和恢复，本程序不备份它");
}

void setClock(Clock clock) { clockSlot() = std::move(clock); }

QDateTime now()
{
    const Clock &c = clockSlot();
    return c ? c() : QDateTime::currentDateTime();
}

QString folderFor(const QString &dbPath)
{
    return QFileInfo(dbPath).absoluteDir().filePath(QStringLiteral("Backup"));
}

QString fileNameFor(const QDateTime &when)
{
    return QStringLiteral("db-") + when.toString(QStringLiteral("yyyyMMdd-HHmmss")) + QStringLiteral(".edb");
}

QString latest(const QString &folder)
{
    QString best;
    QDateTime bestTime;
    const QStringList names = QDir(folder).entryList(QDir::Files);
    for (const QString &n : names) {
        const QDateTime t = timeFromName(n);
        if (t.isValid() && (!bestTime.isValid() || t > bestTime)) {
            bestTime = t;
            best = QDir(folder).filePath(n);
        }
    }
    return best;
}

CheckResult check(Database &db, bool quick)
{
    CheckResult r;
    try {
        const Rows rows = db.select(quick ? QStringLiteral("PRAGMA quick_check") : QStringLiteral("PRAGMA integrity_check"));
        for (int i = 0; i < rows.rowCount(); ++i)
            if (rows.at(i, 0) != QLatin1String("ok"))
                r.problems << rows.at(i, 0);
    } catch (const DbError &e) {
        // An encrypted page that fails its check stops the engine's walk with an error.
        r.problems << e.message();
    }
    r.whole = r.problems.isEmpty();
    if (r.whole)
        return r;
    // Which tables: those that cannot be read to their end, and those whose index the
    // engine names.
    const QString said = r.problems.join(QLatin1Char('\n'));
    try {
        const Rows objects = db.select(QStringLiteral("SELECT type, name, tbl_name FROM sqlite_master "
                                                      "WHERE type IN ('table', 'index') AND name NOT LIKE 'sqlite_%'"));
        for (int i = 0; i < objects.rowCount(); ++i) {
            const QString type = objects.at(i, 0), name = objects.at(i, 1), table = objects.at(i, 2);
            bool damaged = false;
            if (type == QLatin1String("index")) {
                damaged = said.contains(QRegularExpression(QStringLiteral("\\b") + QRegularExpression::escape(name) + QStringLiteral("\\b")));
            } else {
                try {
                    auto c = db.cursor(QStringLiteral("SELECT * FROM ") + quoteName(name));
                    while (c->next())
                        for (int k = 0; k < c->columnCount(); ++k)
                            c->text(k);
                } catch (const DbError &) {
                    damaged = true;
                }
            }
            if (damaged && !r.damagedTables.contains(table))
                r.damagedTables << table;
        }
    } catch (const DbError &) {
        r.damagedTables << QStringLiteral("sqlite_master");
    }
    return r;
}

Contents inspect(const QString &copyPath)
{
    Control control;
    return inspect(copyPath, control);
}

Contents inspect(const QString &copyPath, Control &control)
{
    if (!QFileInfo(copyPath).isFile())
        throw AppError(QStringLiteral("找不到备份文件：%1").arg(native(copyPath)));
    Database db;
    try {
        db.open(copyPath, key());
    } catch (const DbError &e) {
        throw AppError(QStringLiteral("%1 不是本程序数据库的备份，或者已损坏，不能使用（%2）").arg(native(copyPath), e.message()));
    }
    Watching watching(control, db);
    const CheckResult r = check(db, false);
    // A stopped check reads as a damaged file; it is none.
    control.throwIfStopped();
    if (!r.whole)
        throw AppError(QStringLiteral("备份文件 %1 已损坏，不能使用（%2）")
                           .arg(native(copyPath), r.damagedTables.isEmpty() ? r.problems.value(0)
                                                                            : QStringLiteral("损坏的表：") + r.damagedTables.join(QStringLiteral("、"))));
    const QStringList tables = tableNames(db);
    for (const char *t : {"SUser", "SDept", "SArea", "SPrice", "SMType", "UHouse", "UCharge"})
        if (!tables.contains(QString::fromLatin1(t), Qt::CaseInsensitive))
            throw AppError(QStringLiteral("%1 不是本程序数据库的备份（没有表 %2），不能使用").arg(native(copyPath), QString::fromLatin1(t)));
    try {
        return contentsOf(db, copyPath);
    } catch (const AppError &) {
        control.throwIfStopped();
        throw;
    }
}

Contents copy(const QString &dbPath, const QString &outPath, const Progress &progress)
{
    Control control;
    control.onProgress(progress);
    return copy(dbPath, outPath, control);
}

Contents copy(const QString &dbPath, const QString &outPath, Control &control)
{
    if (isServerDatabase(dbPath))
        throw AppError(serverDatabaseMessage());
    const QFileInfo out(outPath);
    if (out.exists())
        throw AppError(QStringLiteral("文件已经存在，不会覆盖：%1").arg(native(outPath)));
    if (!QDir().mkpath(out.absolutePath()))
        throw AppError(QStringLiteral("无法创建备份文件夹：%1").arg(QDir::toNativeSeparators(out.absolutePath())));
    // Written under a working name and given its own only when it has passed the checks,
    // so that a copy under a copy's name is always whole.
    const QString part = out.absoluteFilePath() + QStringLiteral(".part");
    QMap<QString, qint64> counts;
    control.setStage(QStringLiteral("正在复制数据…"));
    try {
        counts = snapshot(dbPath, part, control);
    } catch (const Cancelled &) {
        throw;
    } catch (const AppError &e) {
        control.throwIfStopped();
        throw AppError(QStringLiteral("备份没有完成：%1").arg(e.message()), e.detail());
    }
    // The check of the copy reads every page again: as long as the copying, or longer.
    control.setStage(QStringLiteral("正在检查备份…"));
    Contents c;
    try {
        if (checkHook())
            checkHook()();
        control.throwIfStopped();
        c = inspect(part, control);
    } catch (const Cancelled &) {
        removeWithJournals(part);
        throw;
    } catch (const AppError &e) {
        removeWithJournals(part);
        control.throwIfStopped();
        throw AppError(QStringLiteral("备份的检查没有通过，没有保存备份：%1").arg(e.message()));
    }
    if (c.rows != counts) {
        removeWithJournals(part);
        throw AppError(QStringLiteral("备份的检查没有通过（备份的行数与数据库不一致），没有保存备份"));
    }
    // The last moment to stop: after the rename the copy is made.
    if (control.stopRequested()) {
        removeWithJournals(part);
        throw Cancelled();
    }
    if (!QFile::rename(part, out.absoluteFilePath())) {
        removeWithJournals(part);
        throw AppError(QStringLiteral("无法保存备份文件：%1").arg(native(outPath)));
    }
    c.taken = timeFromName(out.fileName());
    if (!c.taken.isValid())
        c.taken = now();
    return c;
}

QString restore(const QString &dbPath, const QString &copyPath)
{
    Control control;
    return restore(dbPath, copyPath, control);
}

QString restore(const QString &dbPath, const QString &copyPath, Control &control)
{
    if (isServerDatabase(dbPath))
        throw AppError(serverDatabaseMessage());
    const QString target = QFileInfo(dbPath).absoluteFilePath();
    if (QFileInfo(copyPath).absoluteFilePath() == target)
        throw AppError(QStringLiteral("备份文件就是数据库文件本身，不能恢复"));
    control.setStage(QStringLiteral("正在检查备份文件…"));
    const Contents wanted = inspect(copyPath, control);

    control.setStage(QStringLiteral("正在保留现在的数据…"));
    QString kept;
    if (QFileInfo::exists(target))
        kept = keepReplaced(target, control);
    // A stop from here on removes the kept file again: the database is as it was.
    const auto stopped = [&] {
        if (!kept.isEmpty())
            removeWithJournals(kept);
        return Cancelled();
    };
    if (control.stopRequested())
        throw stopped();
    control.setStage(QStringLiteral("正在恢复数据…"));

    // The engine writes the copy's pages into the live file under its write lock, so a copy
    // of the program that still has it open sees either the old or the restored data. A
    // file too damaged to be opened is replaced as a file.
    bool inPlace = false;
    if (QFileInfo::exists(target)) {
        try {
            Database dst;
            dst.open(target, key());
            Database src;
            src.open(copyPath, key());
            src.exec(QStringLiteral("BEGIN"));
            src.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master"));
            copyPages(src, dst, control);
            // The pages are in: from here the restore finishes whatever is asked.
            control.setStage(QStringLiteral("正在检查恢复的数据…"), false);
            src.exec(QStringLiteral("COMMIT"));
            inPlace = true;
        } catch (const Cancelled &) {
            throw stopped();
        } catch (const AppError &) {
            inPlace = false;
        }
    }
    if (!inPlace) {
        const QString incoming = target + QStringLiteral(".restoring");
        removeWithJournals(incoming);
        if (!QFile::copy(copyPath, incoming))
            throw AppError(QStringLiteral("无法写入 %1，没有恢复（原文件保存在 %2）").arg(native(incoming), native(kept)));
        control.setStage(QStringLiteral("正在检查恢复的数据…"), false);
        if (control.stopRequested()) {
            removeWithJournals(incoming);
            throw stopped();
        }
        // The log of the replaced file belongs to it alone; applied to the restored one it
        // would mix the two.
        removeWithJournals(target);
        if (!QFile::rename(incoming, target))
            throw AppError(QStringLiteral("无法把恢复的文件放到 %1（恢复的文件在 %2，原文件保存在 %3）")
                               .arg(native(target), native(incoming), native(kept)));
    }

    Database restored;
    restored.open(target, key());
    const CheckResult r = check(restored, true);
    if (!r.whole || rowCounts(restored) != wanted.rows)
        throw AppError(QStringLiteral("恢复后的数据库没有通过检查，请再试一次或换一个备份（原文件保存在 %1）").arg(native(kept)));
    return kept;
}

QStringList rotate(const QString &folder, int daily, int monthly)
{
    struct Entry {
        QDateTime when;
        QString path;
    };
    QList<Entry> copies;
    const QDir dir(folder);
    for (const QString &n : dir.entryList(QDir::Files)) {
        const QDateTime t = timeFromName(n);
        if (t.isValid())
            copies << Entry{t, dir.filePath(n)};
    }
    std::sort(copies.begin(), copies.end(), [](const Entry &a, const Entry &b) { return a.when > b.when; });
    QSet<QString> keep;
    QSet<QDate> days;
    QSet<int> months;
    for (const Entry &e : copies) {
        // Newest first: the first copy met of a day (of a month) is that day's (month's).
        const QDate d = e.when.date();
        if (!days.contains(d) && days.size() < daily) {
            days.insert(d);
            keep.insert(e.path);
        }
        const int m = d.year() * 12 + d.month();
        if (!months.contains(m) && months.size() < monthly) {
            months.insert(m);
            keep.insert(e.path);
        }
    }
    QStringList removed;
    for (const Entry &e : copies) {
        if (keep.contains(e.path))
            continue;
        if (QFile::remove(e.path))
            removed << e.path;
    }
    return removed;
}

bool dueToday(const QString &folder)
{
    const QDate today = now().date();
    for (const QString &n : QDir(folder).entryList(QDir::Files))
        if (timeFromName(n).date() == today)
            return false;
    return true;
}

DailyResult takeDaily(const QString &dbPath)
{
    DailyResult r;
    const QString folder = folderFor(dbPath);
    if (!QFileInfo::exists(folder) && QDir().mkpath(folder)) {
        // Every operator account that may use the database may take the day's copy.
        QFile::setPermissions(folder, QFileInfo(QFileInfo(dbPath).absolutePath()).permissions());
    }
    r.path = QDir(folder).filePath(fileNameFor(now()));
    r.contents = copy(dbPath, r.path);
    r.removed = rotate(folder);
    return r;
}

} // namespace Backup
