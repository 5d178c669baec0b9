#include "db/Numbers.h"
#include "data/DataModule.h"
#include "output/UiSheetOpener.h"
#include "owners/ArrearsStatements.h"
#include "owners/ArrearsReminderWindow.h"
#include "tests/output/XlsxProbe.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestSupport.h"
#include "widgets/DatePicker.h"
#include "widgets/LookupCombo.h"
#include "browse/QueryModel.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

namespace {

void setPeriodEnd(TestDb &db, int month, int day)
{
    db.exec(QStringLiteral("UPDATE SDept SET theEM = %1, theED = %2 WHERE ID = 1").arg(month).arg(day));
}

void addHouse(TestDb &db, const QString &area, const QString &room, const QString &floor, const QString &price,
              const QString &endDate, const QString &del = QStringLiteral("否"))
{
    db.exec(QStringLiteral("INSERT INTO UHouse (AName, theNum, theArea, HType, thePrice, EndDate, theName, thePhone, "
                           "Remark, theDel) VALUES ('%1', '%2', %3, '住宅', %4, '%5', '业主%2', '013900000000', '', '%6')")
                .arg(area, room, floor, price, endDate, del));
}

// The reminder's houses at the default reference date 2024-03-15.
void addHouses(TestDb &db)
{
    db.exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('阳光小区'), ('翠园')"));
    addHouse(db, QStringLiteral("阳光小区"), QStringLiteral("0101"), QStringLiteral("100"), QStringLiteral("20"),
             QStringLiteral("2023-12-31")); // 1 year, 2000
    addHouse(db, QStringLiteral("阳光小区"), QStringLiteral("0102"), QStringLiteral("80"), QStringLiteral("25"),
             QStringLiteral("2024-01-10")); // same calendar year: 0, listed
    addHouse(db, QStringLiteral("阳光小区"), QStringLiteral("0103"), QStringLiteral("50"), QStringLiteral("30"),
             QStringLiteral("2021-03-14")); // 3 years, 4500
    addHouse(db, QStringLiteral("阳光小区"), QStringLiteral("0104"), QStringLiteral("90"), QStringLiteral("20"),
             QStringLiteral("2024-03-15")); // the reference date itself: not listed
    addHouse(db, QStringLiteral("翠园"), QStringLiteral("0201"), QStringLiteral("70"), QStringLiteral("20"),
             QStringLiteral("2023/05/01")); // imported text that is no date: listed, owes nothing
    addHouse(db, QStringLiteral("翠园"), QStringLiteral("0202"), QStringLiteral("60"), QStringLiteral("20"),
             QStringLiteral("2020-01-01"), QStringLiteral("是")); // deleted
    addHouse(db, QStringLiteral("翠园"), QStringLiteral("0203"), QStringLiteral("100"), QStringLiteral("20"),
             QStringLiteral("2025-01-01")); // paid up
}

QStringList column(const BrowseWindow &w, const QString &caption)
{
    QStringList r;
    w.listModel->fetchAll();
    for (int i = 0; i < w.listModel->rowCount(); ++i)
        r << w.listModel->value(i, caption);
    return r;
}

QStringList redRooms(const ArrearsReminderWindow &w)
{
    QStringList r;
    for (int i = 0; i < w.listModel->rowCount(); ++i)
        if (w.rowTextColour(i) == QColor(255, 0, 0))
            r << w.listModel->value(i, QStringLiteral("房号"));
        else if (w.rowTextColour(i).isValid())
            r << QStringLiteral("other colour");
    return r;
}

// Pixels of the pure text red in the painted cells of one row.
int redPixels(ArrearsReminderWindow &w, int row)
{
    w.listGrid->viewport()->repaint();
    const QImage img = w.listGrid->viewport()->grab().toImage();
    int n = 0;
    for (int c = 0; c < w.listModel->columnCount(); ++c) {
        if (w.listGrid->isColumnHidden(c))
            continue;
        const QRect rect = w.listGrid->visualRect(w.listModel->index(row, c)).intersected(img.rect());
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x) {
                const QColor p = img.pixelColor(x, y);
                n += p.red() > 180 && p.green() < 90 && p.blue() < 90;
            }
    }
    return n;
}

} // namespace

class TestArrears : public QObject {
    Q_OBJECT
private slots:
    void opens();
    void defaultReference_data();
    void defaultReference();
    void dateClauseAlwaysLeads();
    void yearsOwed_data();
    void yearsOwed();
    void colouringFollowsThePicker();
    void excel();
    void amountsNoReceiptCanWrite_data();
    void amountsNoReceiptCanWrite();
    void totalBeyondDoubleIsAnError();
    void footerShowsEveryDigit();
};

