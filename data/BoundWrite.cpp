#include "data/BoundWrite.h"
#include "db/DatabaseEngine.h"
#include "db/Numbers.h"
#include "db/Sql.h"

namespace BoundWrite {

namespace {
QString literal(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Double:
        return Numbers::plain(v.toDouble());
    case QMetaType::Int:
    case QMetaType::LongLong:
        return QString::number(v.toLongLong());
    default:
        return v.isNull() ? QStringLiteral("NULL") : Sql::quote(v.toString());
    }
}
} // namespace

QVariant number(const QString &text)
{
    return Numbers::isNumber(text) ? QVariant(Numbers::toDouble(text)) : QVariant(text);
}

QString shown(const QString &sql, const QVariantList &values)
{
    // The statements given here hold no "?" but their parameters.
    QString out;
    qsizetype next = 0;
    for (const QChar c : sql) {
        if (c == QLatin1Char('?') && next < values.size())
            out += literal(values.at(next++));
        else
            out += c;
    }
    return out;
}

void bind(Statement &s, const QString &sql, const QVariantList &values)
{
    for (const QVariant &v : values) {
        if (v.typeId() == QMetaType::QString && v.toString().contains(QChar(0)))
            refuseNul(shown(sql, values));
    }
    for (int i = 0; i < values.size(); ++i) {
        const QVariant &v = values.at(i);
        if (v.isNull())
            s.bindNull(i + 1);
        else if (v.typeId() == QMetaType::Double)
            s.bind(i + 1, v.toDouble());
        else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong)
            s.bind(i + 1, v.toLongLong());
        else
            s.bind(i + 1, v.toString());
    }
}

namespace {
// Runs what() on the statement with its values bound; the engine names the statement with
// its placeholders in a refusal, support needs the values.
template <typename F>
auto withBound(Database &db, const QString &sql, const QVariantList &values, F what)
{
    try {
        Statement s(db, sql);
        bind(s, sql, values);
        return what(s);
    } catch (const DbError &e) {
        if (e.statement() != sql)
            throw;
        throw DbError(e.message(), shown(sql, values), e.code(), e.detail() == e.statement() ? QString() : e.detail());
    }
}
} // namespace

void run(Database &db, const QString &sql, const QVariantList &values)
{
    withBound(db, sql, values, [](Statement &s) { s.run(); });
}

Rows select(Database &db, const QString &sql, const QVariantList &values)
{
    return withBound(db, sql, values, [](Statement &s) { return s.rows(); });
}

int count(Database &db, const QString &sql, const QVariantList &values)
{
    return select(db, sql, values).rowCount();
}

QString scalar(Database &db, const QString &sql, const QVariantList &values)
{
    const Rows r = select(db, sql, values);
    return r.isEmpty() || r.columns().isEmpty() ? QString() : r.at(0, 0);
}

} // namespace BoundWrite
