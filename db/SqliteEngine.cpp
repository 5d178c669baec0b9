#include "db/SqliteEngine.h"
#include "db/CaseFold.h"
#include "db/DatabaseEngine.h"
#include "db/Numbers.h"
#include "db/Dates.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

QString columnText(sqlite3_stmt *stmt, int i)
{
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return QString::number(sqlite3_column_int64(stmt, i));
    case SQLITE_FLOAT:
        return Numbers::plain(sqlite3_column_double(stmt, i));
    default: {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
        return QString::fromUtf8(p, sqlite3_column_bytes(stmt, i));
    }
    }
}

// The year and month of a text that is exactly a valid yyyy-mm-dd date.
bool isoYearMonth(sqlite3_value *v, int &year, int &month)
{
    if (sqlite3_value_type(v) != SQLITE_TEXT || sqlite3_value_bytes(v) != 10)
        return false;
    const auto *t = reinterpret_cast<const char *>(sqlite3_value_text(v));
    int digits[8];
    int n = 0;
    for (int i = 0; i < 10; ++i) {
        if (i == 4 || i == 7) {
            if (t[i] != '-')
                return false;
        } else if (t[i] >= '0' && t[i] <= '9') {
            digits[n++] = t[i] - '0';
        } else {
            return false;
        }
    }
    year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
    month = digits[4] * 10 + digits[5];
    const int day = digits[6] * 10 + digits[7];
    return QDate::isValid(year, month, day);
}

// DateDiff('yyyy', a, b): calendar-year boundaries from a to b, the year of b minus the
// year of a. A text that is no date gives null, so such a row owes nothing.
void dateDiffFunc(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (argc != 3) {
        sqlite3_result_error(ctx, "DateDiff needs three arguments", -1);
        return;
    }
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL || sqlite3_value_type(argv[2]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    // The arrears reminder calls this for every house: dates stored as yyyy-mm-dd are read
    // from their digits, anything else through the full date reading below.
    const auto *unit = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    if (unit && (std::strcmp(unit, "yyyy") == 0 || std::strcmp(unit, "m") == 0)) {
        int ya, ma, yb, mb;
        if (isoYearMonth(argv[1], ya, ma) && isoYearMonth(argv[2], yb, mb)) {
            sqlite3_result_int64(ctx, unit[0] == 'y' ? yb - ya : (yb - ya) * 12 + mb - ma);
            return;
        }
    }
    const QString interval = QString::fromUtf8(unit).toLower();
    const QDate a = Dates::tryParse(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(argv[1]))));
    const QDate b = Dates::tryParse(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(argv[2]))));
    if (!a.isValid() || !b.isValid()) {
        sqlite3_result_null(ctx);
        return;
    }
    if (interval == QLatin1String("yyyy")) {
        sqlite3_result_int64(ctx, b.year() - a.year());
    } else if (interval == QLatin1String("m")) {
        sqlite3_result_int64(ctx, (b.year() - a.year()) * 12 + b.month() - a.month());
    } else if (interval == QLatin1String("d")) {
        sqlite3_result_int64(ctx, a.daysTo(b));
    } else {
        sqlite3_result_error(ctx, "DateDiff: unsupported interval", -1);
    }
}

// Used by the schema's CHECK constraints: a value belongs in a number column only when
// it is a finite number or a text that reads completely as one ('12..5', '' and '1e999'
// do not; a literal 1e999 arrives here already made infinite).
void isNumberFunc(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL:
    case SQLITE_INTEGER:
        sqlite3_result_int(ctx, 1);
        return;
    case SQLITE_FLOAT:
        sqlite3_result_int(ctx, std::isfinite(sqlite3_value_double(argv[0])) ? 1 : 0);
        return;
    default: {
        const QString t = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(argv[0])));
        sqlite3_result_int(ctx, Numbers::isNumber(t) ? 1 : 0);
    }
    }
}

// The collation of every text column: equal and ordered without regard to letter case,
// for every letter (CaseFold).
int caseFoldCollate(void *, int aBytes, const void *a, int bBytes, const void *b)
{
    return CaseFold::compareUtf8(static_cast<const char *>(a), aBytes, static_cast<const char *>(b), bBytes);
}

