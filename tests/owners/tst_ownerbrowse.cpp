#include "app/MainWindow.h"
#include "charging/ChargeEntryDialog.h"
#include "report/ReportPresenter.h"
#include "data/DataModule.h"
#include "owners/OwnerEntry.h"
#include "owners/OwnerManagementWindow.h"
#include "owners/OwnerModifyDialog.h"
#include "owners/OwnerQueryWindow.h"
#include "owners/ArrearsReminderWindow.h"
#include "tests/support/Doubles.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"
#include "widgets/BrowseWindow.h"
#include "widgets/DatePicker.h"
#include "widgets/DialogRunner.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/LookupCombo.h"
#include "browse/QueryModel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>

// The filter-and-browse pattern on the two owner screens.
class TestOwnerBrowse : public QObject {
    Q_OBJECT
private slots:
    void opensEmptyAndUnticked();
    void criteriaClauses_data();
    void criteriaClauses();
    void inputsTickTheirBoxes();
    void enterRunsTheQuery();
    void gridColumnsAndWidths();
    void emptyResultFooterAndPopupDoNothing();
    void deleteAsksAndRefreshesWithOldCriteria();
    void refusedStatement();
    void popupAndExcelEnabling();
    void modifyKeepsOrRepricesAndRefreshesOnlyItsOpener();
    void staleModifyNeverUndoesAPayment();
    void largeListOpensLazilyWithExactFooter();
    void listBeingReadHoldsNothingBack();
    void menuOpensChildWindows();
    void footerWaitsForTheBackgroundFigures();
    void headingSortsTheList();
    void everyHeadingOfTheHouseListsSortsLikeAFullRead();
    void slowFirstRowsCanBeGivenUp();
    void slowSortKeepsItsWindowActive();
};

namespace {

// Live houses in two areas and one deleted house; total live area 245.75.
void seed(TestDb &db)
{
    db.exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('阳光小区', ''), ('幸福家园', '')"));
    db.exec(QStringLiteral("INSERT INTO SPrice (theName, thePrice, Remark) VALUES ('住宅', 28, ''), ('商铺', 32.5, '')"));
    const auto house = [&](const QString &area, const QString &room, double floor, const QString &purpose, double price,
                           const QString &paidUp, const QString &owner, const QString &phone, const QString &remark) {
        return HouseBuilder().area(area).room(room).floorArea(floor).purpose(purpose).price(price).paidUpTo(paidUp)
            .owner(owner).phone(phone).remark(remark);
    };
    house(QStringLiteral("阳光小区"), QStringLiteral("9"), 80.5, QStringLiteral("住宅"), 25, QStringLiteral("2024-10-10"),
          QStringLiteral("张三"), QStringLiteral("13800000001"), {}).insert(db);
    house(QStringLiteral("阳光小区"), QStringLiteral("10"), 100, QStringLiteral("商铺"), 30, QStringLiteral("2024-04-10"),
          QStringLiteral("李四"), QStringLiteral("13900000002"), QStringLiteral("拐角")).insert(db);
    house(QStringLiteral("幸福家园"), QStringLiteral("1-101"), 65.25, QStringLiteral("住宅"), 25, QStringLiteral("2023-04-10"),
          QStringLiteral("O'Brien"), {}, QStringLiteral("车库")).insert(db);
    house(QStringLiteral("幸福家园"), QStringLiteral("1-102"), 70, QStringLiteral("住宅"), 25, QStringLiteral("2023-04-10"),
          QStringLiteral("王五"), {}, {}).deleted().insert(db);
    db.login(QDate(2024, 10, 10));
}

// The rooms the grid lists, in its order (all rows fetched).
QStringList rooms(BrowseWindow &w)
{
    w.listModel->fetchAll();
    QStringList r;
    for (int i = 0; i < w.listModel->rowCount(); ++i)
        r << w.listModel->value(i, QStringLiteral("房号"));
    return r;
}

} // namespace

void TestOwnerBrowse::opensEmptyAndUnticked()
{
    TestDb db;
    seed(db);
    auto *w = new OwnerQueryWindow;
    w->show();
    QCOMPARE(w->windowTitle(), QStringLiteral("业主查询"));
    QCOMPARE(w->criteriaGroup->title(), QStringLiteral("查询条件"));
    QStringList captions;
    for (int i = 1; i <= 6; ++i) {
        QVERIFY(!w->checkBox(i)->isChecked());
        captions << w->checkBox(i)->text();
    }
    QCOMPARE(captions, QStringList({"小区名称", "房       号", "房屋用途", "业主名称", "手机号码", "备       注"}));
    QCOMPARE(w->areaBox->text(), QString());
    QCOMPARE(w->areaBox->count(), 2); // filled, but nothing chosen
    QCOMPARE(w->purposeBox->text(), QString());
    QCOMPARE(w->roomEdit->text(), QString());
    QCOMPARE(w->listModel->rowCount(), 0);
    QCOMPARE(w->listModel->columnCount(), 0);
    for (int i = 1; i <= 8; ++i)
        QCOMPARE(w->label(i)->text(), QString());
    QCOMPARE(w->queryButton->text(), QStringLiteral("查询"));
    QVERIFY(w->queryButton->isDefault());
    QCOMPARE(w->excelButton->text(), QStringLiteral("Excel"));
    QVERIFY(!w->excelButton->isEnabled());
    QCOMPARE(w->closeButton->text(), QStringLiteral("退出"));
    QCOMPARE(w->conditions, QString());
    // The criteria stand in two rows of three.
    const int y1 = w->areaCheck->y();
    QCOMPARE(w->purposeCheck->y(), y1);
    QVERIFY(w->ownerCheck->y() > y1);
    QCOMPARE(w->remarkCheck->y(), w->ownerCheck->y());
    QVERIFY(w->roomCheck->x() > w->areaCheck->x());
    delete w;
}

