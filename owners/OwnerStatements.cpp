#include "owners/OwnerStatements.h"
#include "data/DataModule.h"
#include "data/LiveRow.h"
#include "db/Sql.h"

namespace OwnerStatements {

const QVector<BrowseCriterion> &criteria()
{
    static const QVector<BrowseCriterion> table = {
        {BrowseCriterion::Lookup, QStringLiteral("小区名称"), QStringLiteral("AName"), &DataModule::areaList, 0},
        {BrowseCriterion::Text, QStringLiteral("房       号"), QStringLiteral("theNum"), nullptr, 0},
        {BrowseCriterion::Lookup, QStringLiteral("房屋用途"), QStringLiteral("HType"), &DataModule::purposeList, 0},
        {BrowseCriterion::Text, QStringLiteral("业主名称"), QStringLiteral("theName"), nullptr, 1},
        {BrowseCriterion::Text, QStringLiteral("手机号码"), QStringLiteral("thePhone"), nullptr, 1},
        {BrowseCriterion::Text, QStringLiteral("备       注"), QStringLiteral("Remark"), nullptr, 1},
    };
    return table;
}

QString leadingColumns()
{
    return QStringLiteral("SELECT AName AS 小区名称, theNum AS 房号, ")
        + QStringLiteral("theArea AS 面积, HType AS 房屋用途, ")
        + QStringLiteral("thePrice AS 单价, EndDate AS 到期日期, ")
        + QStringLiteral("theName AS 业主名称, thePhone AS 手机号码, ");
}

QString list(const QString &conditions)
{
    return leadingColumns()
        + QStringLiteral("Remark AS 备注, ID FROM UHouse ")
        + QStringLiteral("WHERE (" LIVE_ROW ") ")
        + conditions
        + QStringLiteral("ORDER BY AName, theNum ");
}

QVector<ListKey> order()
{
    return {{QStringLiteral("小区名称")}, {QStringLiteral("房号")}, {QStringLiteral("ID"), false, true}};
}

QString totals(const Database &db, const QString &conditions)
{
    return QStringLiteral("SELECT ") + db.exactSum(QStringLiteral("theArea")) + QStringLiteral(" AS 面积 ")
        + QStringLiteral("FROM UHouse ")
        + QStringLiteral("WHERE (" LIVE_ROW ") ")
        + conditions;
}

QString count(const QString &conditions)
{
    return QStringLiteral("SELECT COUNT(*) FROM UHouse ")
        + QStringLiteral("WHERE (" LIVE_ROW ") ")
        + conditions;
}

QString markDeleted(const QString &id)
{
    return QStringLiteral("UPDATE UHouse SET theDel = '是' ")
        + QStringLiteral("WHERE (ID = ") + Sql::id(id) + QStringLiteral(")");
}

} // namespace OwnerStatements
