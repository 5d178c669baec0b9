#include "data/DataModule.h"
#include "owners/OwnerEntry.h"
#include "owners/OwnerEntryDialog.h"
#include "owners/OwnerModifyDialog.h"
#include "db/Numbers.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"
#include "widgets/DatePicker.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/LookupCombo.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QLineEdit>
#include <QTest>
#include <tuple>

// Owner entry and the modify dialog, driven through their handlers.
class TestOwnerEntry : public QObject {
    Q_OBJECT
private slots:
    void opensWithDefaultsAndPrice_data();
    void opensWithDefaultsAndPrice();
    void boxesLimitsAndFilters_data();
    void boxesLimitsAndFilters();
    void emptinessChecks_data();
    void emptinessChecks();
    void duplicateRoom_data();
    void duplicateRoom();
    void insertsEveryValueWithStamp();
    void continuousEntryClearsForNext();
    void withoutContinuousReportsAndCloses();
    void refusedValueKeepsWindowAsItWas();
    void defaultPaidUpDate_data();
    void defaultPaidUpDate();
    void periodEndWithoutDateTellsOnce();
    void modifyWritesBareNumbersWithoutDuplicateCheck();
    void modifyRefusesNoNumber();
    void yearFeeNoReceiptCanWrite_data();
    void yearFeeNoReceiptCanWrite();
};

namespace {

// Two areas, two purposes, the operator's defaults "阳光小区" / "住宅".
void seed(TestDb &db, const QDate &chargeDate = QDate(2024, 10, 10))
{
    db.exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('阳光小区', ''), ('幸福家园', '')"));
    db.exec(QStringLiteral("INSERT INTO SPrice (theName, thePrice, Remark) VALUES ('住宅', 25, ''), ('商铺', 32.5, '')"));
    db.exec(QStringLiteral("UPDATE SUser SET theHT = '住宅', theAN = '阳光小区'"));
    db.login(chargeDate);
}

// Fills every box of an owner window with a complete house.
void fill(OwnerDialog &w, const QString &room = QStringLiteral("1-101"))
{
    w.areaBox->setKeyValue(QStringLiteral("阳光小区"));
    w.roomEdit->setText(room);
    w.floorAreaEdit->setText(QStringLiteral("88.5"));
    w.purposeBox->setKeyValue(QStringLiteral("住宅"));
    w.priceEdit->setText(QStringLiteral("25"));
    w.paidUpPicker->setDateQuietly(QDate(2025, 4, 10));
    w.ownerEdit->setText(QStringLiteral("张三"));
    w.phoneEdit->setText(QStringLiteral("13800000001"));
    w.remarkEdit->setText(QStringLiteral("东单元"));
}

// fill() as the operator does it: the lists picked, every box typed over, paid-up date by keys.
void typeIn(QLineEdit *box, const QString &text)
{
    box->setFocus();
    box->selectAll();
    typeText(box, text);
    QCOMPARE(box->text(), text);
}

void fillByKeys(OwnerDialog &w, const QString &room, const QString &owner = QStringLiteral("张三"))
{
    w.areaBox->setKeyValue(QStringLiteral("阳光小区"));
    typeIn(w.roomEdit, room);
    typeIn(w.floorAreaEdit, QStringLiteral("88.5"));
    w.purposeBox->setKeyValue(QStringLiteral("住宅"));
    typeIn(w.priceEdit, QStringLiteral("25"));
    w.paidUpPicker->setDateQuietly(QDate(2025, 4, 10));
    typeIn(w.ownerEdit, owner);
    typeIn(w.phoneEdit, QStringLiteral("13800000001"));
    typeIn(w.remarkEdit, QStringLiteral("东单元"));
}

int houses(TestDb &db)
{
    return db.count(QStringLiteral("SELECT ID FROM UHouse"));
}

} // namespace

void TestOwnerEntry::opensWithDefaultsAndPrice_data()
{
    QTest::addColumn<QString>("defaultPurpose");
    QTest::addColumn<QString>("shownPurpose");
    QTest::addColumn<QString>("price");
    QTest::newRow("default purpose priced") << "商铺" << "商铺" << "32.5";
    QTest::newRow("default purpose no longer listed") << "车库" << "" << "";
    QTest::newRow("no default purpose") << "" << "" << "";
}

