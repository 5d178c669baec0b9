// The houses' figures kept by area and paid-up date: kept by every write of a house (entry,
// modify, delete, import, payments and voids moving the paid-up date), counted by the
// upgrade, untouched by a writer killed in the middle; the statistics and the arrears
// reminder's footer read from them what they read from the houses; check names a kept
// figure that was altered.
#include "browse/BrowseCriteria.h"
#include "charging/PaymentVoid.h"
#include "data/DataModule.h"
#include "data/HouseFigures.h"
#include "data/Schema.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "db/Numbers.h"
#include "owners/ArrearsStatements.h"
#include "owners/OwnerEntry.h"
#include "owners/OwnerStatements.h"
#include "statistics/SeasonStatistics.h"
#include "tests/statistics/StatisticsFixture.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <memory>

class TestHouseFigures : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void keptByEveryWriteOfAHouse();
    void upgradeCountsTheHouses();
    void killedWriterLeavesBothOrNeither();
    void statisticsAsFromTheHouses_data();
    void statisticsAsFromTheHouses();
    void footerAsFromTheHouses_data();
    void footerAsFromTheHouses();
    void checkNamesAnAlteredFigure();

private:
    // The kept rows as "area date count centi fee odd", one a line, in area and date order.
    QString kept();
    std::unique_ptr<TestDb> m_db;
};

namespace {
const QString East = QStringLiteral("东区");
const QString West = QStringLiteral("西区");

SeasonStatistics::Season season2024()
{
    return SeasonStatistics::seasonOf(2024, SeasonStatistics::Period{});
}

QString idOf(TestDb &db, const QString &area, const QString &room)
{
    return db.scalar(QStringLiteral("SELECT ID FROM UHouse WHERE AName = '%1' AND theNum = '%2' AND theDel = '否'").arg(area, room));
}
} // namespace

void TestHouseFigures::init()
{
    m_db = std::make_unique<TestDb>();
    m_db->exec(QStringLiteral("INSERT INTO SMType (theName, Remark) VALUES ('现金', ''), ('微信', '')"));
    fillStatisticsFixture(*m_db);
    m_db->login(QDate(2024, 12, 1));
}

void TestHouseFigures::cleanup()
{
    m_db.reset();
}

QString TestHouseFigures::kept()
{
    return rowsAsText(QStringLiteral(
        "SELECT AName, EndDate, theCount, theCenti, theFee, theOdd FROM UHouseFigure ORDER BY AName, EndDate"));
}

