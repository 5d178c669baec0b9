#include "demo/DemoData.h"
#include "data/Books.h"
#include "data/BoundWrite.h"
#include "data/ChangeLog.h"
#include "charging/ChargeLogic.h"
#include "data/Capitals.h"
#include "db/Database.h"
#include "db/Dates.h"
#include "db/Numbers.h"
#include "data/PasswordHash.h"
#include "data/Schema.h"
#include "db/Sql.h"
#include "owners/HouseInsert.h"

#include <QHash>
#include <QRandomGenerator>
#include <algorithm>

namespace {

const char *const kAreaStems[] = {"阳光", "锦绣", "和平", "幸福", "翠湖", "金桥", "龙山", "春晖", "滨河", "东方",
                                  "嘉禾", "明珠", "银杏", "绿洲", "新华", "长青", "育才", "康乐", "瑞景", "枫林"};
const char *const kAreaKinds[] = {"小区", "花园", "家园", "新村", "苑"};
const char *const kSurnames[] = {"王", "李", "张", "刘", "陈", "杨", "赵", "黄", "周", "吴", "徐", "孙", "胡", "朱",
                                 "高", "林", "何", "郭", "马", "罗", "梁", "宋", "郑", "谢", "韩", "唐", "冯", "于"};
const char *const kGiven[] = {"伟", "芳", "娜", "秀英", "敏", "静", "丽", "强", "磊", "军", "洋", "勇", "艳", "杰",
                              "娟", "涛", "明", "超", "秀兰", "霞", "平", "刚", "桂英", "建国", "志强", "海燕", "玉兰", "春梅"};
const char *const kPhonePrefixes[] = {"130", "131", "132", "135", "136", "137", "138", "139", "150", "151",
                                      "158", "159", "177", "180", "186", "187", "188", "189"};

struct Purpose {
    const char *name;
    double price;
    int weight;
};
const Purpose kPurposes[] = {{"住宅", 22.5, 86}, {"商铺", 35, 6}, {"办公", 30, 5}, {"学校", 18, 3}};
const char *const kMethods[] = {"现金", "微信", "支付宝", "银行卡"};
const char *const kOperators[] = {"王丽", "赵强"};

struct DemoHouse {
    qint64 id;
    QString area;
    QString room;
    double floor;
    QString purpose;
    double price;
    QString owner;
    QDate endDate;
};

struct Payment {
    QDate chargeDate;
    int house;
    int years;
    QString method;
    QString payee;
};

} // namespace

