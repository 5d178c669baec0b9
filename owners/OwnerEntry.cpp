#include "owners/OwnerEntry.h"
#include "data/Roles.h"
#include "charging/ChargeLogic.h"
#include "data/BoundWrite.h"
#include "data/ChangeLog.h"
#include "data/DataModule.h"
#include "data/LiveRow.h"
#include "db/Dates.h"
#include "db/Numbers.h"
#include "db/Sql.h"
#include "owners/HouseInsert.h"
#include "owners/OwnerStatements.h"
#include "reference/UnitSettings.h"

#include <optional>

namespace OwnerEntry {

Field firstEmpty(const House &h)
{
    if (h.area.isEmpty())
        return AreaField;
    if (h.room.isEmpty())
        return RoomField;
    if (h.floorArea.isEmpty())
        return FloorAreaField;
    if (h.purpose.isEmpty())
        return PurposeField;
    if (h.price.isEmpty())
        return PriceField;
    if (h.owner.isEmpty())
        return OwnerField;
    return NoField;
}

QString emptyMessage(Field field)
{
    static const char *const names[] = {"小区名称", "房号", "面积", "房屋类别", "单价", "业主名称"};
    if (field < 0 || field > OwnerField)
        return {};
    return QString::fromUtf8(names[field]) + QStringLiteral(" 不能为空！");
}

PeriodEnd periodEnd(const QString &chargeDate, const QString &endMonth, const QString &endDay)
{
    const UnitSettings::PeriodEnd end = UnitSettings::periodEnd(chargeDate, endMonth, endDay);
    if (!end.fitted)
        return {end.date, {}};
    const QString year = QString::number(end.date.year()).rightJustified(4, QLatin1Char('0'));
    return {end.date, QStringLiteral("收费期间的截止日期“%1月%2日”在 %3 年不是有效的日期，到期日期暂设为 %4，可以修改。"
                                     "请在“使用单位”中改正收费期间。")
                          .arg(endMonth, endDay, year, Dates::format(end.date))};
}

QString priceOf(const QString &purpose)
{
    const QString sql = QStringLiteral("SELECT thePrice FROM SPrice WHERE (theName = ?)");
    SqlText = BoundWrite::shown(sql, {purpose});
    const Rows rows = BoundWrite::select(dataModule().db(), sql, {purpose});
    if (rows.isEmpty())
        return {};
    return rows.at(0, QStringLiteral("thePrice"));
}

bool roomTaken(const QString &area, const QString &room)
{
    const QString sql = QStringLiteral("SELECT ID FROM UHouse WHERE (" LIVE_ROW ") AND (AName = ?) AND (theNum = ?)");
    SqlText = BoundWrite::shown(sql, {area, room});
    return BoundWrite::count(dataModule().db(), sql, {area, room}) > 0;
}

bool add(const House &h)
{
    Roles::require(Roles::Action::Owners);
    ChargeLogic::checkYearFee(h.floorArea, h.price);
    Transaction tx(dataModule().db());
    if (roomTaken(h.area, h.room))
        return false;
    SqlText = HouseInsert::text(h, ChargeDate, CurrentUserName);
    HouseInsert(dataModule().db()).run(h, ChargeDate, CurrentUserName);
    ChangeLog::record({QString::fromUtf8(ChangeLog::HouseAdded), QStringLiteral("UHouse"),
                       QString::number(dataModule().db().lastInsertId()), h.area, h.room,
                       QStringLiteral("面积 %1，房屋用途 %2，单价 %3，到期日期 %4，业主名称 %5")
                           .arg(h.floorArea, h.purpose, h.price, h.endDate, h.owner)});
    tx.commit();
    return true;
}

namespace {
std::optional<House> stored(const QString &id)
{
    const Rows r = dataModule().query(QStringLiteral("SELECT AName, theNum, theArea, HType, thePrice, EndDate, theName, "
                                                "thePhone, Remark FROM UHouse WHERE (ID = ")
                                 + id + QStringLiteral(") AND (" LIVE_ROW ")"));
    if (r.isEmpty())
        return std::nullopt;
    const QStringList &v = r.row(0);
    return House{v.at(0), v.at(1), v.at(2), v.at(3), v.at(4), v.at(5), v.at(6), v.at(7), v.at(8)};
}

// "到期日期 由 2024-04-10 变为 2025-04-10、业主名称 由 张三 变为 李四"
QString differences(const House &before, const House &now)
{
    const struct {
        const char *label;
        QString House::*field;
    } fields[] = {
        {"小区名称", &House::area},  {"房号", &House::room},      {"面积", &House::floorArea},
        {"房屋用途", &House::purpose}, {"单价", &House::price},     {"到期日期", &House::endDate},
        {"业主名称", &House::owner},  {"手机号码", &House::phone}, {"备注", &House::remark},
    };
    QStringList out;
    for (const auto &f : fields) {
        if (before.*f.field != now.*f.field)
            out << QStringLiteral("%1 由“%2”变为“%3”").arg(QString::fromUtf8(f.label), before.*f.field, now.*f.field);
    }
    return out.join(QStringLiteral("、"));
}
} // namespace

House load(const QString &houseId)
{
    const std::optional<House> h = stored(Sql::id(houseId));
    if (!h)
        throw AppError(QStringLiteral("该业主已被删除！"));
    return *h;
}

void update(const QString &houseId, const House &h, const House &asOpened)
{
    Roles::require(Roles::Action::Owners);
    const QString id = Sql::id(houseId);
    const QString floorArea = Sql::number(h.floorArea, QStringLiteral("面积"));
    const QString price = Sql::number(h.price, QStringLiteral("单价"));
    ChargeLogic::checkYearFee(h.floorArea, h.price);
    Transaction tx(dataModule().db());
    const std::optional<House> now = stored(id);
    if (!now)
        throw AppError(QStringLiteral("打开修改窗口后，该业主已被删除，本次修改没有保存！"));
    const QString changed = differences(asOpened, *now);
    if (!changed.isEmpty())
        throw AppError(QStringLiteral("打开修改窗口后，该业主的信息已被修改（%1，可能刚收过费），本次修改没有保存。请退出后重新打开修改窗口！")
                           .arg(changed));
    const BoundWrite::Bound change{
        QStringLiteral("UPDATE UHouse SET AName = ?, theNum = ?, theArea = ?, HType = ?, thePrice = ?, EndDate = ?, "
                       "theName = ?, thePhone = ?, Remark = ? WHERE (ID = ?)"),
        {h.area, h.room, Numbers::toDouble(floorArea), h.purpose, Numbers::toDouble(price), h.endDate, h.owner, h.phone,
         h.remark, id.toLongLong()}};
    SqlText = BoundWrite::shown(change);

    // The check, the update and its record under one lock, so that the record names exactly
    // what this save changed.
    Database &db = dataModule().db();
    const Rows before = db.select(QStringLiteral("SELECT * FROM UHouse WHERE (ID = ") + id + QStringLiteral(")"));
    BoundWrite::run(db, change);
    if (!before.isEmpty()) {
        const Rows after = db.select(QStringLiteral("SELECT * FROM UHouse WHERE (ID = ") + id + QStringLiteral(")"));
        QVector<ChangeLog::FieldChange> fields;
        static const char *const columns[][2] = {{"AName", "小区名称"}, {"theNum", "房号"},    {"theArea", "面积"},
                                                 {"HType", "房屋用途"}, {"thePrice", "单价"}, {"EndDate", "到期日期"},
                                                 {"theName", "业主名称"}, {"thePhone", "手机号码"}, {"Remark", "备注"}};
        for (const auto &c : columns)
            fields.append({QString::fromUtf8(c[1]), before.at(0, QString::fromLatin1(c[0])),
                           after.at(0, QString::fromLatin1(c[0]))});
        const QString change = ChangeLog::describe(fields);
        if (!change.isEmpty())
            ChangeLog::record({QString::fromUtf8(ChangeLog::HouseModified), QStringLiteral("UHouse"), id,
                               before.at(0, QStringLiteral("AName")), before.at(0, QStringLiteral("theNum")), change});
    }
    tx.commit();
}

void markDeleted(const QString &id)
{
    Roles::require(Roles::Action::Owners);
    const QString n = Sql::id(id);
    SqlText = OwnerStatements::markDeleted(n);
    Database &db = dataModule().db();
    Transaction tx(db);
    const Rows house = db.select(QStringLiteral("SELECT AName, theNum, theDel FROM UHouse WHERE (ID = ") + n + QStringLiteral(")"));
    dataModule().execute(SqlText);
    if (!house.isEmpty() && house.at(0, 2) == QStringLiteral("否"))
        ChangeLog::record({QString::fromUtf8(ChangeLog::HouseDeleted), QStringLiteral("UHouse"), n, house.at(0, 0),
                           house.at(0, 1), QStringLiteral("标记为删除")});
    tx.commit();
}

} // namespace OwnerEntry
