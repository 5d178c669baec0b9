// The admin tool's billing rules: season prices, the rules' settings, 报停, and a charge and
// the statistics that honour them.
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"

#include "data/DataModule.h"

#include <QTest>
#include <memory>

class TestRulesCommand : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void setRulesSuspendAndCharge();
    void refusals_data();
    void refusals();

private:
    QStringList cmd(const char *name) const { return {QString::fromLatin1(name), QStringLiteral("--db"), m_db->path()}; }
    std::unique_ptr<TestDb> m_db;
};

void TestRulesCommand::init()
{
    m_db = std::make_unique<TestDb>();
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('阳光小区', '')"));
    m_db->exec(QStringLiteral("INSERT INTO SPrice (theName, thePrice, Remark) VALUES ('住宅', 20, '')"));
    const QStringList houses[] = {{"1-101", "2024-04-10"}, {"1-102", "2023-04-10"}};
    for (const QStringList &h : houses)
        HouseBuilder().area(QStringLiteral("阳光小区")).room(h[0]).floorArea(QStringLiteral("100")).price(QStringLiteral("20"))
            .paidUpTo(h[1]).purpose(QStringLiteral("住宅")).owner(QStringLiteral("张三")).phone({}).remark({})
            .entered(QStringLiteral("2024-01-01"), QStringLiteral("管理员")).insert(*m_db);
    dataModule().closeConnection();
}

void TestRulesCommand::cleanup()
{
    m_db.reset();
}

void TestRulesCommand::setRulesSuspendAndCharge()
{
    QString out, err;
    QCOMPARE(runAdmin(cmd("rules"), &out, &err), 0);
    QCOMPARE(out, QStringLiteral("报停：关闭，基本热费 30%，截止日期 09-30，有欠费不予报停：否\n"
                                 "优惠：关闭，1%，09-10 至 09-30\n"
                                 "违约金：关闭，每日 0.5‰，12-31 起，上限 100%\n"));
    QCOMPARE(runAdmin(cmd("rules") << "--suspend-percent" << "40" << "--suspend-refuse-arrears" << "on", &out, &err), 0);
    QVERIFY2(out.startsWith(QStringLiteral("报停：开启，基本热费 40%，截止日期 09-30，有欠费不予报停：是\n")), qPrintable(out));
    QCOMPARE(runAdmin(cmd("rules") << "--late-permille" << "1" << "--late-cap" << "10", &out, &err), 0);
    QVERIFY2(out.endsWith(QStringLiteral("违约金：开启，每日 1‰，12-31 起，上限 10%\n")), qPrintable(out));
    QCOMPARE(runAdmin(cmd("rules") << "--off" << "late", &out, &err), 0);
    QVERIFY2(out.endsWith(QStringLiteral("违约金：关闭，每日 1‰，12-31 起，上限 10%\n")), qPrintable(out));

    QCOMPARE(runAdmin(cmd("price") << "--purpose" << "住宅" << "--season" << "2025" << "--price" << "22", &out, &err), 0);
    QCOMPARE(runAdmin(cmd("price"), &out, &err), 0);
    QCOMPARE(out, QStringLiteral("住宅\t2025\t22\n"));

    QCOMPARE(runAdmin(cmd("suspend") << "--area" << "阳光小区" << "--room" << "1-101" << "--season" << "2024" << "--reason" << "外出"
                                     << "--charge-date" << "2024-09-01",
                      &out, &err),
             0);
    QCOMPARE(out, QStringLiteral("阳光小区 1-101 2024采暖季 报停，基本热费 40%\n"));

    // The charge: the suspended season at 40% of 20 × 100, the next at its season price.
    QCOMPARE(runAdmin(cmd("charge") << "--area" << "阳光小区" << "--room" << "1-101" << "--years" << "2" << "--charge-date"
                                    << "2024-10-10",
                      &out, &err),
             0);
    QCOMPARE(out, QStringLiteral("2410100001\n"
                                 "2024采暖季\t基本热费\t单价 20，40%\t800\n"
                                 "2025采暖季\t年费\t单价 22\t2200\n"
                                 "合计\t3000\n"));
    dataModule().closeConnection();
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT theMoney FROM UCharge")).toDouble(), 3000.0);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UChargeItem")), 2);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM ULog WHERE theAction IN ('修改收费规则', '新增采暖季单价', '报停')")), 5);
    dataModule().closeConnection();

    QCOMPARE(runAdmin(cmd("stats") << "--season" << "2024", &out, &err), 0);
    QVERIFY2(out.contains(QStringLiteral("报停\t户数\t面积\n阳光小区\t1\t100\n合计\t1\t100\n")), qPrintable(out));
}

void TestRulesCommand::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QStringList room{"--area", "阳光小区", "--room", "1-101", "--season", "2024"};
    QTest::newRow("suspend after the deadline") << (QStringList{"suspend"} << room << "--charge-date" << "2024-10-01") << 1 << "已过截止日期";
    QTest::newRow("suspend with arrears") << QStringList{"suspend", "--area", "阳光小区", "--room", "1-102", "--season", "2024",
                                                        "--charge-date", "2024-09-01"}
                                          << 1 << "有欠费";
    QTest::newRow("cancel what is not suspended") << (QStringList{"suspend"} << room << "--cancel" << "--charge-date" << "2024-09-01")
                                                  << 1 << "没有报停";
    QTest::newRow("suspend an unknown room") << QStringList{"suspend", "--area", "阳光小区", "--room", "9-999", "--season", "2024"}
                                             << 1 << "业主信息 不存在";
    QTest::newRow("price of an unknown purpose") << QStringList{"price", "--purpose", "车库", "--season", "2024", "--price", "5"} << 1
                                                 << "不在单价列表中";
    QTest::newRow("price and remove at once") << QStringList{"price", "--purpose", "住宅", "--season", "2024", "--price", "5", "--remove"}
                                              << 2 << "用法";
    QTest::newRow("rules with no month-day") << QStringList{"rules", "--discount-from", "13-01"} << 1 << "不是有效的月-日";
    QTest::newRow("rules off of no rule") << QStringList{"rules", "--off", "everything"} << 2 << "用法";
}

void TestRulesCommand::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, message);
    QString out, err;
    QCOMPARE(runAdmin(cmd("rules") << "--suspend-refuse-arrears" << "on", &out, &err), 0);
    const QStringList full = QStringList{args.first(), QStringLiteral("--db"), m_db->path()} + args.mid(1);
    QCOMPARE(runAdmin(full, &out, &err), status);
    QVERIFY2(err.contains(message), qPrintable(err));
    // Nothing but the rule set above was stored.
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM USuspend")) + m_db->count(QStringLiteral("SELECT ID FROM SSeasonPrice")), 0);
}

QTEST_MAIN(TestRulesCommand)
#include "tst_rulescmd.moc"
