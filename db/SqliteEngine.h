#pragma once
#include "db/DatabaseEngine.h"

struct sqlite3;
struct sqlite3_stmt;

// The encrypted database file (SQLCipher, write-ahead log): the program's default engine.
// The functions the statements use (DateDiff, a SUM without binary noise, the number
// check of the number columns) are registered on every connection.
class SqliteEngine : public DatabaseEngine {
public:
    ~SqliteEngine() override;
    static std::unique_ptr<SqliteEngine> open(const QString &path, const QString &key);
    // See Database::create: made exclusively, never through a link; mode -1 leaves the
    // permissions to the umask.
    static std::unique_ptr<SqliteEngine> create(const QString &path, const QString &key, int mode = -1);
    // See Database::openReadOnly.
    static std::unique_ptr<SqliteEngine> openReadOnly(const QString &path, const QString &key);

    bool isServer() const override { return false; }
    void exec(const QString &sql) override;
    Rows select(const QString &sql) override;
    int countRows(const QString &sql) override;
    std::unique_ptr<CursorEngine> cursor(const QString &sql) override;
    std::unique_ptr<StatementEngine> prepare(const QString &sql) override;
    qint64 lastInsertId() override;
    int changes() const override;
    void beginWrite() override;
    void commit() override;
    void rollback() override;
    void lockFor(const QString &key) override;
    int schemaVersion() override;
    void setSchemaVersion(int version) override;
    QStringList tables() override;
    void makeReadOnly() override;
    std::unique_ptr<BulkLoadEngine> bulkLoad(const QString &table, const QStringList &columns) override;
    void moveIdsPast(const QString &table, const QString &idColumn) override;
    void interrupt() override;
    bool isInterruption(const DbError &e) const override;
    bool nullsSortLow() const override { return true; }
    bool plusHidesIndex() const override { return true; }
    bool bindsLists() const override { return false; }
    QString exactSum(const QString &expr) const override { return QStringLiteral("SUM(") + expr + QLatin1Char(')'); }

    sqlite3 *handle() const { return m_db; }
    sqlite3_stmt *compile(const QString &sql, const char **tail = nullptr);
    [[noreturn]] void fail(const QString &sql, int rc) const;

private:
    explicit SqliteEngine(sqlite3 *db) : m_db(db) {}
    enum class Access { ReadWrite, ReadOnly, Immutable };
    static std::unique_ptr<SqliteEngine> openHandle(const QString &path, const QString &key, bool create,
                                                    Access access = Access::ReadWrite);
    static sqlite3 *openRaw(const QString &path, Access access = Access::ReadWrite);
    static DbError openError(const QString &path, const DbError &e);
    void configure(const QString &key, int kdfIter, bool writable = true);

    sqlite3 *m_db;
};
