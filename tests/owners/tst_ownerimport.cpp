#include "db/Sql.h"
#include "data/DataModule.h"
#include "owners/OwnerImport.h"
#include "sheets/SheetModel.h"
#include "sheets/SheetReader.h"
#include "owners/OwnerImportDialog.h"
#include "tests/support/Doubles.h"
#include "tests/support/ImportFiles.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"
#include "widgets/LookupCombo.h"

#include <QAbstractItemModelTester>
#include <QGroupBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <limits>

using namespace ImportFiles;

class TestOwnerImport : public QObject {
    Q_OBJECT
private slots:
    void addsNewRoomsOnly_data();
    void addsNewRoomsOnly();
    void storesValuesAsEnteredByHand();
    void paidUpDatesInUsualForms_data();
    void paidUpDatesInUsualForms();
    void missingHeadingWritesNothing_data();
    void missingHeadingWritesNothing();
    void storedHouseIsNotCheckedAgain();
    void sheetInNoOrderIntoALargeArea();
    void refusedRowKeepsTheRowsBefore_data();
    void refusedRowKeepsTheRowsBefore();
    void nulInACellIsRefusedAtItsRow();
    void impossibleNumbersAreRefused_data();
    void impossibleNumbersAreRefused();
    void skippedRowsLeaveTheOthersInOrder();
    void cancelledImportKeepsWholeBatches();

    void windowOpensEmpty();
    void openShowsThePreview();
    void emptySheetsAndFailedOpens();
    void narrowSheetPreviews();
    void importNeedsAnArea();
    void importReportsAndCloses();
    void quickImportShowsNoProgressOverItsResult();
    void refusedRowKeepsWindowOpen();

    void adminImport();

private:
    QTemporaryDir m_dir;
};

namespace {

const QString East = QStringLiteral("东区");

Row headingRow()
{
    Row r;
    for (const QString &h : OwnerImport::headings())
        r << h;
    return r;
}

Row house(const QVariant &room, const QVariant &area = 50, const QVariant &owner = QStringLiteral("业主"))
{
    return {room, area, QStringLiteral("住宅"), 22, QDate(2024, 10, 31), owner, QStringLiteral("13800000000"), QString()};
}

// A sheet as the reader gives it, made from a real file.
Sheet sheetOf(const QTemporaryDir &dir, const QList<Row> &rows)
{
    static int n = 0;
    const QString path = dir.filePath(QStringLiteral("sheet%1.xlsx").arg(++n));
    if (!writeXlsx(path, rows, n % 2 == 0))
        qFatal("cannot write %s", qPrintable(path));
    return SheetReader::read(path);
}

struct ImportDb {
    TestDb db;
    ImportDb()
    {
        db.login(QDate(2024, 10, 10));
        db.exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('东区'), ('西区')"));
    }
    int houses(const QString &area = East)
    {
        return db.count(QStringLiteral("SELECT ID FROM UHouse WHERE theDel = '否' AND AName = ") + Sql::quote(area));
    }
};

struct Window {
    ImportDb data;
    MessageRecorder rec;
    QStringList chosen; // files the test "picks" in the file dialog, first to last
    QStringList filters;
    OwnerImportDialog w;
    Window()
    {
        OwnerImportDialog::setFileChooser([this](QWidget *, const QString &filter) {
            filters << filter;
            return chosen.isEmpty() ? QString() : chosen.takeFirst();
        });
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
    }
    ~Window() { OwnerImportDialog::setFileChooser(nullptr); }
    void open(const QString &path)
    {
        chosen << path;
        w.chooseWorkbook();
    }
};

QString fixture(const QString &name)
{
    return QStringLiteral(TEST_FIXTURES_DIR "/import/") + name;
}

} // namespace

