#pragma once
#include <QHash>
#include <QString>

// The program's statements are written so that both engines read them alike (the pieces
// where they differ come from Database: exactSum; a LIKE writes its ESCAPE, a subquery in
// FROM its alias). PgDialect makes the two changes no statement can avoid, and keeps what
// the server needs to name result columns as the statement spelled them.
namespace PgDialect {

struct Translated {
    QString text;        // for the server
    int parameters = 0;  // "?" placeholders, now $1, $2, ...
    bool read = false;   // a statement that only reads (SELECT, WITH, VALUES)
    // How the statement spelled each name the server folds to lower case.
    QHash<QString, QString> spelling;
};

// - "?" becomes $n (the server numbers its placeholders);
// - a quoted name is folded as the server folds unquoted ones (the file matches names
//   without letter case, quoted or not; the server matches a quoted name exactly).
Translated translate(const QString &sql);

// The n of a statement that ends in "LIMIT n" outside any parentheses (a page of a
// list): it yields at most n rows. -1 for any other statement.
int rowLimit(const QString &text);

// The result column's name as the statement (or the schema) spells it.
QString columnName(const Translated &t, const QString &serverName);

// The column a value at the given 1-based character position of the server's text is
// meant for ("col = 'x'" or the matching place in "INSERT ... (cols) VALUES (...)"),
// in lower case; empty when none.
QString columnAtPosition(const QString &text, int position);
// The same for the placeholder $n.
QString columnOfParameter(const QString &text, int n);
// The same for the first number written in the text that lies beyond double precision
// (1e999, -1e+999, 1e-999); empty when there is none.
QString columnOfOverflowingNumber(const QString &text);

} // namespace PgDialect
