#include "charging/ChargeEntryDialog.h"
#include "charging/ChargeLogic.h"
#include "data/DataModule.h"
#include "data/Schema.h"
#include "report/UiReportPreview.h"
#include "tests/report/ReportProbe.h"
#include "tests/support/Doubles.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"
#include "widgets/DatePicker.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/LockWaitWindow.h"
#include "widgets/LookupCombo.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QEventLoop>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>

class TestCharge : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void receiptNumbers_data();
    void receiptNumbers();
    void numberFollowsLoginChargingDate();
    void yearsComputation_data();
    void yearsComputation();
    void yearsOnScreen();
    void roundToYuan_data();
    void roundToYuan();

    void windowShape();
    void keyFilters();
    void lookUpShowsHouse();
    void lookUpNeedsArea();
    void lookUpFailuresClearEveryBox_data();
    void lookUpFailuresClearEveryBox();
    void paidUpNotADate_data();
    void paidUpNotADate();

    void savedRow();
    void saveChecks_data();
    void saveChecks();
    void badValuesStoreNothing_data();
    void badValuesStoreNothing();
    void refusedUpdateLeavesNoCharge();
    void continuousAndSuccess();
    void printFailureCarriesOn_data();
    void printFailureCarriesOn();
    void logicSaveForOtherCallers();
    void noMethodsNoMethodNeeded();
    void hugeAreaShownShort();
    void anotherCopyChargingAtOnceGetsTheNextNumber();
    void receiptAfterWaitingForAnotherDesk();

private:
    std::unique_ptr<ChargeEntryDialog> openWindow();
    void lookUp(ChargeEntryDialog &w, const QString &room);

    std::unique_ptr<TestDb> m_db;
    std::unique_ptr<MessageRecorder> m_messages;
    CapturePresenter m_presenter;
};

namespace {

const QString Area = QStringLiteral("幸福小区");

void addHouse(TestDb &db, const QString &room, const QString &paidUp, const QString &owner = QStringLiteral("张三"),
              const QString &del = QStringLiteral("否"), const QString &area = QStringLiteral("幸福小区"))
{
    HouseBuilder().area(area).room(room).floorArea(85.5).purpose(QStringLiteral("住宅")).price(20).paidUpTo(paidUp)
        .owner(owner).phone(QStringLiteral("13800000000")).remark(QStringLiteral("南向")).set(QStringLiteral("theDel"), del)
        .entered(QStringLiteral("2024-01-01"), QStringLiteral("管理员")).insert(db);
}

// Adds n charge rows stamped with the date, flagged as given.
void addCharges(TestDb &db, int n, const QString &date, const QString &del)
{
    ChargeRowBuilder().house(1).number(QStringLiteral("x")).amount(QStringLiteral("10")).set(QStringLiteral("theDel"), del)
        .storedOn(date).insert(db, n);
}

QList<GbkLineEdit *> allBoxes(ChargeEntryDialog &w)
{
    return {w.roomEdit, w.houseAreaEdit, w.houseRoomEdit, w.floorAreaEdit, w.purposeEdit, w.unitPriceEdit, w.paidUpEdit,
            w.ownerEdit, w.phoneEdit, w.houseRemarkEdit, w.yearsEdit, w.amountEdit, w.remarkEdit};
}

} // namespace

void TestCharge::init()
{
    m_db = std::make_unique<TestDb>();
    m_db->login(QDate(2024, 10, 10));
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('幸福小区'), ('阳光花园')"));
    m_db->exec(QStringLiteral("INSERT INTO SMType (theName) VALUES ('现金'), ('转账')"));
    m_db->exec(QStringLiteral("INSERT INTO SUser (theName, thePass) VALUES ('王会计', '1')"));
    addHouse(*m_db, QStringLiteral("3-2-501"), QStringLiteral("2024-10-10"));
    DefaultAreaName = Area;
    DefaultPaymentMethod = QStringLiteral("现金");
    m_messages = std::make_unique<MessageRecorder>();
    m_presenter = CapturePresenter();
    report::setPresenter(&m_presenter);
}

void TestCharge::cleanup()
{
    report::setPresenter(nullptr);
    m_messages.reset();
    m_db.reset();
}

std::unique_ptr<ChargeEntryDialog> TestCharge::openWindow()
{
    auto w = std::make_unique<ChargeEntryDialog>();
    w->show();
    QApplication::setActiveWindow(w.get());
    return w;
}

void TestCharge::lookUp(ChargeEntryDialog &w, const QString &room)
{
    w.roomEdit->setText(room);
    w.lookUpHouse(13);
}

// ---------------------------------------------------------------- receipt numbers

void TestCharge::receiptNumbers_data()
{
    QTest::addColumn<int>("live");
    QTest::addColumn<int>("deleted");
    QTest::addColumn<int>("otherDate");
    QTest::addColumn<QString>("number");
    QTest::newRow("first of the day") << 0 << 0 << 3 << "2410100001";
    QTest::newRow("twelfth, deleted ones counted") << 8 << 3 << 5 << "2410100012";
    QTest::newRow("hundredth") << 99 << 0 << 0 << "2410100100";
    QTest::newRow("ten-thousandth has five digits") << 9990 << 9 << 0 << "24101010000";
}