void TestArrears::opens()
{
    TestDb db;
    setPeriodEnd(db, 3, 15);
    db.login(QDate(2024, 10, 10));
    MessageRecorder boxes;
    ArrearsReminderWindow w;
    QCOMPARE(w.windowTitle(), QStringLiteral("欠费提醒"));
    QCOMPARE(w.referencePicker->text(), QStringLiteral("2024-03-15"));
    QStringList captions;
    for (int i = 1; i <= 6; ++i) {
        captions << w.checkBox(i)->text();
        QVERIFY(!w.checkBox(i)->isChecked());
    }
    QCOMPARE(captions, (QStringList{"小区名称", "房       号", "房屋用途", "业主名称", "手机号码", "备       注"}));
    QVERIFY(!w.excelButton->isEnabled());
    QCOMPARE(w.listModel->rowCount(), 0);
    QCOMPARE(boxes.entries.size(), 0);
    // The reference date has no change handler: moving it ticks and queries nothing.
    w.referencePicker->setDate(QDate(2024, 1, 1));
    for (int i = 1; i <= 6; ++i)
        QVERIFY(!w.checkBox(i)->isChecked());
    QCOMPARE(w.listModel->rowCount(), 0);
}

void TestArrears::defaultReference_data()
{
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<QDate>("charging");
    QTest::addColumn<QDate>("expected");
    QTest::addColumn<bool>("told");
    QTest::newRow("period end in the charging year") << 3 << 15 << QDate(2024, 10, 10) << QDate(2024, 3, 15) << false;
    QTest::newRow("29 February of a leap year") << 2 << 29 << QDate(2024, 1, 2) << QDate(2024, 2, 29) << false;
    QTest::newRow("29 February of a common year") << 2 << 29 << QDate(2023, 5, 1) << QDate(2023, 2, 28) << true;
    QTest::newRow("31 April") << 4 << 31 << QDate(2024, 10, 10) << QDate(2024, 4, 30) << true;
    QTest::newRow("no month at all") << 13 << 1 << QDate(2024, 10, 10) << QDate(2024, 10, 10) << true;
}

// A period end that is no date in the charging year still opens a usable window: the
// picker holds the month's last day and the operator is told.
void TestArrears::defaultReference()
{
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(QDate, charging);
    QFETCH(QDate, expected);
    QFETCH(bool, told);
    TestDb db;
    setPeriodEnd(db, month, day);
    db.login(charging);
    MessageRecorder boxes;
    ArrearsReminderWindow w;
    QCOMPARE(w.referencePicker->date(), expected);
    QCOMPARE(boxes.entries.size(), told ? 1 : 0);
    if (told) {
        QCOMPARE(boxes.entries.first().kind, QStringLiteral("info"));
        QCOMPARE(boxes.last(), QStringLiteral("收费期截止日期 %1月%2日 在 %3 年不是有效日期，到期日期暂定为 %4，请确认后再查询。")
                                   .arg(month).arg(day).arg(charging.year()).arg(expected.toString(Qt::ISODate)));
    }
    w.runQuery();
    QCOMPARE(boxes.errors(), 0);
    QCOMPARE(w.conditions, QStringLiteral("AND (EndDate < '%1') ").arg(expected.toString(Qt::ISODate)));
}

