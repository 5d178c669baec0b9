// The season statistics' logic: season bounds, the figures of a small office worked out
// by hand, agreement with the arrears reminder, the workbook read back, the admin command.
#include "StatisticsFixture.h"
#include "demo/DemoData.h"
#include "db/Dates.h"
#include "db/DbError.h"
#include "data/DataModule.h"
#include "owners/ArrearsStatements.h"
#include "sheets/SheetReader.h"
#include "statistics/SeasonStatistics.h"
#include "statistics/SeasonWorkbook.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <zip.h>

using namespace SeasonStatistics;
Q_DECLARE_METATYPE(SeasonStatistics::Period)

namespace {

Period period(int bm, int bd, int em, int ed) { return Period{bm, bd, em, ed}; }

const AreaFigures *areaNamed(const Figures &f, const QString &name)
{
    for (const AreaFigures &a : f.areas)
        if (a.area == name)
            return &a;
    return nullptr;
}

// A part of a zip file, empty when absent.
QByteArray zipPart(const QString &path, const char *name)
{
    int err = 0;
    zip_t *z = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &err);
    if (!z)
        return {};
    QByteArray data;
    zip_stat_t st;
    if (zip_stat(z, name, 0, &st) == 0) {
        zip_file_t *f = zip_fopen(z, name, 0);
        data.resize(qsizetype(st.size));
        zip_fread(f, data.data(), st.size);
        zip_fclose(f);
    }
    zip_close(z);
    return data;
}

} // namespace

class TestSeasonStatistics : public QObject {
    Q_OBJECT
private slots:
    void seasonBounds_data();
    void seasonBounds();
    void seasonHolding_data();
    void seasonHolding();
    void periodRefused_data();
    void periodRefused();
    void fixtureFigures();
    void paidUpDatesJudged_data();
    void paidUpDatesJudged();
    void otherSeason();
    void amountNoReceiptCanWriteIsRefused();
    void arrearsAgreeAtScale();
    void workbookReadBack();
    void adminCommand();
    void adminCommandRefusals();
};

void TestSeasonStatistics::seasonBounds_data()
{
    QTest::addColumn<Period>("p");
    QTest::addColumn<int>("year");
    QTest::addColumn<QString>("begin");
    QTest::addColumn<QString>("end");
    QTest::newRow("period crossing the year") << period(10, 10, 4, 10) << 2024 << "2024-10-10" << "2025-04-10";
    QTest::newRow("mid-month period") << period(11, 15, 3, 15) << 2023 << "2023-11-15" << "2024-03-15";
    QTest::newRow("29 February in a leap year") << period(11, 1, 2, 29) << 2023 << "2023-11-01" << "2024-02-29";
    QTest::newRow("29 February in a common year") << period(11, 1, 2, 29) << 2024 << "2024-11-01" << "2025-02-28";
    QTest::newRow("31 February") << period(11, 1, 2, 31) << 2027 << "2027-11-01" << "2028-02-29";
    QTest::newRow("31 April and 31 November") << period(11, 31, 4, 31) << 2024 << "2024-11-30" << "2025-04-30";
}

void TestSeasonStatistics::seasonBounds()
{
    QFETCH(Period, p);
    QFETCH(int, year);
    QFETCH(QString, begin);
    QFETCH(QString, end);
    const Season s = seasonOf(year, p);
    QCOMPARE(Dates::format(s.begin), begin);
    QCOMPARE(Dates::format(s.end), end);
    QCOMPARE(s.caption(), QStringLiteral("%1—%2采暖季").arg(year).arg(year + 1));
}

void TestSeasonStatistics::seasonHolding_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<int>("year");
    QTest::newRow("early in the season") << "2024-12-01" << 2024;
    QTest::newRow("after new year") << "2025-03-01" << 2024;
    QTest::newRow("first day") << "2024-10-10" << 2024;
    QTest::newRow("last day") << "2025-04-10" << 2024;
    QTest::newRow("summer between two seasons: the next") << "2024-06-01" << 2024;
    QTest::newRow("day after the end: the next") << "2025-04-11" << 2025;
    QTest::newRow("day before the begin: the next") << "2025-10-09" << 2025;
}

void TestSeasonStatistics::seasonHolding()
{
    QFETCH(QString, date);
    QFETCH(int, year);
    QCOMPARE(SeasonStatistics::seasonHolding(Dates::parse(date), period(10, 10, 4, 10)).year, year);
}

void TestSeasonStatistics::periodRefused_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("empty end day") << QStringList{"10", "10", "4", ""};
    QTest::newRow("month 13") << QStringList{"13", "10", "4", "10"};
    QTest::newRow("day 0") << QStringList{"10", "0", "4", "10"};
    QTest::newRow("text") << QStringList{"10", "10", "x", "10"};
}

