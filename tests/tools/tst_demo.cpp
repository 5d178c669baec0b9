#include "data/DemoData.h"
#include "data/NumToChar.h"
#include "data/Numbers.h"
#include "data/TfrmDM.h"
#include "tests/support/TestSupport.h"

#include <QTest>

class TestDemo : public QObject {
    Q_OBJECT
private slots:
    void officeIsConsistent();
    void refusesDatabaseWithHouses();
};

void TestDemo::officeIsConsistent()
{
    TestDb db;
    DemoOptions o;
    o.houses = 300;
    o.years = 3;
    o.chargeDate = QDate(2024, 11, 5);
    const DemoSummary s = DemoData::generate(frmDM().db(), o);
    QCOMPARE(s.houses, 300);
    QVERIFY(s.payments > 300);
    QVERIFY(s.inArrears > 0);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UHouse")), 300);

    // Receipt numbers: unique, "yymmdd" of the charging date, sequences 0001.. without gaps.
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(DISTINCT theNum) FROM UCharge")), QString::number(s.payments));
    const Rows days = frmDM().query(QStringLiteral(
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
    const Rows sample = frmDM().query(QStringLiteral("SELECT theMoney, theDX, theCount, HArea, HPrice FROM UCharge LIMIT 50"));
    for (int r = 0; r < sample.rowCount(); ++r) {
        const double money = sample.at(r, QStringLiteral("theMoney")).toDouble();
        QCOMPARE(sample.at(r, QStringLiteral("theDX")), NumToChar(money));
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
    QVERIFY_THROWS_EXCEPTION(AppError, DemoData::generate(frmDM().db(), DemoOptions{}));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SArea")), 0);
}

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
