#pragma once
#include "db/DbError.h"
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <atomic>
#include <functional>
#include <memory>

struct sqlite3;
class DatabaseEngine;
class CursorEngine;
class StatementEngine;
class BulkLoadEngine;

// Registers the program's text comparison on a connection of the engine: the collation
// CaseFold::CollationName and LIKE, both without regard to letter case for every letter.
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

// A forward-only cursor over a statement's result, for lists too large to read at once.
class Cursor {
public:
    explicit Cursor(std::unique_ptr<CursorEngine> impl);
    ~Cursor();
    Cursor(const Cursor &) = delete;
    Cursor &operator=(const Cursor &) = delete;

    const QStringList &columns() const;
    // Moves to the next row; false at the end. Throws DbError when the engine fails.
    bool next();
    QString text(int column) const;
    // text(column) in UTF-8 added to out: for lists kept as UTF-8, without making the
    // value a QString first.
    void appendText(QByteArray &out, int column) const;
    bool isNull(int column) const;
    // The value as the engine holds it: qint64, double, QString, or null; for keys that
    // are spliced back into a statement and must compare exactly equal.
    QVariant value(int column) const;
    int columnCount() const { return int(columns().size()); }

private:
    std::unique_ptr<CursorEngine> m_impl;
};

// The one owner of a database connection. Every statement of the program runs here, on
// the encrypted file (the default) or on a PostgreSQL server named by a URL
// (postgresql://user@host:port/dbname), with the same results for the same statements.
class Database {
public:
    Database();
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // True for a server URL (postgresql:// or postgres://), false for a file path.
    static bool isServerUrl(const QString &location);
    // The server URL without its password, for messages and the status bar; a file path
    // as it is.
    static QString shownLocation(const QString &location);
    // The text with the password of a server URL (in every form it was written or could
    // come back in) replaced by "***"; the text as it is for a file path.
    static QString withoutPassword(const QString &text, const QString &location);

    // Opens an existing encrypted file, or connects to a server (the key is the file's
    // only). Throws DbError with a message that says what is wrong and where (missing
    // file, wrong key, not a database; server unreachable, login refused, no database).
    // A file or server database of an earlier program is brought to the current schema
    // first; one of a newer program is refused.
    void open(const QString &location, const QString &key);
    // What open() runs to bring a database of an earlier program to the current form: one
    // step at a time, true when a step changed it (a file is then opened again and the
    // hook called again), false when nothing is left to do; it throws DbError to refuse.
    // Set once for the process by the layer that knows the tables (data/Schema); unset,
    // open() takes the database in the form it has.
    using UpgradeStep = bool (*)(Database &);
    static void setUpgradeStep(UpgradeStep step);
    // Opens an existing file for reading only, in the form it has (no upgrade), never
    // writing to it or beside it: a backup is read so, also from a write-protected medium.
    // Throws DbError as open() does.
    void openReadOnly(const QString &path, const QString &key);
    // Creates a new encrypted file; refuses an existing one, a link in its place or
    // journal files left beside it, never creating anything through a link. mode is the
    // file's exact permissions (its write-ahead log and shared-memory files get the same);
    // -1 leaves them to the process's umask. On a server: connects to an existing (empty)
    // database.
    void create(const QString &location, const QString &key, int mode = -1);
    void close();
    bool isOpen() const { return m_engine != nullptr; }
    bool isServer() const;
    QString path() const { return m_path; }
    // A second connection to the same database that refuses every write: for a list that
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

    // Inside a Transaction: serialises the writers that use the same key (receipt
    // numbering under one charging date) across every desk. The file's write lock already
    // does; a server takes a lock held to the end of the transaction.
    void lockFor(const QString &key);
    // The form of the schema, so that later versions of the program know what to upgrade.
    int schemaVersion();
    void setSchemaVersion(int version);
    // The program's tables present in the database (lower case on a server).
    QStringList tables();
    // After rows were stored with their own IDs: the IDs handed out next come after them.
    void moveIdsPast(const QString &table, const QString &idColumn);

    // The file's engine handle; null on a server (the benchmark's bare floor uses it).
    sqlite3 *handle() const;
    DatabaseEngine *engine() const { return m_engine.get(); }

