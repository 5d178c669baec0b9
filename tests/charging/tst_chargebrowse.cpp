#include "app/MainWindow.h"
#include "charging/ChargeStatements.h"
#include "charging/ChargeManagementWindow.h"
#include "charging/ChargeQueryWindow.h"
#include "data/Schema.h"
#include "data/DataModule.h"
#include "db/Numbers.h"
#include "output/PrintModule.h"
#include "output/UiSheetOpener.h"
#include "owners/ArrearsReminderWindow.h"
#include "tests/output/XlsxProbe.h"
#include "tests/report/ReportProbe.h"
#include "tests/support/Doubles.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"
#include "widgets/DatePicker.h"
#include "widgets/LookupCombo.h"
#include "browse/QueryModel.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>

namespace {

// Payments in the order they were stored (ID 1..6); the fourth is deleted.
void addPayments(TestDb &db)
{
    db.exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('阳光小区'), ('翠园')"));
    db.exec(QStringLiteral("INSERT INTO SMType (theName) VALUES ('现金'), ('微信')"));
    db.exec(QStringLiteral("INSERT INTO SUser (theName, thePass) VALUES ('收费员', '1'), ('管理员2', '1')"));
    HouseBuilder().area(QStringLiteral("翠园")).room(QStringLiteral("1-202")).floorArea(100).purpose(QStringLiteral("住宅"))
        .price(20).paidUpTo(QStringLiteral("2026-10-08")).owner(QStringLiteral("李四")).deleted().insert(db);
    struct P {
        const char *num, *date, *area, *room, *name, *money, *method, *payee, *remark, *del;
    };
    const P payments[] = {
        {"2409100001", "2024-09-10", "阳光小区", "0202", "王五", "1500", "现金", "收费员", "", "否"},
        {"2410090001", "2024-10-09", "翠园", "1-202", "李四", "4000", "微信", "收费员", "补交", "否"},
        {"2410100001", "2024-10-10", "阳光小区", "0101", "张三", "2187.5", "现金", "管理员", "", "否"},
        {"2410100002", "2024-10-10", "阳光小区", "0303", "赵六", "999", "现金", "管理员", "", "是"},
        {"2410100003", "2024-10-10", "翠园", "0101", "张三丰", "1000", "现金", "管理员2", "现金补%", "否"},
        {"2410110001", "2024-10-11", "翠园", "2-101", "O'Neil", "800", "微信", "管理员", "", "否"},
    };
    for (const P &p : payments)
        ChargeRowBuilder().house(1).number(QString::fromUtf8(p.num)).chargingDate(QString::fromUtf8(p.date))
            .area(QString::fromUtf8(p.area)).room(QString::fromUtf8(p.room)).floorArea(QStringLiteral("87.5"))
            .price(QStringLiteral("25")).owner(QString::fromUtf8(p.name)).years(QStringLiteral("1"))
            .period(QStringLiteral("2024-10-16"), QStringLiteral("2025-10-15")).amount(QString::fromUtf8(p.money))
            .method(QString::fromUtf8(p.method)).payee(QString::fromUtf8(p.payee)).remark(QString::fromUtf8(p.remark))
            .deleted(QByteArray(p.del) == "是").insert(db);
}

QStringList listed(const BrowseWindow &w, const QString &column = QStringLiteral("单号"))
{
    QStringList r;
    w.listModel->fetchAll();
    for (int i = 0; i < w.listModel->rowCount(); ++i)
        r << w.listModel->value(i, column);
    return r;
}

// Keeps every workbook of a test in its own temporary folder.
struct ExportFolder {
    QTemporaryDir dir;
    QByteArray old = qgetenv("TMPDIR");
    ExportFolder() { qputenv("TMPDIR", QFile::encodeName(dir.path())); }
    ~ExportFolder() { qputenv("TMPDIR", old); }
};

} // namespace

class TestChargeBrowse : public QObject {
    Q_OBJECT
private slots:
    void opens();
    void defaultRange_data();
    void defaultRange();
    void inputsTickTheirBoxes();
    void criteria_data();
    void criteria();
    void refusedStatementKeepsFooter();
    void reprint();
    void excel();
    void menuOpensEachScreen();
    void everyHeadingSortsLikeAFullRead();
};

