#include "reference/RefLists.h"
#include "data/Numbers.h"
#include "data/Sql.h"
#include "data/TfrmDM.h"

namespace RefLists {

namespace {

QString insertNameRemark(const QString &table, const QString &name, const QString &remark)
{
    return QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (theName, Remark) VALUES ('") + Sql::esc(name)
        + QStringLiteral("', '") + Sql::esc(remark) + QStringLiteral("') ");
}

QString insertArea(const QString &name, const QString &remark, const QString &)
{
    return insertNameRemark(QStringLiteral("SArea"), name, remark);
}

QString insertMethod(const QString &name, const QString &remark, const QString &)
{
    return insertNameRemark(QStringLiteral("SMType"), name, remark);
}

// The price goes in as quoted text: the database converts it or refuses it.
QString insertPrice(const QString &name, const QString &remark, const QString &price)
{
    return QStringLiteral("INSERT INTO SPrice (theName, Remark, thePrice) VALUES ('") + Sql::esc(name)
        + QStringLiteral("', '") + Sql::esc(remark) + QStringLiteral("', '") + Sql::esc(price) + QStringLiteral("') ");
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
    return frmDM().query(SqlText);
}

bool exists(const ListConfig &config, const QString &name)
{
    SqlText = QStringLiteral("SELECT ID FROM ") + config.table + QStringLiteral(" WHERE (theName = '") + Sql::esc(name)
        + QStringLiteral("')");
    return frmDM().myRetC(SqlText) > 0;
}

void add(const ListConfig &config, const QString &name, const QString &remark, const QString &price)
{
    SqlText = config.insertStatement(name, remark, price);
    frmDM().myESQL(SqlText);
}

void remove(const ListConfig &config, const QString &id)
{
    // The ID goes in bare, so it must be the whole number read from the list.
    const qint64 n = Numbers::toInt(id);
    SqlText = QStringLiteral("DELETE FROM ") + config.table + QStringLiteral(" WHERE (ID = ") + QString::number(n)
        + QStringLiteral(")");
    frmDM().myESQL(SqlText);
}

QString emptyNameMessage(const ListConfig &config) { return config.nameField + QStringLiteral(" 不能为空！"); }

QString duplicateMessage(const ListConfig &config) { return config.nameField + QStringLiteral(" 已存在，请重新录入！"); }

} // namespace RefLists