    // Stops the statement running on this connection, from any thread, while the
    // connection stays open: it fails with a DbError that isInterruption() recognises. A
    // call while no statement runs may be lost, so a canceller repeats it until the
    // worker has stopped.
    void interrupt();
    bool isInterruption(const DbError &e) const;
    // Whether the engine sorts nulls before every value in ascending order (the file does;
    // a server sorts them after), so that lists read by key agree with ORDER BY.
    bool nullsSortLow() const;
    // Whether "+column" orders as the column does while keeping the engine off the
    // column's index (the file). Every key of a long list in a heading's order is read
    // faster by one scan and a sort than through the index, a row lookup for each key;
    // a server's planner chooses that itself.
    bool plusHidesIndex() const;
    // Whether a statement takes a list of texts in one parameter (Statement::bind of a
    // QStringList; the server's arrays, written "?::text[]"). Where it does, every
    // statement is a round trip to the server, and bulk writes send a group of rows in one
    // statement; the file's statements are calls within the program, row by row costs
    // nothing there, and it takes no lists.
    bool bindsLists() const;
    // The SQL for the sum of a money or area figure over a statement's rows, exact on this
    // engine (the same digits a receipt or the office's own addition gives): the file's
    // SUM(expr), the server's SUM over the figures as numeric. A closed connection gives
    // the file's form.
    QString exactSum(const QString &expr) const;

    // Milliseconds a writer waits for another copy of the program to release its lock.
    static constexpr int BusyTimeoutMs = 15000;
    // Told, on the waiting thread and about every millisecond, how long a statement has
    // waited for another copy's lock so far; false gives up the wait (the statement then
    // fails as busy, and its transaction stores nothing). The window uses it to say that
    // it waits for another desk and to let the operator give up.
    using LockWaitObserver = std::function<bool(int waitedMs)>;
    static void setLockWaitObserver(LockWaitObserver observer);
    // For the engines' waits: false when the observer gave the wait up.
    static bool keepWaiting(int waitedMs);
    // Rounds of key derivation from the key text. The key is the program's own constant,
    // not an operator's secret, so the engine's slow default (64,000 rounds, some 55 ms of
    // every start before the login window can list its operators) protects nothing here.
    // Files made with that default still open: the open retries with it.
    static constexpr int KdfIter = 4000;
    static constexpr int LegacyKdfIter = 64000;

    // While a Loan lives, the connection is the work of the thread that made it: a
    // statement from any other thread is refused (DbError) instead of running in between.
    // For a long write done off the window's thread (an import), while the window answers.
    class Loan {
    public:
        explicit Loan(Database &db);
        ~Loan();
        Loan(const Loan &) = delete;
        Loan &operator=(const Loan &) = delete;

    private:
        Database &m_db;
    };

private:
    friend class Transaction;
    friend class Statement;
    friend class BulkLoad;
    DatabaseEngine &engineOrFail(const QString &sql) const;

    std::unique_ptr<DatabaseEngine> m_engine;
    std::atomic<void *> m_lentTo{nullptr};
    QString m_path;
    // Kept for openReader(): the program's own key, not an operator's secret.
    QString m_key;
};

// RAII transaction guard. Takes the write lock at once (BEGIN IMMEDIATE on the file, the
// writers' lock on a server) so that the reads inside it (counting receipt numbers,
// duplicate checks) see no other writer.
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

// Whole tables written fast (copying a database): rows of text values with their IDs, in
// the transaction the caller holds. On a server through COPY, on the file through one
// prepared insert.
class BulkLoad {
public:
    BulkLoad(Database &db, const QString &table, const QStringList &columns);
    ~BulkLoad();
    void add(const QStringList &values, const QVector<bool> &nulls);
    void finish();

private:
    std::unique_ptr<BulkLoadEngine> m_impl;
};

// A prepared statement for bulk writes (demo data, benchmarks, imports): bind, run, reset.
// Parameters are written "?".
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
    void bindNull(int index);
    // A list of texts as one value, where the connection bindsLists(); a text holding a
    // NUL cannot be sent. Refused (DbError) elsewhere.
    void bind(int index, const QStringList &texts);
    // Runs the statement to its end and resets it for the next bindings.
    void run();
    // Runs a query and tells whether it yields at least one row; resets it for the next
    // bindings (duplicate checks of bulk writes).
    bool hasRow();
    // Runs a query and reads its whole result, as Database::select does; resets it for the
    // next bindings.
    Rows rows();

private:
    std::unique_ptr<StatementEngine> m_impl;
};