// X LIKE Y [ESCAPE Z] as like(Y, X[, Z]), with the same folding as the collation, so that
// "=" and LIKE agree. The compiled pattern is kept while the statement runs with it.
void likeFunc(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    char32_t escape = 0;
    if (argc == 3) {
        if (sqlite3_value_type(argv[2]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
        const auto *e = reinterpret_cast<const char *>(sqlite3_value_text(argv[2]));
        const int bytes = sqlite3_value_bytes(argv[2]);
        // The lists' escape is one ASCII character, asked for on every row: read as it is.
        if (bytes == 1 && static_cast<unsigned char>(e[0]) < 0x80) {
            escape = char32_t(e[0]);
        } else {
            const QList<uint> ucs4 = QString::fromUtf8(e, bytes).toUcs4();
            if (ucs4.size() != 1) {
                sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
                return;
            }
            escape = ucs4.first();
        }
    }
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    auto *pattern = static_cast<CaseFold::LikePattern *>(sqlite3_get_auxdata(ctx, 0));
    if (!pattern || pattern->escape() != escape) {
        const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
        pattern = new CaseFold::LikePattern(p, sqlite3_value_bytes(argv[0]), escape);
        sqlite3_set_auxdata(ctx, 0, pattern, [](void *d) { delete static_cast<CaseFold::LikePattern *>(d); });
        // The engine may drop the pattern at once; ask again for what it kept.
        pattern = static_cast<CaseFold::LikePattern *>(sqlite3_get_auxdata(ctx, 0));
        if (!pattern) {
            const CaseFold::LikePattern once(p, sqlite3_value_bytes(argv[0]), escape);
            const auto *t = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
            sqlite3_result_int(ctx, once.matches(t, sqlite3_value_bytes(argv[1])) ? 1 : 0);
            return;
        }
    }
    const auto *t = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
    sqlite3_result_int(ctx, pattern->matches(t, sqlite3_value_bytes(argv[1])) ? 1 : 0);
}

// While another copy holds the write lock: try again every millisecond, for at most
// BusyTimeoutMs. The engine's own timeout sleeps up to 100 ms between tries and so
// keeps missing the moment between two transactions of a copy that writes batch after
// batch (an import), until it gives up with "database is locked".
int busyWait(void *, int tries)
{
    thread_local std::chrono::steady_clock::time_point since;
    const auto now = std::chrono::steady_clock::now();
    if (tries == 0)
        since = now;
    else if (now - since >= std::chrono::milliseconds(Database::BusyTimeoutMs))
        return 0;
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(now - since).count();
    if (!Database::keepWaiting(int(waited)))
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
}

// The operator's words where the file or the disk failed rather than the statement;
// empty where the engine's own words are the clearest (a statement it cannot read).
QString engineMessage(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_FULL:
        return QStringLiteral("磁盘空间不足（或文件大小受到限制），本次操作没有完成");
    case SQLITE_IOERR:
        return QStringLiteral("读写数据库文件时出错（磁盘已满、文件大小受到限制或磁盘故障），本次操作没有完成");
    case SQLITE_READONLY:
        return QStringLiteral("数据库文件或它所在的文件夹是只读的，本次操作没有完成");
    case SQLITE_CANTOPEN:
        return QStringLiteral("无法打开数据库文件或它的日志文件（请检查文件夹是否存在、是否可写）");
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("没有访问数据库文件的权限");
    case SQLITE_CORRUPT:
        return QStringLiteral("数据库文件已损坏");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("数据库正被另一台电脑上的程序长时间占用，本次操作没有完成，请稍后重试");
    case SQLITE_NOMEM:
        return QStringLiteral("内存不足");
    default:
        return {};
    }
}

// Every refusal of the engine becomes an error here, for every screen and the admin tool.
// Where the file or the disk failed, or a value was refused (a number column's CHECK,
// named after the column in the operator's words), the message is the operator's words
// alone: the engine's sentence stays in the detail, or, for a refused value, the
// statement that held it.
DbError engineError(int rc, const QString &engine, const QString &sql)
{
    static const QString checkFailed = QStringLiteral("CHECK constraint failed: ");
    if ((rc & 0xff) == SQLITE_CONSTRAINT && engine.startsWith(checkFailed))
        return DbError(engine.mid(checkFailed.size()), sql, rc);
    const QString plain = engineMessage(rc);
    if (plain.isEmpty())
        return DbError(engine, sql, rc);
    return DbError(plain, sql, rc, engine);
}

// SUM without the noise of binary fractions: 100,000 areas of two decimals summed one by
// one in double precision read back as 10257412.2099999 instead of 10257412.21. The sum is
// kept in extended precision with compensation, so it lands on the nearest double. Whole
// numbers still sum to a whole number, nulls are skipped, and no rows give null.
struct SumState {
    long double sum;
    long double comp;
    qint64 intSum;
    bool any;
    bool real;
    bool overflow;
};

// The engine hands out an aggregate's memory aligned for 8 bytes; a long double needs 16.
// The state lies at the first suitably aligned place of a block that much larger (the same
// place on every call, since the engine hands back the same block, zeroed at first).
SumState *sumStateOf(sqlite3_context *ctx, bool make)
{
    void *raw = sqlite3_aggregate_context(ctx, make ? int(sizeof(SumState) + alignof(SumState)) : 0);
    if (!raw)
        return nullptr;
    const auto p = reinterpret_cast<std::uintptr_t>(raw);
    return reinterpret_cast<SumState *>((p + alignof(SumState) - 1) & ~std::uintptr_t(alignof(SumState) - 1));
}

void sumStep(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    auto *st = sumStateOf(ctx, true);
    if (!st)
        return;
    const int type = sqlite3_value_numeric_type(argv[0]);
    if (type == SQLITE_NULL)
        return;
    st->any = true;
    if (type == SQLITE_INTEGER && !st->real) {
        const qint64 v = sqlite3_value_int64(argv[0]);
        if (__builtin_add_overflow(st->intSum, v, &st->intSum))
            st->overflow = true;
    }
    if (type != SQLITE_INTEGER)
        st->real = true;
    const long double v = sqlite3_value_double(argv[0]);
    const long double t = st->sum + v;
    if (std::fabs(static_cast<double>(st->sum)) >= std::fabs(static_cast<double>(v)))
        st->comp += (st->sum - t) + v;
    else
        st->comp += (v - t) + st->sum;
    st->sum = t;
}

void sumFinal(sqlite3_context *ctx)
{
    auto *st = sumStateOf(ctx, false);
    if (!st || !st->any) {
        sqlite3_result_null(ctx);
        return;
    }
    if (!st->real) {
        if (st->overflow)
            sqlite3_result_error(ctx, "integer overflow", -1);
        else
            sqlite3_result_int64(ctx, st->intSum);
        return;
    }
    const double total = static_cast<double>(st->sum + st->comp);
    // A total beyond what a double holds would read as a number it is not.
    if (!std::isfinite(total)) {
        sqlite3_result_error(ctx, "合计超出范围", -1);
        return;
    }
    sqlite3_result_double(ctx, total);
}

} // namespace

