#include "charging/ChargeStatements.h"
#include "data/KeptFigures.h"
#include "data/Books.h"
#include "data/DataModule.h"
#include "data/LiveRow.h"

#include <QRegularExpression>

namespace ChargeStatements {

const QVector<BrowseCriterion> &criteria()
{
    static const QVector<BrowseCriterion> table = {
        {BrowseCriterion::Text, QStringLiteral("单       号"), QStringLiteral("theNum"), nullptr, 0},
        {BrowseCriterion::DateRange, QStringLiteral("收费日期"), QStringLiteral("myDate"), nullptr, 0},
        {BrowseCriterion::Lookup, QStringLiteral("小区名称"), QStringLiteral("AName"), &DataModule::areaList, 1},
        {BrowseCriterion::Text, QStringLiteral("房       号"), QStringLiteral("HNum"), nullptr, 1},
        {BrowseCriterion::Text, QStringLiteral("业主名称"), QStringLiteral("HName"), nullptr, 1},
        {BrowseCriterion::Lookup, QStringLiteral("收款方式"), QStringLiteral("MType"), &DataModule::paymentMethodList, 2},
        {BrowseCriterion::Lookup, QStringLiteral("收  款  人"), QStringLiteral("theSKR"), &DataModule::operatorList, 2},
        {BrowseCriterion::Text, QStringLiteral("备       注"), QStringLiteral("Remark"), nullptr, 2},
    };
    return table;
}

QString reprintCount(const QString &payment)
{
    return QStringLiteral("(SELECT COUNT(*) FROM ULog r WHERE (r.RowID = %1) AND (r.theTable = 'UCharge') "
                          "AND (r.theAction = '%2'))")
        .arg(payment, QString::fromUtf8(Books::ReceiptReprinted));
}

QString list(const QString &conditions, bool reprints)
{
    // How often the receipt was printed again, from the change record.
    const QString reprinted = reprints ? reprintCount(QStringLiteral("UCharge.ID")) + QStringLiteral(" AS 补打次数, ")
                                       : QString();
    return QStringLiteral("SELECT theNum AS 单号, myDate AS 收费日期, ")
        + QStringLiteral("AName AS 小区名称, HNum AS 房号, ")
        + QStringLiteral("HArea AS 面积, HPrice AS 单价, ")
        + QStringLiteral("HName AS 业主名称, theCount AS 收费年数, ")
        + QStringLiteral("QSDate AS 起始日期, JZDate AS 截止日期, ")
        + QStringLiteral("theMoney AS 收款金额, MType AS 收款方式, ")
        + QStringLiteral("theSKR AS 收款人, Remark AS 备注, ")
        + reprinted
        + QStringLiteral("ID FROM UCharge ")
        + QStringLiteral("WHERE (" LIVE_ROW ") ")
        + conditions
        + QStringLiteral("ORDER BY ID DESC ");
}

QVector<ListKey> order()
{
    return {{QStringLiteral("ID"), true, true}};
}

bool fromDayFigures(const QString &conditions)
{
    // The clauses of the date range, the area and the payment method exactly as the
    // criteria write them; a value holds no quote but doubled ones. An empty area or method
    // is left to the payments: the figures keep a missing one as "".
    static const QRegularExpression clause(QStringLiteral(
        "\\G(?: AND \\(myDate Between '(?:[^']|'')+' AND '(?:[^']|'')+'\\) |AND \\((?:AName|MType) = '(?:[^']|'')+'\\) )"));
    return KeptFigures::onlyClauses(conditions, clause);
}

QString totalsOfPayments(const Database &db, const QString &conditions)
{
    return QStringLiteral("SELECT ") + db.exactSum(QStringLiteral("theMoney")) + QStringLiteral(" AS 收款金额 ")
        + QStringLiteral("FROM UCharge ")
        + QStringLiteral("WHERE (" LIVE_ROW ") ")
        + conditions;
}

QString countOfPayments(const QString &conditions)
{
    return QStringLiteral("SELECT COUNT(*) FROM UCharge ")
        + QStringLiteral("WHERE (" LIVE_ROW ") ")
        + conditions;
}

namespace {
// The kept figures that answer these conditions: the days' totals when no area is asked
// for (a few rows a day at any size of the district), else the day's figures by area.
QString keptFigures(const QString &conditions)
{
    return conditions.contains(QStringLiteral("(AName = '")) ? QStringLiteral("UDayFigure") : QStringLiteral("UDayTotal");
}
} // namespace

QString totals(const Database &db, const QString &conditions)
{
    if (!fromDayFigures(conditions))
        return totalsOfPayments(db, conditions);
    // Whole fen summed exactly and read as yuan: the digits of an exact sum of the
    // amounts. A payment of an amount below the fen is summed among the payments.
    return QStringLiteral("SELECT CASE WHEN SUM(theOdd) > 0 THEN (") + totalsOfPayments(db, conditions)
        + QStringLiteral(") ELSE SUM(theFen) / 100.0 END AS 收款金额 FROM ") + keptFigures(conditions)
        + QStringLiteral(" WHERE (1 = 1) ") + conditions;
}

QString count(const QString &conditions)
{
    if (!fromDayFigures(conditions))
        return countOfPayments(conditions);
    return QStringLiteral("SELECT COALESCE(SUM(theCount), 0) FROM ") + keptFigures(conditions)
        + QStringLiteral(" WHERE (1 = 1) ") + conditions;
}

QDate defaultFrom(const QDate &chargeDate)
{
    return chargeDate.addMonths(-1); // QDate clamps to the end of a shorter month
}

} // namespace ChargeStatements
