#include "db/Dates.h"
#include "db/DbError.h"

#include <QRegularExpression>

namespace Dates {

QDate tryParse(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^\\s*(\\d{4})-(\\d{1,2})-(\\d{1,2})\\s*$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return {};
    return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
}

QDate fromUsualForm(const QString &text)
{
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
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

} // namespace Dates