void TestOwnerImport::addsNewRoomsOnly_data()
{
    QTest::addColumn<QStringList>("existing"); // UHouse rows there before: "area|room|theDel"
    QTest::addColumn<QStringList>("rooms");    // the sheet's room numbers ("" = none)
    QTest::addColumn<int>("added");
    QTest::addColumn<int>("passedOver");       // rows with a room number not added
    QTest::addColumn<QStringList>("stored");   // live rooms of 东区 afterwards

    QTest::newRow("one exists, one without room") << QStringList{"东区|1-101|否"} << QStringList{"1-101", "", "1-102"} << 1
                                                  << 1 << QStringList{"1-101", "1-102"};
    QTest::newRow("same room in another area") << QStringList{"西区|1-101|否"} << QStringList{"1-101", "1-102"} << 2
                                               << 0 << QStringList{"1-101", "1-102"};
    QTest::newRow("deleted house is no duplicate") << QStringList{"东区|1-101|是"} << QStringList{"1-101"} << 1 << 0
                                                   << QStringList{"1-101"};
    QTest::newRow("room twice in the sheet") << QStringList{} << QStringList{"2-1", "2-2", "2-1"} << 2 << 1
                                             << QStringList{"2-1", "2-2"};
    QTest::newRow("letters compare without case") << QStringList{} << QStringList{"A-1", "a-1"} << 1 << 1
                                                  << QStringList{"A-1"};
    QTest::newRow("cleaned room is compared") << QStringList{"东区|B 1|否"} << QStringList{"B?1", "C\"1", "C1"} << 1
                                              << 2 << QStringList{"B 1", "C1"};
    QTest::newRow("room that cleaning empties") << QStringList{} << QStringList{"\"\""} << 0 << 0 << QStringList{};
    QTest::newRow("no rows") << QStringList{} << QStringList{} << 0 << 0 << QStringList{};
    QTest::newRow("texts with marks of a list's syntax")
        << QStringList{"东区|{1,2}|否"} << QStringList{"NULL", "\\1", "{1,2}", "a b,\"c\"}", "null", "\\1"} << 3 << 3
        << QStringList{"{1,2}", "NULL", "\\1", "a b,c}"};
}

void TestOwnerImport::addsNewRoomsOnly()
{
    QFETCH(QStringList, existing);
    QFETCH(QStringList, rooms);
    QFETCH(int, added);
    QFETCH(int, passedOver);
    QFETCH(QStringList, stored);
    ImportDb d;
    for (const QString &e : existing) {
        const QStringList f = e.split(QLatin1Char('|'));
        d.db.exec(QStringLiteral("INSERT INTO UHouse (AName, theNum, theArea, thePrice, theDel) VALUES (%1, %2, 1, 1, %3)")
                      .arg(Sql::quote(f[0]), Sql::quote(f[1]), Sql::quote(f[2])));
    }
    QList<Row> rows{headingRow()};
    for (const QString &r : rooms)
        rows << house(r.isEmpty() ? QVariant() : QVariant(r));
    const Sheet sheet = sheetOf(m_dir, rows);
    int passed = -1;
    QCOMPARE(OwnerImport::run(sheet, East, {}, nullptr, {}, &passed), added);
    QCOMPARE(passed, passedOver);
    const Rows live = dataModule().query(QStringLiteral("SELECT theNum FROM UHouse WHERE AName = '东区' AND theDel = '否' ORDER BY ID"));
    QStringList got;
    for (int r = 0; r < live.rowCount(); ++r)
        got << live.at(r, 0);
    QCOMPARE(got, stored);
    // A second import of the same sheet finds every house it stored, and says so.
    QCOMPARE(OwnerImport::run(sheet, East, {}, nullptr, {}, &passed), 0);
    QCOMPARE(passed, added + passedOver);
}