void TestOwnerEntry::opensWithDefaultsAndPrice()
{
    QFETCH(QString, defaultPurpose);
    QFETCH(QString, shownPurpose);
    QFETCH(QString, price);
    TestDb db;
    seed(db);
    DefaultHouseType = defaultPurpose;
    MessageRecorder rec;
    OwnerEntryDialog w;
    w.show();
    QCOMPARE(w.windowTitle(), QStringLiteral("业主录入"));
    QCOMPARE(w.size(), QSize(760, 230));
    QCOMPARE(w.areaBox->text(), QStringLiteral("阳光小区"));
    QCOMPARE(w.purposeBox->text(), shownPurpose);
    QCOMPARE(w.priceEdit->text(), price);
    QVERIFY(w.continuousEntryCheck->isChecked());
    QCOMPARE(w.priceUnitLabel->text(), QStringLiteral("元/年平方米"));
    QCOMPARE(rec.entries.size(), 0);

    // Picking a purpose looks its price up.
    w.purposeBox->setKeyValue(QStringLiteral("住宅"));
    w.lookUpPrice();
    QCOMPARE(w.priceEdit->text(), QStringLiteral("25"));
    w.purposeBox->setKeyValue(QStringLiteral("商铺"));
    w.lookUpPrice();
    QCOMPARE(w.priceEdit->text(), QStringLiteral("32.5"));
}

void TestOwnerEntry::boxesLimitsAndFilters_data()
{
    QTest::addColumn<int>("box"); // Edit number
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("area keeps digits and points") << 2 << "12.5a.-" << "12.5.";
    QTest::newRow("area stops at 8 bytes") << 2 << "1234567890" << "12345678";
    QTest::newRow("price keeps the point") << 3 << "2x5.5" << "25.5";
    QTest::newRow("price stops at 6 bytes") << 3 << "12345678" << "123456";
    QTest::newRow("phone drops the point") << 5 << "138.0a1" << "13801";
    QTest::newRow("room 12 bytes, Chinese two each") << 1 << "一二三四五六七" << "一二三四五六";
    QTest::newRow("owner 20 bytes") << 4 << "欧阳一二三四五六七八九十" << "欧阳一二三四五六七八";
    QTest::newRow("remark 50 bytes") << 6 << QString(60, QLatin1Char('r')) << QString(50, QLatin1Char('r'));
}

void TestOwnerEntry::boxesLimitsAndFilters()
{
    QFETCH(int, box);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    TestDb db;
    seed(db);
    OwnerEntryDialog w;
    w.show();
    GbkLineEdit *edits[] = {w.roomEdit, w.floorAreaEdit, w.priceEdit, w.ownerEdit, w.phoneEdit, w.remarkEdit};
    GbkLineEdit *e = edits[box - 1];
    e->clear();
    e->setFocus();
    // Typed one key at a time, Chinese characters as the text of their key.
    for (const QChar c : typed)
        QTest::sendKeyEvent(QTest::Click, e, Qt::Key_unknown, QString(c), Qt::NoModifier);
    QCOMPARE(e->text(), kept);

    // The tab order follows the screen: area, room, floor area, purpose, price, date,
    // owner, phone, remark.
    const QList<QWidget *> order = {w.areaBox, w.roomEdit, w.floorAreaEdit, w.purposeBox, w.priceEdit,
                                    w.paidUpPicker, w.ownerEdit, w.phoneEdit, w.remarkEdit};
    QWidget *at = w.areaBox;
    for (int i = 1; i < order.size(); ++i) {
        do
            at = at->nextInFocusChain();
        while (!order.contains(at) && at != w.areaBox);
        QCOMPARE(at, order.at(i));
    }
}

void TestOwnerEntry::emptinessChecks_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("message");
    QTest::newRow("area") << int(OwnerEntry::AreaField) << "小区名称 不能为空！";
    QTest::newRow("room") << int(OwnerEntry::RoomField) << "房号 不能为空！";
    QTest::newRow("floor area") << int(OwnerEntry::FloorAreaField) << "面积 不能为空！";
    QTest::newRow("purpose") << int(OwnerEntry::PurposeField) << "房屋类别 不能为空！";
    QTest::newRow("price") << int(OwnerEntry::PriceField) << "单价 不能为空！";
    QTest::newRow("owner") << int(OwnerEntry::OwnerField) << "业主名称 不能为空！";
}