void TestChargeBrowse::opens()
{
    TestDb db;
    db.login(QDate(2024, 10, 10));
    MessageRecorder boxes;
    for (int screen = 0; screen < 2; ++screen) {
        std::unique_ptr<ChargeBrowseWindow> w;
        if (screen == 0)
            w.reset(new ChargeManagementWindow);
        else
            w.reset(new ChargeQueryWindow);
        QCOMPARE(w->windowTitle(), screen == 0 ? QStringLiteral("收费管理") : QStringLiteral("收费查询"));
        QStringList captions;
        for (int i = 1; i <= 8; ++i) {
            captions << w->checkBox(i)->text();
            QVERIFY(!w->checkBox(i)->isChecked());
        }
        QCOMPARE(captions, (QStringList{"单       号", "收费日期", "小区名称", "房       号", "业主名称", "收款方式",
                                        "收  款  人", "备       注"}));
        QCOMPARE(w->fromPicker->text(), QStringLiteral("2024-09-10"));
        QCOMPARE(w->toPicker->text(), QStringLiteral("2024-10-10"));
        QCOMPARE(w->listModel->rowCount(), 0);
        QVERIFY(w->waitForFigures());
        QCOMPARE(w->countLabel->text(), QString());
        QCOMPARE(w->excelButton != nullptr, screen == 1);
        if (w->excelButton)
            QVERIFY(!w->excelButton->isEnabled());
    }
    QCOMPARE(boxes.entries.size(), 0);
}

void TestChargeBrowse::defaultRange_data()
{
    QTest::addColumn<QDate>("charging");
    QTest::addColumn<QDate>("from");
    QTest::newRow("leap February end") << QDate(2024, 3, 31) << QDate(2024, 2, 29);
    QTest::newRow("common February end") << QDate(2023, 3, 30) << QDate(2023, 2, 28);
    QTest::newRow("into last year") << QDate(2024, 1, 15) << QDate(2023, 12, 15);
    QTest::newRow("30-day month") << QDate(2024, 5, 31) << QDate(2024, 4, 30);
}

void TestChargeBrowse::defaultRange()
{
    QFETCH(QDate, charging);
    QFETCH(QDate, from);
    QCOMPARE(ChargeStatements::defaultFrom(charging), from);
    TestDb db;
    db.login(charging);
    ChargeQueryWindow w;
    QCOMPARE(w.fromPicker->date(), from);
    QCOMPARE(w.toPicker->date(), charging);
    QVERIFY(!w.chargeDateCheck->isChecked());
    // Ticked by hand without touching the pickers, the default range applies.
    w.chargeDateCheck->setChecked(true);
    w.runQuery();
    QCOMPARE(w.conditions, QStringLiteral(" AND (myDate Between '%1' AND '%2') ")
                            .arg(from.toString(Qt::ISODate), charging.toString(Qt::ISODate)));
}

void TestChargeBrowse::inputsTickTheirBoxes()
{
    TestDb db;
    db.login();
    addPayments(db);
    ChargeManagementWindow w;
    // Each picker, changed by the operator, ticks "收费日期".
    for (DatePicker *picker : {w.fromPicker, w.toPicker}) {
        w.chargeDateCheck->setChecked(false);
        picker->setFocus();
        QTest::keyClick(picker, Qt::Key_Up);
        QVERIFY(w.chargeDateCheck->isChecked());
    }
    w.ownerEdit->setText(QStringLiteral("张"));
    QVERIFY(w.ownerCheck->isChecked());
    w.ownerEdit->clear();
    QVERIFY(w.ownerCheck->isChecked()); // erasing leaves the box ticked
    emit w.payeeBox->picked();
    QVERIFY(w.payeeCheck->isChecked());
}

