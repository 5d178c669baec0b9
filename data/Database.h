#pragma once
#include "data/DbError.h"
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

// Registers the program's text comparison on a connection of the engine: the collation
// Schema::TextCollation and LIKE, both without regard to letter case for every letter.
// Every connection to a database file needs them (the benchmark's bare engine too).
void registerCaseFolding(sqlite3 *db);

// A result read completely into memory, with a current row as the screens expect of a
// query object. Columns are found by name without regard to letter case; every value is
// text, null reading as the empty text.
class Rows {
public:
    Rows() = default;
    Rows(QStringList columns, QVector<QStringList> rows);

    const QStringList &columns() const { return m_columns; }
    int columnIndex(const QString &name) const; // -1 when absent
    int rowCount() const { return int(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }

    // Current-row navigation.
    int current() const { return m_current; }
    void first() { m_current = 0; }
    void next() { ++m_current; }
    bool eof() const { return m_current >= m_rows.size(); }
    void setCurrent(int row) { m_current = row; }

    // Value of the current row by column name; throws AppError for an unknown field.
    QString value(const QString &name) const;
    QString at(int row, int column) const { return m_rows.at(row).at(column); }
    QString at(int row, const QString &name) const;
    const QStringList &row(int r) const { return m_rows.at(r); }

private:
    QStringList m_columns;
    QVector<QStringList> m_rows;
    int m_current = 0;
};

// A forward-only cursor over a prepared statement, for lists too large to read at once.
class Cursor {
public:
    Cursor(sqlite3 *db, sqlite3_stmt *stmt, QString sql);
    ~Cursor();
    Cursor(const Cursor &) = delete;
    Cursor &operator=(const Cursor &) = delete;

    const QStringList &columns() const { return m_columns; }
    // Moves to the next row; false at the end. Throws DbError when the engine fails.
    bool next();
    QString text(int column) const;
    // The value as the engine holds it: qint64, double, QString, or null; for keys that
    // are spliced back into a statement and must compare exactly equal.
    QVariant value(int column) const;
    int columnCount() const { return int(m_columns.size()); }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_stmt;
    QString m_sql;
    QStringList m_columns;
    bool m_done = false;
};

// The one owner of the database handle. Every statement of the program runs here.
class Database {
public:
    Database();
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens an existing encrypted file. Throws DbError with a message that says what is
    // wrong and where (missing file, wrong key, not a database).
    void open(const QString &path, const QString &key);
    // Creates a new encrypted file; refuses an existing one, a link in its place or
    // journal files left beside it, never creating anything through a link. mode is the
    // file's exact permissions (its write-ahead log and shared-memory files get the same);
    // -1 leaves them to the process's umask.
    void create(const QString &path, const QString &key, int mode = -1);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    QString path() const { return m_path; }
    // A second connection to the same file that refuses every write: for a list that
    // keeps its statement open while the operator scrolls, so that this connection's
    // statements are not held to that list's read snapshot. Throws DbError as open() does.
    std::unique_ptr<Database> openReader() const;

    void exec(const QString &sql);                  // statement(s) without a result
    // The single statements of a text, in order, each with its closing ";" (blanks and
    // comments between them dropped), as the engine's own tokenizer ends them.
    static QStringList splitStatements(const QString &sql);
    Rows select(const QString &sql);                // whole result in memory
    std::unique_ptr<Cursor> cursor(const QString &sql);
    int count(const QString &sql);                  // rows of a SELECT's result
    QString scalar(const QString &sql);             // first column of the first row, or ""
    qint64 lastInsertId() const;
    int changes() const;

    // Stops the statement running on this connection, from any thread, while the
    // connection stays open: it fails with a DbError that isInterruption() recognises. A
    // call while no statement runs may be lost, so a canceller repeats it until the
    // worker has stopped.
    void interrupt();
    bool isInterruption(const DbError &e) const;
    // Whether the engine sorts nulls before every value in ascending order (the file does;
    // a server may sort them after), so that lists read by key agree with ORDER BY.
    bool nullsSortLow() const { return true; }

    sqlite3 *handle() const { return m_db; }
    [[noreturn]] void fail(const QString &sql, int rc) const;

    // Milliseconds a writer waits for another copy of the program to release its lock.
    static constexpr int BusyTimeoutMs = 15000;
    // Told, on the waiting thread and about every millisecond, how long a statement has
    // waited for another copy's lock so far; false gives up the wait (the statement then
    // fails as busy, and its transaction stores nothing). The window uses it to say that
    // it waits for another desk and to let the operator give up.
    using LockWaitObserver = std::function<bool(int waitedMs)>;
    static void setLockWaitObserver(LockWaitObserver observer);
    // Rounds of key derivation from the key text. The key is the program's own constant,
    // not an operator's secret, so the engine's slow default (64,000 rounds, some 55 ms of
    // every start before the login window can list its operators) protects nothing here.
    // Files made with that default still open: the open retries with it.
    static constexpr int KdfIter = 4000;
    static constexpr int LegacyKdfIter = 64000;

private:
    void openHandle(const QString &path, const QString &key, bool create);
    void openRaw(const QString &path);
    static DbError openError(const QString &path, const DbError &e);
    void configure(const QString &key, int kdfIter);
    friend class Statement;
    sqlite3_stmt *prepare(const QString &sql, const char **tail = nullptr);

    sqlite3 *m_db = nullptr;
    QString m_path;
    // Kept for openReader(): the program's own key, not an operator's secret.
    QString m_key;
};

// RAII transaction guard. Takes the write lock at once (BEGIN IMMEDIATE) so that the
// reads inside it (counting receipt numbers, duplicate checks) see no other writer.
class Transaction {
public:
    explicit Transaction(Database &db);
    ~Transaction();
    // A copy would roll back or commit the one transaction twice.
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    Database &m_db;
    bool m_done = false;
};

// A prepared statement for bulk writes (demo data, benchmarks, imports): bind, run, reset.
class Statement {
public:
    Statement(Database &db, const QString &sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // Parameters count from 1, as in the engine.
    void bind(int index, const QString &text);
    void bind(int index, double value);
    void bind(int index, qint64 value);
    // Runs the statement to its end and resets it for the next bindings.
    void run();
    // Runs a query and tells whether it yields at least one row; resets it for the next
    // bindings (duplicate checks of bulk writes).
    bool hasRow();

private:
    Database &m_db;
    sqlite3_stmt *m_stmt = nullptr;
    QString m_sql;
};