void TestOwnerEntry::emptinessChecks()
{
    QFETCH(int, field);
    QFETCH(QString, message);
    TestDb db;
    seed(db);
    MessageRecorder rec;
    for (int dialog = 0; dialog < 2; ++dialog) {
        std::unique_ptr<OwnerDialog> w;
        if (dialog == 0)
            w = std::make_unique<OwnerEntryDialog>();
        else
            w = std::make_unique<OwnerModifyDialog>();
        w->show();
        fill(*w);
        // Every box after the empty one is filled too, and phone and remark may be empty.
        w->phoneEdit->clear();
        w->remarkEdit->clear();
        QWidget *boxes[] = {w->areaBox, w->roomEdit, w->floorAreaEdit, w->purposeBox, w->priceEdit, w->ownerEdit};
        if (auto *combo = qobject_cast<LookupCombo *>(boxes[field]))
            combo->clearChoice();
        else
            static_cast<QLineEdit *>(boxes[field])->clear();
        rec.clear();
        QTest::mouseClick(w->saveButton, Qt::LeftButton);
        QCOMPARE(rec.texts(), QStringList{message});
        QCOMPARE(w->focusWidget(), boxes[field]);
        QVERIFY(w->isVisible());
        QCOMPARE(houses(db), 0);
        QCOMPARE(w->ownerEdit->text(), field == OwnerEntry::OwnerField ? QString() : QStringLiteral("张三"));
    }
}

void TestOwnerEntry::duplicateRoom_data()
{
    QTest::addColumn<QString>("storedArea");
    QTest::addColumn<QString>("storedRoom");
    QTest::addColumn<QString>("storedDel");
    QTest::addColumn<QString>("newRoom");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("same area and room") << "阳光小区" << "1-101" << "否" << "1-101" << false;
    QTest::newRow("letters in another case") << "阳光小区" << "1-101a" << "否" << "1-101A" << false;
    QTest::newRow("same room in another area") << "幸福家园" << "1-101" << "否" << "1-101" << true;
    QTest::newRow("same room on a deleted house") << "阳光小区" << "1-101" << "是" << "1-101" << true;
    QTest::newRow("another room") << "阳光小区" << "1-102" << "否" << "1-101" << true;
}

void TestOwnerEntry::duplicateRoom()
{
    QFETCH(QString, storedArea);
    QFETCH(QString, storedRoom);
    QFETCH(QString, storedDel);
    QFETCH(QString, newRoom);
    QFETCH(bool, accepted);
    TestDb db;
    seed(db);
    HouseBuilder().area(storedArea).room(storedRoom).floorArea(50).price(25).set(QStringLiteral("theDel"), storedDel).insert(db);
    MessageRecorder rec;
    OwnerEntryDialog w;
    w.show();
    fillByKeys(w, newRoom);
    QTest::mouseClick(w.saveButton, Qt::LeftButton);
    if (accepted) {
        QCOMPARE(rec.entries.size(), 0);
        QCOMPARE(houses(db), 2);
    } else {
        QCOMPARE(rec.texts(), QStringList{QStringLiteral("房号 已经存在！")});
        QCOMPARE(w.focusWidget(), w.roomEdit);
        QCOMPARE(houses(db), 1);
        QCOMPARE(w.roomEdit->text(), newRoom);
        QCOMPARE(w.ownerEdit->text(), QStringLiteral("张三"));
    }
}

void TestOwnerEntry::insertsEveryValueWithStamp()
{
    TestDb db;
    seed(db, QDate(2024, 11, 2));
    MessageRecorder rec;
    OwnerEntryDialog w;
    w.show();
    fillByKeys(w, QStringLiteral("3-2'01"), QStringLiteral("O'Brien"));
    QTest::mouseClick(w.saveButton, Qt::LeftButton);
    QCOMPARE(rec.entries.size(), 0);
    const Rows r = dataModule().query(QStringLiteral("SELECT AName, theNum, theArea, typeof(theArea) AS t, HType, thePrice, "
                                                "typeof(thePrice) AS tp, EndDate, theName, thePhone, Remark, theDel, theDate, UName FROM UHouse"));
    QCOMPARE(r.rowCount(), 1);
    QCOMPARE(r.row(0), QStringList({"阳光小区", "3-2'01", "88.5", "real", "住宅", "25", "real", "2025-04-10", "O'Brien",
                                    "13800000001", "东单元", "否", "2024-11-02", "管理员"}));
}