void registerCaseFolding(sqlite3 *db)
{
    sqlite3_create_collation_v2(db, CaseFold::CollationName, SQLITE_UTF8, nullptr, caseFoldCollate, nullptr);
    sqlite3_create_function_v2(db, "like", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, likeFunc, nullptr,
                               nullptr, nullptr);
    sqlite3_create_function_v2(db, "like", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, likeFunc, nullptr,
                               nullptr, nullptr);
}


// ---------------------------------------------------------------- SqliteCursor

namespace {

class SqliteCursor : public CursorEngine {
public:
    SqliteCursor(sqlite3 *db, sqlite3_stmt *stmt, QString sql)
        : m_db(db), m_stmt(stmt), m_sql(std::move(sql))
    {
        const int n = sqlite3_column_count(stmt);
        for (int i = 0; i < n; ++i)
            m_columns << QString::fromUtf8(sqlite3_column_name(stmt, i));
    }
    ~SqliteCursor() override { sqlite3_finalize(m_stmt); }

    const QStringList &columns() const override { return m_columns; }

    bool next() override
    {
        if (m_done)
            return false;
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        m_done = true;
        if (rc != SQLITE_DONE)
            throw engineError(rc, QString::fromUtf8(sqlite3_errmsg(m_db)), m_sql);
        return false;
    }

