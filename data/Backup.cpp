#include "data/Backup.h"
#include "db/Numbers.h"
#include "data/Books.h"
#include "data/DayFigures.h"
#include "data/HouseFigures.h"
#include "data/Roles.h"
#include "data/LiveRow.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "data/OutputFile.h"
#include "data/ReceiptNumbers.h"
#include "data/Schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

// The working files of a copy under way (or killed): the copy's name with ".part", and
// the engine's log and shared memory of that file.
const QRegularExpression &workingName()
{
    static const QRegularExpression re(QStringLiteral("^(db-\\d{8}-\\d{6}\\.edb)\\.part(-wal|-shm|-journal)?$"));
    return re;
}

// The permissions of the database file, for the files made from it (copies, the kept
// file), so that they are shared as the database is; -1 when it cannot be read.
int modeOf(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 0777);
}

// The bytes of a file into a new file made here exclusively (never through a link) with
// the given permissions (-1: the umask's), flushed to the disk. False when it failed; the
// new file is then removed.
bool copyBytes(const QString &from, const QString &to, int mode)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray name = QFile::encodeName(to);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode < 0 ? 0666 : mode);
    if (fd < 0)
        return false;
    bool ok = mode < 0 || ::fchmod(fd, mode_t(mode)) == 0;
    QByteArray buffer;
    while (ok && !in.atEnd()) {
        buffer = in.read(1 << 20);
        if (buffer.isEmpty() && in.error() != QFileDevice::NoError)
            ok = false;
        for (qint64 at = 0; ok && at < buffer.size();) {
            const ssize_t n = ::write(fd, buffer.constData() + at, size_t(buffer.size() - at));
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            at += n;
        }
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok)
        ::unlink(name.constData());
    return ok;
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

// The schema version of an open file as its upgrade reads it: a file of the program's
// tables without a number is of version 1; 0 for a file without them.
int fileVersion(Database &db, const QStringList &tables)
{
    const int v = db.scalar(QStringLiteral("PRAGMA user_version")).toInt();
    if (v != 0)
        return v;
    return tables.contains(QStringLiteral("UCharge"), Qt::CaseInsensitive) ? 1 : 0;
}

// The first table of the program that the database lacks for its schema version, or ""
// when it has them all. A file with none of them is named by its lack of UCharge.
QString missingTable(int version, const QStringList &tables)
{
    for (const QString &t : Schema::tablesOf(std::clamp(version, 1, Schema::Version)))
        if (!tables.contains(t, Qt::CaseInsensitive))
            return t;
    return {};
}