void TestChargeBrowse::criteria_data()
{
    QTest::addColumn<QString>("ticks"); // criteria ticked, by position 1..8
    QTest::addColumn<QStringList>("receipts");
    QTest::addColumn<QString>("total");

    const QStringList all{"2410110001", "2410100003", "2410100001", "2410090001", "2409100001"};
    QTest::newRow("nothing ticked: every live payment, newest first") << "" << all << "9487.5";
    QTest::newRow("one day alone")
        << "2" << QStringList{"2410100003", "2410100001"} << "3187.5";
    QTest::newRow("reversed range lists none")
        << "2r" << QStringList{} << "0";
    QTest::newRow("receipt part and the range")
        << "12" << QStringList{"2410100003", "2410100001"} << "3187.5";
    QTest::newRow("range, area and room")
        << "234" << QStringList{"2410100003"} << "1000";
    QTest::newRow("owner matches any part") << "5" << QStringList{"2410100003", "2410100001"} << "3187.5";
    QTest::newRow("payee matches exactly") << "7" << QStringList{"2410110001", "2410100001"} << "2987.5";
    QTest::newRow("method and remark") << "68" << QStringList{"2410100003"} << "1000";
    QTest::newRow("quote in a name stays one value") << "5q" << QStringList{"2410110001"} << "800";
    QTest::newRow("all eight") << "12345678"
                               << QStringList{"2410100003"} << "1000";
}

void TestChargeBrowse::criteria()
{
    QFETCH(QString, ticks);
    QFETCH(QStringList, receipts);
    QFETCH(QString, total);
    TestDb db;
    db.login();
    addPayments(db);
    MessageRecorder boxes;
    ChargeQueryWindow w;
    w.receiptNumberEdit->setText(QStringLiteral("2410"));
    w.areaBox->setKeyValue(QStringLiteral("翠园"));
    w.roomEdit->setText(QStringLiteral("0101"));
    w.ownerEdit->setText(ticks.contains(QLatin1Char('q')) ? QStringLiteral("O'Neil") : QStringLiteral("张三"));
    w.paymentMethodBox->setKeyValue(QStringLiteral("现金"));
    w.payeeBox->setKeyValue(ticks == QLatin1String("7") ? QStringLiteral("管理员") : QStringLiteral("管理员2"));
    w.remarkEdit->setText(QStringLiteral("补"));
    if (ticks.contains(QLatin1Char('2'))) {
        const bool reversed = ticks.contains(QLatin1Char('r'));
        w.fromPicker->setDate(reversed ? QDate(2024, 10, 11) : QDate(2024, 10, 10));
        w.toPicker->setDate(reversed ? QDate(2024, 10, 9) : QDate(2024, 10, 10));
    }
    for (int i = 1; i <= 8; ++i)
        w.checkBox(i)->setChecked(ticks.contains(QChar(u'0' + i)));

    w.show();
    QTest::mouseClick(w.queryButton, Qt::LeftButton);
    QCOMPARE(boxes.entries.size(), 0);
    QCOMPARE(listed(w), receipts);
    QVERIFY(w.waitForFigures());
    QCOMPARE(w.countLabel->text(), QStringLiteral("记录：%1").arg(receipts.size()));
    QCOMPARE(w.firstSumLabel->text(), QStringLiteral("收款金额：") + total);
    QVERIFY(w.excelButton->isEnabled()); // also when the list is empty
    // The totals read again under the window's criteria give the footer's sum.
    const QString sum = dataModule().db().scalar(ChargeStatements::totals(dataModule().db(), w.conditions));
    QCOMPARE(sum.isEmpty() ? 0.0 : Numbers::toDouble(sum), Numbers::toDouble(total));
}

void TestChargeBrowse::refusedStatementKeepsFooter()
{
    TestDb db;
    db.login();
    addPayments(db);
    MessageRecorder boxes;
    ChargeQueryWindow w;
    w.runQuery();
    QVERIFY(w.waitForFigures());
    QCOMPARE(w.firstSumLabel->text(), QStringLiteral("收款金额：9487.5"));
    try {
        db.exec(QStringLiteral("DROP TABLE UCharge"));
    } catch (const AppError &e) {
        QFAIL(qPrintable(e.message()));
    }
    w.runQuery();
    QCOMPARE(boxes.errors(), 1);
    QCOMPARE(w.listModel->rowCount(), 0);
    QVERIFY(w.waitForFigures());
    QCOMPARE(w.firstSumLabel->text(), QStringLiteral("收款金额：9487.5"));
    // "Excel" on the refused list says so and makes no workbook.
    ExportFolder folder;
    RecordingOpener opener;
    w.exportToExcel();
    QCOMPARE(boxes.errors(), 2);
    QCOMPARE(opener.opened.size(), 0);
}

