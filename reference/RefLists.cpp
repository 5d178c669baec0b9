#include "reference/RefLists.h"
#include "data/Roles.h"
#include "data/ChangeLog.h"
#include "data/BoundWrite.h"
#include "data/DataModule.h"
#include "data/LiveRow.h"
#include "db/Numbers.h"
#include "db/DbError.h"
#include "db/Sql.h"

namespace RefLists {

namespace {

BoundWrite::Bound insertNameRemark(const QString &table, const QString &name, const QString &remark)
{
    return {QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (theName, Remark) VALUES (?, ?) "), {name, remark}};
}

BoundWrite::Bound insertArea(const QString &name, const QString &remark, const QString &)
{
    return insertNameRemark(QStringLiteral("SArea"), name, remark);
}

BoundWrite::Bound insertMethod(const QString &name, const QString &remark, const QString &)
{
    return insertNameRemark(QStringLiteral("SMType"), name, remark);
}

// The database converts the price or refuses it.
BoundWrite::Bound insertPrice(const QString &name, const QString &remark, const QString &price)
{
    return {QStringLiteral("INSERT INTO SPrice (theName, Remark, thePrice) VALUES (?, ?, ?) "),
            {name, remark, BoundWrite::number(price)}};
}

// An area that live houses use stays: without it no list, look-up or charge could pick
// them. Another row of the same name would still reach them.
QString areaInUse(const QString &id)
{
    const QString n = dataModule().db().scalar(
        QStringLiteral("SELECT COUNT(*) FROM UHouse WHERE (" LIVE_ROW ") AND AName = (SELECT theName FROM SArea WHERE ID = %1) "
                       "AND NOT EXISTS (SELECT 1 FROM SArea a WHERE a.ID <> %1 AND a.theName = UHouse.AName)")
            .arg(Sql::id(id)));
    if (n.toInt() == 0)
        return {};
    return QStringLiteral("该小区下还有 %1 户业主，不能删除！").arg(n);
}

} // namespace

const ListConfig &areas()
{
    static const ListConfig s{
        .table = QStringLiteral("SArea"),
        .caption = QStringLiteral("小区设置"),
        .listGroup = QStringLiteral("小区列表信息"),
        .entryGroup = QStringLiteral("小区信息"),
        .nameLabel = QStringLiteral("小区名称："),
        .nameField = QStringLiteral("小区名称"),
        .listStatement = QStringLiteral("SELECT theName AS 小区名称, Remark AS 备注, ") + QStringLiteral("ID ") + QStringLiteral("FROM SArea "),
        .widths = {0, 280, -1},
        .savedMessage = QStringLiteral("小区信息 保存成功！"),
        .insertStatement = &insertArea,
        .deleteRefusal = &areaInUse,
    };
    return s;
}

const ListConfig &methods()
{
    static const ListConfig s{
        .table = QStringLiteral("SMType"),
        .caption = QStringLiteral("收款方式设置"),
        .listGroup = QStringLiteral("收款方式列表信息"),
        .entryGroup = QStringLiteral("收款方式信息"),
        .nameLabel = QStringLiteral("收款方式："),
        .nameField = QStringLiteral("收款方式"),
        .listStatement = QStringLiteral("SELECT theName AS 收款方式, Remark AS 备注, ") + QStringLiteral("ID ") + QStringLiteral("FROM SMType "),
        .widths = {0, 280, -1},
        .savedMessage = QStringLiteral("收款方式 保存成功！"),
        .insertStatement = &insertMethod,
    };
    return s;
}

const ListConfig &prices()
{
    static const ListConfig s{
        .table = QStringLiteral("SPrice"),
        .caption = QStringLiteral("单价设置"),
        .listGroup = QStringLiteral("单价列表信息"),
        .entryGroup = QStringLiteral("单价信息"),
        .nameLabel = QStringLiteral("房屋用途："),
        .nameField = QStringLiteral("房屋用途"),
        .listStatement = QStringLiteral("SELECT theName AS 房屋用途, thePrice AS 单价, ") + QStringLiteral("Remark AS 备注, ID ") + QStringLiteral("FROM SPrice "),
        .widths = {0, 80, 200, -1},
        .savedMessage = QStringLiteral("单价信息 保存成功！"),
        .hasPrice = true,
        .insertStatement = &insertPrice,
    };
    return s;
}

Rows list(const ListConfig &config)
{
    SqlText = config.listStatement;
    return dataModule().query(SqlText);
}

bool exists(const ListConfig &config, const QString &name)
{
    const QString sql = QStringLiteral("SELECT ID FROM ") + config.table + QStringLiteral(" WHERE (theName = ?)");
    SqlText = BoundWrite::shown(sql, {name});
    return BoundWrite::count(dataModule().db(), sql, {name}) > 0;
}

namespace {
// What the change record calls a row of each list.
QString rowWord(const ListConfig &config)
{
    if (config.table == QLatin1String("SUser"))
        return QStringLiteral("操作员");
    if (config.table == QLatin1String("SPrice"))
        return QStringLiteral("单价");
    if (config.table == QLatin1String("SArea"))
        return QStringLiteral("小区");
    return QStringLiteral("收款方式");
}
Roles::Action actionOn(const ListConfig &config)
{
    return config.table == QLatin1String("SUser") ? Roles::Action::Operators : Roles::Action::ReferenceLists;
}
} // namespace

bool add(const ListConfig &config, const QString &name, const QString &remark, const QString &price)
{
    Roles::require(actionOn(config));
    // The duplicate check, the insert and its record under one write lock.
    Database &db = dataModule().db();
    Transaction tx(db);
    if (exists(config, name))
        return false;
    const BoundWrite::Bound insert = config.insertStatement(name, remark, price);
    SqlText = BoundWrite::shown(insert);
    BoundWrite::run(db, insert);
    QString what = config.nameField + QStringLiteral(" ") + name;
    if (config.hasPrice)
        what += QStringLiteral("，单价 ") + db.scalar(QStringLiteral("SELECT thePrice FROM SPrice WHERE (ID = ")
                                                      + QString::number(db.lastInsertId()) + QStringLiteral(")"));
    ChangeLog::record({QStringLiteral("新增") + rowWord(config), config.table, QString::number(db.lastInsertId()), {}, {}, what});
    tx.commit();
    return true;
}

QString deleteRefusal(const ListConfig &config, const QString &id)
{
    return config.deleteRefusal ? config.deleteRefusal(id) : QString();
}

void remove(const ListConfig &config, const QString &id)
{
    Roles::require(actionOn(config));
    Database &db = dataModule().db();
    Transaction tx(db);
    const QString refusal = deleteRefusal(config, id);
    if (!refusal.isEmpty())
        throw AppError(refusal);
    const QString n = Sql::id(id);
    const BoundWrite::Bound del{QStringLiteral("DELETE FROM ") + config.table + QStringLiteral(" WHERE (ID = ?)"), {n.toLongLong()}};
    SqlText = BoundWrite::shown(del);
    const Rows row = db.select(QStringLiteral("SELECT * FROM ") + config.table + QStringLiteral(" WHERE (ID = ") + n
                               + QStringLiteral(")"));
    BoundWrite::run(db, del);
    if (!row.isEmpty()) {
        QString what = config.nameField + QStringLiteral(" ") + row.at(0, QStringLiteral("theName"));
        if (config.hasPrice)
            what += QStringLiteral("，单价 ") + row.at(0, QStringLiteral("thePrice"));
        ChangeLog::record({QStringLiteral("删除") + rowWord(config), config.table, n, {}, {}, what});
    }
    tx.commit();
}

namespace {

Rows priceRow(Database &db, const QString &id)
{
    const Rows row = BoundWrite::select(db, QStringLiteral("SELECT theName, thePrice FROM SPrice WHERE (ID = ?)"),
                                        {Sql::id(id).toLongLong()});
    if (row.isEmpty())
        throw AppError(QStringLiteral("该单价已被删除，请重新打开单价设置"));
    return row;
}

// The live houses of a purpose whose price is not the given one (a house without a price
// counts too).
const char RepriceWhere[] = "WHERE (" LIVE_ROW ") AND (HType = ?) AND (thePrice IS NULL OR thePrice <> ?)";

} // namespace

PriceChange changePrice(const QString &id, const QString &price)
{
    Roles::require(Roles::Action::ReferenceLists);
    const double value = Numbers::toDouble(price);
    if (!(value > 0))
        throw AppError(QStringLiteral("单价 必须大于零！"));
    Database &db = dataModule().db();
    Transaction tx(db);
    const Rows row = priceRow(db, id);
    const BoundWrite::Bound update{QStringLiteral("UPDATE SPrice SET thePrice = ? WHERE (ID = ?)"),
                                   {value, Sql::id(id).toLongLong()}};
    SqlText = BoundWrite::shown(update);
    BoundWrite::run(db, update);
    const PriceChange change{row.at(0, 0), row.at(0, 1), priceRow(db, id).at(0, 1)};
    ChangeLog::record({QStringLiteral("修改单价"), QStringLiteral("SPrice"), Sql::id(id), {}, {},
                       QStringLiteral("房屋用途 %1，单价 %2 → %3").arg(change.purpose, change.before, change.after)});
    tx.commit();
    return change;
}

int housesToReprice(const QString &id)
{
    Database &db = dataModule().db();
    const Rows row = priceRow(db, id);
    return BoundWrite::count(db, QStringLiteral("SELECT ID FROM UHouse ") + QString::fromUtf8(RepriceWhere),
                             {row.at(0, 0), Numbers::toDouble(row.at(0, 1))});
}

int applyPrice(const QString &id)
{
    Roles::require(Roles::Action::ReferenceLists);
    Database &db = dataModule().db();
    Transaction tx(db);
    const Rows row = priceRow(db, id);
    const QString purpose = row.at(0, 0);
    const double price = Numbers::toDouble(row.at(0, 1));
    // The prices the houses had, for the record: "单价 20 → 22：3 户".
    const Rows before = BoundWrite::select(db, QStringLiteral("SELECT thePrice, COUNT(*) FROM UHouse ")
                                               + QString::fromUtf8(RepriceWhere) + QStringLiteral(" GROUP BY thePrice ORDER BY thePrice"),
                                           {purpose, price});
    int n = 0;
    QStringList parts;
    for (int r = 0; r < before.rowCount(); ++r) {
        n += before.at(r, 1).toInt();
        parts << QStringLiteral("单价 %1 → %2：%3 户")
                     .arg(before.at(r, 0).isEmpty() ? QStringLiteral("（空）") : before.at(r, 0), row.at(0, 1), before.at(r, 1));
    }
    if (n == 0)
        return 0;
    const QString sql = QStringLiteral("UPDATE UHouse SET thePrice = ? ") + QString::fromUtf8(RepriceWhere);
    SqlText = BoundWrite::shown(sql, {price, purpose, price});
    BoundWrite::run(db, sql, {price, purpose, price});
    ChangeLog::record({QStringLiteral("应用单价"), QStringLiteral("UHouse"), {}, {}, {},
                       QStringLiteral("房屋用途 %1，共 %2 户：%3").arg(purpose).arg(n).arg(parts.join(QStringLiteral("；")))});
    tx.commit();
    return n;
}

QString emptyNameMessage(const ListConfig &config) { return config.nameField + QStringLiteral(" 不能为空！"); }

QString duplicateMessage(const ListConfig &config) { return config.nameField + QStringLiteral(" 已存在，请重新录入！"); }

} // namespace RefLists