void TestOwnerBrowse::criteriaClauses_data()
{
    // For each criterion: a null text leaves its box unticked; any other text (the empty
    // one included) ticks it and puts the text into its input.
    QTest::addColumn<QString>("area");
    QTest::addColumn<QString>("room");
    QTest::addColumn<QString>("purpose");
    QTest::addColumn<QString>("owner");
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("remark");
    QTest::addColumn<QStringList>("rooms");
    QTest::addColumn<QString>("areaTotal");
    const QString n;
    QTest::newRow("nothing ticked: every live owner by area, then room as text")
        << n << n << n << n << n << n << QStringList{"1-101", "10", "9"} << "245.75";
    QTest::newRow("area") << "阳光小区" << n << n << n << n << n << QStringList{"10", "9"} << "180.5";
    QTest::newRow("area ticked, none chosen") << "" << n << n << n << n << n << QStringList{}
                                              << "0";
    QTest::newRow("room, any part") << n << "10" << n << n << n << n << QStringList{"1-101", "10"} << "165.25";
    QTest::newRow("room ticked, empty text: no narrowing")
        << n << "" << n << n << n << n << QStringList{"1-101", "10", "9"} << "245.75";
    QTest::newRow("purpose") << n << n << "住宅" << n << n << n << QStringList{"1-101", "9"}
                             << "145.75";
    QTest::newRow("owner with a quote finds the row")
        << n << n << n << "O'Brien" << n << n << QStringList{"1-101"} << "65.25";
    QTest::newRow("owner, letter case ignored") << n << n << n << "o'b" << n << n << QStringList{"1-101"} << "65.25";
    QTest::newRow("phone") << n << n << n << n << "1390" << n << QStringList{"10"}
                           << "100";
    QTest::newRow("remark") << n << n << n << n << n << "车" << QStringList{"1-101"}
                            << "65.25";
    QTest::newRow("several together narrow by all (AND)")
        << "阳光小区" << n << "住宅" << n << "138" << n
        << QStringList{"9"} << "80.5";
    QTest::newRow("all six, in table order")
        << "幸福家园" << "1" << "住宅" << "Brien" << "" << "库"
        << QStringList{"1-101"} << "65.25";
    // "%" and "_" typed into a text criterion are the statement's wildcards.
    QTest::newRow("wildcard %: every text") << n << "%" << n << n << n << n << QStringList{"1-101", "10", "9"} << "245.75";
    QTest::newRow("wildcard _: one character each") << n << "__" << n << n << n << n << QStringList{"1-101", "10"} << "165.25";
    QTest::newRow("wildcards % and _ together") << n << "1_1%1" << n << n << n << n
                                                << QStringList{"1-101"} << "65.25";
    QTest::newRow("wildcard beside a doubled quote")
        << n << n << n << "o'_r%n" << n << n << QStringList{"1-101"} << "65.25";
    // The escape character typed into a text criterion matches itself: "O!'B" is not
    // "O'B" (O'Brien) with its quote escaped.
    QTest::newRow("escape character stands for itself") << n << n << n << "O!'B" << n << n << QStringList{} << "0";
    QTest::newRow("a deleted house is never listed") << n << "1-102" << n << n << n << n
                                                     << QStringList{} << "0";
}

void TestOwnerBrowse::criteriaClauses()
{
    QFETCH(QString, area);
    QFETCH(QString, room);
    QFETCH(QString, purpose);
    QFETCH(QString, owner);
    QFETCH(QString, phone);
    QFETCH(QString, remark);
    QFETCH(QStringList, rooms);
    QFETCH(QString, areaTotal);
    TestDb db;
    seed(db);
    MessageRecorder rec;
    auto *w = new OwnerManagementWindow;
    w->show();
    // A text criterion is typed (typing ticks it); an empty one is ticked by a click on its box.
    const auto typeCriterion = [](QLineEdit *edit, QCheckBox *check, const QString &text) {
        if (text.isNull())
            return;
        typeText(edit, text);
        if (!check->isChecked())
            QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(4, check->height() / 2));
        QVERIFY(check->isChecked());
    };
    // Ticked in the reverse order of the boxes.
    typeCriterion(w->remarkEdit, w->remarkCheck, remark);
    typeCriterion(w->phoneEdit, w->phoneCheck, phone);
    typeCriterion(w->ownerEdit, w->ownerCheck, owner);
    if (!purpose.isNull())
        w->purposeBox->setKeyValue(purpose), w->purposeCheck->setChecked(true);
    typeCriterion(w->roomEdit, w->roomCheck, room);
    if (!area.isNull())
        w->areaBox->setKeyValue(area), w->areaCheck->setChecked(true);
    QTest::mouseClick(w->queryButton, Qt::LeftButton);
    QCOMPARE(rec.entries.size(), 0);
    QCOMPARE(::rooms(*w), rooms);
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->countLabel->text(), QStringLiteral("记录：%1").arg(rooms.size()));
    QCOMPARE(w->firstSumLabel->text(), QStringLiteral("面积：") + areaTotal);
    QCOMPARE(w->secondSumLabel->text(), QString());
    // The list the export reads again holds the same rooms in the same order.
    const Rows listed = dataModule().db().select(w->lastListStatement());
    QStringList again;
    for (int i = 0; i < listed.rowCount(); ++i)
        again << listed.at(i, QStringLiteral("房号"));
    QCOMPARE(again, rooms);
    delete w;
}

void TestOwnerBrowse::inputsTickTheirBoxes()
{
    TestDb db;
    seed(db);
    auto *w = new OwnerManagementWindow;
    w->show();
    // Typing ticks; erasing the text again leaves the box ticked.
    w->ownerEdit->setFocus();
    QTest::keyClicks(w->ownerEdit, QStringLiteral("ab"));
    QVERIFY(w->ownerCheck->isChecked());
    QTest::keyClick(w->ownerEdit, Qt::Key_Backspace);
    QTest::keyClick(w->ownerEdit, Qt::Key_Backspace);
    QCOMPARE(w->ownerEdit->text(), QString());
    QVERIFY(w->ownerCheck->isChecked());
    // A lookup list ticks when the operator picks an entry with the keyboard.
    QVERIFY(!w->purposeCheck->isChecked());
    w->purposeBox->setFocus();
    QTest::keyClick(w->purposeBox, Qt::Key_Down);
    QVERIFY(w->purposeCheck->isChecked());
    QVERIFY(!w->purposeBox->text().isEmpty());
    // Choosing by key value (as a program does) ticks nothing.
    w->areaBox->setKeyValue(QStringLiteral("阳光小区"));
    QVERIFY(!w->areaCheck->isChecked());
    for (int i : {2, 5, 6})
        QVERIFY(!w->checkBox(i)->isChecked());
    // Only the operator unticks.
    w->ownerCheck->setChecked(false);
    w->runQuery();
    // Only the purpose narrows the list.
    const QString purpose = w->purposeBox->text();
    w->listModel->fetchAll();
    QCOMPARE(w->listModel->rowCount(),
             db.count(QStringLiteral("SELECT ID FROM UHouse WHERE theDel = '否' AND HType = '%1'").arg(purpose)));
    for (int i = 0; i < w->listModel->rowCount(); ++i)
        QCOMPARE(w->listModel->value(i, QStringLiteral("房屋用途")), purpose);
    delete w;
}