void TestArrears::dateClauseAlwaysLeads()
{
    TestDb db;
    setPeriodEnd(db, 3, 15);
    db.login(QDate(2024, 10, 10));
    addHouses(db);
    MessageRecorder boxes;
    ArrearsReminderWindow w;
    w.runQuery();
    QCOMPARE(boxes.entries.size(), 0);
    QCOMPARE(w.conditions, QStringLiteral("AND (EndDate < '2024-03-15') "));
    // By area name and room, in the text order of the names.
    QCOMPARE(column(w, QStringLiteral("房号")), (QStringList{"0201", "0101", "0102", "0103"}));
    QCOMPARE(column(w, QStringLiteral("欠费年数")), (QStringList{"", "1", "0", "3"}));
    QCOMPARE(column(w, QStringLiteral("欠费金额")), (QStringList{"", "2000", "0", "4500"}));
    QCOMPARE(w.listModel->columns(), (QStringList{"小区名称", "房号", "面积", "房屋用途", "单价", "到期日期", "业主名称",
                                                  "手机号码", "备注", "欠费年数", "欠费金额", "ID"}));
    QVERIFY(w.listGrid->isColumnHidden(11));
    QCOMPARE(w.listGrid->columnWidth(9), 60);
    QCOMPARE(w.listGrid->columnWidth(10), 80);
    QVERIFY(w.waitForFigures());
    QCOMPARE(w.countLabel->text(), QStringLiteral("记录：4"));
    QCOMPARE(w.firstSumLabel->text(), QStringLiteral("面积：300"));
    QCOMPARE(w.secondSumLabel->text(), QStringLiteral("欠费金额：6500"));
    QVERIFY(w.excelButton->isEnabled());

    // The owner criteria narrow it further, after the date clause.
    w.areaBox->setKeyValue(QStringLiteral("阳光小区"));
    w.areaCheck->setChecked(true);
    w.roomEdit->setText(QStringLiteral("010"));
    w.runQuery();
    QCOMPARE(w.conditions, QStringLiteral("AND (EndDate < '2024-03-15') AND (AName = '阳光小区') AND (theNum LIKE '%010%' ESCAPE '!') "));
    QCOMPARE(column(w, QStringLiteral("房号")), (QStringList{"0101", "0102", "0103"}));
    QVERIFY(w.waitForFigures());
    QCOMPARE(w.secondSumLabel->text(), QStringLiteral("欠费金额：6500"));

    // Nothing in arrears: every footer figure 0.
    w.referencePicker->setDate(QDate(2000, 1, 1));
    w.runQuery();
    QCOMPARE(w.listModel->rowCount(), 0);
    QVERIFY(w.waitForFigures());
    QCOMPARE(w.countLabel->text() + w.firstSumLabel->text() + w.secondSumLabel->text(), QStringLiteral("记录：0面积：0欠费金额：0"));
}

void TestArrears::yearsOwed_data()
{
    QTest::addColumn<QString>("paidUp");
    QTest::addColumn<QDate>("reference");
    QTest::addColumn<QString>("years"); // empty: not listed
    QTest::addColumn<QString>("amount");
    QTest::newRow("year end to new year") << "2023-12-31" << QDate(2024, 1, 1) << "1" << "87.5";
    QTest::newRow("early in the year to its end") << "2023-01-01" << QDate(2024, 12, 31) << "1" << "87.5";
    QTest::newRow("same calendar year") << "2024-01-10" << QDate(2024, 3, 15) << "0" << "0";
    QTest::newRow("three calendar years") << "2021-03-14" << QDate(2024, 3, 15) << "3" << "262.5";
    QTest::newRow("paid up to the reference date") << "2024-03-15" << QDate(2024, 3, 15) << "" << "";
}

// Years by calendar years; the amount is years x area x unit price.
void TestArrears::yearsOwed()
{
    QFETCH(QString, paidUp);
    QFETCH(QDate, reference);
    QFETCH(QString, years);
    QFETCH(QString, amount);
    TestDb db;
    db.login();
    addHouse(db, QStringLiteral("阳光小区"), QStringLiteral("0101"), QStringLiteral("3.5"), QStringLiteral("25"), paidUp);
    MessageRecorder boxes;
    ArrearsReminderWindow w;
    w.referencePicker->setDate(reference);
    w.runQuery();
    QCOMPARE(boxes.entries.size(), 0);
    QCOMPARE(column(w, QStringLiteral("欠费年数")), years.isEmpty() ? QStringList() : QStringList{years});
    QCOMPARE(column(w, QStringLiteral("欠费金额")), amount.isEmpty() ? QStringList() : QStringList{amount});
    QVERIFY(w.waitForFigures());
    QCOMPARE(w.secondSumLabel->text(), QStringLiteral("欠费金额：") + (amount.isEmpty() ? QStringLiteral("0") : amount));
    if (!years.isEmpty())
        QCOMPARE(redRooms(w), QStringList{"0101"}); // listed rows are red, owing 0 years or more
}