void TestOwnerEntry::continuousEntryClearsForNext()
{
    TestDb db;
    seed(db);
    MessageRecorder rec;
    OwnerEntryDialog w;
    w.show();
    fill(w);
    w.purposeBox->setKeyValue(QStringLiteral("商铺"));
    QTest::mouseClick(w.saveButton, Qt::LeftButton);
    QCOMPARE(rec.entries.size(), 0);
    QCOMPARE(houses(db), 1);
    QVERIFY(w.isVisible());
    for (GbkLineEdit *e : {w.roomEdit, w.floorAreaEdit, w.priceEdit, w.ownerEdit, w.phoneEdit, w.remarkEdit})
        QCOMPARE(e->text(), QString());
    QCOMPARE(w.areaBox->text(), QStringLiteral("阳光小区"));
    QCOMPARE(w.purposeBox->text(), QStringLiteral("商铺"));
    QCOMPARE(w.paidUpPicker->date(), QDate(2025, 4, 10));
    QCOMPARE(w.focusWidget(), w.roomEdit);

    // The purpose still shows, but its price went with the cleared boxes.
    w.roomEdit->setText(QStringLiteral("1-102"));
    w.floorAreaEdit->setText(QStringLiteral("60"));
    w.ownerEdit->setText(QStringLiteral("李四"));
    QTest::mouseClick(w.saveButton, Qt::LeftButton);
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("单价 不能为空！")});
    QCOMPARE(w.focusWidget(), w.priceEdit);
    QCOMPARE(houses(db), 1);
}

void TestOwnerEntry::withoutContinuousReportsAndCloses()
{
    TestDb db;
    seed(db);
    MessageRecorder rec;
    OwnerEntryDialog w;
    w.show();
    w.continuousEntryCheck->setChecked(false);
    fill(w);
    QTest::mouseClick(w.saveButton, Qt::LeftButton);
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("业主信息 保存成功！")});
    QVERIFY(!w.isVisible());
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(houses(db), 1);
}

void TestOwnerEntry::refusedValueKeepsWindowAsItWas()
{
    TestDb db;
    seed(db);
    MessageRecorder rec;
    OwnerEntryDialog w;
    w.show();
    fill(w);
    w.floorAreaEdit->setText(QStringLiteral("12..5")); // the key filter lets a second point through
    QTest::mouseClick(w.saveButton, Qt::LeftButton);
    QCOMPARE(rec.errors(), 1);
    // In the program's words only; for support the server's sentence, or on the file the
    // statement that held the refused value (the engine's sentence only repeats the message).
    QCOMPARE(rec.last(), QStringLiteral("面积 不是有效的数字。"));
    if (TestDb::onServer())
        QCOMPARE(rec.entries.last().detail, QStringLiteral("invalid input syntax for type double precision: \"12..5\""));
    else
        QVERIFY2(rec.entries.last().detail.startsWith(QLatin1String("INSERT INTO UHouse")) && rec.entries.last().detail.contains(QLatin1String("12..5")),
                 qPrintable(rec.entries.last().detail));
    QCOMPARE(houses(db), 0);
    QVERIFY(w.isVisible());
    QCOMPARE(w.roomEdit->text(), QStringLiteral("1-101"));
    QCOMPARE(w.floorAreaEdit->text(), QStringLiteral("12..5"));
}

void TestOwnerEntry::defaultPaidUpDate_data()
{
    QTest::addColumn<QString>("chargeDate");
    QTest::addColumn<QString>("month");
    QTest::addColumn<QString>("day");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<bool>("problem");
    QTest::newRow("same year, not the next") << "2017-11-20" << "3" << "15" << QDate(2017, 3, 15) << false;
    QTest::newRow("two-digit month and day") << "2024-01-05" << "10" << "10" << QDate(2024, 10, 10) << false;
    QTest::newRow("29 Feb in a leap year") << "2024-10-10" << "2" << "29" << QDate(2024, 2, 29) << false;
    QTest::newRow("29 Feb in a common year") << "2023-10-10" << "2" << "29" << QDate(2023, 2, 28) << true;
    QTest::newRow("31st of month 2") << "2024-10-10" << "2" << "31" << QDate(2024, 2, 29) << true;
    QTest::newRow("31 April") << "2024-10-10" << "4" << "31" << QDate(2024, 4, 30) << true;
    QTest::newRow("month 13") << "2024-10-10" << "13" << "5" << QDate(2024, 10, 10) << true;
    QTest::newRow("no period") << "2024-10-10" << "" << "" << QDate(2024, 10, 10) << true;
}