void TestOwnerBrowse::enterRunsTheQuery()
{
    TestDb db;
    seed(db);
    auto *w = new OwnerQueryWindow;
    w->show();
    w->roomEdit->setFocus();
    QTest::keyClicks(w->roomEdit, QStringLiteral("9"));
    QTest::keyClick(w->roomEdit, Qt::Key_Return);
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->countLabel->text(), QStringLiteral("记录：1"));
    QVERIFY(w->excelButton->isEnabled());
    delete w;
}

void TestOwnerBrowse::gridColumnsAndWidths()
{
    TestDb db;
    seed(db);
    auto *w = new OwnerQueryWindow;
    w->show();
    w->runQuery();
    QStringList captions;
    for (int c = 0; c < w->listModel->columnCount(); ++c)
        captions << w->listModel->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(captions, QStringList({"小区名称", "房号", "面积", "房屋用途", "单价", "到期日期", "业主名称", "手机号码",
                                    "备注", "ID"}));
    QCOMPARE(w->listGrid->columnWidth(2), 60);
    QCOMPARE(w->listGrid->columnWidth(4), 60);
    QCOMPARE(w->listGrid->columnWidth(8), 120);
    QVERIFY(w->listGrid->isColumnHidden(9));
    QVERIFY(!w->listGrid->isColumnHidden(0));
    QCOMPARE(w->listGrid->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(w->listGrid->editTriggers(), QAbstractItemView::NoEditTriggers);
    // The first row is the current one.
    QCOMPARE(w->currentRow(), 0);
    QCOMPARE(w->currentValue(QStringLiteral("房号")), QStringLiteral("1-101"));
    // Widths are set again after every run, whatever the operator dragged.
    w->listGrid->setColumnWidth(2, 200);
    w->listGrid->setColumnHidden(9, false);
    w->runQuery();
    QCOMPARE(w->listGrid->columnWidth(2), 60);
    QVERIFY(w->listGrid->isColumnHidden(9));
    delete w;
}

void TestOwnerBrowse::emptyResultFooterAndPopupDoNothing()
{
    TestDb db;
    seed(db);
    MessageRecorder rec;
    ScriptedDialogs dialogs;
    auto *w = new OwnerManagementWindow;
    w->show();
    w->ownerEdit->setText(QStringLiteral("nobody"));
    w->runQuery();
    QCOMPARE(w->listModel->rowCount(), 0);
    QCOMPARE(w->listModel->columnCount(), 10); // the captions still stand
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->countLabel->text(), QStringLiteral("记录：0"));
    QCOMPARE(w->firstSumLabel->text(), QStringLiteral("面积：0"));
    QCOMPARE(w->currentRow(), -1);
    w->modifyOwner();
    w->deleteOwner();
    QCOMPARE(dialogs.opened, 0);
    QCOMPARE(rec.entries.size(), 0);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UHouse WHERE theDel = '是'")), 1);
    delete w;
}

void TestOwnerBrowse::deleteAsksAndRefreshesWithOldCriteria()
{
    TestDb db;
    seed(db);
    MessageRecorder rec;
    auto *w = new OwnerManagementWindow;
    w->show();
    w->areaBox->setKeyValue(QStringLiteral("阳光小区"));
    w->areaCheck->setChecked(true);
    w->runQuery();
    QCOMPARE(rooms(*w), QStringList({"10", "9"}));
    // The filters change, but "查询" is not pressed.
    w->ownerEdit->setText(QStringLiteral("O'Brien"));
    w->areaBox->setKeyValue(QStringLiteral("幸福家园"));

    rec.answers << false;
    w->deleteOwner();
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(rec.entries.first().kind, QStringLiteral("question"));
    QCOMPARE(rec.entries.first().caption, QStringLiteral("删除"));
    QCOMPARE(rec.entries.first().text, QStringLiteral("确认要删除吗？该删除将不可恢复！"));
    QCOMPARE(rooms(*w), QStringList({"10", "9"}));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UHouse WHERE theDel = '是'")), 1);

    rec.answers << true;
    w->listGrid->setCurrentIndex(w->listModel->index(1, 0)); // room 9
    w->deleteOwner();
    QCOMPARE(rec.entries.size(), 2);
    QCOMPARE(db.scalar(QStringLiteral("SELECT theDel FROM UHouse WHERE theNum = '9'")), QStringLiteral("是"));
    // The list and its totals are read again under the same criteria.
    QCOMPARE(rooms(*w), QStringList({"10"}));
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->firstSumLabel->text(), QStringLiteral("面积：100"));
    QCOMPARE(w->countLabel->text(), QStringLiteral("记录：1"));
    QCOMPARE(w->firstSumLabel->text(), QStringLiteral("面积：100"));
    // The row stays in the table, marked; other lists read only live rows.
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UHouse")), 4);
    auto *q = new OwnerQueryWindow;
    q->runQuery();
    QCOMPARE(rooms(*q), QStringList({"1-101", "10"}));
    delete q;
    delete w;
}

