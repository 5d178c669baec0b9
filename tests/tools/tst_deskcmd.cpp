// The admin tool's find and history: charge entry's pick list and a house's past payments.
#include "tests/support/Builders.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestSupport.h"

#include "charging/PaymentVoid.h"
#include "data/DataModule.h"
#include "output/PrintModule.h"
#include "report/ReportPresenter.h"

#include <QTest>
#include <memory>

class TestDeskCommands : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void find();
    void history();
    void usage_data();
    void usage();

private:
    std::unique_ptr<TestDb> m_db;
    QString m_first, m_second;
};

void TestDeskCommands::init()
{
    m_db = std::make_unique<TestDb>();
    m_db->login(QDate(2024, 10, 10));
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('阳光小区'), ('幸福小区')"));
    m_db->exec(QStringLiteral("INSERT INTO SMType (theName) VALUES ('现金')"));
    const QStringList houses[] = {{"阳光小区", "5-101", "欧阳娜娜", "13912345678", "2022-05-01", "否"},
                                  {"幸福小区", "5-201", "欧阳峰", "", "2025-01-01", "否"},
                                  {"幸福小区", "5-301", "欧阳旧", "", "2020-01-01", "是"},
                                  {"幸福小区", "6-1", "李%四", "555", "", "否"}};
    for (const QStringList &h : houses)
        HouseBuilder().area(h[0]).room(h[1]).owner(h[2]).phone(h[3]).paidUpTo(h[4]).set(QStringLiteral("theDel"), h[5])
            .floorArea(100).price(20).purpose(QStringLiteral("住宅")).insert(*m_db);
    NoPreview preview;
    report::setPresenter(&preview);
    m_first = Payment(QStringLiteral("阳光小区"), QStringLiteral("5-101")).save();
    m_second = Payment(QStringLiteral("阳光小区"), QStringLiteral("5-101")).save();
    printModule().reprintReceipt(m_first);
    PaymentVoid::run(m_second, QStringLiteral("重复收费"));
    report::setPresenter(nullptr);
    dataModule().closeConnection();
}

void TestDeskCommands::cleanup()
{
    m_db.reset();
}

void TestDeskCommands::find()
{
    QString out, err;
    QCOMPARE(runAdmin({"find", "--db", m_db->path(), "--charge-date", "2024-10-10", "欧阳"}, &out, &err), 0);
    QCOMPARE(out, QStringLiteral("小区名称\t房号\t业主名称\t联系电话\t交费截至日期\t欠费年数\n"
                                 "幸福小区\t5-201\t欧阳峰\t\t2025-01-01\t0\n"
                                 "阳光小区\t5-101\t欧阳娜娜\t13912345678\t2023-05-01\t1\n"));
    QCOMPARE(runAdmin({"find", "--db", m_db->path(), "%"}, &out, &err), 0);
    QCOMPARE(out.split(QLatin1Char('\n')).value(1), QStringLiteral("幸福小区\t6-1\t李%四\t555\t\t"));
    QCOMPARE(runAdmin({"find", "--db", m_db->path(), "nobody"}, &out, &err), 0);
    QCOMPARE(out, QStringLiteral("小区名称\t房号\t业主名称\t联系电话\t交费截至日期\t欠费年数\n没有匹配的业主，请重新输入\n"));
}

void TestDeskCommands::history()
{
    QString out, err;
    QCOMPARE(runAdmin({"history", "--db", m_db->path(), "--area", "阳光小区", "--room", "5-101"}, &out, &err), 0);
    QCOMPARE(out, QStringLiteral("单号\t收费日期\t起始日期\t截至日期\t年数\t金额\t收款方式\t收款人\t作废\t补打次数\n")
                      + m_second + QStringLiteral("\t2024-10-10\t2023-05-02\t2024-05-01\t1\t2000\t现金\t管理员\t作废：重复收费\t0\n")
                      + m_first + QStringLiteral("\t2024-10-10\t2022-05-02\t2023-05-01\t1\t2000\t现金\t管理员\t\t1\n"));
    // A house without payments: the heading only.
    QCOMPARE(runAdmin({"history", "--db", m_db->path(), "--area", "幸福小区", "--room", "5-201"}, &out, &err), 0);
    QCOMPARE(out.count(QLatin1Char('\n')), 1);
    // A deleted house is not found, as the look-up finds none.
    QCOMPARE(runAdmin({"history", "--db", m_db->path(), "--area", "幸福小区", "--room", "5-301"}, &out, &err), 1);
    QCOMPARE(err.trimmed(), QStringLiteral("业主信息 不存在，请重新录入房号！"));
}

void TestDeskCommands::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("find without text") << QStringList{"find"};
    QTest::newRow("find with blank text") << QStringList{"find", " "};
    QTest::newRow("find with two texts") << QStringList{"find", "a", "b"};
    QTest::newRow("find with a bad date") << QStringList{"find", "--charge-date", "2024-13-01", "a"};
    QTest::newRow("history without room") << QStringList{"history", "--area", "阳光小区"};
    QTest::newRow("history without area") << QStringList{"history", "--room", "5-101"};
}

void TestDeskCommands::usage()
{
    QFETCH(QStringList, args);
    args.insert(1, m_db->path());
    args.insert(1, QStringLiteral("--db"));
    QString out, err;
    QCOMPARE(runAdmin(args, &out, &err), 2);
    QVERIFY2(err.startsWith(QStringLiteral("用法: chengyue-admin ") + args.first()), qPrintable(err));
}

QTEST_MAIN(TestDeskCommands)
#include "tst_deskcmd.moc"
