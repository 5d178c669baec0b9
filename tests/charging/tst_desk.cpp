// The cashier's desk beside the exact look-up: finding a house from part of a name, phone
// or room, the house's past payments, and 收费 from the owner lists.
#include "charging/ChargeDesk.h"
#include "charging/ChargeEntryDialog.h"
#include "charging/HousePickDialog.h"
#include "charging/PaymentVoid.h"
#include "data/DataModule.h"
#include "output/PrintModule.h"
#include "owners/ArrearsReminderWindow.h"
#include "owners/OwnerManagementWindow.h"
#include "owners/OwnerQueryWindow.h"
#include "browse/QueryModel.h"
#include "report/ReportPresenter.h"
#include "tests/support/Builders.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestSupport.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/LookupCombo.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include <algorithm>
#include <memory>

class TestDesk : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void findRules_data();
    void findRules();
    void caselessTexts_data();
    void caselessTexts();
    void pickListColumns();
    void history();

    void f3PickEnterLoads();
    void pickListSaysTooManyAndNone();
    void historyRefreshedAfterSave();
    void chargeFromOwnerLists();
    void chargeNeedsTheRole();

private:
    std::unique_ptr<TestDb> m_db;
    std::unique_ptr<MessageRecorder> m_messages;
    NoPreview m_preview;
};

namespace {

const QString Happy = QStringLiteral("幸福小区");
const QString Sunny = QStringLiteral("阳光花园");

void house(const QString &area, const QString &room, const QString &owner, const QString &phone, const QString &paidUp,
           bool deleted = false)
{
    HouseBuilder().area(area).room(room).floorArea(80).purpose(QStringLiteral("住宅")).price(25).paidUpTo(paidUp)
        .owner(owner).phone(phone).remark({}).deleted(deleted).entered(QStringLiteral("2024-01-01"), QStringLiteral("管理员"))
        .insert(dataModule().db());
}

QStringList rowsOf(const ChargeDesk::Found &f)
{
    QStringList out;
    for (const ChargeDesk::Match &m : f.houses)
        out << m.area + QLatin1Char(' ') + m.room;
    return out;
}

QStringList gridRow(const QTableWidget *grid, int row)
{
    QStringList out;
    for (int c = 0; c < grid->columnCount(); ++c)
        out << (grid->item(row, c) ? grid->item(row, c)->text() : QString());
    return out;
}

} // namespace