// 到期日期 as a text cell: a date in a usual form is stored in the program's form, so the
// arrears list's text comparison sees it; anything else is kept as given and counted.
void TestOwnerImport::paidUpDatesInUsualForms_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("notDates");
    QTest::newRow("program's form kept") << "2024-04-05" << "2024-04-05" << 0;
    QTest::newRow("one-digit month and day") << "2024-4-5" << "2024-04-05" << 0;
    QTest::newRow("slashes") << "2024/4/5" << "2024-04-05" << 0;
    QTest::newRow("points, two digits") << "2024.10.31" << "2024-10-31" << 0;
    QTest::newRow("blanks around") << " 2024/12/1 " << "2024-12-01" << 0;
    QTest::newRow("29 Feb of a leap year") << "2024/2/29" << "2024-02-29" << 0;
    QTest::newRow("29 Feb of a common year") << "2023/2/29" << "2023/2/29" << 1;
    QTest::newRow("month 13") << "2024-13-1" << "2024-13-1" << 1;
    QTest::newRow("mixed separators") << "2024-4/5" << "2024-4/5" << 1;
    QTest::newRow("two-digit year") << "24-4-5" << "24-4-5" << 1;
    QTest::newRow("Chinese words") << "2024年4月5日" << "2024年4月5日" << 1;
    QTest::newRow("a word") << "明年" << "明年" << 1;
    QTest::newRow("empty: not counted") << "" << "" << 0;
}

void TestOwnerImport::paidUpDatesInUsualForms()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(int, notDates);
    ImportDb d;
    Row dated = house(QStringLiteral("1-101"));
    dated[4] = typed;
    const QList<Row> rows{headingRow(), dated, house(QStringLiteral("1-102"))};
    int counted = -1;
    QCOMPARE(OwnerImport::run(sheetOf(m_dir, rows), East, {}, &counted), 2);
    QCOMPARE(counted, notDates);
    QCOMPARE(dataModule().db().scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE theNum = '1-101'")), stored);
    QCOMPARE(dataModule().db().scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE theNum = '1-102'")),
             QStringLiteral("2024-10-31"));
    QCOMPARE(OwnerImport::doneMessage(2, counted).contains(QStringLiteral("其中 1 条到期日期不是日期")), notDates == 1);
}

void TestOwnerImport::storesValuesAsEnteredByHand()
{
    ImportDb d;
    const QList<Row> rows{
        headingRow(),
        {QStringLiteral("1-101"), 88.56, QStringLiteral("住宅"), 22, QDate(2024, 10, 31), QStringLiteral("O'Brien 李?四"),
         13900001111.0, QStringLiteral("say \"hi\"?")},
        {1201, 120, QStringLiteral("商业"), 30.5, QVariant(), QStringLiteral("王五"), QVariant(), QVariant()},
    };
    QCOMPARE(OwnerImport::run(sheetOf(m_dir, rows), East), 2);
    const Rows got = dataModule().query(QStringLiteral(
        "SELECT AName, theNum, theArea, HType, thePrice, EndDate, theName, thePhone, Remark, theDel, theDate, UName "
        "FROM UHouse ORDER BY ID"));
    QCOMPARE(got.row(0), (QStringList{"东区", "1-101", "88.56", "住宅", "22", "2024-10-31", "O'Brien 李 四", "13900001111",
                                      "say hi ", "否", "2024-10-10", "管理员"}));
    // An empty paid-up date stays empty.
    QCOMPARE(got.row(1), (QStringList{"东区", "1201", "120", "商业", "30.5", "", "王五", "", "", "否", "2024-10-10", "管理员"}));
    // Area and price are stored as numbers, not as the text they were read as.
    QCOMPARE(dataModule().query(QStringLiteral("SELECT typeof(theArea), typeof(thePrice) FROM UHouse ORDER BY ID")).row(1),
             (QStringList{"real", "real"}));
    QCOMPARE(d.db.count(QStringLiteral("SELECT ID FROM UHouse WHERE typeof(theArea) <> 'real' OR typeof(thePrice) <> 'real'")), 0);
}

void TestOwnerImport::missingHeadingWritesNothing_data()
{
    QTest::addColumn<int>("missing");
    for (int i = 0; i < 8; ++i)
        QTest::newRow(qPrintable(OwnerImport::headings().at(i))) << i;
}