void TestOwnerBrowse::refusedStatement()
{
    TestDb db;
    seed(db);
    MessageRecorder rec;
    auto *w = new OwnerQueryWindow;
    w->show();
    // Refused on the very first "查询": nothing becomes active.
    db.exec(QStringLiteral("ALTER TABLE UHouse RENAME TO UHouseAway"));
    w->roomEdit->setText(QStringLiteral("9"));
    w->runQuery();
    QCOMPARE(rec.errors(), 1);
    QVERIFY(rec.last().contains(QStringLiteral("UHouse")));
    // The detail names the statement run: the list read by its keys.
    QVERIFY(rec.entries.last().detail.contains(QStringLiteral("UHouse")));
    QVERIFY(!w->excelButton->isEnabled());
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->countLabel->text(), QString());

    db.exec(QStringLiteral("ALTER TABLE UHouseAway RENAME TO UHouse"));
    w->runQuery();
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->countLabel->text(), QStringLiteral("记录：1"));
    QCOMPARE(w->firstSumLabel->text(), QStringLiteral("面积：80.5"));
    QVERIFY(w->excelButton->isEnabled());

    // Refused later: the grid empties, the footer keeps its texts, conditions keeps the clauses.
    db.exec(QStringLiteral("ALTER TABLE UHouse RENAME TO UHouseAway"));
    w->ownerEdit->setText(QStringLiteral("张"));
    w->runQuery();
    QCOMPARE(rec.errors(), 2);
    QCOMPARE(w->listModel->rowCount(), 0);
    QVERIFY(!w->listModel->isOpen());
    QCOMPARE(w->lastListStatement(), QString());
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->countLabel->text(), QStringLiteral("记录：1"));
    QCOMPARE(w->firstSumLabel->text(), QStringLiteral("面积：80.5"));
    QVERIFY(w->excelButton->isEnabled());
    db.exec(QStringLiteral("ALTER TABLE UHouseAway RENAME TO UHouse"));
    // The criteria of the refused query are kept: both narrow the live houses to room 9 of 张三.
    const Rows kept = dataModule().db().select(QStringLiteral("SELECT theNum FROM UHouse WHERE (theDel = '否') ") + w->conditions);
    QCOMPARE(kept.rowCount(), 1);
    QCOMPARE(kept.at(0, 0), QStringLiteral("9"));
    delete w;
}

void TestOwnerBrowse::popupAndExcelEnabling()
{
    TestDb db;
    seed(db);
    auto *m = new OwnerManagementWindow;
    m->show();
    QCOMPARE(m->listGrid->toolTip(), QStringLiteral("亲，鼠标右键，有惊喜哟！"));
    QVERIFY(!m->gridPopupAttached());
    QCOMPARE(m->listGrid->contextMenuPolicy(), Qt::PreventContextMenu);
    QVERIFY(!m->excelButton); // no "Excel" on management
    m->ownerEdit->setText(QStringLiteral("nobody"));
    m->runQuery(); // an empty result still attaches it
    QVERIFY(m->gridPopupAttached());
    QCOMPARE(m->listGrid->contextMenuPolicy(), Qt::CustomContextMenu);
    QStringList entries;
    for (QAction *a : m->gridMenu->actions())
        entries << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(entries, QStringList({"收费 &S", "-", "修改 &M", "-", "删除 &D"}));
    delete m;

    auto *q = new OwnerQueryWindow;
    q->show();
    QCOMPARE(q->gridMenu->actions(), QList<QAction *>{q->chargeAction});
    int requests = 0;
    connect(q, &BrowseWindow::excelRequested, q, [&] { ++requests; });
    QVERIFY(!q->excelButton->isEnabled());
    q->runQuery();
    QVERIFY(q->excelButton->isEnabled());
    q->ownerEdit->setText(QStringLiteral("nobody"));
    q->runQuery(); // no rows: stays enabled
    QVERIFY(q->waitForFigures());
    QCOMPARE(q->countLabel->text(), QStringLiteral("记录：0"));
    QVERIFY(q->excelButton->isEnabled());
    QTest::mouseClick(q->excelButton, Qt::LeftButton);
    QCOMPARE(requests, 1);
    // The export reads the list of the last "查询" and its totals.
    QCOMPARE(dataModule().db().count(q->lastListStatement()), 0);
    QVERIFY(q->waitForFigures());
    QCOMPARE(q->totals().columns(), QStringList{QStringLiteral("面积")});
    delete q;
}

void TestOwnerBrowse::modifyKeepsOrRepricesAndRefreshesOnlyItsOpener()
{
    TestDb db;
    seed(db);
    MessageRecorder rec;
    ScriptedDialogs dialogs;
    auto *w1 = new OwnerManagementWindow;
    auto *w2 = new OwnerManagementWindow;
    w1->show();
    w2->show();
    w1->runQuery();
    w2->runQuery();
    QCOMPARE(w1->currentValue(QStringLiteral("业主名称")), QStringLiteral("O'Brien"));

    // Opened on the current row, with the house's own stored price (25, not 住宅's 28).
    dialogs.nextAs<OwnerModifyDialog>([&](OwnerModifyDialog &d) {
        QCOMPARE(d.parent(), w1);
        QCOMPARE(d.opener.data(), w1);
        QCOMPARE(d.editedHouseId, db.scalar(QStringLiteral("SELECT ID FROM UHouse WHERE theNum = '1-101'")));
        QCOMPARE(d.areaBox->text(), QStringLiteral("幸福家园"));
        QCOMPARE(d.roomEdit->text(), QStringLiteral("1-101"));
        QCOMPARE(d.floorAreaEdit->text(), QStringLiteral("65.25"));
        QCOMPARE(d.purposeBox->text(), QStringLiteral("住宅"));
        QCOMPARE(d.priceEdit->text(), QStringLiteral("25"));
        QCOMPARE(d.paidUpPicker->date(), QDate(2023, 4, 10));
        QCOMPARE(d.ownerEdit->text(), QStringLiteral("O'Brien"));
        QCOMPARE(d.phoneEdit->text(), QString());
        QCOMPARE(d.remarkEdit->text(), QStringLiteral("车库"));
        d.ownerEdit->setText(QStringLiteral("赵六"));
        d.save();
    });
    w1->modifyOwner();
    QCOMPARE(dialogs.opened, 1);
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("业主信息 保存成功！")});
    QCOMPARE(db.scalar(QStringLiteral("SELECT thePrice FROM UHouse WHERE theNum = '1-101'")), QStringLiteral("25"));
    QCOMPARE(w1->currentValue(QStringLiteral("业主名称")), QStringLiteral("赵六"));
    QCOMPARE(w2->currentValue(QStringLiteral("业主名称")), QStringLiteral("O'Brien")); // not refreshed
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!w1->findChild<OwnerModifyDialog *>()); // the dialog lived for one change

    // Picking a purpose takes its current price; opened from the second window.
    rec.clear();
    dialogs.nextAs<OwnerModifyDialog>([&](OwnerModifyDialog &d) {
        QCOMPARE(d.opener.data(), w2);
        d.purposeBox->setKeyValue(QStringLiteral("住宅"));
        d.lookUpPrice();
        QCOMPARE(d.priceEdit->text(), QStringLiteral("28"));
        d.save();
    });
    w2->modifyOwner();
    QCOMPARE(db.scalar(QStringLiteral("SELECT thePrice FROM UHouse WHERE theNum = '1-101'")), QStringLiteral("28"));
    QCOMPARE(w2->currentValue(QStringLiteral("单价")), QStringLiteral("28"));
    // The dialog showed the house as stored, not the second window's older row.
    QCOMPARE(w2->currentValue(QStringLiteral("业主名称")), QStringLiteral("赵六"));
    QCOMPARE(w1->currentValue(QStringLiteral("单价")), QStringLiteral("25"));

    // Left with "退出": nothing written, nothing refreshed.
    rec.clear();
    dialogs.nextAs<OwnerModifyDialog>([&](OwnerModifyDialog &d) {
        d.ownerEdit->setText(QStringLiteral("不存"));
        d.closeButton->click();
    });
    w1->modifyOwner();
    QCOMPARE(rec.entries.size(), 0);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UHouse WHERE theName = '不存'")), 0);
    QCOMPARE(w1->currentValue(QStringLiteral("单价")), QStringLiteral("25"));

    // Closing a management window releases it.
    QPointer<OwnerManagementWindow> gone(w1);
    w1->closeWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(gone.isNull());
    delete w2;
}