    QString text(int column) const override { return columnText(m_stmt, column); }
    void appendText(QByteArray &out, int column) const override
    {
        if (sqlite3_column_type(m_stmt, column) != SQLITE_TEXT) {
            out += columnText(m_stmt, column).toUtf8();
            return;
        }
        // As text() reads it: a sequence that is no UTF-8 becomes the replacement mark.
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        const int n = sqlite3_column_bytes(m_stmt, column);
        if (QByteArrayView(p, n).isValidUtf8())
            out.append(p, n);
        else
            out += QString::fromUtf8(p, n).toUtf8();
    }
    bool isNull(int column) const override { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }
    QVariant value(int column) const override
    {
        switch (sqlite3_column_type(m_stmt, column)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_INTEGER:
            return QVariant(qint64(sqlite3_column_int64(m_stmt, column)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(m_stmt, column));
        default:
            return QVariant(columnText(m_stmt, column));
        }
    }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt;
    QString m_sql;
    QStringList m_columns;
    bool m_done = false;
};

class SqliteStatement : public StatementEngine {
public:
    SqliteStatement(SqliteEngine &db, const QString &sql)
        : m_db(db), m_sql(sql), m_stmt(db.compile(sql))
    {
    }
    ~SqliteStatement() override { sqlite3_finalize(m_stmt); }

    void bind(int index, const QString &text) override
    {
        const QByteArray b = text.toUtf8();
        if (sqlite3_bind_text(m_stmt, index, b.constData(), b.size(), SQLITE_TRANSIENT) != SQLITE_OK)
            m_db.fail(m_sql, sqlite3_errcode(m_db.handle()));
    }
    void bind(int index, double value) override
    {
        if (sqlite3_bind_double(m_stmt, index, value) != SQLITE_OK)
            m_db.fail(m_sql, sqlite3_errcode(m_db.handle()));
    }
    void bind(int index, qint64 value) override
    {
        if (sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK)
            m_db.fail(m_sql, sqlite3_errcode(m_db.handle()));
    }
    void bindNull(int index) override { sqlite3_bind_null(m_stmt, index); }
    void bind(int, const QStringList &) override
    {
        throw DbError(QStringLiteral("数据库文件的语句不接受列表参数"), m_sql);
    }

    void run() override
    {
        int rc;
        do {
            rc = sqlite3_step(m_stmt);
        } while (rc == SQLITE_ROW);
        const QString message = rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(m_db.handle()));
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        if (rc != SQLITE_DONE)
            throw engineError(rc, message, m_sql);
    }

    bool hasRow() override
    {
        const int rc = sqlite3_step(m_stmt);
        const QString message = rc == SQLITE_ROW || rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(m_db.handle()));
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw engineError(rc, message, m_sql);
        return rc == SQLITE_ROW;
    }

    Rows rows() override
    {
        QStringList columns;
        const int n = sqlite3_column_count(m_stmt);
        for (int i = 0; i < n; ++i)
            columns << QString::fromUtf8(sqlite3_column_name(m_stmt, i));
        QVector<QStringList> data;
        int rc;
        while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
            QStringList r;
            r.reserve(n);
            for (int i = 0; i < n; ++i)
                r << columnText(m_stmt, i);
            data << r;
        }
        const QString message = rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(m_db.handle()));
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        if (rc != SQLITE_DONE)
            throw engineError(rc, message, m_sql);
        return Rows(columns, data);
    }

private:
    SqliteEngine &m_db;
    QString m_sql;
    sqlite3_stmt *m_stmt;
};

class SqliteBulkLoad : public BulkLoadEngine {
public:
    SqliteBulkLoad(SqliteEngine &db, const QString &table, const QStringList &columns)
        : m_insert(db, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                           .arg(table, columns.join(QStringLiteral(", ")),
                                QStringList(columns.size(), QStringLiteral("?")).join(QStringLiteral(", "))))
    {
    }
    void add(const QStringList &values, const QVector<bool> &nulls) override
    {
        for (int i = 0; i < values.size(); ++i) {
            if (nulls.at(i))
                m_insert.bindNull(i + 1);
            else
                m_insert.bind(i + 1, values.at(i));
        }
        m_insert.run();
    }
    void finish() override {}

private:
    SqliteStatement m_insert;
};

} // namespace

// ---------------------------------------------------------------- SqliteEngine

SqliteEngine::~SqliteEngine()
{
    if (m_db)
        sqlite3_close_v2(m_db);
}

