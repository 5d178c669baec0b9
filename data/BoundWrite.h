#pragma once
#include "db/Database.h"
#include <QVariant>

// The logic's statements with their values bound, not spliced: a value is never read as
// part of the statement, whatever it holds. Writes, and the reads that look up what an
// operator typed. Values are QString (text), double (number), qint64
// or int (whole number) or a null QVariant (NULL).
namespace BoundWrite {

// A write and the values for its "?" in order.
struct Bound {
    QString sql;
    QVariantList values;
};

// A value for a number column typed as text: the number when the text reads as one;
// otherwise the text as it is, which the column refuses in the operator's words
// ("单价 不是有效的数字") exactly as a typed value always was, or stores as it always did.
QVariant number(const QString &text);

// The statement with its values written in, as text: what SqlText shows and what a
// refusal names for support.
QString shown(const QString &sql, const QVariantList &values);

// Binds values to the statement's "?" in order. A text holding a NUL is refused in the
// data layer's words, as a statement holding it always was; an engine's refusal keeps its
// message and names shown(sql, values).
void bind(Statement &s, const QString &sql, const QVariantList &values);

// Prepares, binds and runs one write; refusals as for bind().
void run(Database &db, const QString &sql, const QVariantList &values);
inline void run(Database &db, const Bound &b) { run(db, b.sql, b.values); }
inline QString shown(const Bound &b) { return shown(b.sql, b.values); }

// A read with its values bound: the whole result, its number of rows, the first column
// of its first row ("" when none). Refusals as for bind().
Rows select(Database &db, const QString &sql, const QVariantList &values);
int count(Database &db, const QString &sql, const QVariantList &values);
QString scalar(Database &db, const QString &sql, const QVariantList &values);

} // namespace BoundWrite