// A list row older than a payment once wrote the old paid-up date back, and the next
// payment covered the same period again.
void TestOwnerBrowse::staleModifyNeverUndoesAPayment()
{
    TestDb db;
    seed(db);
    db.exec(QStringLiteral("INSERT INTO SMType (theName) VALUES ('现金')"));
    MessageRecorder rec;
    ScriptedDialogs dialogs;
    NoPreview preview;
    report::setPresenter(&preview);
    auto *list = new OwnerManagementWindow;
    list->show();
    list->runQuery();
    QCOMPARE(list->currentValue(QStringLiteral("房号")), QStringLiteral("1-101"));
    QCOMPARE(list->currentValue(QStringLiteral("到期日期")), QStringLiteral("2023-04-10"));

    // A payment for that house at the charge entry, while the list stays open and old.
    {
        ChargeEntryDialog charge;
        charge.show();
        charge.areaBox->setKeyValue(QStringLiteral("幸福家园"));
        charge.paymentMethodBox->setKeyValue(QStringLiteral("现金"));
        charge.roomEdit->setText(QStringLiteral("1-101"));
        charge.lookUpHouse(13);
        charge.save();
    }
    const QString paid = QStringLiteral("2024-04-10");
    QCOMPARE(db.scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE theNum = '1-101'")), paid);
    QCOMPARE(list->currentValue(QStringLiteral("到期日期")), QStringLiteral("2023-04-10"));
    rec.clear();

    // Modify from the old row, save unchanged: the dialog shows the stored date, so the
    // payment stays.
    dialogs.nextAs<OwnerModifyDialog>([&](OwnerModifyDialog &d) {
        QCOMPARE(d.paidUpPicker->date(), QDate(2024, 4, 10));
        d.save();
    });
    list->modifyOwner();
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("业主信息 保存成功！")});
    QCOMPARE(db.scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE theNum = '1-101'")), paid);

    // A payment taken while the dialog is open: the save is refused, names the change and
    // leaves the dialog open; nothing is written.
    rec.clear();
    bool stillOpen = false;
    dialogs.nextAs<OwnerModifyDialog>([&](OwnerModifyDialog &d) {
        d.remarkEdit->setText(QStringLiteral("新备注"));
        db.exec(QStringLiteral("UPDATE UHouse SET EndDate = '2025-04-10' WHERE theNum = '1-101'"));
        d.save();
        stillOpen = d.isVisible();
    });
    list->modifyOwner();
    QVERIFY(stillOpen);
    QCOMPARE(rec.errors(), 1);
    QVERIFY2(rec.last().contains(QStringLiteral("到期日期 由“2024-04-10”变为“2025-04-10”")), qPrintable(rec.last()));
    QCOMPARE(db.scalar(QStringLiteral("SELECT EndDate || Remark FROM UHouse WHERE theNum = '1-101'")),
             QStringLiteral("2025-04-10车库"));

    // Deleted meanwhile: refused as well.
    rec.clear();
    dialogs.nextAs<OwnerModifyDialog>([&](OwnerModifyDialog &d) {
        db.exec(QStringLiteral("UPDATE UHouse SET theDel = '是' WHERE theNum = '1-101'"));
        d.save();
        db.exec(QStringLiteral("UPDATE UHouse SET theDel = '否' WHERE theNum = '1-101'"));
    });
    list->modifyOwner();
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("打开修改窗口后，该业主已被删除，本次修改没有保存！")});
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UHouse WHERE theNum = '1-101' AND theDel = '否'")), 1);

    // A change of 到期日期 the operator means is saved.
    rec.clear();
    dialogs.nextAs<OwnerModifyDialog>([&](OwnerModifyDialog &d) {
        d.paidUpPicker->setDate(QDate(2023, 12, 31));
        d.save();
    });
    list->modifyOwner();
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("业主信息 保存成功！")});
    QCOMPARE(db.scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE theNum = '1-101'")), QStringLiteral("2023-12-31"));
    report::setPresenter(nullptr);
    delete list;
}

void TestOwnerBrowse::largeListOpensLazilyWithExactFooter()
{
    TestDb db;
    db.exec(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) "
        "INSERT INTO UHouse (AName, theNum, theArea, HType, thePrice, EndDate, theName, thePhone, Remark, theDel) "
        "SELECT printf('小区%02d', i % 100), printf('%05d', i), 50 + (i % 4) * 0.25, '住宅', 25, '2024-10-10', "
        "'业主', '', '', CASE WHEN i % 10 = 0 THEN '是' ELSE '否' END FROM n"));
    db.login();
    auto *w = new OwnerQueryWindow;
    w->resize(1000, 600);
    w->show();
    w->runQuery();
    QCOMPARE(w->listModel->rowCount(), QueryModel::BatchSize);
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->countLabel->text(), QStringLiteral("记录：90000"));
    QCOMPARE(w->firstSumLabel->text(), QStringLiteral("面积：") + db.scalar(QStringLiteral("SELECT ") + dataModule().db().exactSum(QStringLiteral("theArea"))
                                                            + QStringLiteral(" FROM UHouse WHERE theDel = '否'")));
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->firstSumLabel->text(), QStringLiteral("面积：4535000"));
    // Scrolling reads further rows as they come into view.
    w->listGrid->scrollToBottom();
    QCoreApplication::processEvents();
    QVERIFY(w->listModel->rowCount() > QueryModel::BatchSize);
    delete w;
}