void TestCharge::receiptNumbers()
{
    QFETCH(int, live);
    QFETCH(int, deleted);
    QFETCH(int, otherDate);
    QFETCH(QString, number);
    addCharges(*m_db, live, QStringLiteral("2024-10-10"), QStringLiteral("否"));
    addCharges(*m_db, deleted, QStringLiteral("2024-10-10"), QStringLiteral("是"));
    addCharges(*m_db, otherDate, QStringLiteral("2024-10-09"), QStringLiteral("否"));
    QCOMPARE(ChargeLogic::nextReceiptNumber(), number);
    auto w = openWindow();
    QCOMPARE(w->nextReceiptNumber(), number);
}

void TestCharge::numberFollowsLoginChargingDate()
{
    addCharges(*m_db, 11, QStringLiteral("2024-10-10"), QStringLiteral("否"));
    auto w = openWindow();
    w->chargeDatePicker->setDate(QDate(2024, 11, 2));
    lookUp(*w, QStringLiteral("3-2-501"));
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    const Rows row = dataModule().query(QStringLiteral("SELECT theNum, myDate, theDate FROM UCharge WHERE HNum = '3-2-501'"));
    QCOMPARE(row.rowCount(), 1);
    QCOMPARE(row.at(0, 0), QStringLiteral("2410100012"));
    QCOMPARE(row.at(0, 1), QStringLiteral("2024-11-02"));
    QCOMPARE(row.at(0, 2), QStringLiteral("2024-10-10"));
}

// ---------------------------------------------------------------- years and amount

void TestCharge::yearsComputation_data()
{
    QTest::addColumn<QString>("years");
    QTest::addColumn<QString>("area");
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("paidUp");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QDate>("start"); // invalid: no period proposed
    QTest::addColumn<QDate>("end");
    const QDate d(2024, 10, 10);
    QTest::newRow("one year") << "1" << "85.5" << "20" << "2024-10-10" << "1710" << d.addDays(1) << QDate(2025, 10, 10);
    QTest::newRow("three years") << "3" << "85.5" << "20" << "2024-10-10" << "5130" << d.addDays(1) << QDate(2027, 10, 10);
    QTest::newRow("zero") << "0" << "85.5" << "20" << "2024-10-10" << "0" << d.addDays(1) << d;
    QTest::newRow("empty counts 0") << "" << "85.5" << "20" << "2024-10-10" << "0" << d.addDays(1) << d;
    QTest::newRow("minus alone counts 0") << "-" << "85.5" << "20" << "2024-10-10" << "0" << d.addDays(1) << d;
    QTest::newRow("point alone counts 0") << "." << "85.5" << "20" << "2024-10-10" << "0" << d.addDays(1) << d;
    QTest::newRow("negative goes back") << "-2" << "85.5" << "20" << "2024-10-10" << "-3420" << d.addDays(1) << QDate(2022, 10, 10);
    QTest::newRow("29 February plus one") << "1" << "85.5" << "20" << "2024-02-29" << "1710" << QDate(2024, 3, 1) << QDate(2025, 2, 28);
    QTest::newRow("29 February plus four") << "4" << "10" << "1" << "2024-02-29" << "40" << QDate(2024, 3, 1) << QDate(2028, 2, 29);
    QTest::newRow("31 December") << "1" << "10" << "1" << "2024-12-31" << "10" << QDate(2025, 1, 1) << QDate(2025, 12, 31);
    QTest::newRow("empty area") << "2" << "" << "20" << "2024-10-10" << "0" << d.addDays(1) << QDate(2026, 10, 10);
    QTest::newRow("empty price") << "2" << "85.5" << "" << "2024-10-10" << "0" << d.addDays(1) << QDate(2026, 10, 10);
    QTest::newRow("two decimals half to even") << "1" << "0.125" << "1" << "2024-10-10" << "0.12" << d.addDays(1) << QDate(2025, 10, 10);
    QTest::newRow("plain form") << "1" << "33.333" << "3" << "2024-10-10" << "100" << d.addDays(1) << QDate(2025, 10, 10);
    QTest::newRow("cents kept") << "1" << "87.25" << "1" << "2024-10-10" << "87.25" << d.addDays(1) << QDate(2025, 10, 10);
    QTest::newRow("no paid-up date") << "1" << "85.5" << "20" << "" << "1710" << QDate() << QDate();
    QTest::newRow("paid-up not a date") << "1" << "85.5" << "20" << "2024-13-40" << "1710" << QDate() << QDate();
}

void TestCharge::yearsComputation()
{
    QFETCH(QString, years);
    QFETCH(QString, area);
    QFETCH(QString, price);
    QFETCH(QString, paidUp);
    QFETCH(QString, amount);
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    const ChargeLogic::Proposal p = ChargeLogic::propose(years, area, price, paidUp);
    QCOMPARE(p.amount, amount);
    QCOMPARE(p.hasPeriod, start.isValid());
    if (p.hasPeriod) {
        QCOMPARE(p.start, start);
        QCOMPARE(p.end, end);
    }
}

