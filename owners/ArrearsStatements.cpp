#include "owners/ArrearsStatements.h"
#include "charging/ChargeLogic.h"
#include "data/Dates.h"
#include "data/DbError.h"
#include "data/Database.h"
#include "owners/OwnerStatements.h"
#include "reference/UnitSettings.h"

#include <cmath>

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

void checkAmounts(Database &db, const QDate &reference, const QString &myWhere)
{
    const QString d = Dates::format(reference);
    // Only a house whose area times price reaches 10^8 can owe 10^13 in under ten thousand
    // years; the server refuses a product beyond double precision, so huge factors are
    // not multiplied here but picked out whole. The exact figure is made below.
    const QString sql = QStringLiteral("SELECT AName, theNum, theArea, thePrice, ")
        + QStringLiteral("DateDiff('yyyy', EndDate, '") + d + QStringLiteral("') AS 欠费年数 FROM UHouse ")
        + QStringLiteral("WHERE (theDel = '否') ") + myWhere
        + QStringLiteral("AND (theArea IS NOT NULL) AND (thePrice IS NOT NULL) ")
        + QStringLiteral("AND (CASE WHEN ABS(theArea) < 1e100 AND ABS(thePrice) < 1e100 THEN ABS(theArea * thePrice) ")
        + QStringLiteral("ELSE 1e100 END >= 1e8) ")
        + QStringLiteral("ORDER BY AName, theNum ");
    const Rows rows = db.select(sql);
    QStringList named;
    int count = 0;
    for (int r = 0; r < rows.rowCount(); ++r) {
        const QString years = rows.at(r, 4);
        if (years.isEmpty())
            continue; // no paid-up date: nothing owed is computed
        const double amount = years.toDouble() * rows.at(r, 2).toDouble() * rows.at(r, 3).toDouble();
        if (std::isfinite(amount) && std::fabs(amount) < ChargeLogic::MaxAmount)
            continue;
        if (++count <= 5)
            named << QStringLiteral("%1 %2（面积 %3 × 单价 %4 × %5 年）")
                         .arg(rows.at(r, 0), rows.at(r, 1), ChargeLogic::shortFigure(rows.at(r, 2)),
                              ChargeLogic::shortFigure(rows.at(r, 3)), years);
    }
    if (count == 0)
        return;
    QString houses = named.join(QStringLiteral("、"));
    if (count > named.size())
        houses += QStringLiteral(" 等 %1 户").arg(count);
    throw AppError(QStringLiteral("欠费金额超出范围：%1。收据的大写金额最多写到万亿元，请在业主管理中检查这些业主的面积和单价")
                       .arg(houses));
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