void TestDesk::init()
{
    m_db = std::make_unique<TestDb>();
    m_db->login(QDate(2024, 10, 10));
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('幸福小区'), ('阳光花园')"));
    m_db->exec(QStringLiteral("INSERT INTO SMType (theName) VALUES ('现金')"));
    house(Happy, QStringLiteral("5-101"), QStringLiteral("欧阳娜娜"), QStringLiteral("13912345678"), QStringLiteral("2022-05-01"));
    house(Happy, QStringLiteral("5-102"), QStringLiteral("李四"), QStringLiteral("021-5555"), QStringLiteral("2025-01-01"));
    house(Happy, QStringLiteral("5-103"), QStringLiteral("欧阳删除"), QStringLiteral("13900000000"), QStringLiteral("2022-05-01"), true);
    house(Sunny, QStringLiteral("15-3"), QStringLiteral("ＯＵＹＡＮＧ Lee（欧阳）"), QStringLiteral("１３８００"), QString());
    house(Sunny, QStringLiteral("1%2"), QStringLiteral("O'Brien"), QStringLiteral("0"), QStringLiteral("2024-10-10"));
    house(Sunny, QStringLiteral("1x2"), QStringLiteral("a_b"), QStringLiteral("0"), QStringLiteral("2024-10-10"));
    house(Sunny, QStringLiteral("9-9"), QStringLiteral("ab"), QStringLiteral("back\\slash"), QStringLiteral("2024-10-10"));
    house(Sunny, QStringLiteral("9-8"), QStringLiteral("x!y"), QStringLiteral("0"), QStringLiteral("2024-10-10"));
    for (int i = 1; i <= 25; ++i)
        house(Sunny, QStringLiteral("8-%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("批量%1").arg(i), {},
              QStringLiteral("2024-10-10"));
    DefaultAreaName = Happy;
    DefaultPaymentMethod = QStringLiteral("现金");
    m_messages = std::make_unique<MessageRecorder>();
    report::setPresenter(&m_preview);
}

void TestDesk::cleanup()
{
    report::setPresenter(nullptr);
    m_messages.reset();
    m_db.reset();
}

// ---------------------------------------------------------------- the find rules

void TestDesk::findRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("houses"); // the first ones, in order
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("more");
    const QString h = Happy + QLatin1Char(' '), s = Sunny + QLatin1Char(' ');
    QTest::newRow("part of a name, also among letters, deleted house left out")
        << "欧阳" << QStringList{h + "5-101", s + "15-3"} << 2 << false;
    QTest::newRow("phone digits") << "1234" << QStringList{h + "5-101"} << 1 << false;
    QTest::newRow("phone with a dash") << "1-55" << QStringList{h + "5-102"} << 1 << false;
    QTest::newRow("part of a room, in every area, by area and room")
        << "5-10" << QStringList{h + "5-101", h + "5-102"} << 2 << false;
    QTest::newRow("room across areas") << "5-" << QStringList{h + "5-101", h + "5-102", s + "15-3"} << 3 << false;
    QTest::newRow("spaces around are trimmed") << "  李四 " << QStringList{h + "5-102"} << 1 << false;
    QTest::newRow("full-width letters fold") << "ｏｕｙａｎｇ" << QStringList{s + "15-3"} << 1 << false;
    QTest::newRow("ASCII letters fold") << "LEE" << QStringList{s + "15-3"} << 1 << false;
    QTest::newRow("letters beside characters without case") << "lee（欧阳" << QStringList{s + "15-3"} << 1 << false;
    QTest::newRow("the same characters without case, other letters") << "lex（欧阳" << QStringList{} << 0 << false;
    QTest::newRow("full-width digits are their own") << "１３８" << QStringList{s + "15-3"} << 1 << false;
    QTest::newRow("full-width is not ASCII") << "ouyang" << QStringList{} << 0 << false;
    QTest::newRow("deleted house only") << "欧阳删除" << QStringList{} << 0 << false;
    // Which twenty of the 25 is the engine's choice; they are listed in order all the same.
    QTest::newRow("more than a screenful") << "批量" << QStringList{} << 20 << true;
    QTest::newRow("exactly a screenful is no more") << "批量1" << QStringList{s + "8-01"} << 11 << false;
    QTest::newRow("nothing found") << "不存在" << QStringList{} << 0 << false;
    QTest::newRow("empty text finds nothing") << "  " << QStringList{} << 0 << false;
    QTest::newRow("percent is literal") << "%" << QStringList{s + "1%2"} << 1 << false;
    QTest::newRow("underscore is literal") << "_" << QStringList{s + "1x2"} << 1 << false;
    QTest::newRow("quote") << "O'B" << QStringList{s + "1%2"} << 1 << false;
    QTest::newRow("backslash") << "k\\s" << QStringList{s + "9-9"} << 1 << false;
    QTest::newRow("escape character") << "!" << QStringList{s + "9-8"} << 1 << false;
    QTest::newRow("statement text") << "'; DELETE FROM UHouse; --" << QStringList{} << 0 << false;
}

void TestDesk::findRules()
{
    QFETCH(QString, text);
    QFETCH(QStringList, houses);
    QFETCH(int, count);
    QFETCH(bool, more);
    const ChargeDesk::Found f = ChargeDesk::find(text, QDate(2024, 10, 10));
    const QStringList got = rowsOf(f);
    QCOMPARE(got.size(), count);
    QCOMPARE(got.mid(0, houses.size()), houses);
    QCOMPARE(f.more, more);
    QStringList sorted = got;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(got, sorted);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UHouse")), 33);
}

void TestDesk::caselessTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("caseless");
    QTest::addColumn<QString>("run"); // the longest run without letter case
    QTest::newRow("Chinese") << "欧阳" << true << "欧阳";
    QTest::newRow("digits and signs") << "5-1%_!'" << true << "5-1%_!'";
    QTest::newRow("full-width digits") << "１３８" << true << "１３８";
    QTest::newRow("ASCII letter") << "5a" << false << "5";
    QTest::newRow("full-width letter") << "Ａ座" << false << "座";
    QTest::newRow("the longest of two runs") << "5号x楼123" << false << "楼123";
    QTest::newRow("sharp s, which a capital folds to") << "ß" << false << "";
    QTest::newRow("circled letter") << "ⓐ" << false << "";
    QTest::newRow("Roman numeral") << "Ⅳ" << false << "";
}

void TestDesk::caselessTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, caseless);
    QFETCH(QString, run);
    QCOMPARE(ChargeDesk::caseless(text), caseless);
    QCOMPARE(ChargeDesk::caselessRun(text), run);
}

