#include "db/Dates.h"
#include "db/DbError.h"

#include <QRegularExpression>
#include <cstring>

namespace Dates {

namespace {

enum class Plain { No, Date, Unknown };

// "yyyy-m-d" in ASCII without spaces, decided without the pattern (a large import reads one
// a row); the separators allowed are given, the same one twice. A text with anything else
// in it (spaces, other digits) is left to the pattern: Unknown.
Plain readPlain(const QString &text, const char *separators, QDate *date)
{
    const qsizetype n = text.size();
    const QChar *c = text.constData();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = c[i].unicode();
        if (u >= 128 || u == ' ' || (u >= '\t' && u <= '\r'))
            return Plain::Unknown;
    }
    auto digit = [&](qsizetype i) { return i < n && c[i].unicode() >= '0' && c[i].unicode() <= '9'; };
    auto value = [&](qsizetype from, qsizetype to) {
        int v = 0;
        for (qsizetype i = from; i < to; ++i)
            v = v * 10 + (c[i].unicode() - '0');
        return v;
    };
    if (n < 8 || !digit(0) || !digit(1) || !digit(2) || !digit(3))
        return Plain::No;
    const char16_t sep = c[4].unicode();
    if (sep >= 128 || !std::strchr(separators, char(sep)) || sep == 0)
        return Plain::No;
    qsizetype i = 5;
    const qsizetype monthStart = i;
    while (digit(i) && i - monthStart < 2)
        ++i;
    if (i == monthStart || i >= n || c[i].unicode() != sep)
        return Plain::No;
    const qsizetype monthEnd = i++;
    const qsizetype dayStart = i;
    while (digit(i) && i - dayStart < 2)
        ++i;
    if (i == dayStart || i != n)
        return Plain::No;
    *date = QDate(value(0, 4), value(monthStart, monthEnd), value(dayStart, n));
    return Plain::Date;
}

} // namespace

QDate tryParse(const QString &text)
{
    QDate plain;
    switch (readPlain(text, "-", &plain)) {
    case Plain::Date: return plain;
    case Plain::No: return {};
    case Plain::Unknown: break;
    }
    static const QRegularExpression re(QStringLiteral("^\\s*(\\d{4})-(\\d{1,2})-(\\d{1,2})\\s*$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return {};
    return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
}

QDate fromUsualForm(const QString &text)
{
    QDate plain;
    switch (readPlain(text, "-/.", &plain)) {
    case Plain::Date: return plain;
    case Plain::No: return {};
    case Plain::Unknown: break;
    }
    static const QRegularExpression re(QStringLiteral("^\\s*(\\d{4})([-/.])(\\d{1,2})\\2(\\d{1,2})\\s*$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return {};
    return QDate(m.captured(1).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
}

QDate parse(const QString &text)
{
    const QDate d = tryParse(text);
    if (!d.isValid())
        throw AppError(QStringLiteral("“%1” 不是有效的日期").arg(text));
    return d;
}

QString format(const QDate &date)
{
    // Written directly for the years a fee office meets; QDate's own formatting goes
    // through the calendar and the locale, a large part of reading a sheet of dates.
    const int y = date.year();
    if (date.isValid() && y >= 1 && y <= 9999) {
        const int m = date.month(), d = date.day();
        const char16_t text[10] = {char16_t('0' + y / 1000), char16_t('0' + y / 100 % 10), char16_t('0' + y / 10 % 10),
                                   char16_t('0' + y % 10), u'-', char16_t('0' + m / 10), char16_t('0' + m % 10), u'-',
                                   char16_t('0' + d / 10), char16_t('0' + d % 10)};
        return QString(reinterpret_cast<const QChar *>(text), 10);
    }
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

} // namespace Dates
