// The office's billing rules: bills worked out by hand, the parts stored with the payment,
// the void of such a payment, suspensions and their refusals, the rules on the change record.
#include "charging/BillingRules.h"
#include "charging/ChargeEntryDialog.h"
#include "charging/ChargeLogic.h"
#include "charging/PaymentVoid.h"
#include "data/Backup.h"
#include "data/DataModule.h"
#include "owners/ArrearsStatements.h"
#include "statistics/SeasonStatistics.h"
#include "db/DbError.h"
#include "db/Numbers.h"
#include "report/Report.h"
#include "report/ReportPresenter.h"
#include "tests/report/ReportProbe.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include "widgets/GbkLineEdit.h"
#include <memory>

using IntDoubleMap = QMap<int, double>;
Q_DECLARE_METATYPE(IntDoubleMap)

class TestBilling : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void bills_data();
    void bills();
    void plainOfficeChargesAsToday();
    void saveStoresPartsAndVoidRestores();
    void typedAmountAndWaiver();
    void chargeEntryShowsPartsAndWaives();
    void suspensionRefusals_data();
    void suspensionRefusals();
    void ruleChangesOnRecord();
    void arrearsAndStatisticsCountSeasons();

private:
    qint64 house(const QString &room, const QString &paidUp);
    std::unique_ptr<TestDb> m_db;
};

namespace {
const QString Area = QStringLiteral("幸福小区");
const QString Purpose = QStringLiteral("住宅");

// The rows of a statement, their columns joined by ':', the rows by '|'.
QString joined(const QString &sql)
{
    const Rows rows = dataModule().db().select(sql);
    QStringList out;
    for (int i = 0; i < rows.rowCount(); ++i)
        out << rows.row(i).join(QLatin1Char(':'));
    return out.join(QLatin1Char('|'));
}

QStringList kindsOf(const BillingRules::Bill &bill)
{
    QStringList out;
    for (const BillingRules::Part &p : bill.parts)
        out << QStringLiteral("%1 %2 %3").arg(p.kind).arg(p.year).arg(Numbers::plain(double(p.fen) / 100.0));
    return out;
}
} // namespace

void TestBilling::init()
{
    m_db = std::make_unique<TestDb>();
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('幸福小区', '')"));
    m_db->exec(QStringLiteral("INSERT INTO SPrice (theName, thePrice, Remark) VALUES ('住宅', 20, '')"));
    m_db->exec(QStringLiteral("INSERT INTO SUser (theName, thePass, theRole) VALUES ('王丽', '580913', '收费员')"));
    m_db->exec(QStringLiteral("UPDATE SDept SET AnyDate = 1")); // the 收费员 logs in under the tests' dates
}

void TestBilling::cleanup()
{
    m_db.reset();
}

qint64 TestBilling::house(const QString &room, const QString &paidUp)
{
    return HouseBuilder().area(Area).room(room).floorArea(QStringLiteral("100")).price(QStringLiteral("20")).purpose(Purpose)
        .paidUpTo(paidUp).owner(QStringLiteral("张三")).phone({}).remark({}).entered(QStringLiteral("2024-01-01"), QStringLiteral("管理员"))
        .insert(*m_db);
}