void TestHouseFigures::keptByEveryWriteOfAHouse()
{
    Database &db = dataModule().db();
    // The fixture's houses went in by plain statements: counted all the same, the deleted
    // one left out.
    QCOMPARE(HouseFigures::firstDifference(db), QString());
    QVERIFY(kept().contains(QStringLiteral("西区 2026-04-10 1 12050 26510000 0\n")));
    QVERIFY(!kept().contains(QStringLiteral("2020-01-01")));

    // Owner entry: a new house joins the group of its area and paid-up date.
    House h{East, QStringLiteral("1-1-105"), QStringLiteral("85.55"), QStringLiteral("住宅"), QStringLiteral("25.35"),
            QStringLiteral("2024-04-10"), QStringLiteral("辛"), {}, {}};
    QVERIFY(OwnerEntry::add(h));
    QCOMPARE(HouseFigures::firstDifference(db), QString());
    QVERIFY(kept().contains(QStringLiteral("东区 2024-04-10 2 16555 37686925 0\n")));

    // Modify: area, price, area name and paid-up date, one at a time.
    const QString id = idOf(*m_db, East, QStringLiteral("1-1-105"));
    auto modify = [&](auto change) {
        const House opened = OwnerEntry::load(id);
        House changed = opened;
        change(changed);
        OwnerEntry::update(id, changed, opened);
        QCOMPARE(HouseFigures::firstDifference(dataModule().db()), QString());
    };
    modify([](House &m) { m.floorArea = QStringLiteral("90.1"); });
    modify([](House &m) { m.price = QStringLiteral("0.125"); });
    QVERIFY(kept().contains(QStringLiteral("东区 2024-04-10 2 8000 16000000 1\n")));
    modify([](House &m) { m.price = QStringLiteral("22"); });
    modify([](House &m) { m.endDate = QStringLiteral("2023-04-10"); });
    modify([&](House &m) { m.area = West; });
    QVERIFY(kept().contains(QStringLiteral("西区 2023-04-10 1 9010 19822000 0\n")));
    QVERIFY(!kept().contains(QStringLiteral("东区 2023-04-10")));

    // A payment moves the paid-up date on, its void moves it back.
    const QString receipt = Payment(West, QStringLiteral("1-1-105")).save();
    QCOMPARE(HouseFigures::firstDifference(db), QString());
    QVERIFY(!kept().contains(QStringLiteral("西区 2023-04-10")));
    PaymentVoid::run(receipt, QStringLiteral("错收"));
    QCOMPARE(HouseFigures::firstDifference(db), QString());
    QVERIFY(kept().contains(QStringLiteral("西区 2023-04-10 1 9010 19822000 0\n")));

    // Delete: the group's last house takes the group with it.
    OwnerEntry::markDeleted(id);
    QCOMPARE(HouseFigures::firstDifference(db), QString());
    QVERIFY(!kept().contains(QStringLiteral("西区 2023-04-10")));
    m_db->exec(QStringLiteral("DELETE FROM UHouse WHERE theNum = '2-1-103'"));
    QCOMPARE(HouseFigures::firstDifference(db), QString());

    // Owners imported into a new area.
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('南区', '')"));
    QString out, err;
    QCOMPARE(runAdmin({"import", "--db", m_db->path(), QStringLiteral(TEST_FIXTURES_DIR "/import/gbk.csv"), "--area",
                       QStringLiteral("南区"), "--charge-date", "2024-12-2"},
                      &out, &err),
             0);
    QVERIFY2(out.contains(QStringLiteral("成功导入业主数据 3 条")), qPrintable(out + err));
    QCOMPARE(HouseFigures::firstDifference(db), QString());
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT SUM(theCount) FROM UHouseFigure WHERE AName = '南区'")), QStringLiteral("3"));

    // An import refused at its third row keeps the two before it, and their figures.
    const QString sheet = m_db->dir() + QStringLiteral("/refused.csv");
    QFile f(sheet);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("房号,面积,房屋用途,单价,到期日期,业主名称,手机号码,备注\n"
                           "9-1,50.5,住宅,20,2024-04-10,甲,,\n9-2,60,住宅,20.5,2023-04-10,乙,,\n"
                           "9-3,1e20,住宅,1e20,2023-04-10,丙,,\n9-4,70,住宅,20,2023-04-10,丁,,\n").toUtf8());
    f.close();
    QVERIFY(runAdmin({"import", "--db", m_db->path(), sheet, "--area", QStringLiteral("南区"), "--charge-date", "2024-12-2"},
                     &out, &err) != 0);
    QVERIFY2((out + err).contains(QStringLiteral("此前已成功导入业主数据 2 条")), qPrintable(out + err));
    QCOMPARE(HouseFigures::firstDifference(db), QString());
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT SUM(theCount) FROM UHouseFigure WHERE AName = '南区'")), QStringLiteral("5"));
}

void TestHouseFigures::upgradeCountsTheHouses()
{
    // Houses of an older program: an area in two spellings, a missing area and paid-up date.
    HouseBuilder().area(QStringLiteral("Block-a")).room(QStringLiteral("1")).floorArea(10).price(2)
        .paidUpTo(QStringLiteral("2024-04-10")).insert(*m_db);
    HouseBuilder().area(QStringLiteral("BLOCK-A")).room(QStringLiteral("2")).floorArea(20).price(2)
        .paidUpTo(QStringLiteral("2024-04-10")).insert(*m_db);
    m_db->exec(QStringLiteral("INSERT INTO UHouse (theNum, theArea, thePrice, theDel) VALUES ('3', 30, 2, '否')"));
    const QString counted = kept().toLower();
    QVERIFY(counted.contains(QStringLiteral("block-a 2024-04-10 2 3000 600000 0\n")));
    QVERIFY(counted.contains(QStringLiteral("  1 0 0 1\n")));

    const QString location = m_db->path();
    backToVersion5(dataModule().db());
    dataModule().closeConnection();
    {
        Database old;
        old.open(location, QString::fromUtf8(Schema::DatabaseKey));
        QCOMPARE(old.schemaVersion(), Schema::Version);
        QCOMPARE(HouseFigures::firstDifference(old), QString());
    }
    QCOMPARE(kept().toLower(), counted);
    // Kept from then on as on a new database.
    m_db->exec(QStringLiteral("UPDATE UHouse SET AName = '东区' WHERE theNum = '3'"));
    QCOMPARE(HouseFigures::firstDifference(dataModule().db()), QString());
}