void TestSeasonStatistics::periodRefused()
{
    QFETCH(QStringList, texts);
    try {
        periodFromTexts(texts.at(0), texts.at(1), texts.at(2), texts.at(3));
        QFAIL("accepted");
    } catch (const AppError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("收费周期")), qPrintable(e.message()));
    }
}

// A paid-up date counts as paid only in the form yyyy-mm-dd with ASCII digits; anything
// else on or after the season's end is neither paid nor behind.
void TestSeasonStatistics::paidUpDatesJudged_data()
{
    QTest::addColumn<QString>("paidUp");
    QTest::addColumn<bool>("paid");
    QTest::newRow("a date") << "2026-04-10" << true;
    QTest::newRow("no real day, in form") << "9999-99-99" << true;
    QTest::newRow("full-width digits") << QStringLiteral("２０２６-04-10") << false;
    QTest::newRow("one digit short") << "2026-4-10x" << false;
    QTest::newRow("a blank after it") << "2026-04-10 " << false;
    QTest::newRow("slashes") << "2026/04/10" << false;
}

void TestSeasonStatistics::paidUpDatesJudged()
{
    QFETCH(QString, paidUp);
    QFETCH(bool, paid);
    TestDb db;
    HouseBuilder().area(QStringLiteral("东区")).room(QStringLiteral("1")).floorArea(QStringLiteral("80")).price(QStringLiteral("20"))
        .paidUpTo(paidUp).insert(db);
    const Figures f = compute(dataModule().db(), seasonOf(2024, period(10, 10, 4, 10)));
    QCOMPARE(f.office.paidHouses, paid ? 1 : 0);
    QCOMPARE(f.office.undatedHouses, paid ? 0 : 1);
    QCOMPARE(f.office.behindHouses, 0);
}

void TestSeasonStatistics::fixtureFigures()
{
    TestDb db;
    fillStatisticsFixture(db);
    const Figures f = compute(dataModule().db(), seasonOf(2024, period(10, 10, 4, 10)));

    QCOMPARE(f.areas.size(), 3);
    const AreaFigures *east = areaNamed(f, QStringLiteral("东区"));
    const AreaFigures *west = areaNamed(f, QStringLiteral("西区"));
    const AreaFigures *empty = areaNamed(f, QStringLiteral("空区"));
    QVERIFY(east && west && empty);

    QCOMPARE(east->houses, 3);
    QCOMPARE(east->floorArea, 230.0);
    QCOMPARE(east->paidHouses, 1); // paid exactly up to the season's end
    QCOMPARE(east->paidArea, 100.0);
    QCOMPARE(east->behindHouses, 2);
    QCOMPARE(east->behindArea, 130.0);
    QCOMPARE(east->owed, 1600.0 + 3750.0);
    QCOMPARE(east->taken, 3000.0); // both ends of the season count, the day before does not
    QCOMPARE(east->payments, 2);

    QCOMPARE(west->houses, 3);
    QCOMPARE(west->paidHouses, 1);
    QCOMPARE(west->behindHouses, 1);
    QCOMPARE(west->undatedHouses, 1);
    QCOMPARE(west->owed, 0.0);
    QCOMPARE(west->taken, 3151.0); // the deleted payment and the one after the season left out
    QCOMPARE(west->payments, 2);

    QCOMPARE(empty->houses, 0);
    QCOMPARE(tableCells(*empty).mid(10), (QStringList{"—", "—"}));

    QCOMPARE(f.office.houses, 6);
    QCOMPARE(f.office.floorArea, 480.5);
    QCOMPARE(f.office.paidHouses, 2);
    QCOMPARE(f.office.paidArea, 220.5);
    QCOMPARE(f.office.behindHouses, 3);
    QCOMPARE(f.office.behindArea, 200.0);
    QCOMPARE(f.office.owed, 5350.0);
    QCOMPARE(f.office.taken, 6151.0);
    QCOMPARE(f.office.payments, 4);
    // 2 of 6 houses; 220.5 of 480.5 m²; 100 of 230; 120.5 of 250.5
    QCOMPARE(tableCells(f.office).mid(10), (QStringList{"33.3%", "45.9%"}));
    QCOMPARE(tableCells(*east).at(11), QStringLiteral("43.5%"));
    QCOMPARE(tableCells(*west).at(11), QStringLiteral("48.1%"));

    QCOMPARE(f.days.size(), 3);
    QCOMPARE(Dates::format(f.days.at(0).day), QStringLiteral("2024-10-10"));
    QCOMPARE(f.days.at(1).amount, 3151.0);
    QCOMPARE(f.days.at(1).payments, 2);
    QCOMPARE(Dates::format(f.days.at(2).day), QStringLiteral("2025-04-10"));

    QCOMPARE(f.methods.size(), 2);
    QCOMPARE(f.methods.at(0).method, QStringLiteral("现金"));
    QCOMPARE(f.methods.at(0).amount, 4651.0);
    QCOMPARE(f.methods.at(1).amount, 1500.0);
    QCOMPARE(f.methods.at(1).payments, 2);

    // The office's arrears are the arrears reminder's footer at the season's end.
    const QDate end(2025, 4, 10);
    const Rows reminder = dataModule().query(ArrearsStatements::totals(dataModule().db(), end, ArrearsStatements::dateClause(end)));
    QCOMPARE(reminder.at(0, QStringLiteral("欠费金额")).toDouble(), f.office.owed);
}