void TestOwnerEntry::defaultPaidUpDate()
{
    QFETCH(QString, chargeDate);
    QFETCH(QString, month);
    QFETCH(QString, day);
    QFETCH(QDate, date);
    QFETCH(bool, problem);
    const OwnerEntry::PeriodEnd end = OwnerEntry::periodEnd(chargeDate, month, day);
    QCOMPARE(end.date, date);
    QCOMPARE(!end.problem.isEmpty(), problem);
    if (problem) {
        QVERIFY(end.problem.contains(QStringLiteral("使用单位")));
        QVERIFY(end.problem.contains(date.toString(QStringLiteral("yyyy-MM-dd"))));
    }
}

void TestOwnerEntry::periodEndWithoutDateTellsOnce()
{
    TestDb db;
    db.exec(QStringLiteral("UPDATE SDept SET theEM = 2, theED = 31"));
    seed(db, QDate(2023, 12, 1));
    MessageRecorder rec;
    OwnerEntryDialog w;
    w.show();
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("收费期间的截止日期“2月31日”在 2023 年不是有效的日期，到期日期暂设为 "
                                                     "2023-02-28，可以修改。请在“使用单位”中改正收费期间。")});
    QCOMPARE(w.paidUpPicker->date(), QDate(2023, 2, 28));
    QVERIFY(w.paidUpPicker->isEnabled());
    // The window works as usual from there.
    fill(w);
    w.paidUpPicker->setDate(QDate(2023, 3, 31));
    QTest::mouseClick(w.saveButton, Qt::LeftButton);
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(db.scalar(QStringLiteral("SELECT EndDate FROM UHouse")), QStringLiteral("2023-03-31"));

    // With a period end that forms a date, nothing is said.
    TestDb db2;
    db2.exec(QStringLiteral("UPDATE SDept SET theEM = 3, theED = 15"));
    db2.login(QDate(2017, 6, 1));
    rec.clear();
    OwnerEntryDialog w2;
    w2.show();
    QCOMPARE(rec.entries.size(), 0);
    QCOMPARE(w2.paidUpPicker->date(), QDate(2017, 3, 15));
}

void TestOwnerEntry::modifyWritesBareNumbersWithoutDuplicateCheck()
{
    TestDb db;
    seed(db, QDate(2024, 10, 10));
    for (const auto &[room, floor, owner] : {std::tuple{"1-101", 80, "张三"}, std::tuple{"1-102", 90, "李四"}})
        HouseBuilder().area(QStringLiteral("阳光小区")).room(QString::fromUtf8(room)).floorArea(floor)
            .purpose(QStringLiteral("住宅")).price(20).paidUpTo(QStringLiteral("2024-04-10")).owner(QString::fromUtf8(owner))
            .phone({}).remark({}).entered(QStringLiteral("2020-01-01"), QStringLiteral("老王")).insert(db);
    MessageRecorder rec;
    OwnerModifyDialog w;
    w.show();
    QCOMPARE(w.windowTitle(), QStringLiteral("业主修改"));
    QCOMPARE(w.priceUnitLabel->text(), QStringLiteral("元/平方米"));
    QVERIFY(!w.findChild<QCheckBox *>());
    w.load(db.scalar(QStringLiteral("SELECT ID FROM UHouse WHERE theNum = '1-102'")));
    fill(w, QStringLiteral("1-101")); // the room number of the other live house
    w.ownerEdit->setText(QStringLiteral("李四'"));
    QTest::mouseClick(w.saveButton, Qt::LeftButton);
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("业主信息 保存成功！")});
    QVERIFY(!w.isVisible());
    const Rows r = dataModule().query(QStringLiteral("SELECT theNum, theArea, thePrice, theName, theDel, theDate, UName "
                                                "FROM UHouse WHERE ID = ") + w.editedHouseId);
    QCOMPARE(r.row(0), QStringList({"1-101", "88.5", "25", "李四'", "否", "2020-01-01", "老王"}));
    // Only the edited house changed; the other one of that room number is as it was.
    QCOMPARE(dataModule().query(QStringLiteral("SELECT theArea, theName, thePhone, Remark FROM UHouse WHERE ID <> ")
                                + w.editedHouseId).row(0),
             QStringList({"80", "张三", "", ""}));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UHouse WHERE theNum = '1-101'")), 2);
}