// A house of 100 m² at 20 yuan, the season from 10-10 to 04-10. Discount 1% from 09-10 to
// 09-30; late charge from 12-31. "plain": nothing changes today's amount.
void TestBilling::bills_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("years");
    QTest::addColumn<QString>("date");
    QTest::addColumn<IntDoubleMap>("seasonPrices");
    QTest::addColumn<IntDoubleMap>("suspended");
    QTest::addColumn<bool>("discount");
    QTest::addColumn<double>("latePermille"); // 0: off
    QTest::addColumn<double>("lateCap");
    QTest::addColumn<QString>("total");
    QTest::addColumn<QStringList>("parts");

    QTest::newRow("prices change over a 3-year payment")
        << "2024-04-11" << 3 << "2024-08-01" << IntDoubleMap{{2024, 20}, {2025, 22}, {2026, 25.5}} << IntDoubleMap{} << false << 0.0
        << 0.0 << "6750" << QStringList{"年费 2024 2000", "年费 2025 2200", "年费 2026 2550"};
    QTest::newRow("a period starting after the season's first day pays the next season")
        << "2024-11-01" << 1 << "2024-11-01" << IntDoubleMap{{2024, 30}, {2025, 22}} << IntDoubleMap{} << false << 0.0 << 0.0
        << "2200" << QStringList{"年费 2025 2200"};
    QTest::newRow("a suspended season at 30%")
        << "2024-04-11" << 2 << "2024-08-01" << IntDoubleMap{} << IntDoubleMap{{2024, 30}} << false << 0.0 << 0.0 << "2600"
        << QStringList{"基本热费 2024 600", "年费 2025 2000"};
    QTest::newRow("discount inside its window, upcoming season only")
        << "2024-04-11" << 2 << "2024-09-15" << IntDoubleMap{} << IntDoubleMap{} << true << 0.0 << 0.0 << "3980"
        << QStringList{"年费 2024 2000", "优惠 2024 -20", "年费 2025 2000"};
    QTest::newRow("discount on the window's last day, of a suspended season's base fee")
        << "2024-04-11" << 1 << "2024-09-30" << IntDoubleMap{} << IntDoubleMap{{2024, 30}} << true << 0.0 << 0.0 << "594"
        << QStringList{"基本热费 2024 600", "优惠 2024 -6"};
    QTest::newRow("discount outside its window") << "2024-04-11" << 2 << "2024-10-01" << IntDoubleMap{} << IntDoubleMap{} << true
                                                 << 0.0 << 0.0 << "plain" << QStringList{};
    QTest::newRow("discount not for a payment that misses the upcoming season")
        << "2023-04-11" << 1 << "2024-09-15" << IntDoubleMap{} << IntDoubleMap{} << true << 0.0 << 0.0 << "plain" << QStringList{};
    QTest::newRow("late charge after 40 days")
        << "2024-04-11" << 1 << "2025-02-09" << IntDoubleMap{} << IntDoubleMap{} << false << 0.5 << 100.0 << "2040"
        << QStringList{"年费 2024 2000", "违约金 2024 40"};
    QTest::newRow("late charge at its cap, none for the season not begun")
        << "2024-04-11" << 2 << "2025-07-19" << IntDoubleMap{} << IntDoubleMap{} << false << 1.0 << 10.0 << "4200"
        << QStringList{"年费 2024 2000", "违约金 2024 200", "年费 2025 2000"};
    QTest::newRow("late charge on the late date itself: none")
        << "2024-04-11" << 1 << "2024-12-31" << IntDoubleMap{} << IntDoubleMap{} << false << 0.5 << 100.0 << "plain" << QStringList{};
    QTest::newRow("late charge of two unpaid seasons, each from its own date")
        << "2023-04-11" << 2 << "2025-01-10" << IntDoubleMap{{2023, 18}} << IntDoubleMap{} << false << 0.5 << 10.0 << "3990"
        << QStringList{"年费 2023 1800", "违约金 2023 180", "年费 2024 2000", "违约金 2024 10"};
    QTest::newRow("all off: plain") << "2024-04-11" << 3 << "2024-08-01" << IntDoubleMap{} << IntDoubleMap{} << false << 0.0 << 0.0
                                    << "plain" << QStringList{};
    QTest::newRow("a season price equal to the house's: plain")
        << "2024-04-11" << 1 << "2024-08-01" << IntDoubleMap{{2024, 20}} << IntDoubleMap{} << false << 0.0 << 0.0 << "plain"
        << QStringList{};
}

