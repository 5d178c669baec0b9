#include "demo/DemoData.h"
#include "data/Capitals.h"
#include "db/Numbers.h"
#include "data/DataModule.h"
#include "tests/support/TestSupport.h"

#include <QTest>

class TestDemo : public QObject {
    Q_OBJECT
private slots:
    void officeIsConsistent();
    void refusesDatabaseWithHouses();
    void keepsListsAlreadyThere();
};

void TestDemo::officeIsConsistent()
{
    TestDb db;
    DemoOptions o;
    o.houses = 300;
    o.years = 3;
    o.chargeDate = QDate(2024, 11, 5);
    const DemoSummary s = DemoData::generate(dataModule().db(), o);
    QCOMPARE(s.houses, 300);
    QVERIFY(s.payments > 300);
    QVERIFY(s.inArrears > 0);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UHouse")), 300);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UHouse WHERE typeof(theArea) <> 'real' OR typeof(thePrice) <> 'real'")), 0);

    // Receipt numbers: unique, "yymmdd" of the charging date, sequences 0001.. without gaps.
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(DISTINCT theNum) FROM UCharge")), QString::number(s.payments));
    const Rows days = dataModule().query(QStringLiteral(
        "SELECT theDate, COUNT(*) AS n, MIN(theNum) AS lo, MAX(theNum) AS hi FROM UCharge GROUP BY theDate"));
    for (int r = 0; r < days.rowCount(); ++r) {
        const QDate d = QDate::fromString(days.at(r, QStringLiteral("theDate")), QStringLiteral("yyyy-MM-dd"));
        const QString prefix = d.toString(QStringLiteral("yyMMdd"));
        QCOMPARE(days.at(r, QStringLiteral("lo")), prefix + QStringLiteral("0001"));
        QCOMPARE(days.at(r, QStringLiteral("hi")),
                 prefix + QStringLiteral("%1").arg(days.at(r, QStringLiteral("n")).toInt(), 4, 10, QLatin1Char('0')));
        QVERIFY(d <= o.chargeDate);
    }
    // Every paying house's paid-up date is the end of its last payment; amounts and capitals agree.
    QCOMPARE(db.count(QStringLiteral(
                 "SELECT h.ID FROM UHouse h JOIN (SELECT HID, MAX(JZDate) AS j FROM UCharge GROUP BY HID) c "
                 "ON c.HID = h.ID WHERE h.EndDate <> c.j")),
             0);
    const Rows sample = dataModule().query(QStringLiteral("SELECT theMoney, theDX, theCount, HArea, HPrice FROM UCharge LIMIT 50"));
    for (int r = 0; r < sample.rowCount(); ++r) {
        const double money = sample.at(r, QStringLiteral("theMoney")).toDouble();
        QCOMPARE(sample.at(r, QStringLiteral("theDX")), amountInCapitals(money));
        QCOMPARE(money, Numbers::roundTo(sample.at(r, QStringLiteral("theCount")).toDouble()
                                             * sample.at(r, QStringLiteral("HArea")).toDouble()
                                             * sample.at(r, QStringLiteral("HPrice")).toDouble(), 2));
    }
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SUser")), 3);
}

void TestDemo::refusesDatabaseWithHouses()
{
    TestDb db;
    db.exec(QStringLiteral("INSERT INTO UHouse (AName, theNum, theArea, thePrice, theDel) VALUES ('a', '1', 1, 1, '否')"));
    QVERIFY_THROWS_EXCEPTION(AppError, DemoData::generate(dataModule().db(), DemoOptions{}));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SArea")), 0);
}

void TestDemo::keepsListsAlreadyThere()
{
    // A database without houses but with some names of its own.
    TestDb db;
    db.exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('阳光小区')"));
    db.exec(QStringLiteral("INSERT INTO SPrice (theName, thePrice) VALUES ('住宅', 26)"));
    db.exec(QStringLiteral("INSERT INTO SMType (theName) VALUES ('现金')"));
    DemoOptions o;
    o.houses = 50;
    o.years = 1;
    o.chargeDate = QDate(2024, 11, 5);
    DemoData::generate(dataModule().db(), o);
    for (const char *table : {"SArea", "SPrice", "SMType"})
        QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) - COUNT(DISTINCT theName) FROM %1").arg(QLatin1String(table))),
                 QStringLiteral("0"));
    QCOMPARE(db.scalar(QStringLiteral("SELECT thePrice FROM SPrice WHERE theName = '住宅'")), QStringLiteral("26"));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UHouse WHERE HType = '住宅' AND thePrice <> 26")), 0);
    QVERIFY(db.count(QStringLiteral("SELECT ID FROM UHouse WHERE HType = '住宅'")) > 0);
}

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