void TestOwnerBrowse::listBeingReadHoldsNothingBack()
{
    TestDb db;
    db.exec(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) "
        "INSERT INTO UHouse (AName, theNum, theArea, thePrice, theDel) SELECT '阳光小区', i, 50, 25, '否' FROM n"));
    db.login();
    MessageRecorder rec;
    auto *w = new OwnerManagementWindow;
    w->runQuery();
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->listModel->rowCount(), 1000); // its length known, its pages read as shown

    // Another copy of the program stores a house meanwhile.
    Database other;
    other.open(db.path(), QStringLiteral("kqt472"));
    other.exec(QStringLiteral("INSERT INTO UHouse (AName, theNum, theArea, thePrice, theDel) "
                              "VALUES ('幸福家园', '1', 60, 25, '否')"));
    // This copy sees it, and writes as usual.
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UHouse WHERE AName = '幸福家园'")), 1);
    House h{QStringLiteral("幸福家园"), QStringLiteral("2"), QStringLiteral("60"), QStringLiteral("住宅"),
            QStringLiteral("25"), QStringLiteral("2025-04-10"), QStringLiteral("王五"), {}, {}};
    QVERIFY(OwnerEntry::add(h));
    QCOMPARE(rec.entries.size(), 0);
    // The grid goes on reading its own list by the keys of its pages.
    QCOMPARE(w->listModel->value(999, QStringLiteral("房号")), QStringLiteral("999"));
    QCOMPARE(w->listModel->value(0, QStringLiteral("房号")), QStringLiteral("1"));
    QCOMPARE(w->listModel->rowCount(), 1000);
    w->runQuery();
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->countLabel->text(), QStringLiteral("记录：1002"));
    delete w;
}

void TestOwnerBrowse::menuOpensChildWindows()
{
    TestDb db;
    seed(db);
    MainWindow main;
    dataModule().setConnection(db.path(), QStringLiteral("kqt472"));
    main.show();
    main.action(QStringLiteral("业主管理"))->trigger();
    main.action(QStringLiteral("业主管理"))->trigger();
    main.findChild<QAction *>(QStringLiteral("tool_业主查询"))->trigger();
    const QList<QMdiSubWindow *> subs = main.mdiArea->subWindowList();
    QCOMPARE(subs.size(), 3);
    QVERIFY(qobject_cast<OwnerManagementWindow *>(subs.at(0)->widget()));
    QVERIFY(qobject_cast<OwnerManagementWindow *>(subs.at(1)->widget()));
    QVERIFY(qobject_cast<OwnerQueryWindow *>(subs.at(2)->widget()));
    QVERIFY(subs.at(2)->isMaximized());
    QCOMPARE(subs.at(2)->windowTitle(), QStringLiteral("业主查询"));
    // Each window keeps its own criteria and list.
    auto *first = static_cast<OwnerManagementWindow *>(subs.at(0)->widget());
    auto *second = static_cast<OwnerManagementWindow *>(subs.at(1)->widget());
    first->roomEdit->setText(QStringLiteral("9"));
    first->runQuery();
    second->runQuery();
    QVERIFY(first->waitForFigures());
    QCOMPARE(first->countLabel->text(), QStringLiteral("记录：1"));
    QVERIFY(second->waitForFigures());
    QCOMPARE(second->countLabel->text(), QStringLiteral("记录：3"));
    // "退出" closes the child window and releases it.
    QPointer<QMdiSubWindow> sub(subs.at(0));
    QPointer<OwnerManagementWindow> screen(first);
    first->closeWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(screen.isNull());
    QVERIFY(sub.isNull());
    QCOMPARE(main.mdiArea->subWindowList().size(), 2);
}

namespace {
void addManyHouses(TestDb &db, int n)
{
    db.exec(QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                "INSERT INTO UHouse (AName, theNum, theArea, HType, thePrice, EndDate, theName, thePhone, Remark, theDel) "
                "SELECT printf('小区%02d', i % 7), printf('%05d', i), 50 + (i % 4) * 0.25, '住宅', 25, '2024-10-10', "
                "'业主' || (i % 13), '', CASE WHEN i % 5 = 0 THEN NULL ELSE 'r' || (i % 3) END, '否' FROM n")
                .arg(n));
}

QStringList column(BrowseWindow &w, const QString &caption, const QList<int> &rows)
{
    QStringList r;
    for (int row : rows)
        r << w.listModel->value(row, caption);
    return r;
}
} // namespace

// "查询" shows its first rows at once and says the footer is being counted; the figures
// follow from the background. A second "查询" before they arrive cancels them: the footer
// then holds the second list's figures, never the first's.
void TestOwnerBrowse::footerWaitsForTheBackgroundFigures()
{
    TestDb db;
    addManyHouses(db, 3000);
    db.login();
    MessageRecorder rec;
    OwnerQueryWindow w;
    w.runQuery();
    QCOMPARE(w.listModel->rowCount(), QueryModel::BatchSize);
    QCOMPARE(w.countLabel->text(), QStringLiteral("记录：统计中…"));
    QCOMPARE(w.firstSumLabel->text(), QStringLiteral("面积：统计中…"));
    QVERIFY(w.waitForFigures());
    QCOMPARE(w.countLabel->text(), QStringLiteral("记录：3000"));
    QCOMPARE(w.firstSumLabel->text(), QStringLiteral("面积：") + db.scalar(QStringLiteral("SELECT ") + dataModule().db().exactSum(QStringLiteral("theArea")) + QStringLiteral(" FROM UHouse")));
    QCOMPARE(w.listModel->rowCount(), 3000); // every page's keys have arrived as well

    w.runQuery();
    w.roomEdit->setText(QStringLiteral("001"));
    w.runQuery(); // the first one's figures are cancelled
    QCOMPARE(w.countLabel->text(), QStringLiteral("记录：统计中…"));
    QVERIFY(w.waitForFigures());
    QCoreApplication::processEvents();
    const int rooms = db.count(QStringLiteral("SELECT ID FROM UHouse WHERE theNum LIKE '%001%'"));
    QCOMPARE(w.countLabel->text(), QStringLiteral("记录：%1").arg(rooms));
    QCOMPARE(w.firstSumLabel->text(), QStringLiteral("面积：") + db.scalar(QStringLiteral("SELECT ") + dataModule().db().exactSum(QStringLiteral("theArea"))
                                                        + QStringLiteral(" FROM UHouse WHERE theNum LIKE '%001%'")));
    QCOMPARE(w.listModel->rowCount(), rooms);
    QCOMPARE(rec.entries.size(), 0);
}