void TestOwnerImport::missingHeadingWritesNothing()
{
    QFETCH(int, missing);
    ImportDb d;
    QList<Row> rows{headingRow(), house(QStringLiteral("1-101")), house(QStringLiteral("1-102"))};
    rows[0][missing] = QStringLiteral("其他");
    try {
        OwnerImport::run(sheetOf(m_dir, rows), East);
        QFAIL("no error");
    } catch (const AppError &e) {
        QCOMPARE(e.message(), QStringLiteral("工作表中缺少标题为“%1”的列，没有导入任何数据").arg(OwnerImport::headings().at(missing)));
    }
    QCOMPARE(d.houses(), 0);
}

namespace {
Sheet memorySheet(const QList<QStringList> &rows)
{
    Sheet sheet;
    for (const QVariant &h : headingRow())
        sheet.headings << h.toString();
    for (const QStringList &r : rows)
        sheet.addRow(r, int(sheet.rows.size()) + 2);
    return sheet;
}
} // namespace

// A house already stored is passed over before its values are looked at: a sheet
// imported again after its prices were mended in the program adds the new rows only.
void TestOwnerImport::storedHouseIsNotCheckedAgain()
{
    ImportDb d;
    HouseBuilder().area(QStringLiteral("东区")).room(QStringLiteral("1-101")).floorArea(1).price(1).insert(d.db);
    const Sheet sheet = memorySheet({{"1-101", "八十", "住宅", "22", "", "张三", "", ""},
                                     {"1-101", "1e12", "住宅", "22", "", "张三", "", ""},
                                     {"1-102", "50", "住宅", "22", "", "李四", "", ""}});
    QCOMPARE(OwnerImport::run(sheet, East), 1);
    QCOMPARE(d.houses(), 2);
}

// A sheet in no order into a large area: thousands of the area's houses lie between its
// smallest and largest room number. Duplicates are still found, in any letter case.
void TestOwnerImport::sheetInNoOrderIntoALargeArea()
{
    ImportDb d;
    d.db.exec(QStringLiteral("INSERT INTO UHouse (AName, theNum, theArea, thePrice, theDel) "
                             "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 4999) "
                             "SELECT '东区', 'A' || (10000 + i), 1, 1, '否' FROM n"));
    const Sheet sheet = memorySheet({{"A14999", "50", "住宅", "22", "", "", "", ""},
                                     {"B1", "50", "住宅", "22", "", "", "", ""},
                                     {"A10000", "50", "住宅", "22", "", "", "", ""},
                                     {"a12345", "50", "住宅", "22", "", "", "", ""},
                                     {"A1", "50", "住宅", "22", "", "", "", ""},
                                     {"b1", "50", "住宅", "22", "", "", "", ""}});
    int passed = 0;
    QCOMPARE(OwnerImport::run(sheet, East, {}, nullptr, {}, &passed), 2);
    QCOMPARE(passed, 4);
    QCOMPARE(d.houses(), 5002);
    QCOMPARE(d.db.count(QStringLiteral("SELECT ID FROM UHouse WHERE theNum IN ('B1', 'A1')")), 2);
}

void TestOwnerImport::refusedRowKeepsTheRowsBefore_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("badRow"); // index among the data rows
    QTest::newRow("within the first batch") << 4 << 2;
    QTest::newRow("after two batches") << 4600 << 4321;
}