void TestSeasonStatistics::otherSeason()
{
    TestDb db;
    fillStatisticsFixture(db);
    // The 2023 season ends 2024-04-10: the house paid up to that day now counts as paid,
    // the one paid up to 2022-12-31 owes two years, and no payment falls in the season.
    const Figures f = compute(dataModule().db(), seasonOf(2023, period(10, 10, 4, 10)));
    QCOMPARE(f.office.paidHouses, 4);
    QCOMPARE(f.office.behindHouses, 1);
    QCOMPARE(f.office.owed, 2.0 * 50 * 25);
    QCOMPARE(f.office.taken, 0.0);
    QVERIFY(f.days.isEmpty());
    const Figures next = compute(dataModule().db(), seasonOf(2025, period(10, 10, 4, 10)));
    QCOMPARE(next.office.taken, 0.0); // 2025-04-11 lies between the 2024 and 2025 seasons
}

// An old file's house whose arrears overflow once made the office's sums fail or read 0.
void TestSeasonStatistics::amountNoReceiptCanWriteIsRefused()
{
    TestDb db;
    fillStatisticsFixture(db);
    HouseBuilder().area(QStringLiteral("东区")).room(QStringLiteral("9-901")).floorArea(1e200).purpose(QStringLiteral("住宅"))
        .price(1e200).paidUpTo(QStringLiteral("2020-04-10")).owner(QStringLiteral("王五")).insert(db);
    try {
        compute(dataModule().db(), seasonOf(2024, period(10, 10, 4, 10)));
        QFAIL("no error");
    } catch (const AppError &e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("欠费金额超出范围：东区 9-901（面积 1e+200 × 单价 1e+200 × 5 年）")),
                 qPrintable(e.message()));
    }
}

void TestSeasonStatistics::arrearsAgreeAtScale()
{
    TestDb db;
    DemoOptions o;
    o.houses = 1500;
    o.years = 3;
    o.chargeDate = QDate(2024, 12, 5);
    DemoData::generate(dataModule().db(), o);
    for (int year : {2022, 2023, 2024}) {
        const Season s = seasonOf(year, period(10, 10, 4, 10));
        const Figures f = compute(dataModule().db(), s);
        const Rows reminder = dataModule().query(ArrearsStatements::totals(dataModule().db(), s.end, ArrearsStatements::dateClause(s.end)));
        QCOMPARE(formatMoney(f.office.owed), formatMoney(reminder.at(0, QStringLiteral("欠费金额")).toDouble()));
        QCOMPARE(f.office.behindHouses, dataModule().countRows(ArrearsStatements::list(s.end, ArrearsStatements::dateClause(s.end))));
        double areas = 0, taken = 0;
        int payments = 0;
        for (const AreaFigures &a : f.areas) {
            areas += a.owed;
            taken += a.taken;
            payments += a.payments;
        }
        QVERIFY(qAbs(areas - f.office.owed) < 0.005);
        QVERIFY(qAbs(taken - f.office.taken) < 0.005);
        const QString range = QStringLiteral("FROM UCharge WHERE theDel = '否' AND myDate BETWEEN '%1' AND '%2'")
                                  .arg(Dates::format(s.begin), Dates::format(s.end));
        QCOMPARE(payments, db.scalar(QStringLiteral("SELECT COUNT(*) ") + range).toInt());
        QCOMPARE(formatMoney(f.office.taken), formatMoney(db.scalar(QStringLiteral("SELECT SUM(theMoney) ") + range).toDouble()));
    }
}