namespace DemoData {

DemoSummary generate(Database &db, const DemoOptions &o)
{
    if (db.count(QStringLiteral("SELECT ID FROM UHouse LIMIT 1")) > 0)
        throw AppError(QStringLiteral("数据库中已有业主数据，演示数据只能填入新的空数据库"));
    if (o.houses < 1 || o.years < 1)
        throw AppError(QStringLiteral("户数和收费年数须大于 0"));

    QRandomGenerator rng(o.seed);
    auto pick = [&](auto &arr) -> decltype(arr[0]) { return arr[rng.bounded(int(std::size(arr)))]; };
    auto say = [&](const QString &s) {
        if (o.progress)
            o.progress(s);
    };
    DemoSummary sum;

    // The period of the unit: seasons begin on 10-10 and end on 4-10 of the next year.
    const QDate today = o.chargeDate;
    const int lastSeason = today >= QDate(today.year(), 10, 10) ? today.year() : today.year() - 1;
    const int firstSeason = lastSeason - o.years + 1;

    QStringList payees{QString::fromUtf8("管理员")};
    // A database without houses may already hold some of the lists: a name is added only
    // once, since the screens pick by name (a purpose that exists keeps its price).
    const auto addName = [&](const QString &table, const QString &name, const QString &price) {
        if (BoundWrite::count(db, QStringLiteral("SELECT ID FROM %1 WHERE theName = ?").arg(table), {name}) > 0)
            return;
        if (price.isEmpty())
            BoundWrite::run(db, QStringLiteral("INSERT INTO %1 (theName, Remark) VALUES (?, '')").arg(table), {name});
        else
            BoundWrite::run(db, QStringLiteral("INSERT INTO %1 (theName, thePrice, Remark) VALUES (?, ?, '')").arg(table),
                            {name, Numbers::toDouble(price)});
    };
    {
        Transaction tx(db);
        const int nAreas = o.areas > 0 ? o.areas : std::max(6, o.houses / 1000);
        for (int i = 0; i < nAreas; ++i) {
            QString name = QString::fromUtf8(kAreaStems[i % std::size(kAreaStems)])
                + QString::fromUtf8(kAreaKinds[(i / std::size(kAreaStems)) % std::size(kAreaKinds)]);
            if (i >= int(std::size(kAreaStems) * std::size(kAreaKinds)))
                name += QString::number(i / (std::size(kAreaStems) * std::size(kAreaKinds)) + 1) + QStringLiteral("期");
            addName(QStringLiteral("SArea"), name, {});
        }
        sum.areas = nAreas;
        for (const Purpose &p : kPurposes)
            addName(QStringLiteral("SPrice"), QString::fromUtf8(p.name), Numbers::plain(p.price));
        for (const char *m : kMethods)
            addName(QStringLiteral("SMType"), QString::fromUtf8(m), {});
        BoundWrite::run(db, QStringLiteral("UPDATE SUser SET theMT = '现金', theHT = '住宅', theAN = ? WHERE ID = 1"),
                        {db.scalar(QStringLiteral("SELECT theName FROM SArea ORDER BY ID LIMIT 1"))});
        int k = 0;
        for (const char *op : kOperators) {
            const QString name = QString::fromUtf8(op);
            if (BoundWrite::count(db, QStringLiteral("SELECT ID FROM SUser WHERE theName = ?"), {name}) == 0)
                BoundWrite::run(db,
                                QStringLiteral("INSERT INTO SUser (theName, thePass, Remark, theMT, theHT, theAN, theRole) VALUES "
                                               "(?, ?, '收费员', ?, '住宅', (SELECT theName FROM SArea ORDER BY ID LIMIT 1 OFFSET ?), '收费员')"),
                                {name, PasswordHash::make(QString::fromUtf8(Schema::InitialPassword)),
                                 QString::fromUtf8(kMethods[k + 1]), qint64(k + 1)});
            payees << name;
            ++k;
        }
        tx.commit();
    }
    const QStringList areas = [&] {
        QStringList a;
        const Rows r = db.select(QStringLiteral("SELECT theName FROM SArea ORDER BY ID"));
        for (int i = 0; i < r.rowCount(); ++i)
            a << r.at(i, 0);
        return a;
    }();

    QHash<QString, double> prices; // as stored: a purpose that was there keeps its price
    {
        const Rows r = db.select(QStringLiteral("SELECT theName, thePrice FROM SPrice"));
        for (int i = 0; i < r.rowCount(); ++i)
            prices.insert(r.at(i, 0), Numbers::toDouble(r.at(i, 1)));
    }

    // Houses: building-unit-room numbers spread over the areas.
    std::vector<DemoHouse> houses;
    houses.reserve(o.houses);
    const QDate firstEnd(firstSeason, 4, 10);
    {
        Transaction tx(db);
        HouseInsert ins(db);
        const QString entered = Dates::format(QDate(firstSeason - 1, 9, 20));
        int totalWeight = 0;
        for (const Purpose &p : kPurposes)
            totalWeight += p.weight;
        const int perArea = (o.houses + int(areas.size()) - 1) / int(areas.size());
        for (int i = 0; i < o.houses; ++i) {
            DemoHouse h;
            h.area = areas.at(i / perArea);
            const int n = i % perArea;
            const int building = n / 72 + 1, unit = (n % 72) / 24 + 1, floor = (n % 24) / 2 + 1, door = n % 2 + 1;
            h.room = QStringLiteral("%1-%2-%3%4").arg(building).arg(unit).arg(floor).arg(door, 2, 10, QLatin1Char('0'));
            int w = rng.bounded(totalWeight);
            const Purpose *p = &kPurposes[0];
            for (const Purpose &c : kPurposes) {
                if (w < c.weight) {
                    p = &c;
                    break;
                }
                w -= c.weight;
            }
            h.purpose = QString::fromUtf8(p->name);
            h.price = prices.value(h.purpose, p->price);
            h.floor = Numbers::roundTo(55 + rng.bounded(9500) / 100.0, 2);
            h.owner = QString::fromUtf8(pick(kSurnames)) + QString::fromUtf8(pick(kGiven));
            const QString phone = QString::fromUtf8(pick(kPhonePrefixes))
                + QStringLiteral("%1").arg(rng.bounded(100000000), 8, 10, QLatin1Char('0'));
            h.endDate = firstEnd;
            ins.run({h.area, h.room, Numbers::plain(h.floor), h.purpose, Numbers::plain(h.price), Dates::format(h.endDate),
                     h.owner, phone, rng.bounded(20) == 0 ? QStringLiteral("空置") : QString()},
                    entered, QStringLiteral("管理员"));
            h.id = db.lastInsertId();
            houses.push_back(std::move(h));
        }
        tx.commit();
        sum.houses = o.houses;
        say(QStringLiteral("业主 %1 户").arg(o.houses));
    }

    // Payments, season by season, in the order of their charging dates.
    Statement insPay(db, QStringLiteral(
        "INSERT INTO UCharge (HID, theNum, myDate, AName, HNum, HArea, HPrice, HName, theCount, QSDate, JZDate, "
        "theMoney, theDX, MType, theSKR, Remark, theDel, theDate, UName) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '', '否', ?, ?)"));
    Statement updHouse(db, QStringLiteral("UPDATE UHouse SET EndDate = ? WHERE ID = ?"));
    // Every payment has its record, as charge entry writes it.
    Books::RecordWriter records(db);
    for (int season = firstSeason; season <= lastSeason; ++season) {
        const QDate open(season, 10, 1);
        QDate close(season + 1, 1, 31);
        if (close > today)
            close = today;
        if (close < open)
            continue;
        const int span = int(open.daysTo(close)) + 1;
        std::vector<Payment> pays;
        pays.reserve(houses.size());
        for (int i = 0; i < int(houses.size()); ++i) {
            const QDate seasonEnd(season + 1, 4, 10);
            // Owners already paid through this season (or who do not pay this time) are skipped.
            if (houses[i].endDate >= seasonEnd || rng.generateDouble() >= o.payShare)
                continue;
            Payment p;
            // Most owners pay in the first weeks of the season.
            const double u = rng.generateDouble();
            p.chargeDate = open.addDays(int(u * u * span));
            p.house = i;
            const int behind = std::max(0, int(houses[i].endDate.daysTo(seasonEnd) / 365));
            p.years = std::clamp(behind, 1, 3);
            if (rng.bounded(25) == 0)
                ++p.years;
            p.method = QString::fromUtf8(pick(kMethods));
            p.payee = payees.at(rng.bounded(int(payees.size())));
            pays.push_back(std::move(p));
        }
        std::stable_sort(pays.begin(), pays.end(), [](const Payment &a, const Payment &b) { return a.chargeDate < b.chargeDate; });
        Transaction tx(db);
        QDate day;
        int seq = 0;
        for (const Payment &p : pays) {
            if (p.chargeDate != day) {
                day = p.chargeDate;
                seq = 0;
            }
            ++seq;
            DemoHouse &h = houses[p.house];
            // Numbered, priced and dated by charge entry's own rules; only the writing is
            // done in bulk, a season per transaction.
            const QString number = ChargeLogic::receiptNumber(day, seq);
            const ChargeLogic::Proposal proposal = ChargeLogic::propose(
                QString::number(p.years), Numbers::plain(h.floor), Numbers::plain(h.price), Dates::format(h.endDate));
            const double money = Numbers::toDouble(proposal.amount);
            const QDate from = proposal.start;
            const QDate to = proposal.end;
            insPay.bind(1, h.id);
            insPay.bind(2, number);
            insPay.bind(3, Dates::format(day));
            insPay.bind(4, h.area);
            insPay.bind(5, h.room);
            insPay.bind(6, h.floor);
            insPay.bind(7, h.price);
            insPay.bind(8, h.owner);
            insPay.bind(9, qint64(p.years));
            insPay.bind(10, Dates::format(from));
            insPay.bind(11, Dates::format(to));
            insPay.bind(12, money);
            insPay.bind(13, amountInCapitals(std::abs(money)));
            insPay.bind(14, p.method);
            insPay.bind(15, p.payee);
            insPay.bind(16, Dates::format(day));
            insPay.bind(17, p.payee);
            insPay.run();
            records.add(Dates::format(day) + QStringLiteral(" 09:00:00"), p.payee, Dates::format(day),
                        QString::fromUtf8(ChangeLog::PaymentStored), QStringLiteral("UCharge"), db.lastInsertId(), h.area, h.room,
                        QStringLiteral("单号 %1，金额 %2，收费年数 %3，期间 %4 至 %5，到期日期：%6 → %7")
                            .arg(number, proposal.amount, QString::number(p.years), Dates::format(from), Dates::format(to),
                                 Dates::format(h.endDate), Dates::format(to)));
            h.endDate = to;
            ++sum.payments;
        }
        for (const Payment &p : pays) {
            updHouse.bind(1, Dates::format(houses[p.house].endDate));
            updHouse.bind(2, houses[p.house].id);
            updHouse.run();
        }
        tx.commit();
        say(QStringLiteral("%1 年度收费 %2 笔").arg(season).arg(pays.size()));
    }
    const QDate currentEnd(lastSeason + 1, 4, 10);
    for (const DemoHouse &h : houses)
        sum.inArrears += h.endDate < currentEnd;
    return sum;
}

} // namespace DemoData