void TestChargeBrowse::reprint()
{
    TestDb db;
    db.login();
    addPayments(db);
    MessageRecorder boxes;
    CapturePresenter presenter;
    report::setPresenter(&presenter);
    ChargeManagementWindow w;
    QCOMPARE(w.printAction->text(), QStringLiteral("打印 &P"));
    QCOMPARE(w.gridMenu->actions(), QList<QAction *>{w.printAction});
    QCOMPARE(w.listGrid->toolTip(), QStringLiteral("亲，鼠标右键，有惊喜哟！"));
    QVERIFY(!w.gridPopupAttached());

    // An empty list: nothing happens.
    w.receiptNumberEdit->setText(QStringLiteral("no such receipt"));
    w.runQuery();
    QVERIFY(w.gridPopupAttached());
    w.reprintReceipt();
    QCOMPARE(presenter.pages.size(), 0);
    QCOMPARE(boxes.entries.size(), 0);

    // On a row: that payment's receipt again, nothing stored, the row stays current.
    w.receiptNumberCheck->setChecked(false);
    w.runQuery();
    const QString before = db.scalar(QStringLiteral("SELECT group_concat(theNum || theDel || theMoney) FROM UCharge"));
    w.listGrid->setCurrentIndex(w.listModel->index(2, 0));
    w.reprintReceipt();
    QCOMPARE(boxes.entries.size(), 0);
    QCOMPARE(presenter.pages.size(), 1);
    QCOMPARE(printModule().paymentRows.value(QStringLiteral("theNum")), QStringLiteral("2410100001"));
    QCOMPARE(w.currentRow(), 2);
    QCOMPARE(db.scalar(QStringLiteral("SELECT group_concat(theNum || theDel || theMoney) FROM UCharge")), before);
    report::setPresenter(nullptr);
}

void TestChargeBrowse::excel()
{
    TestDb db;
    db.login();
    addPayments(db);
    ExportFolder folder;
    RecordingOpener opener;
    MessageRecorder boxes;
    ChargeQueryWindow w;
    QVERIFY(!w.excelButton->isEnabled());
    w.chargeDateCheck->setChecked(true);
    w.fromPicker->setDate(QDate(2024, 10, 1));
    w.toPicker->setDate(QDate(2024, 10, 11));
    w.runQuery();
    QVERIFY(w.excelButton->isEnabled());
    w.exportToExcel();
    w.exportToExcel(); // every press another workbook
    QCOMPARE(boxes.entries.size(), 0);
    QCOMPARE(opener.opened.size(), 2);
    QVERIFY(opener.opened.at(0) != opener.opened.at(1));
    QCOMPARE(w.currentRow(), 3); // the list is left on its last row
    QCOMPARE(w.listModel->columns().size(), 15);
    QVERIFY(w.listGrid->isColumnHidden(14)); // ID
    for (const auto &[column, width] : {std::pair{4, 60}, {5, 60}, {7, 60}, {10, 80}, {13, 120}})
        QCOMPARE(w.listGrid->columnWidth(column), width);

    const XlsxProbe x(opener.opened.at(1));
    QVERIFY2(x.error.isEmpty(), qPrintable(x.error));
    QCOMPARE(x.text(QStringLiteral("A1")), UnitName + QStringLiteral("收费报表"));
    QCOMPARE(x.lastRow, 4 + 3);
    const QStringList receipts{"2410110001", "2410100003", "2410100001", "2410090001"};
    for (int i = 0; i < receipts.size(); ++i) {
        QCOMPARE(x.kind(XlsxProbe::ref(i + 3, 2)), QStringLiteral("text"));
        QCOMPARE(x.text(XlsxProbe::ref(i + 3, 2)), receipts.at(i));
    }
    QCOMPARE(x.text(QStringLiteral("H3")), QStringLiteral("O'Neil"));
    QCOMPARE(x.kind(QStringLiteral("J3")), QStringLiteral("date"));
    QCOMPARE(x.text(QStringLiteral("L7")), QStringLiteral("7987.5"));
    QCOMPARE(SqlText, QStringLiteral("A2:O7"));
}