// Red while the paid-up date lies before the picker's current date, re-decided at every
// repaint: moving the picker earlier returns rows to the ordinary colour without a query.
void TestArrears::colouringFollowsThePicker()
{
    TestDb db;
    setPeriodEnd(db, 3, 15);
    db.login(QDate(2024, 10, 10));
    addHouses(db);
    ArrearsReminderWindow w;
    w.resize(1200, 500);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.runQuery();
    // The text that is no date is listed but never red.
    QCOMPARE(redRooms(w), (QStringList{"0101", "0102", "0103"}));
    const int row0201 = 0, row0101 = 1, row0102 = 2;
    QVERIFY(redPixels(w, row0102) > 20);
    QCOMPARE(redPixels(w, row0201), 0);
    w.listGrid->setCurrentIndex(w.listModel->index(row0101, 0));

    QVERIFY(w.waitForFigures());
    const QString footer = w.countLabel->text() + w.firstSumLabel->text() + w.secondSumLabel->text();
    w.referencePicker->setDate(QDate(2024, 1, 5));
    QCOMPARE(redRooms(w), (QStringList{"0101", "0103"}));
    QCOMPARE(redPixels(w, row0102), 0);
    QVERIFY(redPixels(w, row0101) > 20); // the current row keeps its highlight and its red text
    // The figures stay those of the query.
    QVERIFY(w.waitForFigures());
    QCOMPARE(w.countLabel->text() + w.firstSumLabel->text() + w.secondSumLabel->text(), footer);
    QCOMPARE(column(w, QStringLiteral("欠费年数")), (QStringList{"", "1", "0", "3"}));

    w.referencePicker->setDate(QDate(2024, 1, 11));
    QCOMPARE(redRooms(w), (QStringList{"0101", "0102", "0103"}));
}

void TestArrears::excel()
{
    TestDb db;
    setPeriodEnd(db, 3, 15);
    db.login(QDate(2024, 10, 10));
    addHouses(db);
    QTemporaryDir tmp;
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(tmp.path()));
    struct Opener : SheetOpener {
        QStringList opened;
        bool open(const QString &path) override
        {
            opened << path;
            return true;
        }
    } opener;
    setSheetOpener(&opener);
    MessageRecorder boxes;
    ArrearsReminderWindow w;
    w.runQuery();
    w.exportToExcel();
    setSheetOpener(nullptr);
    qputenv("TMPDIR", oldTmp);
    QCOMPARE(boxes.entries.size(), 0);
    QCOMPARE(opener.opened.size(), 1);
    const XlsxProbe x(opener.opened.first());
    QVERIFY2(x.error.isEmpty(), qPrintable(x.error));
    QCOMPARE(x.text(QStringLiteral("A1")), UnitName + QStringLiteral("业主报表"));
    QCOMPARE(x.merges, QStringList{"A1:L1"});
    QCOMPARE(x.text(QStringLiteral("K2")), QStringLiteral("欠费年数"));
    QCOMPARE(x.text(QStringLiteral("L2")), QStringLiteral("欠费金额"));
    QCOMPARE(x.text(QStringLiteral("C4")), QStringLiteral("0101"));
    QCOMPARE(x.kind(QStringLiteral("G4")), QStringLiteral("text"));
    QCOMPARE(x.text(QStringLiteral("G3")), QStringLiteral("2023/05/01"));
    QCOMPARE(x.text(QStringLiteral("I4")), QStringLiteral("013900000000"));
    QCOMPARE(x.kind(QStringLiteral("K6")), QStringLiteral("number"));
    QCOMPARE(x.text(QStringLiteral("L6")), QStringLiteral("4500"));
    QCOMPARE(x.kind(QStringLiteral("L3")), QStringLiteral("blank")); // the row that owes nothing
    QCOMPARE(x.text(QStringLiteral("A7")), QStringLiteral("合计"));
    QCOMPARE(x.text(QStringLiteral("D7")), QStringLiteral("300"));
    QCOMPARE(x.text(QStringLiteral("L7")), QStringLiteral("6500"));
    QCOMPARE(x.lastRow, 7);
}

void TestArrears::amountsNoReceiptCanWrite_data()
{
    // A house of an old file (before such values were refused) beside the usual ones,
    // three calendar years behind at the reference date.
    QTest::addColumn<QString>("area");
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("refusal"); // empty: listed with this amount
    QTest::addColumn<QString>("amount");
    QTest::newRow("product beyond double") << "1e200" << "1e200" << "面积 1e+200 × 单价 1e+200 × 3 年" << "";
    QTest::newRow("from 10^13 yuan") << "1000000" << "4000000" << "面积 1000000 × 单价 4000000 × 3 年" << "";
    QTest::newRow("negative beyond 10^13") << "-1000000" << "4000000" << "面积 -1000000 × 单价 4000000 × 3 年" << "";
    QTest::newRow("just below 10^13") << "1000000" << "3333333" << "" << "9999999000000";
    QTest::newRow("huge price, tiny area") << "1e-200" << "1e200" << "" << "3";
}

