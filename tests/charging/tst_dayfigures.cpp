// The payments' figures kept by day, area and method: kept by every write of a payment and
// a void, counted by the upgrade, untouched by a writer killed in the middle of a payment;
// the statistics and the charge lists' footers read from them what they read from the
// payments; check names a kept figure that was altered.
#include "browse/BrowseCriteria.h"
#include "charging/ChargeStatements.h"
#include "charging/PaymentVoid.h"
#include "data/DataModule.h"
#include "data/DayFigures.h"
#include "data/Schema.h"
#include "db/Database.h"
#include "db/DbError.h"
#include "statistics/SeasonStatistics.h"
#include "tests/statistics/StatisticsFixture.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <memory>

class TestDayFigures : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void keptByPaymentsVoidsAndImport();
    void upgradeCountsThePayments();
    void killedWriterLeavesBothOrNeither();
    void statisticsAsFromThePayments_data();
    void statisticsAsFromThePayments();
    void footerAsFromThePayments_data();
    void footerAsFromThePayments();
    void checkNamesAnAlteredFigure();

private:
    // The kept rows as "date area method count fen odd", one a line, in date, area and
    // method order.
    QString kept();
    std::unique_ptr<TestDb> m_db;
};

namespace {
const QString East = QStringLiteral("东区");
const QString West = QStringLiteral("西区");

// The season of the statistics fixture: 2024-10-10 to 2025-04-10.
SeasonStatistics::Season season2024()
{
    return SeasonStatistics::seasonOf(2024, SeasonStatistics::Period{});
}

// Everything the statistics show, as text: the table, the days and the methods.
QString shown(const SeasonStatistics::Figures &f)
{
    QString out = SeasonStatistics::tableText(f);
    for (const SeasonStatistics::DayTaking &d : f.days)
        out += QStringLiteral("%1\t%2\t%3\n").arg(d.day.toString(Qt::ISODate), SeasonStatistics::formatMoney(d.amount)).arg(d.payments);
    for (const SeasonStatistics::MethodTaking &m : f.methods)
        out += QStringLiteral("%1\t%2\t%3\n").arg(m.method, SeasonStatistics::formatMoney(m.amount)).arg(m.payments);
    return out;
}

} // namespace

void TestDayFigures::init()
{
    m_db = std::make_unique<TestDb>();
    m_db->exec(QStringLiteral("INSERT INTO SMType (theName, Remark) VALUES ('现金', ''), ('微信', '')"));
    fillStatisticsFixture(*m_db);
    m_db->login(QDate(2024, 12, 1));
}

void TestDayFigures::cleanup()
{
    m_db.reset();
}

QString TestDayFigures::kept()
{
    return rowsAsText(QStringLiteral(
        "SELECT myDate, AName, MType, theCount, theFen, theOdd FROM UDayFigure ORDER BY myDate, AName, MType"));
}