void TestOwnerImport::refusedRowKeepsTheRowsBefore()
{
    QFETCH(int, rows);
    QFETCH(int, badRow);
    ImportDb d;
    // Built in memory: the reader is not the point here, and a large sheet stays quick.
    Sheet sheet;
    for (const QVariant &h : headingRow())
        sheet.headings << h.toString();
    for (int i = 0; i < rows; ++i) {
        // Every tenth room repeats an earlier one: duplicates are not counted as added.
        const int room = i % 10 == 9 ? i - 1 : i;
        sheet.addRow({QStringLiteral("R%1").arg(room), i == badRow ? QStringLiteral("八十") : QStringLiteral("50"),
                      QStringLiteral("住宅"), QStringLiteral("22"), QString(), QString(), QString(), QString()},
                     i + 2);
    }
    // Every row before the refused one stays, also those of its own batch, and the
    // message counts exactly those.
    const int before = badRow - badRow / 10;
    try {
        OwnerImport::run(sheet, East);
        QFAIL("no error");
    } catch (const DbError &e) {
        QCOMPARE(e.message(), QStringLiteral("工作表第 %1 行（房号 R%2）无法导入：面积 不是有效的数字。此前已成功导入业主数据 %3 条")
                                  .arg(badRow + 2).arg(badRow).arg(before));
        QVERIFY(e.statement().contains(QStringLiteral("'八十'")));
    }
    QCOMPARE(d.houses(), before);
    QCOMPARE(d.db.scalar(QStringLiteral("SELECT max(theNum) FROM UHouse WHERE theNum = 'R%1'").arg(badRow - 1)),
             QStringLiteral("R%1").arg(badRow - 1));
    QCOMPARE(d.db.count(QStringLiteral("SELECT ID FROM UHouse WHERE theNum = 'R%1'").arg(badRow + 1)), 0);
}

void TestOwnerImport::impossibleNumbersAreRefused_data()
{
    QTest::addColumn<QVariant>("area"); // the 面积 cell of the second house, as written to the file
    QTest::addColumn<QString>("why");   // at a unit price of 22
    const QString noNumber = QStringLiteral("面积 不是有效的数字");
    QTest::newRow("infinite number cell") << QVariant(std::numeric_limits<double>::infinity()) << noNumber;
    QTest::newRow("NaN number cell") << QVariant(std::numeric_limits<double>::quiet_NaN()) << noNumber;
    QTest::newRow("text beyond double") << QVariant(QStringLiteral("1e999")) << noNumber;
    QTest::newRow("year's fee from 10^13") << QVariant(1e12)
                                           << QStringLiteral("一年的费用超出范围（面积 1000000000000 × 单价 22）");
    QTest::newRow("year's fee beyond double") << QVariant(1e307) << QStringLiteral("一年的费用超出范围（面积 1e+307 × 单价 22）");
}

// Such a cell was once stored as infinity or 0 and blanked every total of the lists.
void TestOwnerImport::impossibleNumbersAreRefused()
{
    QFETCH(QVariant, area);
    QFETCH(QString, why);
    ImportDb d;
    try {
        OwnerImport::run(sheetOf(m_dir, {headingRow(), house(QStringLiteral("1-101")), house(QStringLiteral("1-102"), area)}), East);
        QFAIL("no error");
    } catch (const DbError &e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("工作表第 3 行（房号 1-102）无法导入：") + why), qPrintable(e.message()));
    }
    QCOMPARE(d.houses(), 1);
    QCOMPARE(d.db.scalar(QStringLiteral("SELECT SUM(theArea) FROM UHouse")), QStringLiteral("50"));
}

void TestOwnerImport::nulInACellIsRefusedAtItsRow()
{
    ImportDb d;
    const Sheet sheet = memorySheet({{"R1", "50", "住宅", "22", "", "张三", "", ""},
                                     {"R2", "50", "住宅", "22", "", QStringLiteral("李") + QChar(0) + QStringLiteral("四"), "", ""}});
    try {
        OwnerImport::run(sheet, East);
        QFAIL("no error");
    } catch (const DbError &e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("工作表第 3 行（房号 R2）无法导入：文字中含有空字符")), qPrintable(e.message()));
        QVERIFY(e.message().endsWith(QStringLiteral("此前已成功导入业主数据 1 条")));
    }
    QCOMPARE(d.houses(), 1);
}