// A click on a heading orders the list by that column, each further click on it the other
// way, a click on another heading by that one from the lowest; the grid then reads the same
// rows in the same order as the whole list read with that order, at the start, the middle
// and the end, and the next "查询" keeps the order. The clicks are the mouse's, on the
// heading itself (which turns its own indicator round at each click).
void TestOwnerBrowse::headingSortsTheList()
{
    TestDb db;
    addManyHouses(db, 2000);
    db.login();
    MessageRecorder rec;
    OwnerQueryWindow w;
    w.resize(1600, 560);
    showAndWait(&w);
    w.runQuery();
    QVERIFY(w.waitForFigures());
    const QList<int> rows{0, 1, 999, 1000, 1998, 1999};
    auto expected = [&](const QString &order) {
        const Rows all = dataModule().db().select(QStringLiteral("SELECT ID FROM UHouse ORDER BY ") + order);
        QStringList r;
        for (int row : rows)
            r << all.at(row, 0);
        return r;
    };
    QHeaderView *heading = w.listGrid->horizontalHeader();
    struct Click {
        const char *caption;
        const char *order;
        Qt::SortOrder indicator;
    };
    const Click clicks[] = {{"备注", "Remark, ID", Qt::AscendingOrder},
                            {"备注", "Remark DESC, ID DESC", Qt::DescendingOrder},
                            {"备注", "Remark, ID", Qt::AscendingOrder},
                            {"房号", "theNum, ID", Qt::AscendingOrder},
                            {"房号", "theNum DESC, ID DESC", Qt::DescendingOrder},
                            {"房号", "theNum, ID", Qt::AscendingOrder},
                            {"备注", "Remark, ID", Qt::AscendingOrder},
                            {"备注", "Remark DESC, ID DESC", Qt::DescendingOrder}};
    for (const Click &c : clicks) {
        const int section = w.listModel->columnIndex(QString::fromUtf8(c.caption));
        const QPoint at(heading->sectionViewportPosition(section) + heading->sectionSize(section) / 2, heading->height() / 2);
        QVERIFY(heading->viewport()->rect().contains(at));
        QTest::mouseClick(heading->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QVERIFY(w.waitForFigures());
        QCOMPARE(w.listModel->rowCount(), 2000);
        QCOMPARE(column(w, QStringLiteral("ID"), rows), expected(QString::fromUtf8(c.order)));
        QCOMPARE(w.currentRow(), 0);
        QVERIFY(heading->isSortIndicatorShown());
        QCOMPARE(heading->sortIndicatorSection(), section);
        QCOMPARE(heading->sortIndicatorOrder(), c.indicator);
    }
    w.runQuery();
    QVERIFY(w.waitForFigures());
    QCOMPARE(column(w, QStringLiteral("ID"), rows), expected(QStringLiteral("Remark DESC, ID DESC")));
    QCOMPARE(w.countLabel->text(), QStringLiteral("记录：2000"));
    QCOMPARE(rec.entries.size(), 0);
}

namespace {
// A list whose first row costs the engine a long time (every row counts a triple join of
// the houses), or, once `slow` is off, the plain list of houses.
class SlowList : public BrowseWindow {
public:
    SlowList() : BrowseWindow(setup()) {}
    bool slow = true;

protected:
    QString listSql() const override
    {
        return QStringLiteral("SELECT theNum AS 房号, theArea AS 面积, ID FROM UHouse a WHERE (theDel = '否') ")
            + (slow ? QStringLiteral("AND ((SELECT COUNT(*) FROM UHouse b, UHouse c, UHouse d "
                                     "WHERE b.ID <> a.ID + c.ID + d.ID) >= 0) ")
                    : QString())
            + conditions + QStringLiteral("ORDER BY ID DESC");
    }
    QString totalsSql() const override
    {
        return QStringLiteral("SELECT ") + dataModule().db().exactSum(QStringLiteral("theArea")) + QStringLiteral(" AS 面积 FROM UHouse WHERE (theDel = '否') ") + conditions;
    }

private:
    static BrowseSetup setup()
    {
        BrowseSetup s;
        s.caption = QStringLiteral("慢列表");
        s.sums = {{QStringLiteral("面积"), QStringLiteral("面积：")}};
        return s;
    }
};
} // namespace

// A list whose first rows take long is read while the window answers (its buttons held
// back); after half a second the progress window offers 取消, and giving up stops the
// statement and leaves an empty grid and a blank footer, no error. The next "查询" lists
// as usual on the same connection.
void TestOwnerBrowse::slowFirstRowsCanBeGivenUp()
{
    TestDb db;
    addManyHouses(db, 300);
    db.login();
    MessageRecorder rec;
    SlowList w;
    w.show();
    bool answered = false, heldBack = false;
    QTimer::singleShot(0, &w, [&] { answered = true; });
    QTimer giveUp;
    giveUp.setInterval(20);
    QObject::connect(&giveUp, &QTimer::timeout, &w, [&] {
        auto *progress = w.findChild<QProgressDialog *>();
        if (progress && progress->isVisible()) {
            heldBack = !w.queryButton->isEnabled() || !w.isEnabled();
            progress->cancel();
        }
    });
    giveUp.start();
    QCOMPARE(w.requery(), false);
    giveUp.stop();
    QVERIFY(answered);
    QVERIFY(heldBack);
    QVERIFY(w.isEnabled());
    QCOMPARE(w.listModel->rowCount(), 0);
    QCOMPARE(w.countLabel->text(), QStringLiteral("记录："));
    QCOMPARE(w.firstSumLabel->text(), QStringLiteral("面积："));
    QCOMPARE(rec.entries.size(), 0);

    w.slow = false;
    w.runQuery();
    QVERIFY(w.waitForFigures());
    QCOMPARE(w.listModel->rowCount(), 300);
    QCOMPARE(w.countLabel->text(), QStringLiteral("记录：300"));
    QCOMPARE(w.currentValue(QStringLiteral("房号")), QStringLiteral("00300"));
    QCOMPARE(rec.entries.size(), 0);
}

// A slow re-sort of one of two lists in the main window: the progress window comes and
// goes, and the list being sorted stays the active one with the focus where it was, also
// once the main window is active again after the progress window.
// Every heading of 业主查询 and 欠费提醒, both ways: the pages the list reads in that order
// (its first page and the keys of the others) give what one full read in that order gives.
void TestOwnerBrowse::everyHeadingOfTheHouseListsSortsLikeAFullRead()
{
    TestDb db;
    // 600 houses, 20 of them deleted: equal values in every column, empty and missing
    // remarks and phones, names that differ only in letter case, paid-up dates that are no
    // date, areas and prices with many decimals.
    db.exec(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 599) "
        "INSERT INTO UHouse (AName, theNum, theArea, HType, thePrice, EndDate, theName, thePhone, Remark, theDel) "
        "SELECT CASE i % 3 WHEN 0 THEN '翠园' ELSE '阳光小区' END, (i % 7) || '-' || (i % 41), "
        "50 + (i % 13) * 0.25 + CASE WHEN i % 50 = 0 THEN 0.001 ELSE 0 END, CASE i % 2 WHEN 0 THEN '住宅' ELSE '商铺' END, "
        "20 + (i % 4) * 2.5, CASE i % 6 WHEN 0 THEN '2023-10-10' WHEN 1 THEN '2024-04-10' WHEN 2 THEN '' "
        "WHEN 3 THEN '2021-12-31' WHEN 4 THEN '不详' ELSE '2026-04-10' END, "
        "CASE i % 5 WHEN 0 THEN '张三' WHEN 1 THEN '李四' WHEN 2 THEN 'ａnna' WHEN 3 THEN 'Anna' ELSE '王五' END, "
        "CASE WHEN i % 4 = 0 THEN NULL WHEN i % 4 = 1 THEN '' ELSE '1390000' || (i % 9) END, "
        "CASE WHEN i % 5 = 0 THEN NULL WHEN i % 3 = 0 THEN '' WHEN i % 3 = 1 THEN '补交' ELSE '现金补%' END, "
        "CASE WHEN i % 31 = 0 THEN '是' ELSE '否' END FROM n"));
    db.login();
    MessageRecorder rec;
    OwnerQueryWindow owners;
    ArrearsReminderWindow arrears;
    arrears.referencePicker->setDateQuietly(QDate(2025, 12, 1));
    for (BrowseWindow *w : {static_cast<BrowseWindow *>(&owners), static_cast<BrowseWindow *>(&arrears)}) {
        w->resize(1600, 560);
        showAndWait(w);
        w->runQuery();
        QVERIFY(w->waitForFigures());
        const int listed = w->listModel->rowCount();
        QVERIFY(listed > 100);
        for (int section = 0; section < w->listModel->columnCount(); ++section) {
            const QString caption = w->listModel->headerData(section, Qt::Horizontal).toString();
            for (const bool descending : {false, true}) {
                w->sortByColumn(section, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
                QVERIFY(w->waitForFigures());
                const Rows all = dataModule().db().select(w->listModel->keyedList().ordered());
                QCOMPARE(all.rowCount(), listed);
                QCOMPARE(w->listModel->rowCount(), listed);
                QStringList expected, got;
                for (int r = 0; r < listed; r += (r % 7 == 0 ? 1 : 13)) {
                    expected << all.at(r, QStringLiteral("ID")) + QLatin1Char(' ') + all.at(r, caption);
                    got << w->listModel->value(r, QStringLiteral("ID")) + QLatin1Char(' ') + w->listModel->value(r, caption);
                }
                QVERIFY2(got == expected, qPrintable(w->windowTitle() + QLatin1Char(' ') + caption
                                                     + (descending ? QStringLiteral(" ↓") : QStringLiteral(" ↑"))));
            }
        }
    }
}

