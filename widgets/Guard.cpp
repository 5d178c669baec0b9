#include "widgets/Guard.h"

QString withFullStop(const QString &text)
{
    if (text.isEmpty())
        return text;
    const QChar last = text.back();
    static const QString stops = QStringLiteral(".。!！?？");
    if (stops.contains(last))
        return text;
    return text + (last.unicode() < 0x80 ? QStringLiteral(".") : QStringLiteral("。"));
}
