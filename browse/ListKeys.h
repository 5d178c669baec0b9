#pragma once
#include <QString>
#include <QVariant>
#include <QVector>

// How a browse list is ordered, by result column (its caption), so that the grid can read
// any stretch of a long list by the keys of its rows instead of counting rows from the
// top. The last key is unique (the ID), so a key picks out exactly one row.
struct ListKey {
    QString column;
    bool descending = false;
    bool notNull = false; // the column never holds null (the ID): simpler conditions
};

// One stretch of a keyed list, and the statements that read it. `base` is the list
// statement without its ORDER BY; every statement wraps it, so that captions can be
// ordered and compared on any engine.
struct KeyedList {
    QString base;
    QVector<ListKey> keys;
    bool nullsSortLow = true; // the engine's own order of nulls (Database::nullsSortLow)
    // keysOnly() orders by "+column" (Database::plusHidesIndex): one scan and a sort.
    bool keysByScan = false;

    bool isValid() const { return !base.isEmpty() && !keys.isEmpty(); }
    // Every row, in order.
    QString ordered() const;
    // At most `limit` rows from the row whose keys are `from` (inclusive) or from the row
    // after it; an empty `from` starts at the first row.
    QString page(const QVariantList &from, bool inclusive, int limit) const;
    // Only the key columns of every row, in order (for the background index of pages).
    QString keysOnly() const;
    // The condition "at or after the row with these keys" in the list's order.
    QString fromCondition(const QVariantList &from, bool inclusive) const;

    // The list statement without its trailing ORDER BY.
    static QString withoutOrder(const QString &list);
    // A key value as a literal of the statement: text quoted, numbers exact.
    static QString literal(const QVariant &value);
};