// A copy opens with the program's key and holds every table of its version, a version
// this program knows. Throws AppError in the operator's words.
void requireProgramTables(Database &db, const QString &copyPath)
{
    const QStringList tables = tableNames(db);
    const int version = fileVersion(db, tables);
    if (version > Schema::Version)
        throw AppError(QStringLiteral("%1 是较新版本的程序做的备份（结构版本 %2，本程序为 %3），请使用新版本的程序恢复")
                           .arg(native(copyPath))
                           .arg(version)
                           .arg(Schema::Version));
    const QString missing = missingTable(version, tables);
    if (!missing.isEmpty())
        throw AppError(QStringLiteral("%1 不是本程序数据库的备份（没有表 %2），不能使用").arg(native(copyPath), missing));
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
    dst.create(outPath, key(), modeOf(dbPath));
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
    c.houses = db.scalar(QStringLiteral("SELECT count(*) FROM UHouse WHERE (" LIVE_ROW ")")).toLongLong();
    c.payments = db.scalar(QStringLiteral("SELECT count(*) FROM UCharge WHERE (" LIVE_ROW ")")).toLongLong();
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
    // Two restores within one second keep two files: the second gets a number after it.
    const QString named = keptName(dbPath);
    QString kept = named;
    for (int n = 2; QFileInfo::exists(kept) || QFileInfo(kept).isSymLink(); ++n)
        kept = named + QStringLiteral("-%1").arg(n);
    try {
        snapshot(dbPath, kept, control);
        return kept;
    } catch (const AppError &) {
        removeWithJournals(kept);
        if (control.stopRequested())
            throw Cancelled();
    }
    const int mode = modeOf(dbPath);
    if (!copyBytes(dbPath, kept, mode))
        throw AppError(QStringLiteral("无法保留原数据库文件（复制到 %1 失败），没有恢复").arg(native(kept)));
    if (QFileInfo::exists(dbPath + QStringLiteral("-wal")))
        copyBytes(dbPath + QStringLiteral("-wal"), kept + QStringLiteral("-wal"), mode);
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

QString serverCheckMessage()
{
    return QStringLiteral("数据库在服务器上的存储由服务器自己检查（pg_amcheck），备份用 pg_dump");
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

bool isProgramCopy(const QString &path)
{
    const QDateTime t = timeFromName(QFileInfo(path).fileName());
    if (!t.isValid() || t > now() || !QFileInfo(path).isFile())
        return false;
    try {
        Database db;
        db.openReadOnly(path, key());
        const QStringList tables = tableNames(db);
        const int version = fileVersion(db, tables);
        return version >= 1 && version <= Schema::Version && missingTable(version, tables).isEmpty();
    } catch (const AppError &) {
        return false;
    }
}

namespace {

struct Copy {
    QDateTime when;
    QString path;
};

// The program's copies in the folder, newest first.
QList<Copy> programCopies(const QString &folder)
{
    QList<Copy> copies;
    const QDir dir(folder);
    for (const QString &n : dir.entryList(QDir::Files)) {
        const QDateTime t = timeFromName(n);
        if (t.isValid() && isProgramCopy(dir.filePath(n)))
            copies << Copy{t, dir.filePath(n)};
    }
    std::sort(copies.begin(), copies.end(), [](const Copy &a, const Copy &b) { return a.when > b.when; });
    return copies;
}

} // namespace

QString latest(const QString &folder)
{
    // Newest first, each opened only until one is the program's.
    QList<Copy> named;
    const QDir dir(folder);
    for (const QString &n : dir.entryList(QDir::Files)) {
        const QDateTime t = timeFromName(n);
        if (t.isValid() && t <= now())
            named << Copy{t, dir.filePath(n)};
    }
    std::sort(named.begin(), named.end(), [](const Copy &a, const Copy &b) { return a.when > b.when; });
    for (const Copy &c : named)
        if (isProgramCopy(c.path))
            return c.path;
    return {};
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

QStringList checkAccounts(Database &db)
{
    QStringList found;
    QStringList tables = db.tables();
    const int version = db.isServer() ? db.schemaVersion() : fileVersion(db, tables);
    const QString missing = missingTable(version, tables);
    if (!missing.isEmpty()) {
        found << QStringLiteral("缺少表 %1").arg(missing);
        return found;
    }
    // Altered books first, the first altered row at the top; a file of an earlier version
    // (a backup checked as it lies) has no chain yet.
    if (version >= 5)
        for (const Books::Fault &f : Books::verify(db))
            found << f.text();
    const Rows twice = db.select(QStringLiteral("SELECT theNum, COUNT(*) FROM UCharge WHERE (theNum <> '') "
                                                "GROUP BY theNum HAVING COUNT(*) > 1 ORDER BY theNum"));
    for (int i = 0; i < twice.rowCount(); ++i)
        found << QStringLiteral("收据号 %1 用在了 %2 笔收费上").arg(twice.at(i, 0), twice.at(i, 1));
    if (tables.contains(QStringLiteral("UVoid"), Qt::CaseInsensitive)) {
        const Rows voids = db.select(QStringLiteral(
            "SELECT v.theNum, c.ID FROM UVoid v LEFT JOIN UCharge c ON (c.ID = v.CID) "
            "WHERE (c.ID IS NULL) OR (c.theDel <> '是') OR (c.theNum <> v.theNum) ORDER BY v.ID"));
        for (int i = 0; i < voids.rowCount(); ++i)
            found << (voids.at(i, 1).isEmpty()
                          ? QStringLiteral("作废记录 %1 找不到它作废的收费").arg(voids.at(i, 0))
                          : QStringLiteral("作废记录 %1 所指的收费没有作废或收据号不同").arg(voids.at(i, 0)));
    }
    // A payment's parts, where the office's rules made any, belong to a payment and add up
    // to its amount.
    if (tables.contains(QStringLiteral("UChargeItem"), Qt::CaseInsensitive)) {
        const Rows parts = db.select(QStringLiteral("SELECT i.CID, c.theNum, c.theMoney, ") + db.exactSum(QStringLiteral("i.theMoney"))
                                     + QStringLiteral(" FROM UChargeItem i LEFT JOIN UCharge c ON (c.ID = i.CID) "
                                                      "GROUP BY i.CID, c.theNum, c.theMoney ORDER BY i.CID"));
        const auto fen = [](const QString &yuan) { return qRound64(Numbers::toDouble(yuan.isEmpty() ? QStringLiteral("0") : yuan) * 100.0); };
        for (int i = 0; i < parts.rowCount(); ++i) {
            if (parts.at(i, 1).isEmpty() && parts.at(i, 2).isEmpty())
                found << QStringLiteral("收费的组成部分（UChargeItem）所指的收费 ID %1 不存在").arg(parts.at(i, 0));
            else if (fen(parts.at(i, 2)) != fen(parts.at(i, 3)))
                found << QStringLiteral("收据号 %1 的各组成部分合计 %2 与收款金额 %3 不符")
                             .arg(parts.at(i, 1), Numbers::plain(double(fen(parts.at(i, 3))) / 100.0),
                                  Numbers::plain(double(fen(parts.at(i, 2))) / 100.0));
        }
    }
    found << ReceiptNumbers::beyondNumbering(db);
    // The figures kept beside the payments, counted again from them.
    if (version >= 6) {
        if (const QString differs = DayFigures::firstDifference(db); !differs.isEmpty())
            found << differs;
        if (const QString differs = HouseFigures::firstDifference(db); !differs.isEmpty())
            found << differs;
    }
    return found;
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
        db.openReadOnly(copyPath, key());
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
    requireProgramTables(db, copyPath);
    try {
        return contentsOf(db, copyPath);
    } catch (const AppError &) {
        control.throwIfStopped();
        throw;
    }
}

namespace {

// The rows of the database (newest first) that the copy does not hold, by the receipt
// numbers they carry. Both grow by adding rows with higher IDs, so the rows they share
// lie below the first one found in both; rows above it were added to the database after
// the copy was taken (or after the two went separate ways). A copy lacking the table
// holds none of them.
QStringList notInCopy(Database &db, Database &copy, const QString &table, const QString &second, Control &control)
{
    QStringList numbers;
    std::unique_ptr<Statement> inCopy;
    try {
        inCopy = std::make_unique<Statement>(copy, QStringLiteral("SELECT 1 FROM %1 WHERE (ID = ?) AND (IFNULL(theNum, '') = ?) "
                                                                  "AND (IFNULL(%2, '') = ?)")
                                                       .arg(table, second));
    } catch (const DbError &) {
    }
    auto rows = db.cursor(QStringLiteral("SELECT ID, theNum, %2 FROM %1 ORDER BY ID DESC").arg(table, second));
    while (rows->next()) {
        control.throwIfStopped();
        if (inCopy) {
            inCopy->bind(1, rows->value(0).toLongLong());
            inCopy->bind(2, rows->text(1));
            inCopy->bind(3, rows->text(2));
            if (inCopy->hasRow())
                break;
        }
        numbers << rows->text(1);
    }
    return numbers;
}

// Receipt numbers for a sentence: all of a few, else the first and the last ones.
QString numberList(const QStringList &newestFirst)
{
    QStringList n = newestFirst;
    std::reverse(n.begin(), n.end());
    const QString sep = QStringLiteral("、");
    if (n.size() <= 10)
        return n.join(sep);
    return n.mid(0, 5).join(sep) + QStringLiteral(" … ") + n.mid(n.size() - 5).join(sep);
}

} // namespace

Loss loss(const QString &dbPath, const QString &copyPath, Control &control)
{
    Loss l;
    Database copy;
    copy.openReadOnly(copyPath, key());
    Database db;
    try {
        db.open(dbPath, key());
        Watching watching(control, db);
        l.lastReceipt = db.scalar(QStringLiteral("SELECT theNum FROM UCharge ORDER BY ID DESC LIMIT 1"));
        l.payments = notInCopy(db, copy, QStringLiteral("UCharge"), QStringLiteral("theDate"), control);
        l.voids = notInCopy(db, copy, QStringLiteral("UVoid"), QStringLiteral("theTime"), control);
    } catch (const AppError &) {
        control.throwIfStopped();
        // A damaged database is the usual reason to restore; what it lost cannot be told.
        return Loss{false, {}, {}, {}};
    }
    return l;
}

QString lossText(const Loss &l)
{
    if (!l.known)
        return QStringLiteral("现在的数据库无法读出，不能列出备份之后的收费和作废。");
    QStringList parts;
    if (!l.payments.isEmpty())
        parts << QStringLiteral("%1 笔收费（收据号 %2）").arg(l.payments.size()).arg(numberList(l.payments));
    if (!l.voids.isEmpty())
        parts << QStringLiteral("%1 笔作废（收据号 %2）").arg(l.voids.size()).arg(numberList(l.voids));
    if (parts.isEmpty())
        return QStringLiteral("备份之后没有新的收费和作废。");
    return QStringLiteral("备份之后的%1不在这个备份中：恢复后它们只保存在原数据库文件里，这些收据号不会再次使用。")
        .arg(parts.join(QStringLiteral("和")));
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
    if (out.isSymLink())
        throw AppError(QStringLiteral("%1 是一个链接，备份不会通过它写入：请换一个文件名").arg(native(outPath)));
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
    try {
        OutputFile::placeNew(part, out.absoluteFilePath());
    } catch (const AppError &e) {
        removeWithJournals(part);
        throw AppError(QStringLiteral("无法保存备份文件：%1").arg(e.message()));
    }
    c.taken = timeFromName(out.fileName());
    if (!c.taken.isValid())
        c.taken = now();
    return c;
}

QString restore(const QString &dbPath, const QString &copyPath)
{
    // The window asks before its restore goes off the thread of the connection.
    Roles::require(Roles::Action::Backup);
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
    // file too damaged to be opened is replaced as a file. The numbers the replaced file
    // issued are read just before its pages go.
    ReceiptNumbers::Issued issued;
    issued.whole = false;
    bool inPlace = false;
    if (QFileInfo::exists(target)) {
        try {
            Database dst;
            dst.open(target, key());
            issued = ReceiptNumbers::issued(dst);
            Database src;
            src.openReadOnly(copyPath, key());
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
        if (!issued.whole && !kept.isEmpty()) {
            try {
                Database replaced;
                replaced.openReadOnly(kept, key());
                issued = ReceiptNumbers::issued(replaced);
            } catch (const AppError &) {
            }
        }
        const QString incoming = target + QStringLiteral(".restoring");
        removeWithJournals(incoming);
        if (!copyBytes(copyPath, incoming, modeOf(target)))
            throw AppError(QStringLiteral("无法写入 %1，没有恢复（原文件保存在 %2）").arg(native(incoming), native(kept)));
        control.setStage(QStringLiteral("正在检查恢复的数据…"), false);
        if (control.stopRequested()) {
            removeWithJournals(incoming);
            throw stopped();
        }
        // The log of the replaced file belongs to it alone; applied to the restored one it
        // would mix the two.
        removeWithJournals(target);
        if (std::rename(QFile::encodeName(incoming).constData(), QFile::encodeName(target).constData()) != 0)
            throw AppError(QStringLiteral("无法把恢复的文件放到 %1（恢复的文件在 %2，原文件保存在 %3）")
                               .arg(native(target), native(incoming), native(kept)));
    }

    // Opened as the program opens it: a copy of an earlier version takes the current form
    // here, in the restored file.
    Database restored;
    restored.open(target, key());
    const CheckResult r = check(restored, true);
    const QMap<QString, qint64> counts = rowCounts(restored);
    bool same = r.whole;
    for (auto it = wanted.rows.begin(); same && it != wanted.rows.end(); ++it)
        same = counts.value(it.key(), -1) == it.value();
    if (!same)
        throw AppError(QStringLiteral("恢复后的数据库没有通过检查，请再试一次或换一个备份（原文件保存在 %1）").arg(native(kept)));
    ReceiptNumbers::carryOver(restored, issued);
    return kept;
}

QStringList rotate(const QString &folder, int daily, int monthly)
{
    const QList<Copy> copies = programCopies(folder);
    QSet<QString> keep;
    QSet<QDate> days;
    QSet<int> months;
    for (const Copy &e : copies) {
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
    for (const Copy &e : copies) {
        if (keep.contains(e.path))
            continue;
        if (QFile::remove(e.path)) {
            removed << e.path;
            removeWithJournals(e.path);
        }
    }
    // What a killed copy left: no copy is made for a day, so a working file begun before
    // that is nobody's any more.
    const QDir dir(folder);
    const QDateTime dayAgo = now().addDays(-1);
    for (const QString &n : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const auto m = workingName().match(n);
        if (!m.hasMatch())
            continue;
        const QDateTime begun = timeFromName(m.captured(1));
        if (begun.isValid() && begun < dayAgo && QFile::remove(dir.filePath(n)))
            removed << dir.filePath(n);
    }
    return removed;
}

bool dueToday(const QString &folder)
{
    const QDate today = now().date();
    const QDir dir(folder);
    for (const QString &n : dir.entryList(QDir::Files))
        if (timeFromName(n).date() == today && isProgramCopy(dir.filePath(n)))
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
    // The day's copy is the newest the rotation keeps; never report one that is gone.
    if (!QFileInfo::exists(r.path))
        throw AppError(QStringLiteral("今天的备份 %1 在整理备份文件夹时被删除了").arg(native(r.path)));
    return r;
}

} // namespace Backup