void TestSeasonStatistics::workbookReadBack()
{
    TestDb db;
    fillStatisticsFixture(db);
    const Figures f = compute(dataModule().db(), seasonOf(2024, period(10, 10, 4, 10)));
    const QString path = db.dir() + QStringLiteral("/stats.xlsx");
    SeasonWorkbook::write(path, f, QStringLiteral("澄岳供热有限公司"));

    const Sheet sheet = SheetReader::read(path);
    QCOMPARE(sheet.headings.first(), QStringLiteral("澄岳供热有限公司收费统计 2024—2025采暖季"));
    QStringList firstRow;
    for (int c = 0; c < tableHeadings().size(); ++c)
        firstRow << sheet.cell(0, c);
    QCOMPARE(firstRow, tableHeadings());
    QCOMPARE(sheet.rowCount(), 1 + 3 + 1);
    QCOMPARE(sheet.cell(1, 0), QStringLiteral("东区"));
    QCOMPARE(sheet.cell(1, 7), QStringLiteral("5350"));
    QCOMPARE(sheet.cell(2, 0), QStringLiteral("空区"));
    QCOMPARE(sheet.cell(2, 10), QStringLiteral("—"));
    QCOMPARE(sheet.cell(4, 0), QStringLiteral("合计"));
    QCOMPARE(sheet.cell(4, 8), QStringLiteral("6151"));
    QVERIFY(qFuzzyCompare(sheet.cell(4, 11).toDouble(), 220.5 / 480.5)); // a number shown as 45.9%

    // A native chart, drawn by the spreadsheet program from the area rows' rate column.
    const QByteArray chart = zipPart(path, "xl/charts/chart1.xml");
    QVERIFY(!chart.isEmpty());
    QVERIFY(chart.contains("<c:barChart>"));
    QVERIFY(chart.contains("Sheet1!$A$3:$A$5"));
    QVERIFY(chart.contains("Sheet1!$L$3:$L$5"));
    QVERIFY(zipPart(path, "xl/drawings/drawing1.xml").contains("chart"));
}

void TestSeasonStatistics::adminCommand()
{
    TestDb db;
    fillStatisticsFixture(db);
    dataModule().closeConnection();
    const QString xlsx = db.dir() + QStringLiteral("/s.xlsx");
    const QString png = db.dir() + QStringLiteral("/r.png");
    const QString pdf = db.dir() + QStringLiteral("/p.pdf");
    QString out, err;
    QCOMPARE(runAdmin({QStringLiteral("stats"), QStringLiteral("--db"), db.path(), QStringLiteral("--season"),
                       QStringLiteral("2024"), QStringLiteral("--out"), xlsx, QStringLiteral("--png"), png,
                       QStringLiteral("--pdf"), pdf},
                      &out, &err),
             0);
    QVERIFY2(err.isEmpty(), qPrintable(err));
    QVERIFY(out.contains(QStringLiteral("2024—2025采暖季（2024-10-10 至 2025-04-10）")));
    QVERIFY(out.contains(QStringLiteral("合计\t6\t480.5\t2\t220.5\t3\t200\t5350.00\t6151.00\t4\t33.3%\t45.9%\n")));
    QVERIFY(out.contains(QStringLiteral("空区\t0\t0\t0\t0\t0\t0\t0.00\t0.00\t0\t—\t—\n")));
    QVERIFY(out.contains(QStringLiteral("另有 1 户的到期日期不是日期")));
    QVERIFY(!zipPart(xlsx, "xl/charts/chart1.xml").isEmpty());
    const QImage img(png);
    QVERIFY(!img.isNull());
    QVERIFY(img.width() >= 900);
    QFile page(pdf);
    QVERIFY(page.open(QIODevice::ReadOnly));
    QCOMPARE(page.read(5), QByteArray("%PDF-"));
}

void TestSeasonStatistics::adminCommandRefusals()
{
    TestDb db;
    dataModule().closeConnection();
    const QString other = db.dir() + QStringLiteral("/notes.txt");
    QFile f(other);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("keep me");
    f.close();
    QString out, err;
    QCOMPARE(runAdmin({QStringLiteral("stats"), QStringLiteral("--db"), db.path(), QStringLiteral("--season"), QStringLiteral("24x")},
                      &out, &err),
             2);
    QVERIFY(err.contains(QStringLiteral("24x")));
    // Neither option replaces a file that is no workbook or picture, nor the database.
    QCOMPARE(runAdmin({QStringLiteral("stats"), QStringLiteral("--db"), db.path(), QStringLiteral("--png"), other}, &out, &err), 1);
    QCOMPARE(runAdmin({QStringLiteral("stats"), QStringLiteral("--db"), db.path(), QStringLiteral("--out"), db.path()}, &out, &err), 1);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("keep me"));
}

QTEST_MAIN(TestSeasonStatistics)
#include "tst_seasonstatistics.moc"
