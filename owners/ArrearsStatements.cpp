#include "owners/ArrearsStatements.h"
#include "data/Dates.h"
#include "owners/OwnerStatements.h"
#include "reference/UnitSettings.h"

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
    const UnitSettings::PeriodEnd end = UnitSettings::periodEnd(chargeDate, periodEndMonth, periodEndDay);
    if (!end.fitted)
        return {end.date, {}};
    return {end.date, QStringLiteral("收费期截止日期 %1月%2日 在 %3 年不是有效日期，到期日期暂定为 %4，请确认后再查询。")
                          .arg(periodEndMonth, periodEndDay, QString::number(end.date.year()), Dates::format(end.date))};
}

bool isOverdue(const QString &paidUpText, const QDate &pickerDate)
{
    const QDate paidUp = Dates::tryParse(paidUpText);
    return paidUp.isValid() && pickerDate > paidUp;
}

} // namespace ArrearsStatements