void TestDesk::pickListColumns()
{
    // Years behind at the charging date as the arrears reminder counts them.
    const ChargeDesk::Found f = ChargeDesk::find(QStringLiteral("5-"), QDate(2024, 10, 10));
    QCOMPARE(f.houses.size(), 3);
    const ChargeDesk::Match &a = f.houses.at(0);
    QCOMPARE(QStringList({a.area, a.room, a.owner, a.phone, a.paidUp, a.yearsBehind}),
             QStringList({Happy, "5-101", "欧阳娜娜", "13912345678", "2022-05-01", "2"}));
    QCOMPARE(f.houses.at(1).yearsBehind, QStringLiteral("0")); // paid ahead
    QCOMPARE(f.houses.at(2).yearsBehind, QString());           // no paid-up date
    // A day later in the new year counts the new year.
    QCOMPARE(ChargeDesk::find(QStringLiteral("5-101"), QDate(2023, 1, 1)).houses.at(0).yearsBehind, QStringLiteral("1"));
    QCOMPARE(ChargeDesk::find(QStringLiteral("5-101"), QDate(2022, 5, 1)).houses.at(0).yearsBehind, QStringLiteral("0"));
}

// ---------------------------------------------------------------- the house's past

void TestDesk::history()
{
    const QString first = Payment(Happy, QStringLiteral("5-101")).years(2).save();
    const QString second = Payment(Happy, QStringLiteral("5-101")).years(1).save();
    Payment(Happy, QStringLiteral("5-102")).save(); // another house's
    printModule().reprintReceipt(first);
    printModule().reprintReceipt(first);
    PaymentVoid::run(second, QStringLiteral("收错年数"));

    const QString id = m_db->scalar(QStringLiteral("SELECT ID FROM UHouse WHERE theNum = '5-101'"));
    const QList<ChargeDesk::PastPayment> past = ChargeDesk::history(id);
    QCOMPARE(past.size(), 2);
    const ChargeDesk::PastPayment &v = past.at(0), &p = past.at(1);
    QCOMPARE(v.receipt, second); // newest first
    QVERIFY(v.voided);
    QCOMPARE(ChargeDesk::voidWords(v), QStringLiteral("作废：收错年数"));
    QCOMPARE(v.reprints, 0);
    QCOMPARE(QStringList({p.receipt, p.chargingDate, p.start, p.end, p.years, p.amount, p.method, p.payee}),
             QStringList({first, "2024-10-10", "2022-05-02", "2024-05-01", "2", "4000", "现金", "管理员"}));
    QVERIFY(!p.voided);
    QCOMPARE(ChargeDesk::voidWords(p), QString());
    QCOMPARE(p.reprints, 2);
    QVERIFY(ChargeDesk::history(QStringLiteral("999")).isEmpty());
}

// ---------------------------------------------------------------- through the windows