void TestDayFigures::keptByPaymentsVoidsAndImport()
{
    Database &db = dataModule().db();
    // The fixture's rows went in by plain statements, as anyone's would: counted all the same.
    QCOMPARE(DayFigures::firstDifference(db), QString());
    const QString before = kept();
    QVERIFY(before.contains(QStringLiteral("2024-12-01 西区 现金 1 265100 0\n")));
    QVERIFY(!before.contains(QStringLiteral("2024-12-01 西区 现金 2")));

    // Payments through charge entry, one of an amount below the fen, one of another day.
    Payment(East, QStringLiteral("1-1-102")).amount(QStringLiteral("1600.25")).save();
    Payment(East, QStringLiteral("1-1-103")).method(QStringLiteral("微信")).amount(QStringLiteral("10.005")).save();
    m_db->login(QDate(2024, 12, 2));
    Payment(West, QStringLiteral("2-1-103")).amount(QStringLiteral("1540")).save();
    QCOMPARE(DayFigures::firstDifference(db), QString());
    // Writing the figures leaves the payment's own number the one its record names.
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT c.theNum FROM ULog l JOIN UCharge c ON (c.ID = l.RowID) "
                                         "WHERE l.theTable = 'UCharge' ORDER BY l.ID DESC LIMIT 1")),
             QStringLiteral("2412020001"));
    QVERIFY(kept().contains(QStringLiteral("2024-12-01 东区 现金 1 160025 0\n")));
    QVERIFY(kept().contains(QStringLiteral("2024-12-01 东区 微信 1 0 1\n")));

    // Owners imported into a new area, and one of them charged.
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('南区', '')"));
    QString out, err;
    QCOMPARE(runAdmin({"import", "--db", m_db->path(), QStringLiteral(TEST_FIXTURES_DIR "/import/gbk.csv"), "--area",
                       QStringLiteral("南区"), "--charge-date", "2024-12-2"},
                      &out, &err),
             0);
    QVERIFY2(out.contains(QStringLiteral("成功导入业主数据 3 条")), qPrintable(out + err));
    Payment(QStringLiteral("南区"), QStringLiteral("1-101")).save();
    QCOMPARE(DayFigures::firstDifference(db), QString());
    QVERIFY(kept().contains(QStringLiteral("2024-12-02 南区 现金 1 194832 0\n")));

    // A void takes the payment out of its day; the day's last payment takes the day's row
    // with it.
    PaymentVoid::run(QStringLiteral("2412020001"), QStringLiteral("错收"));
    QCOMPARE(DayFigures::firstDifference(db), QString());
    QVERIFY(!kept().contains(QStringLiteral("2024-12-02 西区")));
    PaymentVoid::run(QStringLiteral("2412010004"), QStringLiteral("错收"));
    QCOMPARE(DayFigures::firstDifference(db), QString());
    QVERIFY(!kept().contains(QStringLiteral("2024-12-01 东区 现金")));
    QVERIFY(kept().contains(QStringLiteral("2024-12-01 东区 微信 1 0 1\n")));
}

void TestDayFigures::upgradeCountsThePayments()
{
    // Payments of an older program: a method missing, and an area in two spellings.
    ChargeRowBuilder().house(3).number(QStringLiteral("2412010009")).chargingDate(QStringLiteral("2024-12-01"))
        .area(QStringLiteral("东区")).amount(QStringLiteral("12.5")).storedOn(QStringLiteral("2024-12-01")).insert(*m_db);
    ChargeRowBuilder().house(3).number(QStringLiteral("2412010010")).chargingDate(QStringLiteral("2024-12-01"))
        .area(QStringLiteral("Block-a")).method(QStringLiteral("现金")).amount(QStringLiteral("7"))
        .storedOn(QStringLiteral("2024-12-01")).insert(*m_db);
    ChargeRowBuilder().house(3).number(QStringLiteral("2412010011")).chargingDate(QStringLiteral("2024-12-01"))
        .area(QStringLiteral("BLOCK-A")).method(QStringLiteral("现金")).amount(QStringLiteral("8"))
        .storedOn(QStringLiteral("2024-12-01")).insert(*m_db);
    // The group keeps one spelling of its area, whichever came first or was counted.
    const QString counted = kept().toLower();
    QVERIFY(counted.contains(QStringLiteral("2024-12-01 block-a 现金 2 1500 0\n")));
    QVERIFY(counted.contains(QStringLiteral("2024-12-01 东区  1 1250 0\n")));

    const QString location = m_db->path();
    backToVersion5(dataModule().db());
    dataModule().closeConnection();
    {
        Database old;
        old.open(location, QString::fromUtf8(Schema::DatabaseKey));
        QCOMPARE(old.schemaVersion(), Schema::Version);
        QCOMPARE(DayFigures::firstDifference(old), QString());
    }
    QCOMPARE(kept().toLower(), counted);
    // Kept from then on as on a new database.
    Payment(East, QStringLiteral("1-1-102")).amount(QStringLiteral("1")).save();
    QCOMPARE(DayFigures::firstDifference(dataModule().db()), QString());
}

