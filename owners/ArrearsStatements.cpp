#include "owners/ArrearsStatements.h"
#include "data/Dates.h"
#include "owners/OwnerStatements.h"

namespace ArrearsStatements {

QString dateClause(const QDate &reference)
{
    return QStringLiteral("AND (EndDate < '") + Dates::format(reference) + QStringLiteral("') ");
}

QString list(const QDate &reference, const QString &myWhere)
{
    const QString d = Dates::format(reference);
    return OwnerStatements::leadingColumns()
        + QStringLiteral("Remark AS 备注, ")
        + QStringLiteral("DateDiff('yyyy', EndDate, '") + d + QStringLiteral("') AS 欠费年数, ")
        + QStringLiteral("DateDiff('yyyy', EndDate, '") + d + QStringLiteral("') * theArea * thePrice AS 欠费金额, ")
        + QStringLiteral("ID FROM UHouse ")
        + QStringLiteral("WHERE (theDel = '否') ")
        + myWhere
        + QStringLiteral("ORDER BY AName, theNum ");
}

QString totals(const QDate &reference, const QString &myWhere)
{
    const QString d = Dates::format(reference);
    return QStringLiteral("SELECT SUM(theArea) AS 面积, ")
        + QStringLiteral("SUM(DateDiff('yyyy', EndDate, '") + d + QStringLiteral("') * theArea * thePrice) AS 欠费金额 ")
        + QStringLiteral("FROM UHouse ")
        + QStringLiteral("WHERE (theDel = '否') ")
        + myWhere;
}

ReferenceDefault defaultReference(const QString &chargeDate, const QString &periodEndMonth,
                                  const QString &periodEndDay)
{
    const QDate charging = Dates::tryParse(chargeDate);
    const int year = charging.isValid() ? charging.year() : QDate::currentDate().year();
    const QString text = QString::number(year) + QLatin1Char('-') + periodEndMonth + QLatin1Char('-') + periodEndDay;
    const QDate d = Dates::tryParse(text);
    if (d.isValid())
        return {d, {}};

    bool monthOk = false, dayOk = false;
    const int month = periodEndMonth.trimmed().toInt(&monthOk);
    const int day = periodEndDay.trimmed().toInt(&dayOk);
    ReferenceDefault r;
    if (monthOk && month >= 1 && month <= 12) {
        const QDate first(year, month, 1);
        r.date = dayOk && day >= 1 ? first.addDays(qMin(day, first.daysInMonth()) - 1)
                                   : first.addDays(first.daysInMonth() - 1);
    } else {
        r.date = charging.isValid() ? charging : QDate::currentDate();
    }
    r.problem = QStringLiteral("收费期截止日期 %1月%2日 在 %3 年不是有效日期，到期日期暂定为 %4，请确认后再查询。")
                    .arg(periodEndMonth, periodEndDay, QString::number(year), Dates::format(r.date));
    return r;
}

bool isOverdue(const QString &paidUpText, const QDate &pickerDate)
{
    const QDate paidUp = Dates::tryParse(paidUpText);
    return paidUp.isValid() && pickerDate > paidUp;
}

} // namespace ArrearsStatements