void TestDesk::f3PickEnterLoads()
{
    Payment(Happy, QStringLiteral("5-101")).save();
    ChargeEntryDialog w;
    w.show();
    QApplication::setActiveWindow(&w);
    QCOMPARE(w.historyGrid->rowCount(), 0);
    ScriptedDialogs dialogs;
    dialogs.nextAs<HousePickDialog>([&](HousePickDialog &d) {
        // The room box's text came along; the list follows what is typed.
        QCOMPARE(d.findEdit->text(), QStringLiteral("5-1"));
        QCOMPARE(d.pickGrid->rowCount(), 2);
        d.findEdit->clear();
        typeText(d.findEdit, QStringLiteral("欧阳娜"));
        QCOMPARE(d.pickGrid->rowCount(), 1);
        QCOMPARE(gridRow(d.pickGrid, 0), QStringList({Happy, "5-101", "欧阳娜娜", "13912345678", "2023-05-01", "1"}));
        QTest::keyClick(d.findEdit, Qt::Key_Return); // into the list
        QCOMPARE(focusIn(&d), d.pickGrid);
        QTest::keyClick(d.pickGrid, Qt::Key_Return); // picks
    });
    w.areaBox->setKeyValue(Sunny); // the picked house's area replaces it
    typeText(w.roomEdit, QStringLiteral("5-1"));
    QTest::keyClick(w.roomEdit, Qt::Key_F3);
    QCOMPARE(dialogs.opened, 1);
    QCOMPARE(w.findEdit->text(), QStringLiteral("5-1"));
    QCOMPARE(w.areaBox->text(), Happy);
    QCOMPARE(w.houseRoomEdit->text(), QStringLiteral("5-101"));
    QCOMPARE(w.ownerEdit->text(), QStringLiteral("欧阳娜娜"));
    QCOMPARE(w.paidUpEdit->text(), QStringLiteral("2023-05-01"));
    QCOMPARE(w.yearsEdit->text(), QStringLiteral("1"));
    QCOMPARE(w.amountEdit->text(), QStringLiteral("2000"));
    QCOMPARE(focusIn(&w), w.yearsEdit);
    QCOMPARE(w.historyGrid->rowCount(), 1);
    QCOMPARE(gridRow(w.historyGrid, 0),
             QStringList({"2410100001", "2024-10-10", "2022-05-02", "2023-05-01", "1", "2000", "现金", "管理员", "", "0"}));
    QCOMPARE(w.historyGroup->title(), QStringLiteral("交费记录：幸福小区 5-101"));

    // Escape in the pick list leaves the loaded house as it is; Enter in the search box
    // opens the list as F3 does.
    dialogs.nextAs<HousePickDialog>([&](HousePickDialog &d) {
        QCOMPARE(d.findEdit->text(), QStringLiteral("李四"));
        QTest::keyClick(d.pickGrid, Qt::Key_Escape);
    });
    w.findEdit->setText(QStringLiteral("李四"));
    QTest::keyClick(w.findEdit, Qt::Key_Return);
    QCOMPARE(dialogs.opened, 2);
    QCOMPARE(w.houseRoomEdit->text(), QStringLiteral("5-101"));

    // A double click picks too; a house without payments has an empty history.
    dialogs.nextAs<HousePickDialog>([&](HousePickDialog &d) {
        d.pickGrid->setCurrentCell(0, 0);
        emit d.pickGrid->cellDoubleClicked(0, 0);
    });
    w.findButton->click();
    QCOMPARE(w.houseRoomEdit->text(), QStringLiteral("5-102"));
    QCOMPARE(w.historyGrid->rowCount(), 0);

    // Enter in the room box keeps its exact look-up.
    w.roomEdit->setText(QStringLiteral("5-101"));
    QTest::keyClick(w.roomEdit, Qt::Key_Return);
    QCOMPARE(dialogs.opened, 3);
    QCOMPARE(w.houseRoomEdit->text(), QStringLiteral("5-101"));
    QCOMPARE(w.historyGrid->rowCount(), 1);
}

void TestDesk::pickListSaysTooManyAndNone()
{
    ChargeEntryDialog w;
    w.show();
    HousePickDialog d(&w, QStringLiteral("批量"), QDate(2024, 10, 10));
    QCOMPARE(d.pickGrid->rowCount(), 20);
    QCOMPARE(d.noteLabel->text(), QStringLiteral("匹配超过20户，请输入更多内容"));
    d.findEdit->setText(QStringLiteral("批量2"));
    QCOMPARE(d.pickGrid->rowCount(), 7); // 2, 20–25
    QCOMPARE(d.noteLabel->text(), QStringLiteral("共 7 户，按回车键选择"));
    d.findEdit->setText(QStringLiteral("无此人"));
    QCOMPARE(d.pickGrid->rowCount(), 0);
    QCOMPARE(d.noteLabel->text(), QStringLiteral("没有匹配的业主，请重新输入"));
    // Enter with nothing listed stays in the box and picks nothing.
    QTest::keyClick(d.findEdit, Qt::Key_Return);
    QVERIFY(d.pickedRoom.isEmpty());
    QCOMPARE(d.result(), int(QDialog::Rejected));
}

void TestDesk::historyRefreshedAfterSave()
{
    ChargeEntryDialog w;
    w.show();
    QApplication::setActiveWindow(&w);
    w.loadHouse(Happy, QStringLiteral("5-101"));
    QCOMPARE(w.historyGrid->rowCount(), 0);
    w.yearsEdit->setText(QStringLiteral("2"));
    w.save();
    QCOMPARE(m_messages->entries.size(), 0);
    // The boxes wait for the next house; the history shows the payment just taken.
    QVERIFY(w.houseRoomEdit->text().isEmpty());
    QCOMPARE(w.historyGrid->rowCount(), 1);
    QCOMPARE(w.historyGrid->item(0, 0)->text(), QStringLiteral("2410100001"));
    QCOMPARE(w.historyGroup->title(), QStringLiteral("交费记录：幸福小区 5-101"));
    // A failed look-up shows no house's past.
    w.roomEdit->setText(QStringLiteral("no such room"));
    w.lookUpHouse(13);
    QCOMPARE(w.historyGrid->rowCount(), 0);
    QCOMPARE(w.historyGroup->title(), QStringLiteral("交费记录"));
}

