#include "db/Sql.h"
#include "db/DbError.h"
#include "db/Numbers.h"

namespace Sql {

QString number(const QString &text, const QString &field)
{
    if (!Numbers::isNumber(text))
        throw AppError(QStringLiteral("%1 “%2” 不是有效的数字").arg(field, text));
    return text;
}

QString id(const QString &text)
{
    const QString t = text.trimmed();
    bool digits = !t.isEmpty() && t.size() <= 18;
    for (const QChar c : t)
        digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    if (!digits)
        throw AppError(QStringLiteral("编号 “%1” 不是有效的编号").arg(text));
    return QString::number(t.toLongLong());
}

} // namespace Sql