std::unique_ptr<SqliteEngine> SqliteEngine::openReadOnly(const QString &path, const QString &key)
{
    const QFileInfo fi(path);
    const QString shown = QDir::toNativeSeparators(fi.absoluteFilePath());
    if (!fi.exists())
        throw DbError(QStringLiteral("找不到数据库文件：%1").arg(shown), QString());
    if (!fi.isFile())
        throw DbError(QStringLiteral("数据库路径不是文件：%1").arg(shown), QString());
    if (fi.size() == 0)
        throw DbError(QStringLiteral("数据库文件 %1 是空的（0 字节），不是本程序的数据库文件").arg(shown), QString());
    // A file with a write-ahead log beside it is in use (or was left so): read through the
    // log, as every copy of the program sees it. Without one (a backup, a file on a
    // write-protected stick) the file is read as it lies, taking no lock and creating no
    // file beside it, so that it stays exactly as it was.
    const QFileInfo wal(fi.absoluteFilePath() + QStringLiteral("-wal"));
    if (wal.exists()) {
        try {
            return openHandle(fi.absoluteFilePath(), key, false, Access::ReadOnly);
        } catch (const DbError &) {
            // An empty log on a folder that takes no files holds nothing to read.
            if (wal.size() > 0)
                throw;
        }
    }
    return openHandle(fi.absoluteFilePath(), key, false, Access::Immutable);
}

std::unique_ptr<SqliteEngine> SqliteEngine::open(const QString &path, const QString &key)
{
    const QFileInfo fi(path);
    if (!fi.exists())
        throw DbError(QStringLiteral("找不到数据库文件：%1。新建数据库文件可以用管理工具：chengyue-admin init --db %1"
                                     "（新安装的程序第一次启动时会自动建立）")
                          .arg(QDir::toNativeSeparators(fi.absoluteFilePath())),
                      QString());
    if (!fi.isFile())
        throw DbError(QStringLiteral("数据库路径不是文件：%1").arg(QDir::toNativeSeparators(fi.absoluteFilePath())), QString());
    // The engine would take an empty file for a new database and write one into it.
    if (fi.size() == 0)
        throw DbError(QStringLiteral("数据库文件 %1 是空的（0 字节），不是本程序的数据库文件").arg(QDir::toNativeSeparators(fi.absoluteFilePath())), QString());
    return openHandle(fi.absoluteFilePath(), key, false);
}

std::unique_ptr<SqliteEngine> SqliteEngine::create(const QString &path, const QString &key, int mode)
{
    const QFileInfo fi(path);
    const QString shown = QDir::toNativeSeparators(fi.absoluteFilePath());
    if (fi.exists() || fi.isSymLink())
        throw DbError(QStringLiteral("数据库文件已经存在（或是一个链接），不会覆盖：%1").arg(shown), QString());
    if (!fi.absoluteDir().exists())
        throw DbError(QStringLiteral("数据库文件夹不存在：%1").arg(QDir::toNativeSeparators(fi.absolutePath())), QString());
    // Journal files left beside a new file (or links planted there) would be taken for its own.
    for (const char *suffix : {"-wal", "-shm", "-journal"}) {
        const QFileInfo journal(fi.absoluteFilePath() + QLatin1String(suffix));
        if (journal.exists() || journal.isSymLink())
            throw DbError(QStringLiteral("数据库文件旁已有 %1，不会创建新的数据库文件").arg(QDir::toNativeSeparators(journal.absoluteFilePath())),
                          QString());
    }
    // Made here, exclusively and without following a link (another account may have put
    // one in its place a moment ago); the engine then opens this empty file as a new
    // database. Its journal files take the file's permissions.
    const QByteArray name = QFile::encodeName(fi.absoluteFilePath());
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode < 0 ? 0666 : mode);
    if (fd < 0) {
        const int error = errno;
        if (error == EEXIST || error == ELOOP)
            throw DbError(QStringLiteral("数据库文件已经存在（或是一个链接），不会覆盖：%1").arg(shown), QString());
        throw DbError(QStringLiteral("无法创建数据库文件 %1：%2").arg(shown, QString::fromLocal8Bit(std::strerror(error))), QString());
    }
    const bool modeSet = mode < 0 || ::fchmod(fd, mode_t(mode)) == 0;
    ::close(fd);
    try {
        if (!modeSet)
            throw DbError(QStringLiteral("无法设置数据库文件 %1 的权限").arg(shown), QString());
        return openHandle(fi.absoluteFilePath(), key, true);
    } catch (...) {
        ::unlink(name.constData());
        throw;
    }
}

