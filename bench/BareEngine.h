#pragma once
#include "bench/Bench.h"

#include <QString>
#include <QStringList>

struct sqlite3;

// The floor of the benchmark: the engine's own C interface on the same encrypted file,
// configured as the program configures its connection (key, 4 KiB cipher pages, cache,
// WAL), with nothing of the program in between. DateDiff is registered as a plain C
// function with the same meaning, so the floor of a statement that uses it is the
// engine's, not Qt's.
class BareEngine : public Bench::Floor {
public:
    BareEngine(const QString &path, const QString &key);
    ~BareEngine() override;
    BareEngine(const BareEngine &) = delete;
    BareEngine &operator=(const BareEngine &) = delete;

    sqlite3 *handle() const { return m_db; }

    // Runs a statement to its end, reading every column of every row as text (what a
    // grid or a sheet needs of it). Returns the rows stepped. Throws std::runtime_error.
    long long readAll(const QString &sql) override;
    // Steps at most n rows of a statement, every column read as text.
    long long readFirst(const QString &sql, long long n) override;
    // First column of the first row as text.
    QString scalar(const QString &sql) override;
    // Runs statements without a result.
    void exec(const QString &sql) override;
    QString name() const override { return QStringLiteral("bare engine"); }
    void beginReceipt(const QString &) override { exec(QStringLiteral("BEGIN IMMEDIATE")); }

private:
    sqlite3 *m_db = nullptr;
};