// Such an amount once showed as INF (the server refused the whole list in its own words)
// and broke the totals; now the list goes when its totals arrive, naming the house to
// correct.
void TestArrears::amountsNoReceiptCanWrite()
{
    QFETCH(QString, area);
    QFETCH(QString, price);
    QFETCH(QString, refusal);
    QFETCH(QString, amount);
    TestDb db;
    setPeriodEnd(db, 3, 15);
    db.login(QDate(2024, 10, 10));
    addHouses(db);
    addHouse(db, QStringLiteral("阳光小区"), QStringLiteral("0105"), area, price, QStringLiteral("2021-03-14"));
    MessageRecorder boxes;
    ArrearsReminderWindow w;
    w.runQuery();
    if (!refusal.isEmpty()) {
        QVERIFY(w.waitForFigures());
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("欠费金额超出范围：阳光小区 0105（%1）。收据的大写金额最多写到万亿元，"
                                                           "请在业主管理中检查这些业主的面积和单价。").arg(refusal)});
        QVERIFY(!w.listModel->isOpen());
        QCOMPARE(w.listModel->rowCount(), 0);
        QVERIFY(!w.excelButton->isEnabled());
        QCOMPARE(w.secondSumLabel->text(), QStringLiteral("欠费金额："));
        // Asked directly, as the admin tool's export and the season figures ask it: the same refusal.
        QVERIFY_THROWS_EXCEPTION(AppError, ArrearsStatements::checkAmounts(dataModule().db(), QDate(2024, 3, 15),
                                                                          ArrearsStatements::dateClause(QDate(2024, 3, 15))));
        return;
    }
    QCOMPARE(boxes.entries.size(), 0);
    QCOMPARE(column(w, QStringLiteral("欠费金额")), (QStringList{"", "2000", "0", "4500", amount}));
    QVERIFY(w.waitForFigures());
    QCOMPARE(boxes.entries.size(), 0);
    QCOMPARE(w.secondSumLabel->text(), QStringLiteral("欠费金额：") + Numbers::plain(6500 + amount.toDouble()));
}

// Two houses whose areas no double can add: the footer says so in the program's words on
// both engines (the server sums exactly and is refused on reading), the list stays.
void TestArrears::totalBeyondDoubleIsAnError()
{
    TestDb db;
    setPeriodEnd(db, 3, 15);
    db.login(QDate(2024, 10, 10));
    addHouse(db, QStringLiteral("阳光小区"), QStringLiteral("0101"), QStringLiteral("1e308"), QStringLiteral("0"),
             QStringLiteral("2023-12-31"));
    addHouse(db, QStringLiteral("阳光小区"), QStringLiteral("0102"), QStringLiteral("1e308"), QStringLiteral("0"),
             QStringLiteral("2023-12-31"));
    MessageRecorder boxes;
    ArrearsReminderWindow w;
    w.runQuery();
    QCOMPARE(column(w, QStringLiteral("欠费金额")), (QStringList{"0", "0"}));
    QVERIFY(w.waitForFigures());
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("合计超出范围。")});
    QCOMPARE(w.firstSumLabel->text(), QStringLiteral("面积："));
}

// The arrears of a large district make a figure wider than the footer's usual place: every
// label is as wide as its text and none covers the next.
void TestArrears::footerShowsEveryDigit()
{
    TestDb db;
    setPeriodEnd(db, 3, 15);
    db.login(QDate(2024, 10, 10));
    db.exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('阳光小区')"));
    for (int i = 1; i <= 9; ++i)
        addHouse(db, QStringLiteral("阳光小区"), QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0')),
                 QStringLiteral("30000000.37"), QStringLiteral("10000.01"), QStringLiteral("2021-03-14"));
    MessageRecorder boxes;
    ArrearsReminderWindow w;
    w.resize(1400, 560);
    showAndWait(&w);
    w.runQuery();
    QVERIFY(w.waitForFigures());
    QCOMPARE(boxes.entries.size(), 0);
    // Thirteen digits before the point: wider than the place every label had.
    QVERIFY2(w.secondSumLabel->text().startsWith(QStringLiteral("欠费金额：8100008")), qPrintable(w.secondSumLabel->text()));
    QVERIFY2(w.secondSumLabel->fontMetrics().horizontalAdvance(w.secondSumLabel->text()) > 152, qPrintable(w.secondSumLabel->text()));
    const auto fits = [&] {
        int right = -1;
        for (int n = 1; n <= 8; ++n) {
            const QLabel *l = w.label(n);
            if (l->contentsRect().width() < l->fontMetrics().horizontalAdvance(l->text()) || l->x() <= right)
                return false;
            right = l->geometry().right();
        }
        return true;
    };
    QTRY_VERIFY(fits());
}

QTEST_MAIN(TestArrears)
#include "tst_arrears.moc"