void TestBilling::bills()
{
    QFETCH(QString, start);
    QFETCH(int, years);
    QFETCH(QString, date);
    QFETCH(IntDoubleMap, seasonPrices);
    QFETCH(IntDoubleMap, suspended);
    QFETCH(bool, discount);
    QFETCH(double, latePermille);
    QFETCH(double, lateCap);
    QFETCH(QString, total);
    QFETCH(QStringList, parts);

    BillingRules::Input in;
    in.floorArea = 100;
    in.housePrice = 20;
    in.start = QDate::fromString(start, Qt::ISODate);
    in.years = years;
    in.chargingDate = QDate::fromString(date, Qt::ISODate);
    in.seasonPrices = seasonPrices;
    in.suspended = suspended;
    in.settings.discount = discount;
    in.settings.late = latePermille > 0;
    in.settings.latePermille = latePermille;
    in.settings.lateCap = lateCap;
    const BillingRules::Bill bill = BillingRules::work(in);
    QCOMPARE(bill.plain ? QStringLiteral("plain") : bill.amount(), total);
    QCOMPARE(kindsOf(bill), parts);
}

// An office that set nothing: the same amounts as the proposal, no parts stored, the
// remark as typed.
void TestBilling::plainOfficeChargesAsToday()
{
    house(QStringLiteral("1-101"), QStringLiteral("2024-04-10"));
    m_db->exec(QStringLiteral("INSERT INTO SSeasonPrice (HType, theYear, thePrice, Remark) VALUES ('商业', 2024, 35, '')"));
    m_db->login(QDate(2025, 2, 9));
    Rows rows = ChargeLogic::lookUpHouse(Area, QStringLiteral("1-101"));
    const ChargeLogic::House h = ChargeLogic::houseAt(rows);
    const ChargeLogic::Proposal proposal = ChargeLogic::propose(QStringLiteral("3"), h.floorArea, h.unitPrice, h.paidUp);
    ChargeLogic::Payment p = ChargeLogic::paymentFor(h, QStringLiteral("3"), proposal);
    QCOMPARE(p.amount, proposal.amount);
    p.remark = QStringLiteral("自带备注");
    const QString number = ChargeLogic::save(p);
    QCOMPARE(joined(QStringLiteral("SELECT theMoney, Remark FROM UCharge WHERE theNum = '%1'").arg(number)),
             QStringLiteral("6000:自带备注"));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UChargeItem")), 0);
}

