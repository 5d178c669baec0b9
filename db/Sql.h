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

// Values spliced without quotes go through one of these two instead: quote doubling
// protects nothing outside quotes ("0) UNION SELECT ..." would be read as statement).
// A number for a number column: the text as given when it reads completely as a number,
// otherwise AppError "field “text” 不是有效的数字".
QString number(const QString &text, const QString &field);
// A row's ID, as read from a list or a look-up: digits only (blanks around them allowed),
// given back in plain form; anything else is AppError.
QString id(const QString &text);

} // namespace Sql
