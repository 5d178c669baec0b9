// The admin tool's charge command: one payment through charge entry's logic.
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"

#include "data/DataModule.h"

#include <QTest>
#include <memory>

class TestChargeCommand : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void takesPayment();
    void refusals_data();
    void refusals();

private:
    QStringList base() const
    {
        return {QStringLiteral("charge"), QStringLiteral("--db"), m_db->path(), QStringLiteral("--charge-date"),
                QStringLiteral("2024-10-10")};
    }
    std::unique_ptr<TestDb> m_db;
};

void TestChargeCommand::init()
{
    m_db = std::make_unique<TestDb>();
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('阳光小区', '')"));
    m_db->exec(QStringLiteral("INSERT INTO SMType (theName, Remark) VALUES ('现金', '')"));
    m_db->exec(QStringLiteral("INSERT INTO SMType (theName, Remark) VALUES ('微信', '')"));
    m_db->exec(QStringLiteral("INSERT INTO SUser (theName, thePass, theMT) VALUES ('王丽', '580913', '微信')"));
    m_db->exec(QStringLiteral("UPDATE SUser SET theMT = '现金' WHERE ID = 1"));
    m_db->exec(QStringLiteral("INSERT INTO SUser (theName, thePass) VALUES ('赵六', '580913')")); // no default items
    const QStringList houses[] = {{"1-101", "100", "2", "2024-04-10"}, {"1-102", "88.5", "2.5", "2024-02-29"}, {"1-103", "80", "2", ""},
                                  {"1-104", "1e308", "10", "2024-04-10"}, {"1-105", "1e12", "10", "2024-04-10"}};
    for (const QStringList &h : houses)
        HouseBuilder().area(QStringLiteral("阳光小区")).room(h[0]).floorArea(h[1]).price(h[2]).paidUpTo(h[3])
            .purpose(QStringLiteral("住宅")).owner(QStringLiteral("张三")).phone({}).remark({})
            .entered(QStringLiteral("2024-10-10"), QStringLiteral("管理员")).insert(*m_db);
    // Earlier payments of the same charging date: the next number follows them.
    ChargeRowBuilder().house(9).number(QStringLiteral("2410100001")).storedOn(QStringLiteral("2024-10-10")).deleted().insert(*m_db);
    dataModule().closeConnection();
}

void TestChargeCommand::cleanup()
{
    m_db.reset();
}

void TestChargeCommand::takesPayment()
{
    QString out, err;
    QCOMPARE(runAdmin(base() << "--area" << "阳光小区" << "--room" << "1-102" << "--years" << "2", &out, &err), 0);
    QCOMPARE(out, QStringLiteral("2410100002\n"));
    const auto row = [&](const QString &sql) { return m_db->scalar(sql); };
    QCOMPARE(row(QStringLiteral("SELECT QSDate || ' ' || JZDate || ' ' || theMoney || ' ' || theDX || ' ' || MType || ' ' || "
                                "theSKR || ' ' || UName || ' ' || myDate FROM UCharge WHERE theNum = '2410100002'")),
             QStringLiteral("2024-03-01 2026-02-28 442.5 肆佰肆拾贰元伍角 现金 管理员 管理员 2024-10-10"));
    QCOMPARE(row(QStringLiteral("SELECT EndDate FROM UHouse WHERE theNum = '1-102'")), QStringLiteral("2026-02-28"));

    // Another operator with their own default payment method, and a method named.
    QCOMPARE(runAdmin(base() << "--area" << "阳光小区" << "--room" << "1-101" << "--years" << "1" << "--operator" << "王丽", &out, &err), 0);
    QCOMPARE(out, QStringLiteral("2410100003\n"));
    QCOMPARE(row(QStringLiteral("SELECT MType || theSKR FROM UCharge WHERE theNum = '2410100003'")), QStringLiteral("微信王丽"));
    QCOMPARE(runAdmin(base() << "--area" << "阳光小区" << "--room" << "1-101" << "--years" << "1" << "--method" << "现金", &out, &err), 0);
    QCOMPARE(row(QStringLiteral("SELECT QSDate || MType FROM UCharge WHERE theNum = '2410100004'")), QStringLiteral("2025-04-11现金"));
}

void TestChargeCommand::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown area") << QStringList{"--area", "阴光小区", "--room", "1-101", "--years", "1"} << "不在小区列表中";
    QTest::newRow("hostile area") << QStringList{"--area", "x'; DELETE FROM UCharge; --", "--room", "1-101", "--years", "1"}
                                  << "不在小区列表中";
    QTest::newRow("unknown room") << QStringList{"--area", "阳光小区", "--room", "1-999", "--years", "1"}
                                  << "业主信息 不存在，请重新录入房号！";
    QTest::newRow("hostile room") << QStringList{"--area", "阳光小区", "--room", "' OR '1'='1", "--years", "1"}
                                  << "业主信息 不存在，请重新录入房号！";
    QTest::newRow("years not a number") << QStringList{"--area", "阳光小区", "--room", "1-101", "--years", "1; --"}
                                        << "不是有效的数字";
    QTest::newRow("years empty") << QStringList{"--area", "阳光小区", "--room", "1-101", "--years", ""}
                                 << "收费年数 不能为空，请重新录入！";
    // An overflowing product once became a receipt for 0 yuan that moved the date a year on.
    QTest::newRow("amount overflows") << QStringList{"--area", "阳光小区", "--room", "1-104", "--years", "1"}
                                      << "收款金额超出范围";
    QTest::newRow("amount beyond capitals") << QStringList{"--area", "阳光小区", "--room", "1-105", "--years", "1"}
                                            << "收款金额超出范围";
    QTest::newRow("no paid-up date") << QStringList{"--area", "阳光小区", "--room", "1-103", "--years", "1"} << "到期日期为空";
    QTest::newRow("unknown method") << QStringList{"--area", "阳光小区", "--room", "1-101", "--years", "1", "--method", "刷脸"}
                                    << "不在收款方式列表中";
    QTest::newRow("no payment method") << QStringList{"--area", "阳光小区", "--room", "1-101", "--years", "1", "--operator", "赵六"}
                                       << "收款方式 不能为空！";
    QTest::newRow("unknown operator") << QStringList{"--area", "阳光小区", "--room", "1-101", "--years", "1", "--operator", "李四"}
                                      << "不存在";
    QTest::newRow("bad charge date") << QStringList{"--area", "阳光小区", "--room", "1-101", "--years", "1", "--charge-date", "2024-13-01"}
                                     << "不是有效的日期";
}

void TestChargeCommand::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const QString before = m_db->scalar(QStringLiteral("SELECT COUNT(*) || group_concat(EndDate) FROM UHouse"))
        + m_db->scalar(QStringLiteral("SELECT COUNT(*) FROM UCharge"));
    dataModule().closeConnection();
    QString out, err;
    QCOMPARE(runAdmin(base() << args, &out, &err), 1);
    QVERIFY2(err.contains(message), qPrintable(err));
    QCOMPARE(out, QString());
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT COUNT(*) || group_concat(EndDate) FROM UHouse"))
                 + m_db->scalar(QStringLiteral("SELECT COUNT(*) FROM UCharge")),
             before);
}

QTEST_MAIN(TestChargeCommand)
#include "tst_chargecmd.moc"