void TestCharge::yearsOnScreen()
{
    auto w = openWindow();
    lookUp(*w, QStringLiteral("3-2-501"));
    QTest::keyClick(w->yearsEdit, Qt::Key_Backspace);
    QTest::keyClicks(w->yearsEdit, QStringLiteral("2"));
    QCOMPARE(w->amountEdit->text(), QStringLiteral("3420"));
    QCOMPARE(w->endDatePicker->date(), QDate(2026, 10, 10));
    QCOMPARE(w->startDatePicker->date(), QDate(2024, 10, 11));

    // "2-" is no number: the error is shown, amount and dates stay.
    QTest::keyClicks(w->yearsEdit, QStringLiteral("-"));
    QCOMPARE(w->yearsEdit->text(), QStringLiteral("2-"));
    QCOMPARE(m_messages->errors(), 1);
    QCOMPARE(m_messages->last(), QStringLiteral("“2-” 不是有效的数字。"));
    QCOMPARE(w->amountEdit->text(), QStringLiteral("3420"));
    QCOMPARE(w->endDatePicker->date(), QDate(2026, 10, 10));
}

void TestCharge::roundToYuan_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("rounded");
    QTest::newRow("half to even, down") << "1234.5" << "1234";
    QTest::newRow("half to even, up") << "1235.5" << "1236";
    QTest::newRow("empty") << "" << "0";
    QTest::newRow("cents") << "87.25" << "87";
    QTest::newRow("above half") << "99.51" << "100";
    QTest::newRow("negative") << "-2.5" << "-2";
    QTest::newRow("not a number") << "1..2" << "1..2";
}

void TestCharge::roundToYuan()
{
    QFETCH(QString, amount);
    QFETCH(QString, rounded);
    auto w = openWindow();
    w->amountEdit->setText(amount);
    w->roundAmount();
    QCOMPARE(w->amountEdit->text(), rounded);
    QCOMPARE(m_messages->errors(), rounded == amount ? 1 : 0);
}

// ---------------------------------------------------------------- the window

void TestCharge::windowShape()
{
    auto w = openWindow();
    QCOMPARE(w->windowTitle(), QStringLiteral("收费录入"));
    QCOMPARE(w->size(), QSize(760, 640));
    QCOMPARE(w->chargeGroup->title(), QStringLiteral("收费信息"));
    QCOMPARE(w->houseGroup->title(), QStringLiteral("业主信息"));
    QCOMPARE(w->amountGroup->title(), QStringLiteral("金额信息"));
    QVERIFY(!w->houseGroup->isEnabled());
    QVERIFY(w->continuousEntryCheck->isChecked());
    QCOMPARE(w->chargeDatePicker->date(), QDate(2024, 10, 10));
    QCOMPARE(w->areaBox->text(), Area);
    QCOMPARE(w->paymentMethodBox->text(), QStringLiteral("现金"));
    QCOMPARE(w->payeeBox->text(), QStringLiteral("管理员"));
    QCOMPARE(focusIn(w.get()), w->roomEdit);
    QStringList texts;
    for (QLabel *l : w->findChildren<QLabel *>())
        texts << l->text();
    for (const char *t : {"收费日期：", "小区名称：", "房       号：", "录入房号后按回车键...", "面       积：", "平方米",
                          "房屋用途：", "单       价：", "元/年平方米", "到期日期：", "业主名称：", "手机号码：",
                          "备       注：", "收费年数：", "年", "起始日期：", "截至日期：", "收款金额：", "元",
                          "收款方式：", "收  款  人："})
        QVERIFY2(texts.contains(QString::fromUtf8(t)), t);
    QCOMPARE(w->saveButton->text(), QStringLiteral("保存"));
    QCOMPARE(w->closeButton->text(), QStringLiteral("退出"));
    QCOMPARE(w->roundButton->text(), QStringLiteral("收款金额取整"));
    // Enter in the room number box looks up; it never presses a button.
    for (QPushButton *b : {w->saveButton, w->closeButton, w->roundButton})
        QVERIFY(!b->autoDefault() && !b->isDefault());
}

void TestCharge::keyFilters()
{
    auto w = openWindow();
    QTest::keyClicks(w->yearsEdit, QStringLiteral("a-.9"));
    QCOMPARE(w->yearsEdit->text(), QStringLiteral("-9"));
    w->amountEdit->clear(); // the years box just proposed an amount
    QTest::keyClicks(w->amountEdit, QStringLiteral("1x2.5-0e7.89"));
    QCOMPARE(w->amountEdit->text(), QStringLiteral("12.507.8")); // 8 bytes, no check of the points
    for (int i = 0; i < 30; ++i)
        QTest::sendKeyEvent(QTest::Click, w->remarkEdit, Qt::Key_unknown, QString(QChar(0x6696)), Qt::NoModifier);
    QCOMPARE(w->remarkEdit->text(), QString(25, QChar(0x6696)));
    QTest::keyClicks(w->roomEdit, QStringLiteral("A-1'x"));
    QCOMPARE(w->roomEdit->text(), QStringLiteral("A-1'x"));
}

