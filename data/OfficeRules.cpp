#include "data/OfficeRules.h"
#include "data/BoundWrite.h"
#include "data/ChangeLog.h"
#include "data/DataModule.h"
#include "data/LiveRow.h"
#include "data/Roles.h"
#include "db/Database.h"
#include "db/Dates.h"
#include "db/DbError.h"
#include "db/Numbers.h"

#include <QDateTime>
#include <cmath>

namespace OfficeRules {

namespace {

// The names of the settings in SRule.
const char kSuspend[] = "suspend";
const char kSuspendPercent[] = "suspend.percent";
const char kSuspendDeadline[] = "suspend.deadline";
const char kRefuseArrears[] = "suspend.refuseArrears";
const char kDiscount[] = "discount";
const char kDiscountPercent[] = "discount.percent";
const char kDiscountFrom[] = "discount.from";
const char kDiscountTo[] = "discount.to";
const char kLate[] = "late";
const char kLatePermille[] = "late.permille";
const char kLateFrom[] = "late.from";
const char kLateCap[] = "late.cap";

QString onOff(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

QString figure(double v)
{
    return Numbers::plain(v);
}

// The settings as name → stored text.
QMap<QString, QString> asTexts(const Settings &s)
{
    return {{QLatin1String(kSuspend), onOff(s.suspend)},
            {QLatin1String(kSuspendPercent), figure(s.suspendPercent)},
            {QLatin1String(kSuspendDeadline), s.suspendDeadline},
            {QLatin1String(kRefuseArrears), onOff(s.refuseArrears)},
            {QLatin1String(kDiscount), onOff(s.discount)},
            {QLatin1String(kDiscountPercent), figure(s.discountPercent)},
            {QLatin1String(kDiscountFrom), s.discountFrom},
            {QLatin1String(kDiscountTo), s.discountTo},
            {QLatin1String(kLate), onOff(s.late)},
            {QLatin1String(kLatePermille), figure(s.latePermille)},
            {QLatin1String(kLateFrom), s.lateFrom},
            {QLatin1String(kLateCap), figure(s.lateCap)}};
}

// The first season a house has not paid: the one its next yearly period pays. 0 when its
// paid-up date is no date.
int firstUnpaidSeason(const QString &paidUp, const Seasons::Period &period)
{
    const QDate p = Dates::tryParse(paidUp);
    return p.isValid() ? Seasons::seasonPaidFrom(p.addDays(1), period) : 0;
}

double percentSetting(const QString &text, double fallback)
{
    return Numbers::isNumber(text) ? Numbers::toDouble(text) : fallback;
}

} // namespace

Seasons::Period storedPeriod(Database &db)
{
    const Rows r = db.select(QStringLiteral("SELECT theBM, theBD, theEM, theED FROM SDept WHERE (ID = 1)"));
    if (r.isEmpty())
        return {};
    return Seasons::periodFromTexts(r.at(0, 0), r.at(0, 1), r.at(0, 2), r.at(0, 3));
}

Settings settings(Database &db)
{
    Settings s;
    const Rows r = db.select(QStringLiteral("SELECT theName, theValue FROM SRule"));
    for (int i = 0; i < r.rowCount(); ++i) {
        const QString name = r.at(i, 0).toLower();
        const QString v = r.at(i, 1).trimmed();
        if (name == QLatin1String(kSuspend))
            s.suspend = v == QLatin1String("1");
        else if (name == QLatin1String(kSuspendPercent))
            s.suspendPercent = percentSetting(v, s.suspendPercent);
        else if (name == QLatin1String(kSuspendDeadline))
            s.suspendDeadline = v;
        else if (name == QString::fromLatin1(kRefuseArrears).toLower())
            s.refuseArrears = v == QLatin1String("1");
        else if (name == QLatin1String(kDiscount))
            s.discount = v == QLatin1String("1");
        else if (name == QLatin1String(kDiscountPercent))
            s.discountPercent = percentSetting(v, s.discountPercent);
        else if (name == QLatin1String(kDiscountFrom))
            s.discountFrom = v;
        else if (name == QLatin1String(kDiscountTo))
            s.discountTo = v;
        else if (name == QLatin1String(kLate))
            s.late = v == QLatin1String("1");
        else if (name == QLatin1String(kLatePermille))
            s.latePermille = percentSetting(v, s.latePermille);
        else if (name == QLatin1String(kLateFrom))
            s.lateFrom = v;
        else if (name == QLatin1String(kLateCap))
            s.lateCap = percentSetting(v, s.lateCap);
    }
    return s;
}

void checkSettings(const Settings &s)
{
    const auto percent = [](double v, const QString &what, double high) {
        if (!std::isfinite(v) || v < 0 || v > high)
            throw AppError(QStringLiteral("%1 “%2” 应在 0 到 %3 之间").arg(what, figure(v), figure(high)));
    };
    const auto monthDay = [](const QString &text, const QString &what) {
        int m = 0, d = 0;
        if (!Seasons::parseMonthDay(text, &m, &d))
            throw AppError(QStringLiteral("%1 “%2” 不是有效的月-日（例如 09-30）").arg(what, text));
    };
    percent(s.suspendPercent, QStringLiteral("报停基本热费比例"), 100);
    percent(s.discountPercent, QStringLiteral("优惠比例"), 100);
    percent(s.latePermille, QStringLiteral("违约金每日千分比"), 1000);
    percent(s.lateCap, QStringLiteral("违约金上限比例"), 100);
    monthDay(s.suspendDeadline, QStringLiteral("报停截止日期"));
    monthDay(s.discountFrom, QStringLiteral("优惠开始日期"));
    monthDay(s.discountTo, QStringLiteral("优惠截止日期"));
    monthDay(s.lateFrom, QStringLiteral("违约金起算日期"));
}

QStringList describe(const Settings &s)
{
    const auto yesNo = [](bool b) {
        return b ? QStringLiteral("开启") : QStringLiteral("关闭");
    };
    return {QStringLiteral("报停：%1，基本热费 %2%，截止日期 %3，有欠费不予报停：%4")
                .arg(yesNo(s.suspend), figure(s.suspendPercent), s.suspendDeadline,
                     s.refuseArrears ? QStringLiteral("是") : QStringLiteral("否")),
            QStringLiteral("优惠：%1，%2%，%3 至 %4")
                .arg(yesNo(s.discount), figure(s.discountPercent), s.discountFrom, s.discountTo),
            QStringLiteral("违约金：%1，每日 %2‰，%3 起，上限 %4%")
                .arg(yesNo(s.late), figure(s.latePermille), s.lateFrom, figure(s.lateCap))};
}

void storeSettings(const Settings &after)
{
    Roles::require(Roles::Action::UnitSettings);
    checkSettings(after);
    Database &db = dataModule().db();
    Transaction tx(db);
    const Settings before = settings(db);
    const QMap<QString, QString> was = asTexts(before);
    const QMap<QString, QString> now = asTexts(after);
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (was.value(it.key()) == it.value()
            && db.count(QStringLiteral("SELECT theName FROM SRule WHERE (theName = '%1')").arg(it.key())) > 0)
            continue;
        BoundWrite::run(db, QStringLiteral("DELETE FROM SRule WHERE (theName = ?)"), {it.key()});
        BoundWrite::run(db, QStringLiteral("INSERT INTO SRule (theName, theValue) VALUES (?, ?)"),
                        {it.key(), it.value()});
    }
    const QStringList b = describe(before), a = describe(after);
    for (int i = 0; i < a.size(); ++i)
        if (a.at(i) != b.at(i))
            ChangeLog::record({QStringLiteral("修改收费规则"),
                               QStringLiteral("SRule"),
                               {},
                               {},
                               {},
                               QStringLiteral("%1 → %2").arg(b.at(i), a.at(i))});
    tx.commit();
}

QVector<SeasonPrice> seasonPrices(Database &db)
{
    QVector<SeasonPrice> out;
    const Rows r
        = db.select(QStringLiteral("SELECT HType, theYear, thePrice FROM SSeasonPrice ORDER BY HType, theYear"));
    for (int i = 0; i < r.rowCount(); ++i)
        out.append({r.at(i, 0), int(Numbers::toInt(r.at(i, 1))), Numbers::toDouble(r.at(i, 2))});
    return out;
}

namespace {

void checkSeason(int year)
{
    if (year < 1900 || year > 9998)
        throw AppError(QStringLiteral("采暖季 “%1” 不是有效的年份").arg(year));
}

} // namespace

void setSeasonPrice(const QString &purpose, int year, const QString &price)
{
    Roles::require(Roles::Action::ReferenceLists);
    checkSeason(year);
    if (!Numbers::isNumber(price) || !std::isfinite(Numbers::toDouble(price)) || Numbers::toDouble(price) < 0)
        throw AppError(QStringLiteral("单价 “%1” 不是有效的数字").arg(price));
    Database &db = dataModule().db();
    Transaction tx(db);
    const QString stored
        = BoundWrite::scalar(db, QStringLiteral("SELECT theName FROM SPrice WHERE (theName = ?)"), {purpose});
    if (stored.isEmpty())
        throw AppError(QStringLiteral("房屋用途 “%1” 不在单价列表中").arg(purpose));
    const Rows was
        = BoundWrite::select(db,
                             QStringLiteral("SELECT ID, thePrice FROM SSeasonPrice WHERE (HType = ?) AND (theYear = ?)"),
                             {stored, qint64(year)});
    const double value = Numbers::toDouble(price);
    QString id;
    if (was.isEmpty()) {
        BoundWrite::run(db,
                        QStringLiteral(
                            "INSERT INTO SSeasonPrice (HType, theYear, thePrice, Remark) VALUES (?, ?, ?, '')"),
                        {stored, qint64(year), value});
        id = QString::number(db.lastInsertId());
        ChangeLog::record({QStringLiteral("新增采暖季单价"),
                           QStringLiteral("SSeasonPrice"),
                           id,
                           {},
                           {},
                           QStringLiteral("%1 %2采暖季 单价 %3").arg(stored).arg(year).arg(Numbers::plain(value))});
    } else {
        id = was.at(0, 0);
        BoundWrite::run(db, QStringLiteral("UPDATE SSeasonPrice SET thePrice = ? WHERE (ID = ?)"),
                        {value, id.toLongLong()});
        ChangeLog::record({QStringLiteral("修改采暖季单价"),
                           QStringLiteral("SSeasonPrice"),
                           id,
                           {},
                           {},
                           QStringLiteral("%1 %2采暖季 单价：%3 → %4")
                               .arg(stored)
                               .arg(year)
                               .arg(Numbers::plain(Numbers::toDouble(was.at(0, 1))), Numbers::plain(value))});
    }
    tx.commit();
}

void removeSeasonPrice(const QString &purpose, int year)
{
    Roles::require(Roles::Action::ReferenceLists);
    Database &db = dataModule().db();
    Transaction tx(db);
    const Rows was
        = BoundWrite::select(db,
                             QStringLiteral(
                                 "SELECT ID, HType, thePrice FROM SSeasonPrice WHERE (HType = ?) AND (theYear = ?)"),
                             {purpose, qint64(year)});
    if (was.isEmpty())
        throw AppError(QStringLiteral("%1 没有 %2 采暖季的单价").arg(purpose).arg(year));
    BoundWrite::run(db, QStringLiteral("DELETE FROM SSeasonPrice WHERE (ID = ?)"), {was.at(0, 0).toLongLong()});
    ChangeLog::record({QStringLiteral("删除采暖季单价"),
                       QStringLiteral("SSeasonPrice"),
                       was.at(0, 0),
                       {},
                       {},
                       QStringLiteral("%1 %2采暖季 单价 %3")
                           .arg(was.at(0, 1))
                           .arg(year)
                           .arg(Numbers::plain(Numbers::toDouble(was.at(0, 2))))});
    tx.commit();
}

QMap<int, double> suspendedSeasons(Database &db, const QString &houseId)
{
    QMap<int, double> out;
    const Rows r = BoundWrite::select(db,
                                      QStringLiteral(
                                          "SELECT theYear, thePercent FROM USuspend WHERE (HID = ?) AND (" LIVE_ROW ")"),
                                      {houseId.toLongLong()});
    for (int i = 0; i < r.rowCount(); ++i)
        out.insert(int(Numbers::toInt(r.at(i, 0))), Numbers::toDouble(r.at(i, 1)));
    return out;
}

HouseState houseState(Database &db, const QString &houseId)
{
    const Rows r
        = BoundWrite::select(db,
                             QStringLiteral(
                                 "SELECT ID, AName, theNum, EndDate FROM UHouse WHERE (ID = ?) AND (" LIVE_ROW ")"),
                             {houseId.toLongLong()});
    if (r.isEmpty())
        throw AppError(QStringLiteral("业主信息 不存在，请重新录入房号！"));
    return {r.at(0, 0), r.at(0, 1), r.at(0, 2), r.at(0, 3)};
}

QString suspendRefusal(Database &db, const HouseState &house, int year, const QDate &date)
{
    const Settings s = settings(db);
    if (!s.suspend)
        return QStringLiteral("本单位没有开启报停，请在 收费规则 中设置");
    const Seasons::Period period = storedPeriod(db);
    const QDate deadline = Seasons::monthDayIn(year, s.suspendDeadline);
    if (!deadline.isValid() || date > deadline)
        return QStringLiteral("%1 的报停截止日期是 %2，已过截止日期，不能报停")
            .arg(Seasons::seasonOf(year, period).caption(), Dates::format(deadline));
    if (suspendedSeasons(db, house.id).contains(year))
        return QStringLiteral("该户 %1 已经报停").arg(Seasons::seasonOf(year, period).caption());
    const int unpaid = firstUnpaidSeason(house.paidUp, period);
    if (unpaid > year)
        return QStringLiteral("该户 %1 已经交费（到期日期 %2），不能报停")
            .arg(Seasons::seasonOf(year, period).caption(), house.paidUp);
    if (s.refuseArrears && unpaid != 0 && unpaid < year && Seasons::seasonOf(unpaid, period).begin <= date)
        return QStringLiteral("该户有欠费（%1 未交，到期日期 %2），本单位规定有欠费不予报停")
            .arg(Seasons::seasonOf(unpaid, period).caption(), house.paidUp);
    return {};
}

QString cancelRefusal(Database &db, const HouseState &house, int year, const QDate &date)
{
    const Seasons::Period period = storedPeriod(db);
    const Seasons::Season season = Seasons::seasonOf(year, period);
    if (!suspendedSeasons(db, house.id).contains(year))
        return QStringLiteral("该户 %1 没有报停").arg(season.caption());
    if (date >= season.begin)
        return QStringLiteral("%1 已于 %2 开始，不能取消报停").arg(season.caption(), Dates::format(season.begin));
    if (firstUnpaidSeason(house.paidUp, period) > year)
        return QStringLiteral("该户 %1 已按报停交费，不能取消报停（请先作废该笔收费）").arg(season.caption());
    return {};
}

void suspend(const QString &houseId, int year, const QString &reason, const QDate &date)
{
    Roles::require(Roles::Action::Owners);
    checkSeason(year);
    Database &db = dataModule().db();
    Transaction tx(db);
    const HouseState house = houseState(db, houseId);
    if (const QString refusal = suspendRefusal(db, house, year, date); !refusal.isEmpty())
        throw AppError(refusal);
    const double percent = settings(db).suspendPercent;
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    BoundWrite::run(db,
                    QStringLiteral(
                        "INSERT INTO USuspend (HID, theYear, AName, HNum, thePercent, Reason, theDate, theTime, UName, theDel) "
                        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, '否')"),
                    {house.id.toLongLong(), qint64(year), house.area, house.room, percent, reason, Dates::format(date),
                     now, CurrentUserName});
    const QString id = QString::number(db.lastInsertId());
    ChangeLog::record(
        {QStringLiteral("报停"), QStringLiteral("USuspend"), id, house.area, house.room,
         QStringLiteral("%1采暖季报停，基本热费 %2%%3")
             .arg(year)
             .arg(Numbers::plain(percent), reason.isEmpty() ? QString() : QStringLiteral("，原因：") + reason)});
    tx.commit();
}

void cancelSuspension(const QString &houseId, int year, const QDate &date)
{
    Roles::require(Roles::Action::Owners);
    Database &db = dataModule().db();
    Transaction tx(db);
    const HouseState house = houseState(db, houseId);
    if (const QString refusal = cancelRefusal(db, house, year, date); !refusal.isEmpty())
        throw AppError(refusal);
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString id
        = BoundWrite::scalar(db,
                             QStringLiteral("SELECT ID FROM USuspend WHERE (HID = ?) AND (theYear = ?) AND (" LIVE_ROW
                                            ")"),
                             {house.id.toLongLong(), qint64(year)});
    BoundWrite::run(db, QStringLiteral("UPDATE USuspend SET theDel = '是', DelTime = ?, DelUName = ? WHERE (ID = ?)"),
                    {now, CurrentUserName, id.toLongLong()});
    ChangeLog::record({QStringLiteral("取消报停"), QStringLiteral("USuspend"), id, house.area, house.room,
                       QStringLiteral("%1采暖季取消报停").arg(year)});
    tx.commit();
}

QVector<SuspendedArea> suspendedIn(Database &db, int year)
{
    QVector<SuspendedArea> out;
    const Rows r
        = db.select(QStringLiteral("SELECT h.AName, COUNT(*), ") + db.exactSum(QStringLiteral("h.theArea"))
                    + QStringLiteral(" FROM USuspend s JOIN UHouse h ON h.ID = s.HID WHERE (s.theDel = '否') AND "
                                     "(h.theDel = '否') AND (s.theYear = %1) GROUP BY h.AName ORDER BY h.AName")
                          .arg(year));
    SuspendedArea total{QStringLiteral("合计")};
    for (int i = 0; i < r.rowCount(); ++i) {
        const SuspendedArea a{r.at(i, 0), int(Numbers::toInt(r.at(i, 1))), Numbers::toDouble(r.at(i, 2))};
        out << a;
        total.houses += a.houses;
        total.floorArea += a.floorArea;
    }
    if (!out.isEmpty())
        out << total;
    return out;
}

bool anySeasonPrices(Database &db)
{
    return db.count(QStringLiteral("SELECT ID FROM SSeasonPrice LIMIT 1")) > 0;
}

bool anySuspensions(Database &db)
{
    return db.count(QStringLiteral("SELECT ID FROM USuspend WHERE (" LIVE_ROW ") LIMIT 1")) > 0;
}

} // namespace OfficeRules