void TestDayFigures::killedWriterLeavesBothOrNeither()
{
    const QString before = kept();
    const QString payments = m_db->scalar(QStringLiteral("SELECT COUNT(*) FROM UCharge"));
    // A writer that stores a payment and is killed before its transaction ends: the
    // admin tool's statements are one transaction, the last one running on and on.
    const QString endless = TestDb::onServer()
        ? QStringLiteral("SELECT pg_sleep(120)")
        : QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT COUNT(*) FROM n");
    QProcess writer;
    writer.start(QStringLiteral(ADMIN_TOOL_PATH),
                 {QStringLiteral("sql"), QStringLiteral("--db"), m_db->path(),
                  QStringLiteral("INSERT INTO UCharge (HID, theNum, myDate, AName, HNum, theMoney, MType, theDel, theDate) "
                                 "VALUES (1, '2412010099', '2024-12-01', '东区', '1-1-101', 99, '现金', '否', '2024-12-01'); ")
                      + endless});
    QVERIFY(writer.waitForStarted());
    // The writer holds the writers' lock (on the file its write lock) from its first
    // statement on; the payment is in shortly after.
    // (Other tests' databases may share the server: only this one's writer counts.)
    const QString writerLock = QStringLiteral("FROM pg_locks WHERE locktype = 'advisory' AND granted AND pid <> pg_backend_pid() "
                                              "AND database = (SELECT oid FROM pg_database WHERE datname = current_database())");
    const QString kWriter = QStringLiteral("SELECT COUNT(*) ") + writerLock;
    QElapsedTimer waited;
    waited.start();
    bool inside = false;
    while (!inside && waited.elapsed() < 30000 && writer.state() == QProcess::Running) {
        if (TestDb::onServer()) {
            inside = m_db->scalar(kWriter) != QLatin1String("0");
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
    // The insert and its trigger take well under this once the lock is held.
    QThread::msleep(500);
    writer.kill();
    QVERIFY(writer.waitForFinished());
    // A server finds its client gone when it next talks to it; the sleeping writer is
    // ended here in its place.
    if (TestDb::onServer())
        m_db->exec(QStringLiteral("SELECT pg_terminate_backend(pid) ") + writerLock);

    dataModule().closeConnection();
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT COUNT(*) FROM UCharge")), payments);
    QCOMPARE(kept(), before);
    QCOMPARE(DayFigures::firstDifference(dataModule().db()), QString());
    // And the next desk's payment goes in with its figure.
    Payment(East, QStringLiteral("1-1-102")).save();
    QCOMPARE(DayFigures::firstDifference(dataModule().db()), QString());
}

void TestDayFigures::statisticsAsFromThePayments_data()
{
    QTest::addColumn<QString>("extra");
    QTest::addColumn<bool>("kept");
    QTest::newRow("the fixture") << QString() << true;
    QTest::newRow("spellings and a missing method")
        << QStringLiteral("'2024-12-01', '西区', NULL, 10.5; '2024-12-01', 'Block-A', 'xj', 4; "
                          "'2024-12-01', 'block-a', 'XJ', 3; '2024-12-02', 'block-a', 'XJ', 6.25; "
                          "'2024-12-02', '', '现金', 1")
        << true;
    QTest::newRow("an amount below the fen") << QStringLiteral("'2024-12-03', '东区', '现金', 0.125") << false;
}

void TestDayFigures::statisticsAsFromThePayments()
{
    QFETCH(QString, extra);
    QFETCH(bool, kept);
    int n = 50;
    for (const QString &row : extra.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        m_db->exec(QStringLiteral("INSERT INTO UCharge (HID, theNum, myDate, AName, MType, theMoney, theDel, theDate) "
                                  "VALUES (1, '24120100%1', %2, '否', '2024-12-01')")
                       .arg(n++)
                       .arg(row.trimmed()));
    Database &db = dataModule().db();
    QCOMPARE(DayFigures::firstDifference(db), QString());
    // An area or method in several spellings shows in one of them, on either way.
    const QString fromKept = shown(SeasonStatistics::compute(db, season2024())).toLower();
    const QString recounted = shown(SeasonStatistics::compute(db, season2024(), SeasonStatistics::Payments::Recounted)).toLower();
    QCOMPARE(fromKept, recounted);
    QVERIFY(fromKept.contains(QStringLiteral("合计\t")));
    QCOMPARE(SeasonStatistics::statements(db, season2024()).last().contains(QStringLiteral("UDayFigure")), true);
    QCOMPARE(dataModule().countRows(QStringLiteral("SELECT myDate FROM UDayFigure WHERE theOdd <> 0")) == 0, kept);
}

void TestDayFigures::footerAsFromThePayments_data()
{
    QTest::addColumn<QVector<BrowseValue>>("values");
    QTest::addColumn<bool>("kept");
    // The criteria in table order: 单号, 收费日期, 小区名称, 房号, 业主名称, 收款方式, 收款人, 备注.
    auto with = [](int criterion, const QString &text, const QString &to = {}) {
        QVector<BrowseValue> v(ChargeStatements::criteria().size());
        v[criterion] = BrowseValue{true, text, to};
        return v;
    };
    QVector<BrowseValue> dateAndArea = with(1, QStringLiteral("2024-10-10"), QStringLiteral("2024-12-01"));
    dateAndArea[2] = BrowseValue{true, West, {}};
    QVector<BrowseValue> areaAndRoom = with(2, West);
    areaAndRoom[3] = BrowseValue{true, QStringLiteral("2-1"), {}};
    QTest::newRow("none") << QVector<BrowseValue>(ChargeStatements::criteria().size()) << true;
    QTest::newRow("date") << with(1, QStringLiteral("2024-12-01"), QStringLiteral("2025-04-10")) << true;
    QTest::newRow("area") << with(2, East) << true;
    QTest::newRow("area in other letters") << with(2, QStringLiteral("block-a")) << true;
    QTest::newRow("area with a quote") << with(2, QStringLiteral("O'Neil")) << true;
    QTest::newRow("date and area") << dateAndArea << true;
    QTest::newRow("method") << with(5, QStringLiteral("微信")) << true;
    QTest::newRow("empty area") << with(2, QString()) << false;
    QTest::newRow("room") << with(3, QStringLiteral("1-1")) << false;
    QTest::newRow("area and room") << areaAndRoom << false;
    QTest::newRow("receipt number") << with(0, QStringLiteral("2412")) << false;
}

void TestDayFigures::footerAsFromThePayments()
{
    QFETCH(QVector<BrowseValue>, values);
    QFETCH(bool, kept);
    ChargeRowBuilder().house(2).number(QStringLiteral("2412010020")).chargingDate(QStringLiteral("2024-12-01"))
        .area(QStringLiteral("BLOCK-A")).method(QStringLiteral("现金")).amount(QStringLiteral("1234.25"))
        .storedOn(QStringLiteral("2024-12-01")).insert(*m_db);
    ChargeRowBuilder().house(2).number(QStringLiteral("2412010021")).chargingDate(QStringLiteral("2024-12-01"))
        .area(QStringLiteral("O'Neil")).method(QStringLiteral("微信")).amount(QStringLiteral("0.5"))
        .storedOn(QStringLiteral("2024-12-01")).insert(*m_db);
    Database &db = dataModule().db();
    const QString conditions = Browse::where(ChargeStatements::criteria(), values);
    QCOMPARE(ChargeStatements::fromDayFigures(conditions), kept);
    // By area from the day's figures, else from the days' totals.
    const QString figures = conditions.contains(QStringLiteral("AName")) ? QStringLiteral("FROM UDayFigure")
                                                                        : QStringLiteral("FROM UDayTotal");
    QCOMPARE(ChargeStatements::totals(db, conditions).contains(figures), kept);
    QCOMPARE(ChargeStatements::count(conditions).contains(figures), kept);

    const QString total = db.scalar(ChargeStatements::totals(db, conditions));
    const QString count = db.scalar(ChargeStatements::count(conditions));
    QCOMPARE(total, db.scalar(ChargeStatements::totalsOfPayments(db, conditions)));
    QCOMPARE(count, db.scalar(ChargeStatements::countOfPayments(conditions)));

    // A payment of an amount below the fen: its payments are summed instead, to the same digits.
    ChargeRowBuilder().house(2).number(QStringLiteral("2412010022")).chargingDate(QStringLiteral("2024-12-01"))
        .area(West).method(QStringLiteral("微信")).amount(QStringLiteral("0.125")).storedOn(QStringLiteral("2024-12-01"))
        .insert(*m_db);
    QCOMPARE(db.scalar(ChargeStatements::totals(db, conditions)), db.scalar(ChargeStatements::totalsOfPayments(db, conditions)));
    QCOMPARE(db.scalar(ChargeStatements::count(conditions)), db.scalar(ChargeStatements::countOfPayments(conditions)));
}

void TestDayFigures::checkNamesAnAlteredFigure()
{
    // Books that pass every other check: payments taken by the program only.
    m_db = std::make_unique<TestDb>();
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('东区', ''), ('西区', '')"));
    m_db->exec(QStringLiteral("INSERT INTO SMType (theName, Remark) VALUES ('现金', '')"));
    for (const QString &area : {East, West})
        for (const QString room : {"1", "2"})
            HouseBuilder().area(area).room(room).floorArea(100).purpose(QStringLiteral("住宅")).price(20)
                .paidUpTo(QStringLiteral("2024-04-10")).owner(QStringLiteral("张三")).insert(*m_db);
    m_db->login(QDate(2024, 10, 10));
    Payment(East, QStringLiteral("1")).amount(QStringLiteral("2000")).save();
    m_db->login(QDate(2024, 12, 1));
    Payment(West, QStringLiteral("1")).amount(QStringLiteral("2651")).save();
    Payment(East, QStringLiteral("2")).save();
    dataModule().closeConnection();

    QString out, err;
    QVERIFY2(runAdmin({"check", "--db", m_db->path()}, &out, &err) == 0, qPrintable(err));
    QCOMPARE(runAdmin({"sql", "--db", m_db->path(),
                       "UPDATE UDayFigure SET theFen = theFen + 100 WHERE myDate = '2024-12-01' AND AName = '西区' AND MType = '现金'"},
                      &out, &err),
             0);
    QCOMPARE(runAdmin({"check", "--db", m_db->path()}, &out, &err), 1);
    QVERIFY2(err.contains(QStringLiteral("日汇总与收费记录不符：2024-12-01 西区 现金：日汇总为 1 笔 2652.00 元，收费记录为 1 笔 2651.00 元")),
             qPrintable(err));

    // A day's row removed, and another slipped in: the first in date order is named, the
    // rest counted.
    QCOMPARE(runAdmin({"sql", "--db", m_db->path(),
                       "DELETE FROM UDayFigure WHERE myDate = '2024-10-10'; "
                       "INSERT INTO UDayFigure (myDate, AName, MType, theCount, theFen, theOdd) VALUES ('2030-01-01', '东区', '现金', 1, 100, 0)"},
                      &out, &err),
             0);
    QCOMPARE(runAdmin({"check", "--db", m_db->path()}, &out, &err), 1);
    QVERIFY2(err.contains(QStringLiteral("日汇总与收费记录不符：2024-10-10 东区 现金：日汇总为 0 笔 0.00 元，收费记录为 1 笔 2000.00 元（另有 2 处不符）")),
             qPrintable(err));

    // The days' totals are recounted as well: with the day's figures put right, a total
    // changed behind the program's back is named.
    QCOMPARE(runAdmin({"sql", "--db", m_db->path(),
                       "DELETE FROM UDayFigure WHERE myDate = '2030-01-01'; "
                       "UPDATE UDayFigure SET theFen = theFen - 100 WHERE myDate = '2024-12-01' AND AName = '西区'; "
                       "INSERT INTO UDayFigure (myDate, AName, MType, theCount, theFen, theOdd) VALUES ('2024-10-10', '东区', '现金', 1, 200000, 0); "
                       "UPDATE UDayTotal SET theCount = theCount + 1 WHERE myDate = '2024-12-01'"},
                      &out, &err),
             0);
    QCOMPARE(runAdmin({"check", "--db", m_db->path()}, &out, &err), 1);
    QVERIFY2(err.contains(QStringLiteral("日合计与收费记录不符：2024-12-01 现金：日合计为 3 笔 4651.00 元，收费记录为 2 笔 4651.00 元")),
             qPrintable(err));
    QVERIFY2(!err.contains(QStringLiteral("日汇总与收费记录不符")), qPrintable(err));
}

QTEST_MAIN(TestDayFigures)
#include "tst_dayfigures.moc"
