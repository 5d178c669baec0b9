#include "data/Capitals.h"

#include <cfenv>
#include <cmath>
#include <cstdio>

QString amountInCapitals(double amount)
{
    static const QString chars = QStringLiteral("零壹贰叁肆伍陆柒捌玖--万仟佰拾亿仟佰拾万仟佰拾元角分");
    static const char16_t *const replacements[][2] = {
        {u"零元", u"元"}, {u"零拾", u"零"}, {u"零佰", u"零"}, {u"零仟", u"零"},
        {u"零万", u"万"}, {u"零亿", u"亿"}, {u"亿万", u"亿"}, {u"零零零", u"零"},
        {u"零零", u"零"}, {u"零万", u"万"}, {u"零亿", u"亿"}, {u"亿万", u"亿"},
        {u"零元", u"元"},
    };

    // Fen, scaled in extended precision; an exact half goes to the even neighbour.
    const int old = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const long double fen = std::nearbyintl(static_cast<long double>(amount) * 100.0L);
    std::fesetround(old);

    char buf[64];
    std::snprintf(buf, sizeof buf, "%15lld", static_cast<long long>(fen));
    const QString digits = QString::fromLatin1(buf).left(15);

    QString text;
    for (int p = 0; p < digits.size(); ++p) {
        const QChar c = digits.at(p);
        if (c == QLatin1Char(' '))
            continue;
        const int d = c.digitValue();
        if (d < 0)
            continue; // a minus sign is outside the domain; callers pass the absolute value
        text += chars.at(d);
        text += chars.at(p + 12);
    }
    for (const auto &r : replacements)
        text.replace(QString::fromUtf16(r[0]), QString::fromUtf16(r[1]));
    if (text.contains(QStringLiteral("零分")))
        text.replace(QStringLiteral("零角"), QStringLiteral("整"));
    else
        text.replace(QStringLiteral("零角"), QStringLiteral("零"));
    text.remove(QStringLiteral("零分"));
    return text;
}