void TestOwnerBrowse::slowSortKeepsItsWindowActive()
{
    TestDb db;
    addManyHouses(db, 300);
    db.login();
    MessageRecorder rec;
    MainWindow main;
    dataModule().setConnection(db.path(), QStringLiteral("kqt472"));
    showAndWait(&main);
    main.findChild<QAction *>(QStringLiteral("tool_业主查询"))->trigger(); // another list, opened first
    auto *list = new SlowList;
    list->slow = false;
    QMdiSubWindow *sub = main.mdiArea->addSubWindow(list);
    sub->showMaximized();
    main.mdiArea->setActiveSubWindow(sub);
    list->runQuery();
    QVERIFY(list->waitForFigures());
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    list->listGrid->setFocus();
    QCOMPARE(QApplication::focusWidget(), list->listGrid);

    list->slow = true;
    bool progressShown = false;
    QTimer giveUp;
    giveUp.setInterval(20);
    QObject::connect(&giveUp, &QTimer::timeout, &main, [&] {
        auto *progress = list->findChild<QProgressDialog *>();
        if (progress && progress->isVisible()) {
            progressShown = true;
            progress->cancel();
        }
    });
    giveUp.start();
    QHeaderView *heading = list->listGrid->horizontalHeader();
    const int section = list->listModel->columnIndex(QStringLiteral("房号"));
    QTest::mouseClick(heading->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(heading->sectionViewportPosition(section) + 5, heading->height() / 2));
    giveUp.stop();
    QVERIFY(progressShown);
    QCOMPARE(main.mdiArea->activeSubWindow(), sub);
    // The desktop makes the main window active again once the progress window is gone.
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    QCoreApplication::processEvents();
    QCOMPARE(main.mdiArea->activeSubWindow(), sub);
    QCOMPARE(QApplication::focusWidget(), list->listGrid);
    QCOMPARE(rec.entries.size(), 0);
}

QTEST_MAIN(TestOwnerBrowse)
#include "tst_ownerbrowse.moc"