void TestBilling::saveStoresPartsAndVoidRestores()
{
    const qint64 id = house(QStringLiteral("1-101"), QStringLiteral("2024-04-10"));
    m_db->login(QDate(2024, 9, 15));
    OfficeRules::Settings s;
    s.suspend = true;
    s.discount = true;
    OfficeRules::storeSettings(s);
    OfficeRules::setSeasonPrice(Purpose, 2025, QStringLiteral("22"));
    OfficeRules::suspend(QString::number(id), 2024, QStringLiteral("外出"), QDate(2024, 9, 15));

    Rows rows = ChargeLogic::lookUpHouse(Area, QStringLiteral("1-101"));
    const ChargeLogic::House h = ChargeLogic::houseAt(rows);
    const ChargeLogic::Proposal proposal = ChargeLogic::propose(QStringLiteral("2"), h.floorArea, h.unitPrice, h.paidUp);
    ChargeLogic::Payment p = ChargeLogic::paymentFor(h, QStringLiteral("2"), proposal);
    // 2024 at 30% of 2000, less 1% of it; 2025 at the season's price.
    QCOMPARE(p.amount, QStringLiteral("2794"));
    p.remark = QStringLiteral("现场");
    const QString number = ChargeLogic::save(p);
    const QString cid = m_db->scalar(QStringLiteral("SELECT ID FROM UCharge WHERE theNum = '%1'").arg(number));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT theMoney FROM UCharge WHERE ID = %1").arg(cid)), QStringLiteral("2794"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT SUM(theMoney) FROM UChargeItem WHERE CID = %1").arg(cid)).toDouble(), 2794.0);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UChargeItem WHERE CID = %1").arg(cid)), 3);
    const QString remark = m_db->scalar(QStringLiteral("SELECT Remark FROM UCharge WHERE ID = %1").arg(cid));
    QVERIFY2(remark.startsWith(QStringLiteral("现场；")) && remark.contains(QStringLiteral("报停")) && remark.contains(QStringLiteral("30%"))
                 && remark.contains(QStringLiteral("优惠 -6元")),
             qPrintable(remark));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE ID = %1").arg(id)), QStringLiteral("2026-04-10"));

    QCOMPARE(Backup::checkAccounts(dataModule().db()), QStringList());
    // A part changed behind the program's back is found by the accounts' check.
    m_db->exec(QStringLiteral("UPDATE UChargeItem SET theMoney = theMoney + 1 WHERE CID = %1 AND theKind = '优惠'").arg(cid));
    QCOMPARE(Backup::checkAccounts(dataModule().db()),
             QStringList{QStringLiteral("收据号 %1 的各组成部分合计 2795 与收款金额 2794 不符").arg(number)});
    m_db->exec(QStringLiteral("UPDATE UChargeItem SET theMoney = theMoney - 1 WHERE CID = %1 AND theKind = '优惠'").arg(cid));

    // The void takes the whole payment back; its parts stay as the books had them, the
    // suspension stays for the next payment.
    PaymentVoid::run(number, QStringLiteral("收错"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE ID = %1").arg(id)), QStringLiteral("2024-04-10"));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UChargeItem WHERE CID = %1").arg(cid)), 3);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM USuspend WHERE HID = %1 AND theDel = '否'").arg(id)), 1);
    rows = ChargeLogic::lookUpHouse(Area, QStringLiteral("1-101"));
    QCOMPARE(ChargeLogic::paymentFor(ChargeLogic::houseAt(rows), QStringLiteral("2"), proposal).amount, QStringLiteral("2794"));
}

// An amount typed over the proposal (the whole-yuan rounding) is stored with a part 调整 of the
// difference; a waived late charge needs a 管理员 and a reason, and is recorded.
void TestBilling::typedAmountAndWaiver()
{
    house(QStringLiteral("1-101"), QStringLiteral("2024-04-10"));
    house(QStringLiteral("1-102"), QStringLiteral("2024-04-10"));
    m_db->login(QDate(2025, 2, 9));
    OfficeRules::Settings s;
    s.late = true;
    s.latePermille = 0.33;
    OfficeRules::storeSettings(s);

    const auto paymentOf = [](const QString &room) {
        Rows rows = ChargeLogic::lookUpHouse(Area, room);
        const ChargeLogic::House h = ChargeLogic::houseAt(rows);
        return ChargeLogic::paymentFor(h, QStringLiteral("1"), ChargeLogic::propose(QStringLiteral("1"), h.floorArea, h.unitPrice, h.paidUp));
    };
    ChargeLogic::Payment p = paymentOf(QStringLiteral("1-101"));
    QCOMPARE(p.amount, QStringLiteral("2026.4")); // 40 days × 0.33‰ × 2000
    p.amount = ChargeLogic::roundToYuan(p.amount);
    const QString first = ChargeLogic::save(p);
    QCOMPARE(joined(QStringLiteral("SELECT i.theKind, i.theMoney FROM UChargeItem i JOIN UCharge c ON c.ID = i.CID "
                                   "WHERE c.theNum = '%1' ORDER BY i.ID").arg(first)),
             QStringLiteral("年费:2000|违约金:26.4|调整:-0.4"));

    ChargeLogic::Payment w = paymentOf(QStringLiteral("1-102"));
    w.waiveLateCharge = true;
    QVERIFY_THROWS_EXCEPTION(AppError, ChargeLogic::save(w)); // no reason
    w.waiveReason = QStringLiteral("困难户");
    m_db->login(QDate(2025, 2, 9), QStringLiteral("王丽"));
    QVERIFY_THROWS_EXCEPTION(AppError, ChargeLogic::save(w)); // a 收费员
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 1);
    m_db->login(QDate(2025, 2, 9));
    w.amount = QStringLiteral("2000");
    const QString second = ChargeLogic::save(w);
    QCOMPARE(joined(QStringLiteral("SELECT i.theKind, i.theMoney FROM UChargeItem i JOIN UCharge c ON c.ID = i.CID "
                                   "WHERE c.theNum = '%1' ORDER BY i.ID").arg(second)),
             QStringLiteral("年费:2000"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT theChange FROM ULog WHERE theAction = '免收违约金'")),
             QStringLiteral("单号 %1，免收违约金 26.4元，原因：困难户").arg(second));
}

