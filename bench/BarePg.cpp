#include "bench/BarePg.h"
#include "db/PgDialect.h"

#include <libpq-fe.h>
#include <stdexcept>

BarePg::BarePg(const QString &url)
{
    m_conn = PQconnectdb(url.toUtf8().constData());
    if (PQstatus(m_conn) != CONNECTION_OK)
        throw std::runtime_error(std::string("libpq: ") + PQerrorMessage(m_conn));
    // The session as the program sets up its own: dates and text in the same form.
    exec(QStringLiteral("SET client_encoding = 'UTF8'"));
}

BarePg::~BarePg()
{
    PQfinish(m_conn);
}

long long BarePg::run(const QString &serverText, QString *first)
{
    PGresult *res = PQexec(m_conn, serverText.toUtf8().constData());
    const ExecStatusType st = PQresultStatus(res);
    if (st != PGRES_TUPLES_OK && st != PGRES_COMMAND_OK) {
        const std::string message = PQresultErrorMessage(res);
        PQclear(res);
        throw std::runtime_error("libpq: " + message + " in " + serverText.toStdString());
    }
    const int rows = PQntuples(res), cols = PQnfields(res);
    size_t bytes = 0;
    // Every value read as text, as a grid or a sheet reads it.
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            bytes += size_t(PQgetlength(res, r, c)) + (PQgetvalue(res, r, c)[0] != 0);
    if (first && rows > 0 && cols > 0)
        *first = QString::fromUtf8(PQgetvalue(res, 0, 0));
    PQclear(res);
    return rows + (bytes == size_t(-1) ? 1 : 0);
}

long long BarePg::readAll(const QString &sql)
{
    return run(PgDialect::translate(sql).text, nullptr);
}

long long BarePg::readFirst(const QString &sql, long long n)
{
    return run(PgDialect::translate(sql).text + QStringLiteral(" LIMIT ") + QString::number(n), nullptr);
}

QString BarePg::scalar(const QString &sql)
{
    QString v;
    run(PgDialect::translate(sql).text, &v);
    return v;
}

void BarePg::exec(const QString &sql)
{
    run(PgDialect::translate(sql).text, nullptr);
}

void BarePg::beginReceipt(const QString &chargeDate)
{
    run(QStringLiteral("BEGIN"), nullptr);
    run(QStringLiteral("SELECT pg_advisory_xact_lock(2, hashtext('receipt numbers %1'))").arg(chargeDate), nullptr);
}