void TestCharge::lookUpShowsHouse()
{
    addHouse(*m_db, QStringLiteral("1-1-101"), QStringLiteral("2023-06-30"), QStringLiteral("李四"));
    auto w = openWindow();
    QTest::keyClicks(w->roomEdit, QStringLiteral("3-2-501"));
    QTest::keyClick(w->roomEdit, Qt::Key_Return);
    QCOMPARE(m_messages->entries.size(), 0);
    QVERIFY(!w->houseId.isEmpty());
    // The house is found by its whole room number in the chosen area, never by a part of it.
    const Rows found = ChargeLogic::lookUpHouse(Area, QStringLiteral("3-2-501"));
    QCOMPARE(found.rowCount(), 1);
    QCOMPARE(found.at(0, QStringLiteral("ID")), w->houseId);
    QCOMPARE(ChargeLogic::lookUpHouse(Area, QStringLiteral("3-2-50")).rowCount(), 0);
    QCOMPARE(ChargeLogic::lookUpHouse(QStringLiteral("阳光花园"), QStringLiteral("3-2-501")).rowCount(), 0);
    const QStringList shown{Area, QStringLiteral("3-2-501"), QStringLiteral("85.5"), QStringLiteral("住宅"), QStringLiteral("20"),
                            QStringLiteral("2024-10-10"), QStringLiteral("张三"), QStringLiteral("13800000000"), QStringLiteral("南向")};
    const QList<GbkLineEdit *> boxes = allBoxes(*w);
    for (int i = 0; i < shown.size(); ++i)
        QCOMPARE(boxes.at(i + 1)->text(), shown.at(i));
    QCOMPARE(w->yearsEdit->text(), QStringLiteral("1"));
    QCOMPARE(w->amountEdit->text(), QStringLiteral("1710"));
    QCOMPARE(w->startDatePicker->date(), QDate(2024, 10, 11));
    QCOMPARE(w->endDatePicker->date(), QDate(2025, 10, 10));
    QCOMPARE(focusIn(w.get()), w->yearsEdit);

    // The next look-up replaces the house and computes again although the years stay "1".
    w->roomEdit->setText(QStringLiteral("1-1-101"));
    w->lookUpHouse(13);
    QCOMPARE(w->ownerEdit->text(), QStringLiteral("李四"));
    QCOMPARE(w->yearsEdit->text(), QStringLiteral("1"));
    QCOMPARE(w->startDatePicker->date(), QDate(2023, 7, 1));
    QCOMPARE(w->endDatePicker->date(), QDate(2024, 6, 30));

    // Typing another room without Enter keeps the loaded house; other keys do nothing.
    const QString id = w->houseId;
    w->roomEdit->setText(QStringLiteral("3-2-501"));
    w->lookUpHouse('a');
    QCOMPARE(w->houseId, id);
    QCOMPARE(w->ownerEdit->text(), QStringLiteral("李四"));
}

void TestCharge::lookUpNeedsArea()
{
    auto w = openWindow();
    w->areaBox->clearChoice();
    lookUp(*w, QStringLiteral("3-2-501"));
    QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("小区名称 不能为空！")});
    QCOMPARE(focusIn(w.get()), w->areaBox);
    QVERIFY(w->houseId.isEmpty());
}

void TestCharge::lookUpFailuresClearEveryBox_data()
{
    QTest::addColumn<QString>("room");
    QTest::addColumn<QString>("area");
    QTest::newRow("no such room") << "9-9-999" << "幸福小区";
    QTest::newRow("room of another area") << "5-5-505" << "幸福小区";
    QTest::newRow("two live houses") << "2-2-202" << "幸福小区";
    QTest::newRow("deleted house") << "4-4-404" << "幸福小区";
    QTest::newRow("quote in the room") << "3-2-501' OR '1'='1" << "幸福小区";
}

void TestCharge::lookUpFailuresClearEveryBox()
{
    QFETCH(QString, room);
    QFETCH(QString, area);
    addHouse(*m_db, QStringLiteral("2-2-202"), QStringLiteral("2024-10-10"));
    addHouse(*m_db, QStringLiteral("2-2-202"), QStringLiteral("2024-10-10"), QStringLiteral("李四"));
    addHouse(*m_db, QStringLiteral("4-4-404"), QStringLiteral("2024-10-10"), QStringLiteral("王五"), QStringLiteral("是"));
    addHouse(*m_db, QStringLiteral("5-5-505"), QStringLiteral("2024-10-10"), QStringLiteral("赵六"), QStringLiteral("否"),
             QStringLiteral("阳光花园"));
    auto w = openWindow();
    lookUp(*w, QStringLiteral("3-2-501"));
    w->remarkEdit->setText(QStringLiteral("上一位的备注"));
    const QDate start = w->startDatePicker->date();

    w->areaBox->setKeyValue(area);
    lookUp(*w, room);
    QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("业主信息 不存在，请重新录入房号！")});
    QVERIFY(w->houseId.isEmpty());
    for (GbkLineEdit *e : allBoxes(*w))
        QVERIFY2(e->text().isEmpty(), qPrintable(e->text()));
    QCOMPARE(focusIn(w.get()), w->roomEdit);
    // The lists and dates keep their values.
    QCOMPARE(w->startDatePicker->date(), start);
    QCOMPARE(w->paymentMethodBox->text(), QStringLiteral("现金"));
}

