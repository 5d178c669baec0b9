#include "db/Numbers.h"
#include "db/DbError.h"

#include <QRegularExpression>
#include <charconv>
#include <cfenv>
#include <cmath>

namespace Numbers {

namespace {
const QRegularExpression &numberPattern()
{
    static const QRegularExpression re(QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?\\s*$"));
    return re;
}
const QRegularExpression &intPattern()
{
    static const QRegularExpression re(QStringLiteral("^\\s*[+-]?\\d+\\s*$"));
    return re;
}
} // namespace

namespace {

// The usual number text, "-12", "87.25", ".5", "1500.": ASCII digits with at most one
// point and a leading minus, nothing around them. Read directly, without the pattern and
// the general reader, which cost an import of a hundred thousand houses a third of its
// time; both read such a text to the same correctly rounded double. Any other text
// (spaces, "+", an exponent, other digits, a long one) is left to the general reading.
bool readPlainDecimal(const QString &text, double *value)
{
    const qsizetype n = text.size();
    if (n == 0 || n > 24)
        return false;
    char buf[24];
    const QChar *c = text.constData();
    bool digit = false, point = false;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = c[i].unicode();
        if (u >= '0' && u <= '9')
            digit = true;
        else if (u == '.' && !point)
            point = true;
        else if (!(u == '-' && i == 0))
            return false;
        buf[i] = char(u);
    }
    if (!digit)
        return false;
    const auto r = std::from_chars(buf, buf + n, *value);
    return r.ec == std::errc() && r.ptr == buf + n && std::isfinite(*value);
}

bool readGeneral(const QString &text, double *value)
{
    // "1e999" has the shape of a number but no finite value: it would be stored as
    // infinity and poison every amount and total computed from it.
    if (!numberPattern().match(text).hasMatch())
        return false;
    bool ok = false;
    *value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(*value);
}

} // namespace

bool isNumber(const QString &text)
{
    double v = 0;
    return readPlainDecimal(text, &v) || readGeneral(text, &v);
}

double toDouble(const QString &text)
{
    double v = 0;
    if (readPlainDecimal(text, &v) || readGeneral(text, &v))
        return v;
    throw AppError(QStringLiteral("“%1” 不是有效的数字").arg(text));
}

qint64 toInt(const QString &text)
{
    if (intPattern().match(text).hasMatch()) {
        bool ok = false;
        const qint64 v = text.trimmed().toLongLong(&ok);
        if (ok)
            return v;
    }
    throw AppError(QStringLiteral("“%1” 不是有效的整数").arg(text));
}

bool isPlainForm(const char *v, qsizetype len)
{
    const qsizetype start = len > 0 && v[0] == '-' ? 1 : 0;
    qsizetype i = start;
    int intDigits = 0;
    for (; i < len && v[i] != '.'; ++i) {
        if (v[i] < '0' || v[i] > '9')
            return false;
        if (intDigits > 0 || v[i] != '0')
            ++intDigits;
    }
    if (i == start)
        return false; // no digit before the point
    const bool point = i < len;
    const qsizetype decimals = point ? len - i - 1 : 0;
    for (qsizetype k = i + 1; k < len; ++k)
        if (v[k] < '0' || v[k] > '9')
            return false;
    if (point && (decimals == 0 || v[len - 1] == '0'))
        return false;
    // Whole numbers below 10^15 and decimals of at most 15 significant digits (at most 14
    // decimals below 1) pass through a double unchanged, so the plain form gives them back.
    if (intDigits > 15 || decimals > 15 - qMax(intDigits, 1))
        return false;
    // "-0" reads "0" in the plain form.
    return !(start == 1 && intDigits == 0 && !point);
}

QString plain(double value)
{
    // Never shown as a number: a value that is no finite number must not read as 0.
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0)
        return QStringLiteral("0");
    // Most amounts, areas and prices: their shortest text is already the plain form.
    char shortest[32];
    const auto written = std::to_chars(shortest, shortest + sizeof shortest, value);
    if (written.ec == std::errc() && isPlainForm(shortest, written.ptr - shortest))
        return QString::fromLatin1(shortest, written.ptr - shortest);
    // The digits before the point, counted against exact powers of ten: log10 rounds a
    // value just below a power of ten up to it, which cost such a value its last digit.
    const double a = std::fabs(value);
    int intDigits = 1;
    for (double p = 10; p <= a && intDigits <= 15; p *= 10)
        ++intDigits;
    // From 10^15 on, 15 digits no longer show the number, and its digits written out in
    // full would run to hundreds (1e308): it reads in exponent form with its shortest
    // digits, "1e+308", which read back as the same number.
    if (intDigits > 15) {
        const auto sci = std::to_chars(shortest, shortest + sizeof shortest, value, std::chars_format::scientific);
        return QString::fromLatin1(shortest, sci.ptr - shortest);
    }
    int decimals = 15 - intDigits;
    if (decimals < 0)
        decimals = 0;
    QString s = QString::number(value, 'f', decimals);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    if (s == QLatin1String("-0"))
        s = QStringLiteral("0");
    return s;
}

double roundTo(double value, int decimals)
{
    // Scaled in extended precision, rounded to nearest with exact halves to even.
    const long double scale = std::pow(10.0L, decimals);
    const int old = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const long double r = std::nearbyintl(static_cast<long double>(value) * scale);
    std::fesetround(old);
    return static_cast<double>(r / scale);
}

} // namespace Numbers