void TestOwnerImport::skippedRowsLeaveTheOthersInOrder()
{
    ImportDb d;
    const Sheet sheet = memorySheet({{"R1", "50", "住宅", "22", "", "张三", "", ""},
                                     {"R2", "60", "住宅", "22", "", "李四", "", ""},
                                     {"R1", "70", "住宅", "22", "", "王五", "", ""},
                                     {"", "80", "住宅", "22", "", "赵六", "", ""}});
    QCOMPARE(OwnerImport::run(sheet, East), 2);
    // The repeated room and the row without a room are passed over; the last house stored
    // is the last one the sheet adds.
    const Rows got = dataModule().query(QStringLiteral("SELECT theNum, theArea, theName FROM UHouse ORDER BY ID"));
    QCOMPARE(got.rowCount(), 2);
    QCOMPARE(got.row(0), (QStringList{"R1", "50", "张三"}));
    QCOMPARE(got.row(1), (QStringList{"R2", "60", "李四"}));
}

// The import window's "取消" throws from the batch hook: the import stops after the batch
// just stored, its count is what the database holds, and the same sheet adds the rest.
void TestOwnerImport::cancelledImportKeepsWholeBatches()
{
    ImportDb d;
    QList<QStringList> rows;
    const int n = OwnerImport::BatchSize * 2 + 500;
    for (int i = 0; i < n; ++i)
        rows << QStringList{QString::number(i), "50", "住宅", "22", "", "业主", "", ""};
    const Sheet sheet = memorySheet(rows);
    struct Cancelled {};
    int stored = -1;
    try {
        OwnerImport::run(sheet, East, [&](int added) {
            stored = added;
            throw Cancelled{};
        });
        QFAIL("not cancelled");
    } catch (const Cancelled &) {
    }
    QCOMPARE(stored, OwnerImport::BatchSize);
    QCOMPARE(d.houses(), OwnerImport::BatchSize);
    QCOMPARE(OwnerImportDialog::cancelledMessage(stored),
             QStringLiteral("导入已取消，已成功导入业主数据 %1 条。再次导入同一文件将补上其余的业主。")
                 .arg(OwnerImport::BatchSize));
    // Nothing is left locked or half written: the next import adds exactly the rest.
    QCOMPARE(OwnerImport::run(sheet, East), n - OwnerImport::BatchSize);
    QCOMPARE(d.houses(), n);
}

void TestOwnerImport::windowOpensEmpty()
{
    Window f;
    QCOMPARE(f.w.windowTitle(), QStringLiteral("业主导入"));
    QCOMPARE(f.w.size(), QSize(850, 400));
    QCOMPARE(f.w.sheetGroup->title(), QStringLiteral("EXCEL数据"));
    QVERIFY(!f.w.importButton->isEnabled());
    QCOMPARE(f.w.areaBox->count(), 2);
    QCOMPARE(f.w.areaBox->text(), QString());
    QCOMPARE(f.w.sheetModel->rowCount(), 0);
    // Cancelling the file dialog changes nothing.
    f.w.chooseWorkbook();
    QCOMPARE(f.filters, QStringList{"Excel文件(*.xls);;Excel文件(*.xlsx);;所有支持的文件(*.xls *.xlsx *.ods *.csv)"});
    QVERIFY(!f.w.importButton->isEnabled());
    QVERIFY(f.rec.entries.isEmpty());
}