// Charge entry shows the parts and the late charge's waiver, which only a 管理员 can use;
// the receipt's remark names the late charge.
void TestBilling::chargeEntryShowsPartsAndWaives()
{
    for (const char *room : {"1-101", "1-102", "1-103"})
        house(QString::fromLatin1(room), QStringLiteral("2024-04-10"));
    m_db->login(QDate(2025, 2, 9));
    OfficeRules::Settings s;
    s.late = true;
    OfficeRules::storeSettings(s);
    DefaultAreaName = Area;
    MessageRecorder messages;
    CapturePresenter presenter;
    report::setPresenter(&presenter);
    const auto lookUp = [](ChargeEntryDialog &w, const char *room) {
        w.roomEdit->setText(QString::fromLatin1(room));
        w.lookUpHouse(13);
    };

    auto w = std::make_unique<ChargeEntryDialog>();
    w->show();
    lookUp(*w, "1-101");
    QCOMPARE(w->amountEdit->text(), QStringLiteral("2040"));
    QVERIFY(!w->partsLabel->isHidden());
    QCOMPARE(w->partsLabel->text(), QStringLiteral("2024采暖季  年费  单价 20  2000\n2024采暖季  违约金  40 天 × 0.5‰  40"));
    QVERIFY(!w->waiveCheck->isHidden() && w->waiveCheck->isEnabled());
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    QCOMPARE(presenter.last().text(QStringLiteral("remark")).contains(QStringLiteral("违约金 40元")), true);

    lookUp(*w, "1-102");
    w->waiveCheck->setChecked(true);
    QCOMPARE(w->amountEdit->text(), QStringLiteral("2000"));
    w->waiveReasonEdit->setText(QStringLiteral("困难户"));
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT theMoney FROM UCharge WHERE HNum = '1-102'")).toDouble(), 2000.0);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM ULog WHERE theAction = '免收违约金'")), 1);
    w.reset();

    // A 收费员 sees the late charge and cannot waive it.
    m_db->login(QDate(2025, 2, 9), QStringLiteral("王丽"));
    DefaultAreaName = Area;
    w = std::make_unique<ChargeEntryDialog>();
    w->show();
    lookUp(*w, "1-103");
    QVERIFY(!w->waiveCheck->isHidden() && !w->waiveCheck->isEnabled());
    QCOMPARE(w->amountEdit->text(), QStringLiteral("2040"));
    // A plain house shows no parts.
    m_db->exec(QStringLiteral("UPDATE UHouse SET EndDate = '2025-04-10' WHERE theNum = '1-103'"));
    lookUp(*w, "1-103");
    QVERIFY(w->partsLabel->isHidden() && w->waiveCheck->isHidden());
    QCOMPARE(w->amountEdit->text(), QStringLiteral("2000"));
    report::setPresenter(nullptr);
}