void TestDesk::chargeFromOwnerLists()
{
    ScriptedDialogs dialogs;
    auto *m = new OwnerManagementWindow;
    m->show();
    QApplication::setActiveWindow(m);
    m->ownerEdit->setText(QStringLiteral("欧阳娜"));
    m->ownerCheck->setChecked(true);
    m->runQuery();
    QStringList entries;
    for (QAction *a : m->gridMenu->actions())
        entries << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(entries, QStringList({"收费 &S", "-", "修改 &M", "-", "删除 &D"}));
    QVERIFY(m->chargeAction->isEnabled());
    QCOMPARE(m->listModel->rowCount(), 1);
    m->listGrid->setCurrentIndex(m->listModel->index(0, 0));

    dialogs.nextAs<ChargeEntryDialog>([&](ChargeEntryDialog &d) {
        QCOMPARE(d.areaBox->text(), Happy);
        QCOMPARE(d.houseRoomEdit->text(), QStringLiteral("5-101"));
        QCOMPARE(d.ownerEdit->text(), QStringLiteral("欧阳娜娜"));
        QCOMPARE(d.yearsEdit->text(), QStringLiteral("1"));
        QCOMPARE(focusIn(&d), d.yearsEdit);
        d.save();
    });
    m->gridMenu->actions().first()->trigger();
    QCOMPARE(dialogs.opened, 1);
    QCOMPARE(m_messages->entries.size(), 0);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT HNum || ' ' || JZDate FROM UCharge")), QStringLiteral("5-101 2023-05-01"));
    // The list shows the paid-up date the payment moved.
    QCOMPARE(m->currentValue(QStringLiteral("到期日期")), QStringLiteral("2023-05-01"));

    // Ctrl+Enter in the list does the same.
    dialogs.nextAs<ChargeEntryDialog>([&](ChargeEntryDialog &d) { QCOMPARE(d.houseRoomEdit->text(), QStringLiteral("5-101")); });
    QApplication::setActiveWindow(m);
    m->listGrid->setFocus();
    QTest::keyClick(m->listGrid, Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(dialogs.opened, 2);
    delete m;

    // The query and the arrears lists have it as their pop-up menu.
    auto *q = new OwnerQueryWindow;
    q->show();
    q->runQuery();
    QCOMPARE(q->gridMenu->actions(), QList<QAction *>{q->chargeAction});
    q->listGrid->setCurrentIndex(q->listModel->index(1, 0));
    dialogs.nextAs<ChargeEntryDialog>([&](ChargeEntryDialog &d) { QCOMPARE(d.houseRoomEdit->text(), QStringLiteral("5-102")); });
    q->chargeHouse();
    QCOMPARE(dialogs.opened, 3);
    delete q;

    auto *a = new ArrearsReminderWindow;
    a->show();
    a->runQuery();
    QCOMPARE(a->gridMenu->actions(), QList<QAction *>{a->chargeAction});
    QVERIFY(a->listModel->rowCount() > 0);
    a->listGrid->setCurrentIndex(a->listModel->index(0, 0));
    const QString room = a->currentValue(QStringLiteral("房号"));
    dialogs.nextAs<ChargeEntryDialog>([&](ChargeEntryDialog &d) { QCOMPARE(d.houseRoomEdit->text(), room); });
    a->chargeHouse();
    QCOMPARE(dialogs.opened, 4);
    delete a;
}

void TestDesk::chargeNeedsTheRole()
{
    m_db->exec(QStringLiteral("INSERT INTO SUser (theName, thePass, theRole) VALUES ('小查', '580913', '查询员'), ('小收', '580913', '收费员')"));
    ScriptedDialogs dialogs;
    m_db->login(QDate::currentDate(), QStringLiteral("小查")); // the only date they may take
    auto *q = new OwnerQueryWindow;
    q->show();
    q->runQuery();
    QVERIFY(!q->chargeAction->isEnabled());
    q->listGrid->setCurrentIndex(q->listModel->index(0, 0));
    q->chargeHouse();
    QCOMPARE(dialogs.opened, 0);
    delete q;

    m_db->login(QDate::currentDate(), QStringLiteral("小收"));
    auto *m = new OwnerManagementWindow;
    QVERIFY(m->chargeAction->isEnabled());
    delete m;
}

QTEST_MAIN(TestDesk)
#include "tst_desk.moc"