void TestOwnerEntry::modifyRefusesNoNumber()
{
    TestDb db;
    seed(db);
    HouseBuilder().area(QStringLiteral("阳光小区")).room(QStringLiteral("1")).floorArea(80).price(20).insert(db);
    MessageRecorder rec;
    OwnerModifyDialog w;
    w.show();
    w.load(db.scalar(QStringLiteral("SELECT ID FROM UHouse")));
    fill(w);
    w.priceEdit->setText(QStringLiteral("2..5"));
    QTest::mouseClick(w.saveButton, Qt::LeftButton);
    QCOMPARE(rec.errors(), 1);
    QCOMPARE(rec.last(), QStringLiteral("单价 “2..5” 不是有效的数字。"));
    QVERIFY(w.isVisible());
    QCOMPARE(db.scalar(QStringLiteral("SELECT thePrice FROM UHouse")), QStringLiteral("20"));
}

void TestOwnerEntry::yearFeeNoReceiptCanWrite_data()
{
    QTest::addColumn<QString>("area");
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("shown"); // the figures as the refusal names them; empty: stored
    // The boxes take 8 and 6 characters: 10^13 is within their reach.
    QTest::newRow("just below 10^13") << "9999999" << "999999" << "";
    QTest::newRow("10^13 exactly") << "20000000" << "500000" << "面积 20000000 × 单价 500000";
    QTest::newRow("widest boxes") << "99999999" << "999999" << "面积 99999999 × 单价 999999";
    // An old file's house, loaded into the modify dialog as stored.
    QTest::newRow("product beyond double") << "1e200" << "1e200" << "面积 1e+200 × 单价 1e+200";
}

// A house whose single year's fee no receipt can write (it once made every amount and
// total of it INF or 0) is refused by entry and modify alike, the window kept as it was.
void TestOwnerEntry::yearFeeNoReceiptCanWrite()
{
    QFETCH(QString, area);
    QFETCH(QString, price);
    QFETCH(QString, shown);
    TestDb db;
    seed(db);
    HouseBuilder().area(QStringLiteral("阳光小区")).room(QStringLiteral("2-201")).floorArea(80).purpose(QStringLiteral("住宅"))
        .price(20).paidUpTo(QStringLiteral("2025-04-10")).owner(QStringLiteral("李四")).insert(db);
    MessageRecorder rec;
    for (int dialog = 0; dialog < 2; ++dialog) {
        std::unique_ptr<OwnerDialog> w;
        if (dialog == 0) {
            w = std::make_unique<OwnerEntryDialog>();
        } else {
            auto m = std::make_unique<OwnerModifyDialog>();
            m->load(db.scalar(QStringLiteral("SELECT ID FROM UHouse WHERE theNum = '2-201'")));
            w = std::move(m);
        }
        w->show();
        fill(*w, dialog == 0 ? QStringLiteral("1-101") : QStringLiteral("2-201"));
        w->floorAreaEdit->setText(area);
        w->priceEdit->setText(price);
        rec.clear();
        QTest::mouseClick(w->saveButton, Qt::LeftButton);
        if (shown.isEmpty()) {
            QCOMPARE(rec.errors(), 0);
            continue;
        }
        QCOMPARE(rec.texts(), QStringList{QStringLiteral("一年的费用超出范围（%1）：收据的大写金额最多写到万亿元，请检查面积和单价。").arg(shown)});
        QVERIFY(w->isVisible());
        QCOMPARE(w->floorAreaEdit->text(), area);
    }
    const QString stored = shown.isEmpty() ? Numbers::plain(Numbers::toDouble(area)) : QStringLiteral("80");
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UHouse WHERE theNum = '1-101'")), shown.isEmpty() ? 1 : 0);
    QCOMPARE(db.scalar(QStringLiteral("SELECT theArea FROM UHouse WHERE theNum = '2-201'")), stored);
}

QTEST_MAIN(TestOwnerEntry)
#include "tst_ownerentry.moc"
