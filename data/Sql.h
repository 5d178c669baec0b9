#pragma once
#include <QString>

namespace Sql {

// Doubles every single quote, so that a value spliced between quotes stays one value:
// O'Brien -> O''Brien. Every value typed by an operator or read from a file goes
// through here before it is spliced into a statement.
inline QString esc(const QString &value)
{
    QString s = value;
    s.replace(QLatin1Char('\''), QLatin1String("''"));
    return s;
}

// The value between single quotes, its own quotes doubled.
inline QString quote(const QString &value)
{
    return QLatin1Char('\'') + esc(value) + QLatin1Char('\'');
}

} // namespace Sql