void TestHouseFigures::killedWriterLeavesBothOrNeither()
{
    const QString before = kept();
    const QString paidUp = m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE theNum = '1-1-102'"));
    // A writer that moves a paid-up date and is killed before its transaction ends.
    const QString endless = TestDb::onServer()
        ? QStringLiteral("SELECT pg_sleep(120)")
        : QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT COUNT(*) FROM n");
    QProcess writer;
    writer.start(QStringLiteral(ADMIN_TOOL_PATH),
                 {QStringLiteral("sql"), QStringLiteral("--db"), m_db->path(),
                  QStringLiteral("UPDATE UHouse SET EndDate = '2030-04-10', theArea = 1 WHERE theNum = '1-1-102'; ") + endless});
    QVERIFY(writer.waitForStarted());
    const QString writerLock = QStringLiteral("FROM pg_locks WHERE locktype = 'advisory' AND granted AND pid <> pg_backend_pid() "
                                              "AND database = (SELECT oid FROM pg_database WHERE datname = current_database())");
    QElapsedTimer waited;
    waited.start();
    bool inside = false;
    while (!inside && waited.elapsed() < 30000 && writer.state() == QProcess::Running) {
        if (TestDb::onServer()) {
            inside = m_db->scalar(QStringLiteral("SELECT COUNT(*) ") + writerLock) != QLatin1String("0");
        } else {
            Database probe;
            probe.open(m_db->path(), QString::fromUtf8(Schema::DatabaseKey));
            Database::setLockWaitObserver([](int) { return false; });
            try {
                probe.exec(QStringLiteral("BEGIN IMMEDIATE"));
                probe.exec(QStringLiteral("ROLLBACK"));
            } catch (const DbError &) {
                inside = true;
            }
            Database::setLockWaitObserver({});
        }
        if (!inside)
            QThread::msleep(20);
    }
    QVERIFY2(inside, qPrintable(QString::fromUtf8(writer.readAllStandardError())));
    QThread::msleep(500);
    writer.kill();
    QVERIFY(writer.waitForFinished());
    if (TestDb::onServer())
        m_db->exec(QStringLiteral("SELECT pg_terminate_backend(pid) ") + writerLock);

    dataModule().closeConnection();
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE theNum = '1-1-102'")), paidUp);
    QCOMPARE(kept(), before);
    QCOMPARE(HouseFigures::firstDifference(dataModule().db()), QString());
}

void TestHouseFigures::statisticsAsFromTheHouses_data()
{
    // Houses added to the fixture: area, room, floor area, price, paid-up date (SQL).
    QTest::addColumn<QString>("extra");
    QTest::addColumn<bool>("kept");
    QTest::newRow("the fixture") << QString() << true;
    QTest::newRow("spellings, a missing area, dates of every kind")
        << QStringLiteral("'Block-A', 'a1', 85.55, 25.35, '2023-04-10'; 'block-a', 'a2', 60.05, 22.15, '2025-04-10'; "
                          "'BLOCK-A', 'a3', 70, 22, '2025-04-09'; NULL, 'b1', 10, 2, '2020-01-01'; "
                          "'', 'b2', 10.5, 2.5, '2021-02-03'; '东区', 'c1', 33.33, 3.33, ''; "
                          "'东区', 'c2', 44.44, 4.44, '2025/01/01'; '西区', 'c3', 0.01, 0.01, '1999-12-31'")
        << true;
    QTest::newRow("an area below the hundredth") << QStringLiteral("'东区', 'd1', 85.555, 20, '2023-01-01'") << false;
    QTest::newRow("a price below the fen") << QStringLiteral("'西区', 'd2', 85, 20.125, '2023-01-01'") << false;
    QTest::newRow("a missing paid-up date") << QStringLiteral("'西区', 'd3', 85, 20, NULL") << false;
    QTest::newRow("a fee beyond the kept range") << QStringLiteral("'东区', 'd4', 1000000, 10, '2024-01-01'") << false;
}

