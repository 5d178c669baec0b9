#include "data/Numbers.h"
#include "data/DbError.h"

#include <QRegularExpression>
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

bool isNumber(const QString &text)
{
    // "1e999" has the shape of a number but no finite value: it would be stored as
    // infinity and poison every amount and total computed from it.
    if (!numberPattern().match(text).hasMatch())
        return false;
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(v);
}

double toDouble(const QString &text)
{
    if (isNumber(text)) {
        bool ok = false;
        const double v = text.trimmed().toDouble(&ok);
        if (ok && std::isfinite(v))
            return v;
    }
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

QString plain(double value)
{
    // Never shown as a number: a value that is no finite number must not read as 0.
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0)
        return QStringLiteral("0");
    const double a = std::fabs(value);
    int intDigits = a >= 1 ? int(std::floor(std::log10(a))) + 1 : 1;
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