void TestChargeBrowse::menuOpensEachScreen()
{
    TestDb db;
    db.login();
    MessageRecorder boxes;
    MainWindow main;
    dataModule().setConnection(db.path(), QString::fromUtf8(Schema::DatabaseKey)); // the window sets the program's own
    main.openChargeManagement();
    main.openChargeQuery();
    main.openArrearsReminder();
    main.openChargeQuery();
    const auto subs = main.mdiArea->subWindowList();
    QCOMPARE(subs.size(), 4);
    QVERIFY(qobject_cast<ChargeManagementWindow *>(subs.at(0)->widget()));
    QVERIFY(qobject_cast<ChargeQueryWindow *>(subs.at(1)->widget()));
    QVERIFY(qobject_cast<ArrearsReminderWindow *>(subs.at(2)->widget()));
    QVERIFY(subs.at(1)->widget() != subs.at(3)->widget()); // a new instance each time
    QCOMPARE(boxes.texts().join(QLatin1Char('|')), QString());
}

QTEST_MAIN(TestChargeBrowse)
// A sort by any heading of 收费查询, either way, reads pages by their keys (the grid's
// background keys, jumping from the end to the start) that hold exactly the rows of one
// full read in that order: texts with equal values, empty and missing ones, numbers,
// dates.
void TestChargeBrowse::everyHeadingSortsLikeAFullRead()
{
    TestDb db;
    db.login();
    // 700 payments, 25 of them voided: equal values in every column, empty and missing
    // remarks, names that differ only in letter case.
    db.exec(QStringLiteral(
        "INSERT INTO UCharge (HID, theNum, myDate, AName, HNum, HArea, HPrice, HName, theCount, QSDate, JZDate, "
        "theMoney, MType, theSKR, Remark, theDel) "
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 699) "
        "SELECT i % 50 + 1, '24101' || (i % 300), "
        "CASE i % 4 WHEN 0 THEN '2024-09-01' WHEN 1 THEN '2024-09-12' ELSE '2024-10-10' END, "
        "CASE i % 3 WHEN 0 THEN '翠园' ELSE '阳光小区' END, (i % 7) || '-' || (i % 11), 50 + (i % 13) * 0.25, "
        "20 + (i % 4) * 2.5, CASE i % 5 WHEN 0 THEN '张三' WHEN 1 THEN '李四' WHEN 2 THEN 'ａnna' WHEN 3 THEN 'Anna' "
        "ELSE '王五' END, 1 + i % 3, CASE i % 4 WHEN 0 THEN '2024-10-16' ELSE '2025-10-16' END, "
        "CASE i % 5 WHEN 0 THEN '2025-10-15' WHEN 1 THEN '2026-10-15' ELSE '2027-10-15' END, 1000 + (i % 17) * 12.5, "
        "CASE i % 2 WHEN 0 THEN '微信' ELSE '现金' END, CASE i % 4 WHEN 0 THEN '收费员' ELSE '管理员' END, "
        "CASE WHEN i % 5 = 0 THEN NULL WHEN i % 3 = 0 THEN '' WHEN i % 3 = 1 THEN '补交' ELSE '现金补%' END, "
        "CASE WHEN i % 29 = 0 THEN '是' ELSE '否' END FROM n"));
    ChargeQueryWindow w;
    w.resize(1600, 560);
    showAndWait(&w);
    w.runQuery();
    QVERIFY(w.waitForFigures());
    for (const char *c : {"单号", "收费日期", "小区名称", "房号", "面积", "单价", "业主名称", "收费年数", "起始日期",
                          "截止日期", "收款金额", "收款方式", "收款人", "备注", "ID"}) {
        const QString caption = QString::fromUtf8(c);
        for (const bool descending : {false, true}) {
            const int section = w.listModel->columnIndex(caption);
            QVERIFY(section >= 0);
            w.sortByColumn(section, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
            QVERIFY(w.waitForFigures());
            const Rows all = dataModule().db().select(w.listModel->keyedList().ordered());
            QCOMPARE(all.rowCount(), 700 - 25);
            QCOMPARE(w.listModel->rowCount(), all.rowCount());
            QStringList expected, got;
            for (int r = all.rowCount() - 1; r >= 0; r -= 37) {
                expected << all.at(r, QStringLiteral("ID")) + QLatin1Char(' ') + all.at(r, caption);
                got << w.listModel->value(r, QStringLiteral("ID")) + QLatin1Char(' ') + w.listModel->value(r, caption);
            }
            QVERIFY2(got == expected, qPrintable(caption + (descending ? QStringLiteral(" ↓") : QStringLiteral(" ↑"))));
        }
    }
}

#include "tst_chargebrowse.moc"