void TestCharge::paidUpNotADate_data()
{
    QTest::addColumn<QString>("paidUp");
    QTest::newRow("empty") << "";
    QTest::newRow("not a date") << "2024-13-45";
    QTest::newRow("text") << "长期";
}

void TestCharge::paidUpNotADate()
{
    QFETCH(QString, paidUp);
    addHouse(*m_db, QStringLiteral("6-6-606"), paidUp, QStringLiteral("孙七"));
    auto w = openWindow();
    lookUp(*w, QStringLiteral("3-2-501")); // an earlier house leaves its period in the pickers
    m_messages->clear();

    lookUp(*w, QStringLiteral("6-6-606"));
    QCOMPARE(w->ownerEdit->text(), QStringLiteral("孙七"));
    QCOMPARE(w->paidUpEdit->text(), paidUp);
    QCOMPARE(w->yearsEdit->text(), QStringLiteral("1"));
    QCOMPARE(w->amountEdit->text(), QStringLiteral("1710"));
    QCOMPARE(m_messages->texts(),
             QStringList{QStringLiteral("该业主的到期日期为空或不是有效的日期，请手工选择起始日期和截至日期！")});
    QCOMPARE(m_messages->errors(), 0);
    QVERIFY(w->periodUnset(w->startDatePicker));
    QVERIFY(w->periodUnset(w->endDatePicker));
    QCOMPARE(static_cast<QAbstractSpinBox *>(w->startDatePicker)->text(), QStringLiteral("未设置"));
    QCOMPARE(focusIn(w.get()), w->startDatePicker);

    // Changing the years changes the amount only.
    w->yearsEdit->setText(QStringLiteral("2"));
    QCOMPARE(w->amountEdit->text(), QStringLiteral("3420"));
    QVERIFY(w->periodUnset(w->startDatePicker));

    // The save waits for both dates.
    m_messages->clear();
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("起始日期 不能为空，请重新选择！")});
    QCOMPARE(focusIn(w.get()), w->startDatePicker);
    w->startDatePicker->setDate(QDate(2024, 10, 1));
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    QCOMPARE(m_messages->last(), QStringLiteral("截至日期 不能为空，请重新选择！"));
    QCOMPARE(focusIn(w.get()), w->endDatePicker);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 0);

    w->endDatePicker->setDate(QDate(2026, 9, 30));
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 1);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT QSDate || ' ' || JZDate FROM UCharge")), QStringLiteral("2024-10-01 2026-09-30"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE theNum = '6-6-606'")), QStringLiteral("2026-09-30"));
}

// ---------------------------------------------------------------- the save

void TestCharge::savedRow()
{
    // Typed as at the desk: the room and Enter, the years over the proposed one, the remark.
    auto w = openWindow();
    typeText(w->roomEdit, QStringLiteral("3-2-501"));
    QTest::keyClick(w->roomEdit, Qt::Key_Return);
    QCOMPARE(w->ownerEdit->text(), QStringLiteral("张三"));
    w->yearsEdit->selectAll();
    typeText(w->yearsEdit, QStringLiteral("-1"));
    QCOMPARE(w->amountEdit->text(), QStringLiteral("-1710"));
    w->chargeDatePicker->setDate(QDate(2024, 10, 12));
    w->paymentMethodBox->setKeyValue(QStringLiteral("转账"));
    w->payeeBox->setKeyValue(QStringLiteral("王会计"));
    typeText(w->remarkEdit, QStringLiteral("O'Brien 退费"));
    w->areaBox->setKeyValue(QStringLiteral("阳光花园")); // the charge keeps the house's area
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    QCOMPARE(m_messages->errors(), 0);

    const Rows row = dataModule().query(QStringLiteral("SELECT * FROM UCharge"));
    QCOMPARE(row.rowCount(), 1);
    const QList<QPair<const char *, QString>> expected{
        {"HID", m_db->scalar(QStringLiteral("SELECT ID FROM UHouse WHERE theNum = '3-2-501'"))},
        {"theNum", QStringLiteral("2410100001")},
        {"myDate", QStringLiteral("2024-10-12")},
        {"AName", Area},
        {"HNum", QStringLiteral("3-2-501")},
        {"HArea", QStringLiteral("85.5")},
        {"HPrice", QStringLiteral("20")},
        {"HName", QStringLiteral("张三")},
        {"theCount", QStringLiteral("-1")},
        {"QSDate", QStringLiteral("2024-10-11")},
        {"JZDate", QStringLiteral("2023-10-10")},
        {"theMoney", QStringLiteral("-1710")},
        {"theDX", QStringLiteral("壹仟柒佰壹拾元整")},
        {"MType", QStringLiteral("转账")},
        {"theSKR", QStringLiteral("王会计")},
        {"Remark", QStringLiteral("O'Brien 退费")},
        {"theDel", QStringLiteral("否")},
        {"theDate", QStringLiteral("2024-10-10")},
        {"UName", QStringLiteral("管理员")},
    };
    for (const auto &e : expected)
        QCOMPARE(row.at(0, QString::fromLatin1(e.first)), e.second);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE theNum = '3-2-501'")), QStringLiteral("2023-10-10"));

    // The receipt of the stored charge was shown.
    QCOMPARE(m_presenter.pages.size(), 1);
    QCOMPARE(m_presenter.last().text(QStringLiteral("receiptNumber")), QStringLiteral("2410100001"));
    QCOMPARE(m_presenter.last().text(QStringLiteral("amount")), QStringLiteral("-1710.00"));
}

