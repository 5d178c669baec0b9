#include "bench/BareEngine.h"
#include "db/Database.h"

#include <sqlite3.h>
#include <limits>
#include <stdexcept>
#include <string>

namespace {

bool parseDate(const unsigned char *t, int n, int *year)
{
    // yyyy-mm-dd, the form every date column holds.
    if (!t || n != 10 || t[4] != '-' || t[7] != '-')
        return false;
    int v[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8}, lens[3] = {4, 2, 2};
    for (int f = 0; f < 3; ++f)
        for (int i = 0; i < lens[f]; ++i) {
            const unsigned char c = t[starts[f] + i];
            if (c < '0' || c > '9')
                return false;
            v[f] = v[f] * 10 + (c - '0');
        }
    static const int mdays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (v[0] < 1 || v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > mdays[v[1] - 1])
        return false;
    const bool leap = (v[0] % 4 == 0 && v[0] % 100 != 0) || v[0] % 400 == 0;
    if (v[1] == 2 && v[2] == 29 && !leap)
        return false;
    *year = v[0];
    return true;
}

void dateDiff(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const unsigned char *iv = sqlite3_value_text(argv[0]);
    if (!iv || sqlite3_stricmp(reinterpret_cast<const char *>(iv), "yyyy") != 0) {
        sqlite3_result_error(ctx, "DateDiff: only yyyy", -1);
        return;
    }
    int a = 0, b = 0;
    if (!parseDate(sqlite3_value_text(argv[1]), sqlite3_value_bytes(argv[1]), &a)
        || !parseDate(sqlite3_value_text(argv[2]), sqlite3_value_bytes(argv[2]), &b)) {
        sqlite3_result_null(ctx);
        return;
    }
    sqlite3_result_int64(ctx, b - a);
}

void isNumber(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    // The bare floor inserts only well-formed values; the check keeps the schema usable.
    const int t = sqlite3_value_type(argv[0]);
    if (t != SQLITE_TEXT) {
        sqlite3_result_int(ctx, 1);
        return;
    }
    const char *s = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    char *end = nullptr;
    strtod(s, &end);
    sqlite3_result_int(ctx, *s && end && *end == 0 ? 1 : 0);
}

[[noreturn]] void fail(sqlite3 *db, const QString &sql)
{
    throw std::runtime_error(std::string(sqlite3_errmsg(db)) + " in: " + sql.toStdString());
}

} // namespace

BareEngine::BareEngine(const QString &path, const QString &key)
{
    // The program's key derivation, and the engine's old default for files made before it.
    for (const int kdfIter : {4000, 64000}) {
        const QByteArray p = path.toUtf8();
        if (sqlite3_open_v2(p.constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            fail(m_db, path);
        const QByteArray k = key.toUtf8();
        sqlite3_key(m_db, k.constData(), k.size());
        exec(QStringLiteral("PRAGMA cipher_page_size = 4096; PRAGMA kdf_iter = %1").arg(kdfIter));
        if (sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) == SQLITE_OK)
            break;
        if (kdfIter == 64000)
            fail(m_db, path);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    sqlite3_busy_timeout(m_db, 15000);
    exec(QStringLiteral("PRAGMA cache_size = -16384; PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; "
                        "PRAGMA temp_store = MEMORY"));
    // Text columns name the program's collation: the same comparison as the program's.
    registerCaseFolding(m_db);
    sqlite3_create_function_v2(m_db, "DateDiff", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, dateDiff, nullptr,
                               nullptr, nullptr);
    sqlite3_create_function_v2(m_db, "cy_isnumber", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, isNumber,
                               nullptr, nullptr, nullptr);
}

BareEngine::~BareEngine()
{
    sqlite3_close_v2(m_db);
}

long long BareEngine::readFirst(const QString &sql, long long n)
{
    const QByteArray s = sql.toUtf8();
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(m_db, s.constData(), s.size(), &st, nullptr) != SQLITE_OK)
        fail(m_db, sql);
    const int cols = sqlite3_column_count(st);
    long long rows = 0;
    size_t bytes = 0;
    int rc;
    while (rows < n && (rc = sqlite3_step(st)) == SQLITE_ROW) {
        for (int i = 0; i < cols; ++i) {
            sqlite3_column_text(st, i);
            bytes += size_t(sqlite3_column_bytes(st, i));
        }
        ++rows;
    }
    if (rows < n && rc != SQLITE_DONE) {
        sqlite3_finalize(st);
        fail(m_db, sql);
    }
    sqlite3_finalize(st);
    return rows + (bytes == size_t(-1) ? 1 : 0);
}

long long BareEngine::readAll(const QString &sql)
{
    return readFirst(sql, std::numeric_limits<long long>::max());
}

QString BareEngine::scalar(const QString &sql)
{
    const QByteArray s = sql.toUtf8();
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(m_db, s.constData(), s.size(), &st, nullptr) != SQLITE_OK)
        fail(m_db, sql);
    QString v;
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW)
        v = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
    else if (rc != SQLITE_DONE) {
        sqlite3_finalize(st);
        fail(m_db, sql);
    }
    sqlite3_finalize(st);
    return v;
}

void BareEngine::exec(const QString &sql)
{
    const QByteArray s = sql.toUtf8();
    char *err = nullptr;
    if (sqlite3_exec(m_db, s.constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const std::string m = err ? err : "error";
        sqlite3_free(err);
        throw std::runtime_error(m + " in: " + sql.toStdString());
    }
}