void TestBilling::suspensionRefusals_data()
{
    QTest::addColumn<QString>("paidUp");
    QTest::addColumn<bool>("refuseArrears");
    QTest::addColumn<QString>("date");
    QTest::addColumn<int>("season");
    QTest::addColumn<QString>("refusal"); // empty: allowed

    QTest::newRow("before the deadline") << "2024-04-10" << true << "2024-09-30" << 2024 << "";
    QTest::newRow("after the deadline") << "2024-04-10" << false << "2024-10-01" << 2024 << "已过截止日期";
    QTest::newRow("season already paid") << "2025-04-10" << false << "2024-09-01" << 2024 << "已经交费";
    QTest::newRow("arrears refused") << "2023-04-10" << true << "2024-09-01" << 2024 << "有欠费";
    QTest::newRow("arrears allowed") << "2023-04-10" << false << "2024-09-01" << 2024 << "";
    QTest::newRow("next season while this one is paid") << "2025-04-10" << true << "2025-03-01" << 2025 << "";
}

void TestBilling::suspensionRefusals()
{
    QFETCH(QString, paidUp);
    QFETCH(bool, refuseArrears);
    QFETCH(QString, date);
    QFETCH(int, season);
    QFETCH(QString, refusal);

    const QString id = QString::number(house(QStringLiteral("1-101"), paidUp));
    m_db->login(QDate(2024, 9, 1));
    const QDate day = QDate::fromString(date, Qt::ISODate);
    // The rule off: refused whatever else holds.
    QVERIFY_THROWS_EXCEPTION(AppError, OfficeRules::suspend(id, season, {}, day));
    OfficeRules::Settings s;
    s.suspend = true;
    s.refuseArrears = refuseArrears;
    OfficeRules::storeSettings(s);
    try {
        OfficeRules::suspend(id, season, QStringLiteral("外出"), day);
        QVERIFY2(refusal.isEmpty(), "suspended where it should be refused");
    } catch (const AppError &e) {
        QVERIFY2(!refusal.isEmpty() && e.message().contains(refusal), qPrintable(e.message()));
        return;
    }
    // Once only; cancelled before the season begins, not after.
    QVERIFY_THROWS_EXCEPTION(AppError, OfficeRules::suspend(id, season, {}, day));
    const QDate seasonBegins(season, 10, 10);
    QVERIFY_THROWS_EXCEPTION(AppError, OfficeRules::cancelSuspension(id, season, seasonBegins));
    OfficeRules::cancelSuspension(id, season, seasonBegins.addDays(-1));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM USuspend WHERE theDel = '是' AND DelUName = '管理员'")), 1);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM ULog WHERE theAction IN ('报停', '取消报停')")), 2);
}

void TestBilling::ruleChangesOnRecord()
{
    m_db->login(QDate(2024, 9, 1));
    OfficeRules::Settings s;
    s.late = true;
    s.latePermille = 0.5;
    s.lateFrom = QStringLiteral("01-15");
    OfficeRules::storeSettings(s);
    QCOMPARE(OfficeRules::settings(dataModule().db()), s);
    OfficeRules::storeSettings(s); // nothing changes: nothing recorded
    QCOMPARE(joined(QStringLiteral("SELECT theChange FROM ULog WHERE theAction = '修改收费规则' ORDER BY ID")),
             QStringLiteral("违约金：关闭，每日 0.5‰，12-31 起，上限 100% → 违约金：开启，每日 0.5‰，01-15 起，上限 100%"));
    s.discountFrom = QStringLiteral("02-30");
    QVERIFY_THROWS_EXCEPTION(AppError, OfficeRules::storeSettings(s));

    OfficeRules::setSeasonPrice(Purpose, 2025, QStringLiteral("22"));
    OfficeRules::setSeasonPrice(Purpose, 2025, QStringLiteral("23.5"));
    QVERIFY_THROWS_EXCEPTION(AppError, OfficeRules::setSeasonPrice(QStringLiteral("车库"), 2025, QStringLiteral("5")));
    OfficeRules::removeSeasonPrice(Purpose, 2025);
    QCOMPARE(joined(QStringLiteral("SELECT theAction, theChange FROM ULog WHERE theTable = 'SSeasonPrice' ORDER BY ID")),
             QStringLiteral("新增采暖季单价:住宅 2025采暖季 单价 22|修改采暖季单价:住宅 2025采暖季 单价：22 → 23.5|"
                            "删除采暖季单价:住宅 2025采暖季 单价 23.5"));

    // A 收费员 changes neither.
    m_db->login(QDate(2024, 9, 1), QStringLiteral("王丽"));
    QVERIFY_THROWS_EXCEPTION(AppError, OfficeRules::storeSettings(OfficeRules::Settings{}));
    QVERIFY_THROWS_EXCEPTION(AppError, OfficeRules::setSeasonPrice(Purpose, 2025, QStringLiteral("22")));
}