void TestOwnerImport::openShowsThePreview()
{
    Window f;
    f.open(fixture(QStringLiteral("from-libreoffice.xls")));
    QVERIFY(f.rec.entries.isEmpty());
    QAbstractItemModelTester tester(f.w.sheetModel, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(f.w.sheetGroup->title(), QStringLiteral("EXCEL数据  共有 4 条数据"));
    QVERIFY(f.w.importButton->isEnabled());
    QCOMPARE(f.w.sheetModel->columnCount(), 9);
    QCOMPARE(f.w.sheetModel->headerData(0, Qt::Horizontal).toString(), QStringLiteral("房号"));
    QCOMPARE(f.w.sheetModel->headerData(3, Qt::Vertical).toInt(), 5);
    QCOMPARE(f.w.sheetModel->index(1, 5).data().toString(), QStringLiteral("李?四"));
    const int widths[] = {80, 80, 80, 80, 80, 120, 100, 120};
    for (int c = 0; c < 8; ++c)
        QCOMPARE(f.w.sheetGrid->columnWidth(c), widths[c]);
    QCOMPARE(f.w.sheetGrid->editTriggers(), QAbstractItemView::NoEditTriggers);
}

void TestOwnerImport::emptySheetsAndFailedOpens()
{
    Window f;
    const QString empty = m_dir.filePath(QStringLiteral("titles-only.xlsx"));
    QVERIFY(writeXlsx(empty, {headingRow()}));
    f.open(empty);
    QCOMPARE(f.w.sheetGroup->title(), QStringLiteral("EXCEL数据  共有 0 条数据"));
    QVERIFY(!f.w.importButton->isEnabled());

    f.open(fixture(QStringLiteral("from-libreoffice.ods")));
    QVERIFY(f.w.importButton->isEnabled());
    f.open(empty);
    QCOMPARE(f.w.sheetGroup->title(), QStringLiteral("EXCEL数据  共有 0 条数据"));
    QVERIFY(f.w.importButton->isEnabled()); // never disabled again

    f.open(fixture(QStringLiteral("gbk.csv")));
    QCOMPARE(f.w.sheetModel->rowCount(), 4);
    f.open(fixture(QStringLiteral("no-sheet1.xls")));
    QCOMPARE(f.rec.errors(), 1);
    QVERIFY(f.rec.last().contains(QStringLiteral("中没有名为 Sheet1 的工作表")));
    QVERIFY(f.rec.last().endsWith(QStringLiteral("。")));
    QCOMPARE(f.w.sheetModel->rowCount(), 0);
    QCOMPARE(f.w.sheetGroup->title(), QStringLiteral("EXCEL数据  共有 4 条数据"));
    QVERIFY(f.w.importButton->isEnabled());
}

void TestOwnerImport::narrowSheetPreviews()
{
    Window f;
    const QString path = m_dir.filePath(QStringLiteral("narrow.xlsx"));
    QVERIFY(writeXlsx(path, {{QStringLiteral("房号"), QStringLiteral("面积")}, {QStringLiteral("1-101"), 50}}));
    f.open(path);
    QCOMPARE(f.w.sheetModel->columnCount(), 2);
    QCOMPARE(f.w.sheetGrid->columnWidth(1), 80);
    QCOMPARE(f.w.sheetGroup->title(), QStringLiteral("EXCEL数据  共有 1 条数据"));
    // Importing it names the first title it lacks.
    f.w.areaBox->setKeyValue(East);
    f.w.importOwners();
    QCOMPARE(f.rec.last(), QStringLiteral("工作表中缺少标题为“房屋用途”的列，没有导入任何数据。"));
    QVERIFY(f.w.isVisible());
    QCOMPARE(f.data.houses(), 0);
}

void TestOwnerImport::importNeedsAnArea()
{
    Window f;
    f.open(fixture(QStringLiteral("from-openpyxl.xlsx")));
    f.w.importButton->setFocus();
    f.w.importOwners();
    QCOMPARE(f.rec.texts(), QStringList{"小区名称 不能为空！"});
    QCOMPARE(f.w.focusWidget(), f.w.areaBox);
    QVERIFY(f.w.isVisible());
    QCOMPARE(f.data.houses(), 0);
}

void TestOwnerImport::importReportsAndCloses()
{
    Window f;
    HouseBuilder().area(QStringLiteral("东区")).room(QStringLiteral("2-202")).floorArea(1).price(1).insert(f.data.db);
    f.open(fixture(QStringLiteral("from-openpyxl.xlsx")));
    f.w.areaBox->setKeyValue(East);
    f.w.importOwners();
    QCOMPARE(f.rec.texts(), QStringList{"成功导入业主数据 2 条！另有 1 条的房号在该小区已有业主，没有导入。"});
    QVERIFY(!f.w.isVisible());
    QCOMPARE(f.w.result(), int(QDialog::Accepted));
    QCOMPARE(f.data.houses(), 3);
}

// The progress window of an import done within half a second never comes up over the
// result that follows, which belongs to the import window.
void TestOwnerImport::quickImportShowsNoProgressOverItsResult()
{
    Window f;
    f.open(fixture(QStringLiteral("from-openpyxl.xlsx")));
    ReadingMessages reading;
    f.w.areaBox->setKeyValue(East);
    fromEventLoop([&] { f.w.importOwners(); });
    QCOMPARE(reading.texts(), QStringList{"成功导入业主数据 3 条！"});
    QCOMPARE(reading.progressSeen, QStringList());
    QCOMPARE(reading.parents.value(0).data(), &f.w);
}

void TestOwnerImport::refusedRowKeepsWindowOpen()
{
    Window f;
    const QString path = m_dir.filePath(QStringLiteral("refused.xlsx"));
    QVERIFY(writeXlsx(path, {headingRow(), house(QStringLiteral("1-101")), house(QStringLiteral("1-102"), QString()),
                             house(QStringLiteral("1-103"))}));
    f.open(path);
    f.w.areaBox->setKeyValue(East);
    f.w.importOwners();
    QCOMPARE(f.rec.errors(), 1);
    QCOMPARE(f.rec.last(), QStringLiteral("工作表第 3 行（房号 1-102）无法导入：面积 不是有效的数字。此前已成功导入业主数据 1 条。"));
    QVERIFY(f.rec.entries.last().detail.startsWith(QStringLiteral("INSERT INTO UHouse")));
    QVERIFY(f.w.isVisible());
    QCOMPARE(f.data.houses(), 1);
}

void TestOwnerImport::adminImport()
{
    ImportDb d;
    d.db.exec(QStringLiteral("INSERT INTO SUser (theName, thePass) VALUES ('张三', '1')"));
    dataModule().closeConnection();
    const QString db = d.db.path();
    QString out, err;
    QCOMPARE(runAdmin({"import", "--db", db, fixture(QStringLiteral("gbk.csv")), "--area", East, "--charge-date", "2024-9-1"},
                      &out, &err), 0);
    QCOMPARE(out.trimmed(), QStringLiteral("成功导入业主数据 3 条！"));
    QCOMPARE(runAdmin({"import", "--db", db, fixture(QStringLiteral("from-libreoffice.xlsx")), "--area", East,
                       "--operator", "张三"}, &out, &err), 0);
    // Every row of the second file names a house the first one stored.
    QCOMPARE(out.trimmed(), QStringLiteral("成功导入业主数据 0 条！另有 3 条的房号在该小区已有业主，没有导入。"));
    QCOMPARE(d.db.count(QStringLiteral("SELECT ID FROM UHouse WHERE UName = '管理员' AND theDate = '2024-09-01'")), 3);

    QCOMPARE(runAdmin({"import", "--db", db, fixture(QStringLiteral("gbk.csv")), "--area", "北区"}, &out, &err), 1);
    QVERIFY2(err.contains(QStringLiteral("小区名称 “北区” 不在小区列表中")), qPrintable(err));
    QCOMPARE(runAdmin({"import", "--db", db, fixture(QStringLiteral("gbk.csv")), "--area", East, "--operator", "李四"}, &out, &err), 1);
    QVERIFY2(err.contains(QStringLiteral("操作员 “李四” 不存在")), qPrintable(err));
    QCOMPARE(runAdmin({"import", "--db", db, fixture(QStringLiteral("no-sheet1.xls")), "--area", East}, &out, &err), 1);
    QVERIFY(err.contains(QStringLiteral("中没有名为 Sheet1 的工作表")));
    QCOMPARE(runAdmin({"import", "--db", db, fixture(QStringLiteral("gbk.csv"))}, &out, &err), 2);
    QCOMPARE(d.db.count(QStringLiteral("SELECT ID FROM UHouse")), 3);
}

QTEST_MAIN(TestOwnerImport)
#include "tst_ownerimport.moc"
