#pragma once
#include "bench/Bench.h"

typedef struct pg_conn PGconn;

// The floor on the server: plain libpq on the same database, the program's statements as
// the data layer hands them to the server (its translation of the file's dialect), each
// sent once and read to the end, with nothing of the program in between.
class BarePg : public Bench::Floor {
public:
    explicit BarePg(const QString &url);
    ~BarePg() override;
    BarePg(const BarePg &) = delete;
    BarePg &operator=(const BarePg &) = delete;

    QString name() const override { return QStringLiteral("bare libpq"); }
    long long readAll(const QString &sql) override;
    // The statement with "LIMIT n": what a client asks of the server for a first page.
    long long readFirst(const QString &sql, long long n) override;
    QString scalar(const QString &sql) override;
    void exec(const QString &sql) override;
    // BEGIN and the program's advisory lock for the day's receipt numbers.
    void beginReceipt(const QString &chargeDate) override;

private:
    long long run(const QString &serverText, QString *first);
    PGconn *m_conn = nullptr;
};