sqlite3 *SqliteEngine::openRaw(const QString &path, Access access)
{
    QByteArray p = path.toUtf8();
    // Never created here: a new file was made by create(), empty, without following a link.
    int flags = SQLITE_OPEN_READWRITE;
    if (access != Access::ReadWrite) {
        // Read only, named as a URI so that the engine takes its parameters.
        p.replace('%', "%25").replace('?', "%3f").replace('#', "%23");
        p = "file://" + p + (access == Access::Immutable ? "?immutable=1" : "?mode=ro");
        flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
    }
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(p.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString engine = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
        const QString plain = engineMessage(rc);
        if (db)
            sqlite3_close_v2(db);
        throw DbError(QStringLiteral("无法打开数据库文件 %1：%2").arg(QDir::toNativeSeparators(path), plain.isEmpty() ? engine : plain),
                      QString(), rc, engine);
    }
    return db;
}

DbError SqliteEngine::openError(const QString &path, const DbError &e)
{
    // The engine's own words for support: the detail where the message is the operator's.
    const QString engine = e.detail() != e.statement() ? e.detail() : e.message();
    if (e.code() == SQLITE_NOTADB)
        return DbError(QStringLiteral("数据库密码错误，或 %1 不是本程序的数据库文件").arg(QDir::toNativeSeparators(path)), e.statement(),
                       e.code(), engine);
    if (e.code() == SQLITE_READONLY || e.code() == SQLITE_CANTOPEN || e.code() == SQLITE_PERM)
        return DbError(QStringLiteral("无法写入数据库文件 %1（请检查文件和文件夹的写入权限）：%2").arg(QDir::toNativeSeparators(path), e.message()),
                       e.statement(), e.code(), engine);
    return DbError(QStringLiteral("无法打开数据库文件 %1：%2").arg(QDir::toNativeSeparators(path), e.message()), e.statement(), e.code(),
                   engine);
}

std::unique_ptr<SqliteEngine> SqliteEngine::openHandle(const QString &path, const QString &key, bool create, Access access)
{
    // A file made before the key derivation was shortened opens with the engine's old
    // default; a new file always gets the short one.
    for (const int kdfIter : {Database::KdfIter, Database::LegacyKdfIter}) {
        std::unique_ptr<SqliteEngine> engine(new SqliteEngine(openRaw(path, access)));
        try {
            engine->configure(key, kdfIter, access == Access::ReadWrite);
            return engine;
        } catch (const DbError &e) {
            engine.reset();
            if (e.code() == SQLITE_NOTADB && !create && kdfIter != Database::LegacyKdfIter)
                continue;
            throw openError(path, e);
        }
    }
    return {};
}

