#pragma once
#include "db/Database.h"

#include <QString>
#include <QStringList>
#include <memory>

// What an engine behind Database provides. Two live here: the encrypted file
// (SqliteEngine) and a PostgreSQL server (PgEngine). Statements arrive as the program
// writes them; each engine makes them mean the same thing on its side.

class CursorEngine {
public:
    virtual ~CursorEngine() = default;
    virtual const QStringList &columns() const = 0;
    virtual bool next() = 0;
    virtual QString text(int column) const = 0;
    // See Cursor::appendText; the default goes through text().
    virtual void appendText(QByteArray &out, int column) const { out += text(column).toUtf8(); }
    virtual bool isNull(int column) const = 0;
    // See Cursor::value.
    virtual QVariant value(int column) const = 0;
};

class BulkLoadEngine {
public:
    virtual ~BulkLoadEngine() = default;
    virtual void add(const QStringList &values, const QVector<bool> &nulls) = 0;
    virtual void finish() = 0;
};

class StatementEngine {
public:
    virtual ~StatementEngine() = default;
    virtual void bind(int index, const QString &text) = 0;
    virtual void bind(int index, double value) = 0;
    virtual void bind(int index, qint64 value) = 0;
    virtual void bindNull(int index) = 0;
    virtual void bind(int index, const QStringList &texts) = 0;
    virtual void run() = 0;
    virtual bool hasRow() = 0;
    virtual Rows rows() = 0;
};

class DatabaseEngine {
public:
    virtual ~DatabaseEngine() = default;
    virtual bool isServer() const = 0;
    virtual void exec(const QString &sql) = 0;
    virtual Rows select(const QString &sql) = 0;
    virtual int countRows(const QString &sql) = 0;
    virtual std::unique_ptr<CursorEngine> cursor(const QString &sql) = 0;
    virtual std::unique_ptr<StatementEngine> prepare(const QString &sql) = 0;
    virtual qint64 lastInsertId() = 0;
    virtual int changes() const = 0;
    virtual void beginWrite() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;
    virtual void lockFor(const QString &key) = 0;
    virtual int schemaVersion() = 0;
    virtual void setSchemaVersion(int version) = 0;
    virtual QStringList tables() = 0;
    // From now on this connection refuses every write.
    virtual void makeReadOnly() = 0;
    virtual std::unique_ptr<BulkLoadEngine> bulkLoad(const QString &table, const QStringList &columns) = 0;
    // After rows were loaded with their IDs: new rows get IDs past them.
    virtual void moveIdsPast(const QString &table, const QString &idColumn) = 0;
    // See Database::interrupt, isInterruption and nullsSortLow.
    virtual void interrupt() = 0;
    virtual bool isInterruption(const DbError &e) const = 0;
    virtual bool nullsSortLow() const = 0;
    virtual bool plusHidesIndex() const { return false; }
    virtual bool bindsLists() const = 0;
    // See Database::exactSum.
    virtual QString exactSum(const QString &expr) const = 0;
};

// Neither engine can store or search for a NUL character: a statement holding one is
// refused whole, in words the operator can act on (DbError).
void refuseNul(const QString &sql);
