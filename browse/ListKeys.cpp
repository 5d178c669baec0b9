#include "browse/ListKeys.h"
#include "db/Sql.h"

namespace {

QString orderBy(const QVector<ListKey> &keys, bool plus = false)
{
    QStringList parts;
    for (const ListKey &k : keys)
        parts << (plus ? QStringLiteral("+") : QString()) + k.column + (k.descending ? QStringLiteral(" DESC") : QString());
    return QStringLiteral(" ORDER BY ") + parts.join(QStringLiteral(", "));
}

} // namespace

QString KeyedList::withoutOrder(const QString &list)
{
    const int at = list.lastIndexOf(QStringLiteral("ORDER BY"), -1, Qt::CaseInsensitive);
    return at < 0 ? list : list.left(at);
}

QString KeyedList::literal(const QVariant &value)
{
    if (value.isNull())
        return QStringLiteral("NULL");
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        return QString::number(value.toLongLong());
    case QMetaType::Double:
        // Seventeen digits give back the very same double.
        return QString::number(value.toDouble(), 'g', 17);
    default:
        return Sql::quote(value.toString());
    }
}

QString KeyedList::ordered() const
{
    return QStringLiteral("SELECT * FROM (") + base + QStringLiteral(") list") + orderBy(keys);
}

QString KeyedList::keysOnly() const
{
    QStringList cols;
    for (const ListKey &k : keys)
        cols << k.column;
    return QStringLiteral("SELECT ") + cols.join(QStringLiteral(", ")) + QStringLiteral(" FROM (") + base
        + QStringLiteral(") list") + orderBy(keys, keysByScan);
}

QString KeyedList::fromCondition(const QVariantList &from, bool inclusive) const
{
    // Built from the last key outwards: "after (k1, k2, k3)" is "k1 after v1, or k1 equal
    // to v1 and (k2, k3) after (v2, v3)"; nulls take the place the engine sorts them to.
    QString rest = inclusive ? QStringLiteral("1 = 1") : QStringLiteral("1 = 0");
    for (int i = int(keys.size()) - 1; i >= 0; --i) {
        const ListKey &k = keys.at(i);
        const QVariant v = i < from.size() ? from.at(i) : QVariant();
        const bool nullsFirst = k.descending != nullsSortLow;
        const QString c = k.column;
        const QString op = k.descending ? QStringLiteral(" < ") : QStringLiteral(" > ");
        QString cond;
        if (!v.isNull()) {
            const QString lit = literal(v);
            const QString equal = c + QStringLiteral(" = ") + lit + QStringLiteral(" AND ") + rest;
            cond = c + op + lit;
            if (!nullsFirst && !k.notNull)
                cond += QStringLiteral(" OR ") + c + QStringLiteral(" IS NULL");
            cond += QStringLiteral(" OR (") + equal + QStringLiteral(")");
            // The leading key also bounds the range, so that the engine starts reading at
            // the right place of an index on it.
            if (i == 0 && nullsFirst)
                cond = c + (k.descending ? QStringLiteral(" <= ") : QStringLiteral(" >= ")) + lit
                    + QStringLiteral(" AND (") + cond + QStringLiteral(")");
        } else if (nullsFirst) {
            cond = c + QStringLiteral(" IS NOT NULL OR (") + c + QStringLiteral(" IS NULL AND ") + rest
                + QStringLiteral(")");
        } else {
            cond = c + QStringLiteral(" IS NULL AND ") + rest;
        }
        rest = QStringLiteral("(") + cond + QStringLiteral(")");
    }
    return rest;
}

QString KeyedList::page(const QVariantList &from, bool inclusive, int limit) const
{
    QString sql = QStringLiteral("SELECT * FROM (") + base + QStringLiteral(") list");
    if (!from.isEmpty())
        sql += QStringLiteral(" WHERE ") + fromCondition(from, inclusive);
    return sql + orderBy(keys) + QStringLiteral(" LIMIT ") + QString::number(limit);
}