void TestCharge::saveChecks_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    QTest::newRow("no house") << "house" << "业主信息 不能为空，请重新选择！" << "roomEdit";
    QTest::newRow("no area") << "area" << "小区名称 不能为空，请重新选择！" << "areaBox";
    QTest::newRow("no years") << "years" << "收费年数 不能为空，请重新录入！" << "yearsEdit";
    // An operator without default items once stored a payment without a method: its receipt
    // said "收款方式：" and nothing more, the day's close had a blank row.
    QTest::newRow("no payment method") << "method" << "收款方式 不能为空！" << "paymentMethodBox";
}

void TestCharge::saveChecks()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    auto w = openWindow();
    if (fault != QLatin1String("house"))
        lookUp(*w, QStringLiteral("3-2-501"));
    if (fault == QLatin1String("area"))
        w->areaBox->clearChoice();
    if (fault == QLatin1String("years"))
        w->yearsEdit->clear();
    if (fault == QLatin1String("method"))
        w->paymentMethodBox->clearChoice();
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    QCOMPARE(m_messages->texts(), QStringList{message});
    QWidget *expected = focus == QLatin1String("roomEdit") ? static_cast<QWidget *>(w->roomEdit)
        : focus == QLatin1String("yearsEdit")             ? static_cast<QWidget *>(w->yearsEdit)
        : focus == QLatin1String("paymentMethodBox")  ? static_cast<QWidget *>(w->paymentMethodBox)
                                                        : static_cast<QWidget *>(w->areaBox);
    QCOMPARE(focusIn(w.get()), expected);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 0);
    QCOMPARE(m_presenter.pages.size(), 0);
}

void TestCharge::badValuesStoreNothing_data()
{
    QTest::addColumn<QString>("years");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("message");
    QTest::newRow("years minus alone") << "-" << "0" << "收费年数 “-” 不是有效的整数。";
    QTest::newRow("amount empty") << "1" << "" << "收款金额 “” 不是有效的数字。";
    QTest::newRow("amount two points") << "1" << "1.2.3" << "收款金额 “1.2.3” 不是有效的数字。";
}

void TestCharge::badValuesStoreNothing()
{
    QFETCH(QString, years);
    QFETCH(QString, amount);
    QFETCH(QString, message);
    auto w = openWindow();
    lookUp(*w, QStringLiteral("3-2-501"));
    w->yearsEdit->setText(years);
    w->amountEdit->setText(amount);
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    QCOMPARE(m_messages->errors(), 1);
    QCOMPARE(m_messages->last(), message);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 0);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE theNum = '3-2-501'")), QStringLiteral("2024-10-10"));
    QVERIFY(!w->houseId.isEmpty()); // the window keeps its contents
}

void TestCharge::refusedUpdateLeavesNoCharge()
{
    if (TestDb::onServer())
        m_db->exec(QStringLiteral("CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN RAISE EXCEPTION '房屋记录已锁定'; END$$; "
                                  "CREATE TRIGGER refuse BEFORE UPDATE ON UHouse FOR EACH ROW EXECUTE FUNCTION refuse()"));
    else
        m_db->exec(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON UHouse BEGIN SELECT RAISE(ABORT, '房屋记录已锁定'); END"));
    auto w = openWindow();
    lookUp(*w, QStringLiteral("3-2-501"));
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    QCOMPARE(m_messages->errors(), 1);
    QCOMPARE(m_messages->last(), QStringLiteral("房屋记录已锁定。"));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 0);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse")), QStringLiteral("2024-10-10"));
    QCOMPARE(m_presenter.pages.size(), 0);
    QVERIFY(!w->houseId.isEmpty());

    // Once the house can be updated, the same payment takes the first number of the day.
    m_db->exec(TestDb::onServer() ? QStringLiteral("DROP TRIGGER refuse ON UHouse") : QStringLiteral("DROP TRIGGER refuse"));
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT theNum FROM UCharge")), QStringLiteral("2410100001"));
}

