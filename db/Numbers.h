#pragma once
#include <QString>

// Number texts as the fee office reads and writes them: plain decimals, no separators.
namespace Numbers {

// True when the text reads completely as a finite decimal number ("12.5", ".5", " 3 ";
// not "1e999").
bool isNumber(const QString &text);
// Reads a number; throws AppError ("“x” 不是有效的数字") for any other text.
double toDouble(const QString &text);
// Reads a whole number; throws AppError for any other text.
qint64 toInt(const QString &text);
// At most 15 significant digits, trailing zeros dropped, no point for whole numbers, no
// exponent: 1500, 1234.5, 87.25. A number of 10^15 or more, beyond what 15 digits show,
// reads in exponent form with the shortest digits that give it back ("1e+308", not 309
// digits), on the file and on a server alike. A value that is no finite number reads
// "NaN", "INF" or "-INF", which no number box or column accepts.
QString plain(double value);
// Whether a number's text is already its plain form: digits, at most one point, no
// exponent, no zero ending the decimals, and no more digits than plain keeps. The shortest
// text that reads back as a double (what a server sends) is, when it has this shape,
// exactly what plain makes of that double.
bool isPlainForm(const char *text, qsizetype length);
// Rounds to the given number of decimals; exact halves go to the even neighbour
// (1234.5 -> 1234, 1235.5 -> 1236 for 0 decimals).
double roundTo(double value, int decimals);

} // namespace Numbers