void SqliteEngine::configure(const QString &key, int kdfIter, bool writable)
{
    const QByteArray k = key.toUtf8();
    // The key must be the first thing the connection does; the page size and the rounds of
    // key derivation follow it, before the first read.
    int rc = sqlite3_key(m_db, k.constData(), k.size());
    if (rc != SQLITE_OK)
        fail(QStringLiteral("key"), rc);
    exec(QStringLiteral("PRAGMA cipher_page_size = 4096"));
    exec(QStringLiteral("PRAGMA kdf_iter = %1").arg(kdfIter));
    sqlite3_busy_handler(m_db, busyWait, nullptr);
    sqlite3_extended_result_codes(m_db, 0);
    registerCaseFolding(m_db);
    // A read of the schema proves the key: with a wrong one the engine says "not a database".
    select(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    exec(QStringLiteral("PRAGMA cache_size = -16384"));
    exec(QStringLiteral("PRAGMA temp_store = MEMORY"));
    if (writable) {
        exec(QStringLiteral("PRAGMA journal_mode = WAL"));
        exec(QStringLiteral("PRAGMA synchronous = FULL"));
    } else {
        exec(QStringLiteral("PRAGMA query_only = ON"));
    }

    sqlite3_create_function_v2(m_db, "SUM", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, nullptr,
                               sumStep, sumFinal, nullptr);
    sqlite3_create_function_v2(m_db, "DateDiff", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               dateDiffFunc, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(m_db, "cy_isnumber", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               isNumberFunc, nullptr, nullptr, nullptr);
}

void SqliteEngine::fail(const QString &sql, int rc) const
{
    throw engineError(rc, QString::fromUtf8(sqlite3_errmsg(m_db)), sql);
}

sqlite3_stmt *SqliteEngine::compile(const QString &sql, const char **tail)
{
    refuseNul(sql);
    const QByteArray s = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    const char *t = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, s.constData(), s.size() + 1, &stmt, &t);
    if (rc != SQLITE_OK)
        fail(sql, rc);
    if (tail)
        *tail = t;
    if (!stmt)
        throw DbError(QStringLiteral("语句为空"), sql);
    return stmt;
}

void SqliteEngine::exec(const QString &sql)
{
    refuseNul(sql);
    // Runs every statement of the text, one after the other.
    const QByteArray s = sql.toUtf8();
    const char *p = s.constData();
    while (p && *p) {
        sqlite3_stmt *stmt = nullptr;
        const char *tail = nullptr;
        int rc = sqlite3_prepare_v2(m_db, p, -1, &stmt, &tail);
        if (rc != SQLITE_OK)
            fail(sql, rc);
        if (!stmt) { // only blanks or a comment left
            p = tail;
            continue;
        }
        do {
            rc = sqlite3_step(stmt);
        } while (rc == SQLITE_ROW);
        const int frc = sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            fail(sql, frc != SQLITE_OK ? frc : rc);
        p = tail;
    }
}

Rows SqliteEngine::select(const QString &sql)
{
    SqliteCursor c(m_db, compile(sql), sql);
    QVector<QStringList> rows;
    const int n = int(c.columns().size());
    while (c.next()) {
        QStringList r;
        r.reserve(n);
        for (int i = 0; i < n; ++i)
            r << c.text(i);
        rows << r;
    }
    return Rows(c.columns(), rows);
}

std::unique_ptr<CursorEngine> SqliteEngine::cursor(const QString &sql)
{
    return std::make_unique<SqliteCursor>(m_db, compile(sql), sql);
}

std::unique_ptr<StatementEngine> SqliteEngine::prepare(const QString &sql)
{
    return std::make_unique<SqliteStatement>(*this, sql);
}

int SqliteEngine::countRows(const QString &sql)
{
    SqliteCursor c(m_db, compile(sql), sql);
    int n = 0;
    while (c.next())
        ++n;
    return n;
}

qint64 SqliteEngine::lastInsertId()
{
    return sqlite3_last_insert_rowid(m_db);
}

int SqliteEngine::changes() const
{
    return sqlite3_changes(m_db);
}

void SqliteEngine::beginWrite()
{
    exec(QStringLiteral("BEGIN IMMEDIATE"));
}

void SqliteEngine::commit()
{
    exec(QStringLiteral("COMMIT"));
}

void SqliteEngine::rollback()
{
    exec(QStringLiteral("ROLLBACK"));
}

void SqliteEngine::lockFor(const QString &)
{
    // BEGIN IMMEDIATE already holds the file's one write lock.
}

int SqliteEngine::schemaVersion()
{
    return select(QStringLiteral("PRAGMA user_version")).at(0, 0).toInt();
}

void SqliteEngine::setSchemaVersion(int version)
{
    exec(QStringLiteral("PRAGMA user_version = %1").arg(version));
}

QStringList SqliteEngine::tables()
{
    const Rows r = select(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%' ORDER BY name"));
    QStringList names;
    for (int i = 0; i < r.rowCount(); ++i)
        names << r.at(i, 0);
    return names;
}

std::unique_ptr<BulkLoadEngine> SqliteEngine::bulkLoad(const QString &table, const QStringList &columns)
{
    return std::make_unique<SqliteBulkLoad>(*this, table, columns);
}

void SqliteEngine::moveIdsPast(const QString &, const QString &)
{
    // AUTOINCREMENT keeps its counter past the largest ID stored, also one given.
}

void SqliteEngine::makeReadOnly()
{
    exec(QStringLiteral("PRAGMA query_only = ON"));
}

void SqliteEngine::interrupt()
{
    if (m_db)
        sqlite3_interrupt(m_db);
}

bool SqliteEngine::isInterruption(const DbError &e) const
{
    return (e.code() & 0xff) == SQLITE_INTERRUPT;
}