void TestCharge::continuousAndSuccess()
{
    addHouse(*m_db, QStringLiteral("1-1-101"), QStringLiteral("2023-06-30"), QStringLiteral("李四"));
    auto w = openWindow();
    w->chargeDatePicker->setDate(QDate(2024, 10, 15));
    lookUp(*w, QStringLiteral("3-2-501"));
    w->remarkEdit->setText(QStringLiteral("第一笔"));
    const QDate end = w->endDatePicker->date();
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    // Ticked: cleared for the next payment, no message, lists and dates kept.
    QCOMPARE(m_messages->entries.size(), 0);
    QVERIFY(w->isVisible());
    QVERIFY(w->houseId.isEmpty());
    for (GbkLineEdit *e : allBoxes(*w))
        QVERIFY(e->text().isEmpty());
    QCOMPARE(focusIn(w.get()), w->roomEdit);
    QCOMPARE(w->chargeDatePicker->date(), QDate(2024, 10, 15));
    QCOMPARE(w->endDatePicker->date(), end);
    QCOMPARE(w->areaBox->text(), Area);
    QCOMPARE(w->paymentMethodBox->text(), QStringLiteral("现金"));

    // Unticked: the success message, and the window closes.
    lookUp(*w, QStringLiteral("1-1-101"));
    w->continuousEntryCheck->setChecked(false);
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("收费信息 保存成功！")});
    QVERIFY(!w->isVisible());
    QCOMPARE(w->result(), int(QDialog::Accepted));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 2);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT max(theNum) FROM UCharge")), QStringLiteral("2410100002"));
    QCOMPARE(m_presenter.pages.size(), 2);
}

void TestCharge::printFailureCarriesOn_data()
{
    QTest::addColumn<bool>("continuous");
    QTest::newRow("连续新增") << true;
    QTest::newRow("single") << false;
}

void TestCharge::printFailureCarriesOn()
{
    QFETCH(bool, continuous);
    m_presenter.failWith = QStringLiteral("打印机不可用");
    auto w = openWindow();
    w->continuousEntryCheck->setChecked(continuous);
    lookUp(*w, QStringLiteral("3-2-501"));
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 1);
    QCOMPARE(m_messages->entries.value(0).kind, QStringLiteral("error"));
    QCOMPARE(m_messages->entries.value(0).text, QStringLiteral("打印机不可用。"));
    if (continuous) {
        QCOMPARE(m_messages->entries.size(), 1);
        QVERIFY(w->houseId.isEmpty());
        // Saving again cannot store the same payment a second time.
        QTest::mouseClick(w->saveButton, Qt::LeftButton);
        QCOMPARE(m_messages->last(), QStringLiteral("业主信息 不能为空，请重新选择！"));
    } else {
        QCOMPARE(m_messages->texts().mid(1), QStringList{QStringLiteral("收费信息 保存成功！")});
        QVERIFY(!w->isVisible());
    }
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 1);
}

void TestCharge::logicSaveForOtherCallers()
{
    ChargeLogic::Payment p;
    p.houseId = m_db->scalar(QStringLiteral("SELECT ID FROM UHouse"));
    p.chargingDate = QStringLiteral("2024-10-10");
    p.area = Area;
    p.room = QStringLiteral("3-2-501");
    p.floorArea = QStringLiteral("85.5");
    p.unitPrice = QStringLiteral("20");
    p.owner = QStringLiteral("张三");
    p.years = QStringLiteral("2");
    p.startDate = QStringLiteral("2024-10-11");
    p.endDate = QStringLiteral("2026-10-10");
    p.amount = QStringLiteral("3420");
    // A payment without a method is refused while the list has methods.
    try {
        ChargeLogic::save(p);
        QFAIL("stored without a payment method");
    } catch (const AppError &e) {
        QCOMPARE(e.message(), QStringLiteral("收款方式 不能为空！"));
    }
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 0);
    p.paymentMethod = QStringLiteral("转账");
    QCOMPARE(ChargeLogic::save(p), QStringLiteral("2410100001"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT theDX FROM UCharge")), QStringLiteral("叁仟肆佰贰拾元整"));

    // Values that go into the statement bare must be numbers; a house that is not there
    // takes no charge.
    ChargeLogic::Payment bad = p;
    bad.years = QStringLiteral("1, 0, '', '', 0, '', '', '', '', '否', '', ''); DELETE FROM UHouse; --");
    QVERIFY_THROWS_EXCEPTION(AppError, ChargeLogic::save(bad));
    bad = p;
    bad.houseId = QStringLiteral("999");
    QVERIFY_THROWS_EXCEPTION(AppError, ChargeLogic::save(bad));
    bad = p;
    bad.endDate = QStringLiteral("2026-02-30");
    QVERIFY_THROWS_EXCEPTION(AppError, ChargeLogic::save(bad));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 1);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UHouse")), 1);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse")), QStringLiteral("2026-10-10"));
}