// The arrears reminder, its totals and the season statistics count the seasons' prices and
// the base fee of a suspended season; without either their statements are the usual ones.
void TestBilling::arrearsAndStatisticsCountSeasons()
{
    house(QStringLiteral("1-101"), QStringLiteral("2023-04-10")); // owes 2023 and 2024
    const qint64 suspended = house(QStringLiteral("1-102"), QStringLiteral("2024-04-10")); // owes 2024, suspended
    HouseBuilder().area(Area).room(QStringLiteral("1-103")).floorArea(QStringLiteral("100")).price(QStringLiteral("35"))
        .purpose(QStringLiteral("商业")).paidUpTo(QStringLiteral("2024-04-10")).owner(QStringLiteral("李四")).phone({}).remark({})
        .entered(QStringLiteral("2024-01-01"), QStringLiteral("管理员")).insert(*m_db);
    m_db->login(QDate(2025, 4, 10));
    Database &db = dataModule().db();
    const QDate reference(2025, 4, 10);
    const QString conditions = ArrearsStatements::dateClause(reference);
    const auto owed = [&] {
        return joined(QStringLiteral("SELECT 房号, 欠费金额 FROM (%1) AS x ORDER BY 房号").arg(ArrearsStatements::list(reference, conditions)));
    };
    for (const QString &sql : {ArrearsStatements::list(reference, conditions), ArrearsStatements::totals(db, reference, conditions)})
        QVERIFY(!sql.contains(QStringLiteral("SSeasonPrice")) && !sql.contains(QStringLiteral("USuspend")));
    QCOMPARE(owed(), QStringLiteral("1-101:4000|1-102:2000|1-103:3500"));

    m_db->exec(QStringLiteral("INSERT INTO SSeasonPrice (HType, theYear, thePrice, Remark) VALUES ('住宅', 2024, 25, '')"));
    m_db->exec(QStringLiteral("INSERT INTO USuspend (HID, theYear, AName, HNum, thePercent, theDel) VALUES (%1, 2024, '幸福小区', '1-102', 30, '否')")
                   .arg(suspended));
    // 2023 at 20 and 2024 at 25; 2024 at 30% of 25; the other purpose as before.
    QCOMPARE(owed(), QStringLiteral("1-101:4500|1-102:750|1-103:3500"));
    const Rows totals = db.select(ArrearsStatements::totals(db, reference, conditions));
    QCOMPARE(totals.at(0, QStringLiteral("欠费金额")).toDouble(), 8750.0);

    const SeasonStatistics::Figures f = SeasonStatistics::compute(db, SeasonStatistics::seasonOf(2024, SeasonStatistics::Period{}));
    QCOMPARE(f.office.owed, 8750.0);
    QCOMPARE(f.areas.value(0).owed, 8750.0);
    QVERIFY2(SeasonStatistics::tableText(f).endsWith(QStringLiteral("报停\t户数\t面积\n幸福小区\t1\t100\n合计\t1\t100\n")),
             qPrintable(SeasonStatistics::tableText(f)));
}

QTEST_MAIN(TestBilling)
#include "tst_billing.moc"