void TestHouseFigures::statisticsAsFromTheHouses()
{
    QFETCH(QString, extra);
    QFETCH(bool, kept);
    for (const QString &row : extra.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        m_db->exec(QStringLiteral("INSERT INTO UHouse (AName, theNum, theArea, thePrice, EndDate, theDel) VALUES (%1, '否')")
                       .arg(row.trimmed()));
    Database &db = dataModule().db();
    QCOMPARE(HouseFigures::firstDifference(db), QString());
    using SeasonStatistics::Houses;
    using SeasonStatistics::Payments;
    const QString fromKept = SeasonStatistics::tableText(SeasonStatistics::compute(db, season2024())).toLower();
    const QString recounted = SeasonStatistics::tableText(
        SeasonStatistics::compute(db, season2024(), Payments::Kept, Houses::Recounted)).toLower();
    QCOMPARE(fromKept.split(QLatin1Char('\n')), recounted.split(QLatin1Char('\n')));
    QVERIFY(SeasonStatistics::statements(db, season2024()).at(1).contains(QStringLiteral("UHouseFigure")));
    QCOMPARE(dataModule().countRows(QStringLiteral("SELECT AName FROM UHouseFigure WHERE theOdd <> 0")) == 0, kept);
}

void TestHouseFigures::footerAsFromTheHouses_data()
{
    QTest::addColumn<QVector<BrowseValue>>("values");
    QTest::addColumn<QDate>("reference");
    QTest::addColumn<bool>("kept");
    // The criteria in table order: 小区名称, 房号, 房屋用途, 业主名称, 手机号码, 备注.
    auto with = [](int criterion, const QString &text) {
        QVector<BrowseValue> v(OwnerStatements::criteria().size());
        v[criterion] = BrowseValue{true, text, {}};
        return v;
    };
    QVector<BrowseValue> areaAndRoom = with(0, West);
    areaAndRoom[1] = BrowseValue{true, QStringLiteral("2-1"), {}};
    const QDate end(2025, 4, 10);
    QTest::newRow("none") << QVector<BrowseValue>(OwnerStatements::criteria().size()) << end << true;
    QTest::newRow("none, a later date") << QVector<BrowseValue>(OwnerStatements::criteria().size()) << QDate(2031, 1, 1) << true;
    QTest::newRow("area") << with(0, East) << end << true;
    QTest::newRow("area in other letters") << with(0, QStringLiteral("block-a")) << end << true;
    QTest::newRow("area with a quote") << with(0, QStringLiteral("O'Neil")) << end << true;
    QTest::newRow("empty area") << with(0, QString()) << end << false;
    QTest::newRow("room") << with(1, QStringLiteral("1-1")) << end << false;
    QTest::newRow("purpose") << with(2, QStringLiteral("住宅")) << end << false;
    QTest::newRow("area and room") << areaAndRoom << end << false;
}

void TestHouseFigures::footerAsFromTheHouses()
{
    QFETCH(QVector<BrowseValue>, values);
    QFETCH(QDate, reference);
    QFETCH(bool, kept);
    HouseBuilder().area(QStringLiteral("BLOCK-A")).room(QStringLiteral("a1")).floorArea(QStringLiteral("85.55"))
        .price(QStringLiteral("25.35")).paidUpTo(QStringLiteral("2021-04-10")).insert(*m_db);
    HouseBuilder().area(QStringLiteral("O'Neil")).room(QStringLiteral("o1")).floorArea(QStringLiteral("60.05"))
        .price(QStringLiteral("22.15")).paidUpTo(QStringLiteral("2024-04-10")).insert(*m_db);
    Database &db = dataModule().db();
    const QString conditions = ArrearsStatements::dateClause(reference) + Browse::where(OwnerStatements::criteria(), values);
    QCOMPARE(HouseFigures::covers(conditions), kept);
    QCOMPARE(ArrearsStatements::totals(db, reference, conditions).contains(QStringLiteral("UHouseFigure")), kept);
    // The server sums the houses exactly, to the very text; the file's sum of the houses'
    // doubles may carry binary noise below the figures' last decimal, which the kept
    // figures do not.
    auto row = [&](const QString &sql) {
        const Rows r = db.select(sql);
        QStringList cells;
        for (int c = 0; c < r.columns().size(); ++c) {
            const QString v = r.at(0, c);
            cells << r.columns().at(c) + QLatin1Char('=')
                    + (db.isServer() || v.isEmpty() ? v : Numbers::plain(Numbers::roundTo(v.toDouble(), 6)));
        }
        return cells.join(QLatin1Char(' '));
    };
    QCOMPARE(row(ArrearsStatements::totals(db, reference, conditions)),
             row(ArrearsStatements::totalsOfHouses(db, reference, conditions)));

    // A house of an area below the hundredth: its houses are summed instead, to the same digits.
    HouseBuilder().area(West).room(QStringLiteral("w9")).floorArea(QStringLiteral("10.125")).price(QStringLiteral("2"))
        .paidUpTo(QStringLiteral("2020-04-10")).insert(*m_db);
    QCOMPARE(row(ArrearsStatements::totals(db, reference, conditions)),
             row(ArrearsStatements::totalsOfHouses(db, reference, conditions)));
}

void TestHouseFigures::checkNamesAnAlteredFigure()
{
    // Books that pass every other check: houses only.
    m_db = std::make_unique<TestDb>();
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('东区', ''), ('西区', '')"));
    HouseBuilder().area(East).room(QStringLiteral("1")).floorArea(80).purpose(QStringLiteral("住宅")).price(20)
        .paidUpTo(QStringLiteral("2024-04-10")).owner(QStringLiteral("张三")).insert(*m_db);
    HouseBuilder().area(West).room(QStringLiteral("1")).floorArea(60).purpose(QStringLiteral("住宅")).price(22)
        .paidUpTo(QStringLiteral("abc")).owner(QStringLiteral("李四")).insert(*m_db);
    dataModule().closeConnection();
    QString out, err;
    QVERIFY2(runAdmin({"check", "--db", m_db->path()}, &out, &err) == 0, qPrintable(err));
    QCOMPARE(runAdmin({"sql", "--db", m_db->path(),
                       "UPDATE UHouseFigure SET theCenti = theCenti + 100 WHERE AName = '东区' AND EndDate = '2024-04-10'"},
                      &out, &err),
             0);
    QCOMPARE(runAdmin({"check", "--db", m_db->path()}, &out, &err), 1);
    QVERIFY2(err.contains(QStringLiteral("户汇总与房屋记录不符：东区 2024-04-10：户汇总为 1 户 面积 81.00 年费 1600.0000 元，"
                                         "房屋记录为 1 户 面积 80.00 年费 1600.0000 元")),
             qPrintable(err));
    // A group removed, and another slipped in: the first in area order is named, the rest counted.
    QCOMPARE(runAdmin({"sql", "--db", m_db->path(),
                       "DELETE FROM UHouseFigure WHERE AName = '西区' AND EndDate = 'abc'; "
                       "INSERT INTO UHouseFigure (AName, EndDate, theCount, theCenti, theFee, theOdd) VALUES ('西区', '2030-01-01', 1, 100, 0, 0)"},
                      &out, &err),
             0);
    QCOMPARE(runAdmin({"check", "--db", m_db->path()}, &out, &err), 1);
    QVERIFY2(err.contains(QStringLiteral("（另有 2 处不符）")), qPrintable(err));
}

QTEST_MAIN(TestHouseFigures)
#include "tst_housefigures.moc"