// An office that keeps no list of payment methods takes payments without one.
void TestCharge::noMethodsNoMethodNeeded()
{
    m_db->exec(QStringLiteral("DELETE FROM SMType"));
    auto w = openWindow();
    lookUp(*w, QStringLiteral("3-2-501"));
    w->paymentMethodBox->clearChoice();
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    QCOMPARE(m_messages->errors(), 0);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge WHERE MType = ''")), 1);
}

// A house whose area is 1e308 (stored by an earlier program): the boxes and the message
// show it as a short number, the message names what it is, on both engines alike.
void TestCharge::hugeAreaShownShort()
{
    m_db->exec(QStringLiteral("UPDATE UHouse SET theArea = 1e308"));
    auto w = openWindow();
    lookUp(*w, QStringLiteral("3-2-501"));
    QCOMPARE(w->floorAreaEdit->text(), QStringLiteral("1e+308"));
    QCOMPARE(m_messages->errors(), 1);
    QVERIFY2(m_messages->last().startsWith(QStringLiteral("收款金额超出范围（面积 1e+308 × 单价 20 × 1 年）")), qPrintable(m_messages->last()));
    QVERIFY2(m_messages->last().size() < 100, qPrintable(m_messages->last()));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 0);
}

void TestCharge::anotherCopyChargingAtOnceGetsTheNextNumber()
{
    // Another copy of the program is in the middle of storing the first charge of the day.
    Database other;
    other.open(m_db->path(), QString::fromUtf8(Schema::DatabaseKey));
    other.exec(QStringLiteral("BEGIN IMMEDIATE"));
    other.exec(QStringLiteral("INSERT INTO UCharge (HID, theNum, theMoney, theDel, theDate) "
                              "VALUES (1, '2410100001', 10, '否', '2024-10-10')"));
    std::unique_ptr<QThread> finish(QThread::create([&other] {
        QThread::msleep(400);
        other.exec(QStringLiteral("COMMIT"));
    }));
    finish->start();

    // This copy waits for it before counting, and so takes the next number.
    auto w = openWindow();
    lookUp(*w, QStringLiteral("3-2-501"));
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    finish->wait();
    QCOMPARE(m_messages->errors(), 0);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT group_concat(theNum, ' ') FROM (SELECT theNum FROM UCharge ORDER BY ID) ordered")),
             QStringLiteral("2410100001 2410100002"));
}

// Another desk holds the write lock for a while: the save waits, the lock-wait window comes
// up (and is the active window), the lock is let go, the payment is stored and the receipt
// preview opens while the lock-wait window closes and is deleted. The preview belongs to
// the charge window and lives on until the operator is done with it.
void TestCharge::receiptAfterWaitingForAnotherDesk()
{
    installLockWaitWindow();
    const auto observer = qScopeGuard([] { Database::setLockWaitObserver({}); });
    UiReportPreview preview;
    report::setPresenter(&preview);
    ScriptedDialogs dialogs;
    bool waitWindowShown = false, previewLived = false;
    QPointer<QWidget> previewParent;
    int pages = 0;
    dialogs.nextAs<QPrintPreviewDialog>([&](QPrintPreviewDialog &d) {
        for (QWidget *top : QApplication::topLevelWidgets())
            if (auto *p = qobject_cast<QProgressDialog *>(top))
                waitWindowShown |= p->labelText().contains(QStringLiteral("另一台电脑"));
        previewParent = d.parentWidget();
        QPointer<QPrintPreviewDialog> alive(&d);
        // The operator looks at the receipt; the lock-wait window goes meanwhile.
        QEventLoop looking;
        QTimer::singleShot(400, &looking, &QEventLoop::quit);
        looking.exec();
        previewLived = alive;
        if (alive)
            pages = d.findChild<QPrintPreviewWidget *>()->pageCount();
    });

    Database other;
    other.open(m_db->path(), QString::fromUtf8(Schema::DatabaseKey));
    other.exec(QStringLiteral("BEGIN IMMEDIATE"));
    other.exec(QStringLiteral("UPDATE SDept SET F1 = F1 WHERE ID = 1"));
    std::unique_ptr<QThread> release(QThread::create([&other] {
        QThread::msleep(900);
        other.exec(QStringLiteral("COMMIT"));
    }));
    release->start();
    auto w = openWindow();
    w->continuousEntryCheck->setChecked(false);
    lookUp(*w, QStringLiteral("3-2-501"));
    QTest::mouseClick(w->saveButton, Qt::LeftButton);
    release->wait();
    QCOMPARE(dialogs.opened, 1);
    QVERIFY(waitWindowShown);
    QVERIFY(previewLived);
    QCOMPARE(previewParent.data(), w.get());
    QCOMPARE(pages, 1);
    QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("收费信息 保存成功！")});
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 1);
    QTRY_COMPARE(visibleProgressWindows(), QStringList());
}

QTEST_MAIN(TestCharge)
#include "tst_charge.moc"
