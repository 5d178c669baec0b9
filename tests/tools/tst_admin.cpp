#include "charging/ChargeLogic.h"
#include "data/DataModule.h"
#include "db/Database.h"
#include "data/Schema.h"
#include "demo/DemoData.h"
#include "operators/Login.h"
#include "charging/ChargeStatements.h"
#include "charging/DayClose.h"
#include "charging/PaymentVoid.h"
#include "data/Books.h"
#include "output/PrintModule.h"
#include "owners/OwnerEntry.h"
#include "tests/support/Builders.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>

#include <QTemporaryDir>
#include <QTest>

class TestAdmin : public QObject {
    Q_OBJECT
private slots:
    void initCreatesAndRefuses();
    void sqlPrintsTabSeparated();
    void sqlEngineErrorToStderr();
    void sqlRunsEveryStatementOrNone_data();
    void sqlRunsEveryStatementOrNone();
    void sqlRefusesTransactionControl_data();
    void sqlRefusesTransactionControl();
    void capitals_data();
    void capitals();
    void help();
    void passwdSetsHashedPassword();
    void copyKeepsEveryRowAndId();
    void copyKilledLeavesNoDatabase();
    void checkRunsTheProgramsChecks_data();
    void checkRunsTheProgramsChecks();
    void serverBackupRefused();
    void numberingSkipsNumbersTakenBack();
    void statsWritesNothingThroughALink();
    void guardsRefuseChanges_data();
    void guardsRefuseChanges();
    void checkNamesTheAlteredRow_data();
    void checkNamesTheAlteredRow();
    void dayCodeChecksAPaperClose();
    void reprintsAreOnTheRecord();
};

namespace {
const QString Area = QStringLiteral("幸福小区");

// A day of ordinary work through the program's own paths, charging date 2024-10-10: two
// houses, a change to one, three payments (2410100001..3), the second voided, the first
// printed again twice.
void ordinaryDay(TestDb &db)
{
    db.exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('幸福小区', '')"));
    db.exec(QStringLiteral("INSERT INTO SPrice (theName, thePrice, Remark) VALUES ('住宅', 20, '')"));
    db.login(QDate(2024, 10, 10));
    for (const char *room : {"1-101", "1-102"})
        QVERIFY(OwnerEntry::add(House{Area, QString::fromLatin1(room), QStringLiteral("100"), QStringLiteral("住宅"),
                                      QStringLiteral("20"), QStringLiteral("2024-04-10"), QStringLiteral("张三"), {}, {}}));
    const QString id = db.scalar(QStringLiteral("SELECT ID FROM UHouse WHERE theNum = '1-102'"));
    House changed{Area, QStringLiteral("1-102"), QStringLiteral("100"), QStringLiteral("住宅"), QStringLiteral("20"),
                  QStringLiteral("2024-04-10"), QStringLiteral("李四"), {}, {}};
    OwnerEntry::update(id, changed, OwnerEntry::load(id));
    QCOMPARE(Payment(Area, QStringLiteral("1-101")).save(), QStringLiteral("2410100001"));
    QCOMPARE(Payment(Area, QStringLiteral("1-102")).save(), QStringLiteral("2410100002"));
    PaymentVoid::run(QStringLiteral("2410100002"), QStringLiteral("错收"));
    QCOMPARE(Payment(Area, QStringLiteral("1-102")).years(2).save(), QStringLiteral("2410100003"));
    NoPreview preview;
    report::setPresenter(&preview);
    printModule().reprintReceipt(QStringLiteral("2410100001"));
    printModule().reprintReceipt(QStringLiteral("2410100001"));
    report::setPresenter(nullptr);
    QCOMPARE(preview.count, 2);
}

// The record a payment stored as a fixture would have had from the program.
void recordPayment(const QString &number)
{
    Database &db = dataModule().db();
    const qint64 id = db.scalar(QStringLiteral("SELECT ID FROM UCharge WHERE theNum = '%1'").arg(number)).toLongLong();
    Books::RecordWriter(db).add(QStringLiteral("2024-10-10 09:00:00"), QStringLiteral("管理员"), QStringLiteral("2024-10-10"),
                                QStringLiteral("收费"), QStringLiteral("UCharge"), id, {}, {},
                                QStringLiteral("单号 %1，金额 0").arg(number));
}

// What only someone working behind the program's back does: the guarding triggers removed.
void dropGuards(TestDb &db)
{
    for (const char *table : {"UCharge", "UVoid", "ULog"})
        for (const char *what : {"update", "delete"})
            db.exec(QStringLiteral("DROP TRIGGER %1_keep_%2%3")
                        .arg(QLatin1String(table), QLatin1String(what),
                             TestDb::onServer() ? QStringLiteral(" ON ") + QLatin1String(table) : QString()));
}
} // namespace

void TestAdmin::initCreatesAndRefuses()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("Data/db.edb"));
    QString out, err;
    QCOMPARE(runAdmin({"init", "--db", db, "--operator", "李四"}, &out, &err), 0);
    QVERIFY(QFileInfo::exists(db));
    QCOMPARE(runAdmin({"sql", "--db", db, "SELECT theName, thePass FROM SUser"}, &out, &err), 0);
    // Only the hash of the initial password is stored.
    QVERIFY2(out.startsWith(QStringLiteral("theName\tthePass\n李四\tpbkdf2-sha256$")), qPrintable(out));
    QVERIFY(!out.contains(QStringLiteral("580913")));
    const qint64 size = QFileInfo(db).size();
    QVERIFY(runAdmin({"init", "--db", db}, &out, &err) != 0);
    QVERIFY2(err.contains(QStringLiteral("已经存在")), qPrintable(err));
    QCOMPARE(QFileInfo(db).size(), size);
    QCOMPARE(runAdmin({"sql", "--db", db, "SELECT theName FROM SUser"}, &out, &err), 0);
    QCOMPARE(out, QStringLiteral("theName\n李四\n"));
}

void TestAdmin::sqlPrintsTabSeparated()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("db.edb"));
    QCOMPARE(runAdmin({"init", "--db", db}), 0);
    QString out, err;
    QCOMPARE(runAdmin({"sql", "--db", db, "INSERT INTO SPrice (theName, thePrice, Remark) VALUES ('住宅', '2.50', NULL)"}, &out, &err), 0);
    QCOMPARE(out, QString());
    QCOMPARE(runAdmin({"sql", "--db", db, "SELECT theName AS 房屋用途, thePrice AS 单价, Remark FROM SPrice WHERE theName = '住宅'"}, &out, &err), 0);
    QCOMPARE(out, QStringLiteral("房屋用途\t单价\tRemark\n住宅\t2.5\t\n"));
    // The same dialect as the program: DateDiff and letter case.
    QCOMPARE(runAdmin({"sql", "--db", db, "SELECT DateDiff('yyyy', '2023-12-31', '2024-01-01') AS n, COUNT(*) AS c FROM SPrice WHERE theName LIKE '住%'"}, &out, &err), 0);
    QCOMPARE(out, QStringLiteral("n\tc\n1\t1\n"));
}

void TestAdmin::sqlEngineErrorToStderr()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("db.edb"));
    QCOMPARE(runAdmin({"init", "--db", db}), 0);
    QString out, err;
    QVERIFY(runAdmin({"sql", "--db", db, "SELEC nothing"}, &out, &err) != 0);
    QVERIFY(err.contains(QStringLiteral("syntax error")));
    QVERIFY(runAdmin({"sql", "--db", db, "INSERT INTO SPrice (theName, thePrice) VALUES ('x', '12..5')"}, &out, &err) != 0);
    QCOMPARE(err.trimmed(), QStringLiteral("单价 不是有效的数字"));
    QVERIFY(runAdmin({"sql", "--db", dir.filePath(QStringLiteral("missing.edb")), "SELECT 1"}, &out, &err) != 0);
    QVERIFY(err.contains(QStringLiteral("找不到数据库文件")));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("missing.edb"))));
}

void TestAdmin::sqlRunsEveryStatementOrNone_data()
{
    QTest::addColumn<QString>("batch");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");       // contained in the error output
    QTest::addColumn<QString>("areas");     // SArea afterwards
    // The second statement was once dropped without a word.
    QTest::newRow("two inserts") << "INSERT INTO SArea (theName) VALUES ('a'); INSERT INTO SArea (theName) VALUES ('b')"
                                 << 0 << "" << "" << "a,b";
    QTest::newRow("rows of the last that has some")
        << "INSERT INTO SArea (theName) VALUES ('a'); SELECT theName FROM SArea; INSERT INTO SArea (theName) VALUES ('b');"
        << 0 << "theName\na\n" << "" << "a,b";
    QTest::newRow("rows of the very last") << "INSERT INTO SArea (theName) VALUES ('a');\n-- check\nSELECT count(*) AS n FROM SArea"
                                           << 0 << "n\n1\n" << "" << "a";
    QTest::newRow("semicolons in text and comments") << "INSERT INTO SArea (theName) VALUES ('x;y'); /* ; */ -- ;\n"
                                                     << 0 << "" << "" << "x;y";
    QTest::newRow("second fails: none stored")
        << "INSERT INTO SArea (theName) VALUES ('a'); INSERT INTO SPrice (theName, thePrice) VALUES ('x', '12..5'); "
           "INSERT INTO SArea (theName) VALUES ('b')"
        << 1 << "" << "第 2 条语句出错，全部语句都没有执行" << "";
    QTest::newRow("the words only in values and names")
        << "INSERT INTO SArea (theName) VALUES ('COMMIT'); SELECT theName AS begin_end FROM SArea" << 0 << "begin_end\nCOMMIT\n" << ""
        << "COMMIT";
    QTest::newRow("syntax error in the last") << "INSERT INTO SArea (theName) VALUES ('a'); SELEC 1" << 1 << ""
                                              << "SELEC 1" << "";
}

void TestAdmin::sqlRunsEveryStatementOrNone()
{
    QFETCH(QString, batch);
    QFETCH(int, exit);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, areas);
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("db.edb"));
    QCOMPARE(runAdmin({"init", "--db", db}), 0);
    QString o, e;
    QCOMPARE(runAdmin({"sql", "--db", db, batch}, &o, &e), exit);
    QCOMPARE(o, out);
    QVERIFY2(e.contains(err), qPrintable(e));
    QCOMPARE(runAdmin({"sql", "--db", db, "SELECT group_concat(theName) AS a FROM (SELECT theName FROM SArea ORDER BY ID) ordered"}, &o, &e), 0);
    QCOMPARE(o, QStringLiteral("a\n") + areas + QStringLiteral("\n"));
}

// A statement that begins or ends a transaction (or a part of one) among the statements
// would store part of them; it is refused before anything runs, on either engine.
void TestAdmin::sqlRefusesTransactionControl_data()
{
    QTest::addColumn<QString>("batch");
    QTest::addColumn<QString>("word");
    const QString insert = QStringLiteral("INSERT INTO SArea (theName) VALUES ('a')");
    QTest::newRow("commit between") << insert + "; COMMIT; INSERT INTO SPrice (theName, thePrice) VALUES ('x', '12..5')" << "COMMIT";
    QTest::newRow("begin first") << "BEGIN; " + insert << "BEGIN";
    QTest::newRow("rollback, small letters") << insert + "; rollback;" << "ROLLBACK";
    QTest::newRow("savepoint and release") << "SAVEPOINT s; " + insert + "; RELEASE s" << "SAVEPOINT";
    QTest::newRow("release only") << insert + "; RELEASE SAVEPOINT s" << "RELEASE";
    QTest::newRow("end after comments") << insert + "; /* done */ -- really\n  END;" << "END";
    QTest::newRow("abort") << insert + "; ABORT" << "ABORT";
    QTest::newRow("start transaction") << "START   TRANSACTION; " + insert << "START TRANSACTION";
    QTest::newRow("alone") << "COMMIT" << "COMMIT";
}

void TestAdmin::sqlRefusesTransactionControl()
{
    QFETCH(QString, batch);
    QFETCH(QString, word);
    TestDb db;
    QString out, err;
    QCOMPARE(runAdmin({"sql", "--db", db.path(), batch}, &out, &err), 2);
    QCOMPARE(out, QString());
    QVERIFY2(err.contains(word) && err.contains(QStringLiteral("事务控制语句")) && err.contains(QStringLiteral("没有执行任何语句")),
             qPrintable(err));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SArea")), 0);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SPrice")), 0);
}

void TestAdmin::capitals_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("text");
    QTest::newRow("1234.56") << "1234.56" << "壹仟贰佰叁拾肆元伍角陆分\n";
    QTest::newRow("0") << "0" << "\n";
    QTest::newRow("1005.05") << "1005.05" << "壹仟零伍元零伍分\n";
}

void TestAdmin::capitals()
{
    QFETCH(QString, amount);
    QFETCH(QString, text);
    QString out;
    QCOMPARE(runAdmin({"capitals", amount}, &out), 0);
    QCOMPARE(out, text);
}

void TestAdmin::help()
{
    QString out;
    QCOMPARE(runAdmin({"--help"}, &out), 0);
    for (const char *cmd : {"init", "sql", "capitals"})
        QVERIFY2(out.contains(QString::fromUtf8(cmd)), cmd);
    QString err;
    QVERIFY(runAdmin({"capitals", "abc"}, &out, &err) != 0);
    QVERIFY(!err.isEmpty());
}

void TestAdmin::passwdSetsHashedPassword()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("db.edb"));
    QCOMPARE(runAdmin({"init", "--db", db}), 0);
    auto passwd = [&](const QString &name, const QByteArray &input, QString *err) {
        QProcess p;
        p.start(QStringLiteral(ADMIN_TOOL_PATH), {QStringLiteral("passwd"), QStringLiteral("--db"), db,
                                                  QStringLiteral("--operator"), name});
        p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(60000);
        *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitCode();
    };
    QString err;
    QCOMPARE(passwd(QStringLiteral("管理员"), "Forgot1\n", &err), 0);
    QCOMPARE(passwd(QStringLiteral("无此人"), "x\n", &err), 1);
    QVERIFY2(err.contains(QStringLiteral("不存在")), qPrintable(err));
    QCOMPARE(passwd(QStringLiteral("管理员"), "", &err), 2);
    QCOMPARE(passwd(QStringLiteral("管理员"), "1234567890abc\n", &err), 2); // more than the box takes
    QString out;
    QCOMPARE(runAdmin({"sql", "--db", db, "SELECT thePass FROM SUser"}, &out), 0);
    QVERIFY2(!out.contains(QStringLiteral("Forgot1"), Qt::CaseInsensitive) && out.contains(QStringLiteral("pbkdf2-sha256$")),
             qPrintable(out));
    TestDb reader; // the program's own login takes the new password
    dataModule().setConnection(db, QString::fromUtf8(Schema::DatabaseKey));
    QVERIFY(Login::tryLogin(QStringLiteral("管理员"), QStringLiteral("forgot1"), QDate(2024, 10, 10)));
    QVERIFY(!Login::tryLogin(QStringLiteral("管理员"), QStringLiteral("580913"), QDate(2024, 10, 10)));
}

namespace {
const char *const kEveryTable[] = {"SUser", "SArea", "SMType", "SPrice", "SDept", "SZD", "UHouse", "UCharge", "UVoid", "ULog", "UNumSkip"};

// Every row of every table, in ID order, and the names of the indexes.
QStringList contents(const QString &location)
{
    Database db;
    db.open(location, QString::fromUtf8(Schema::DatabaseKey));
    QStringList all;
    for (const char *table : kEveryTable) {
        const Rows r = db.select(QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(QLatin1String(table)));
        all << QLatin1String(table) + QLatin1Char(':') + r.columns().join(QLatin1Char(',')).toLower();
        for (int i = 0; i < r.rowCount(); ++i)
            all << r.row(i).join(QChar(0x1f));
    }
    const Rows indexes = db.select(db.isServer()
        ? QStringLiteral("SELECT indexname FROM pg_indexes WHERE schemaname = current_schema() AND indexname NOT LIKE '%pkey' ORDER BY 1")
        : QStringLiteral("SELECT lower(name) FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL ORDER BY 1"));
    for (int i = 0; i < indexes.rowCount(); ++i)
        all << QStringLiteral("index ") + indexes.at(i, 0);
    return all;
}
} // namespace

// The office moved to a file and back onto a new database of the engine under test: every
// table whole with its IDs (gaps too), texts as they were, the indexes made again, new
// rows numbered after the copied ones; a target that holds data is refused untouched.
void TestAdmin::copyKeepsEveryRowAndId()
{
    TestDb db;
    db.exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('阳光小区', NULL)"));
    db.exec(QStringLiteral("INSERT INTO SPrice (theName, thePrice, Remark) VALUES ('住宅', 22.5, '')"));
    for (const char *room : {"1-101", "1-102", "1-103"})
        db.exec(QStringLiteral("INSERT INTO UHouse (AName, theNum, theArea, HType, thePrice, EndDate, theName, thePhone, "
                               "Remark, theDel, theDate, UName) VALUES ('阳光小区', '%1', 89.5, '住宅', 22.5, '2025-04-10', "
                               "'O''Brien', '', 'tab\there\nnew line \\ back', '否', '2024-10-10', '管理员')").arg(QLatin1String(room)));
    db.exec(QStringLiteral("DELETE FROM UHouse WHERE theNum = '1-102'"));
    db.exec(QStringLiteral("INSERT INTO UCharge (HID, theNum, myDate, AName, HNum, HArea, HPrice, HName, theCount, QSDate, JZDate, "
                           "theMoney, theDX, MType, theSKR, Remark, theDel, theDate, UName) VALUES (3, 'SF20241010001', "
                           "'2024-10-10', '阳光小区', '1-103', 89.5, 22.5, 'O''Brien', 1, '2024-04-10', '2025-04-10', 2013.75, "
                           "'贰仟零壹拾叁元柒角伍分', '现金', '管理员', '', '否', '2024-10-10', '管理员')"));
    db.exec(QStringLiteral("INSERT INTO UVoid (CID, HID, theNum, myDate, AName, HNum, HName, theMoney, MType, theSKR, OldEndDate, "
                           "NewEndDate, Reason, theTime, theDate, UName) VALUES (1, 3, 'SF20241010001', '2024-10-10', '阳光小区', "
                           "'1-103', 'O''Brien', 2013.75, '现金', '管理员', '2025-04-10', '2024-04-10', '录错', "
                           "'2024-10-10 09:30:00', '2024-10-10', '管理员')"));
    db.exec(QStringLiteral("INSERT INTO ULog (theTime, UName, theDate, theAction, theTable, RowID, AName, HNum, theChange) VALUES "
                           "('2024-10-10 09:30:00', '管理员', '2024-10-10', '作废收费', 'UCharge', 1, '阳光小区', '1-103', '录错')"));
    db.exec(QStringLiteral("INSERT INTO UNumSkip (theDate, theSkip) VALUES ('2024-10-10', 3)"));
    const QString from = db.path();
    dataModule().closeConnection();

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("moved.edb"));
    const QString again = TestDb::onServer() ? TestDb::newServerDatabase() : dir.filePath(QStringLiteral("again.edb"));
    QString out, err;
    QCOMPARE(runAdmin({"copy", "--from", from, "--to", file}, &out, &err), 0);
    QVERIFY2(out.contains(QStringLiteral("UHouse\t2")), qPrintable(out));
    QVERIFY2(runAdmin({"copy", "--from", file, "--to", again}, &out, &err) == 0, qPrintable(err));
    const QStringList original = contents(from);
    QCOMPARE(contents(file), original);
    QCOMPARE(contents(again), original);

    // New rows come after the copied IDs.
    QCOMPARE(runAdmin({"sql", "--db", again, "INSERT INTO UHouse (AName, theNum, theDel) VALUES ('阳光小区', '1-104', '否')"}, &out, &err), 0);
    QCOMPARE(runAdmin({"sql", "--db", again, "SELECT MAX(ID) AS biggest FROM UHouse"}, &out, &err), 0);
    QCOMPARE(out, QStringLiteral("biggest\n4\n"));

    // A target with data is refused and left as it was.
    const QStringList before = contents(again);
    QVERIFY(runAdmin({"copy", "--from", file, "--to", again}, &out, &err) != 0);
    QVERIFY2(err.contains(QStringLiteral("已有数据")), qPrintable(err));
    QCOMPARE(contents(again), before);
    if (TestDb::onServer())
        TestDb::dropServerDatabase(again);
}

// A copy to a new file killed part-way leaves nothing at the target that could pass for
// the database: the file appears there only complete.
void TestAdmin::copyKilledLeavesNoDatabase()
{
    TestDb db;
    DemoOptions o;
    o.houses = 3000;
    o.years = 3;
    o.chargeDate = QDate(2024, 10, 10);
    DemoData::generate(dataModule().db(), o);
    const qint64 payments = db.count(QStringLiteral("SELECT ID FROM UCharge"));
    const QString from = db.path();
    dataModule().closeConnection();
    QTemporaryDir dir;
    const QString to = dir.filePath(QStringLiteral("moved.edb"));

    QProcess p;
    p.start(QStringLiteral(ADMIN_TOOL_PATH), {QStringLiteral("copy"), QStringLiteral("--from"), from, QStringLiteral("--to"), to});
    QVERIFY(p.waitForStarted());
    bool killed = false;
    while (p.state() != QProcess::NotRunning && !killed) {
        if (QFileInfo::exists(to)) {
            p.kill(); // as soon as anything is at the target
            killed = true;
        }
        QThread::usleep(200);
    }
    p.waitForFinished();
    QString out, err;
    if (QFileInfo::exists(to)) {
        // Only ever the whole database.
        QCOMPARE(runAdmin({"sql", "--db", to, "SELECT count(*) AS n FROM UCharge"}, &out, &err), 0);
        QCOMPARE(out, QStringLiteral("n\n%1\n").arg(payments));
    }
    QFile::remove(to);
    // Not killed, the copy is complete and leaves no working file behind.
    QCOMPARE(runAdmin({"copy", "--from", from, "--to", to}, &out, &err), 0);
    QCOMPARE(runAdmin({"check", "--db", to}, &out, &err), 0);
    for (const QString &n : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System))
        QVERIFY2(n == QLatin1String("moved.edb") || n.startsWith(QLatin1String(".moved.edb.copy-")), qPrintable(n));
}

// check runs the program's own checks of its accounts on the file and on a server; a fault
// in them fails the check and is named.
void TestAdmin::checkRunsTheProgramsChecks_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("named");
    QTest::newRow("whole") << "" << "";
    QTest::newRow("a receipt number on two payments")
        << "INSERT INTO UCharge (HID, theNum, theDate, theDel) VALUES (1, '2410100001', '2024-10-10', '否')"
        << "收据号 2410100001 用在了 2 笔收费上";
    QTest::newRow("a void without its payment")
        << "INSERT INTO UVoid (CID, HID, theNum, Reason) VALUES (99, 1, '2410090007', '录错')" << "作废记录 2410090007";
    QTest::newRow("a payment numbered beyond its date's numbering")
        << "INSERT INTO UCharge (HID, theNum, theDate, theDel) VALUES (1, '2410100003', '2024-10-10', '否')"
        << "收据号 2410100003 超出了该日期已发出的编号";
}

void TestAdmin::checkRunsTheProgramsChecks()
{
    QFETCH(QString, fault);
    QFETCH(QString, named);
    TestDb db;
    db.exec(QStringLiteral("INSERT INTO UCharge (HID, theNum, theDate, theDel) VALUES (1, '2410100001', '2024-10-10', '否')"));
    recordPayment(QStringLiteral("2410100001"));
    if (!fault.isEmpty())
        db.exec(fault);
    dataModule().closeConnection();
    QString out, err;
    const int exit = runAdmin({"check", "--db", db.path()}, &out, &err);
    if (fault.isEmpty()) {
        QVERIFY2(exit == 0, qPrintable(err));
        QVERIFY2(out.contains(TestDb::onServer() ? QStringLiteral("本程序的检查通过") : QStringLiteral("完整")), qPrintable(out));
    } else {
        QCOMPARE(exit, 1);
        QVERIFY2(err.contains(named), qPrintable(err));
    }
}

// A server database is backed up with the server's tools: backup says so and fails,
// leaving no file; on the file it makes the copy.
void TestAdmin::serverBackupRefused()
{
    TestDb db;
    dataModule().closeConnection();
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("copy.edb"));
    QString o, e;
    const int exit = runAdmin({"backup", "--db", db.path(), "--out", out}, &o, &e);
    if (TestDb::onServer()) {
        QCOMPARE(exit, 1);
        QVERIFY2(e.contains(QStringLiteral("pg_dump")) && o.isEmpty(), qPrintable(e));
        QVERIFY(!QFileInfo::exists(out));
    } else {
        QCOMPARE(exit, 0);
        QVERIFY(QFileInfo::exists(out));
    }
}

// The numbers a restore took back are skipped by the numbering on both engines.
void TestAdmin::numberingSkipsNumbersTakenBack()
{
    TestDb db;
    db.exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('阳光小区', '')"));
    db.exec(QStringLiteral("INSERT INTO UHouse (AName, theNum, theArea, thePrice, EndDate, theDel) "
                           "VALUES ('阳光小区', '1-101', 100, 2, '2024-04-10', '否')"));
    db.exec(QStringLiteral("INSERT INTO UCharge (HID, theNum, theDate, theDel) VALUES (1, '2410100001', '2024-10-10', '否')"));
    recordPayment(QStringLiteral("2410100001"));
    db.exec(QStringLiteral("INSERT INTO UNumSkip (theDate, theSkip) VALUES ('2024-10-10', 4)"));
    dataModule().closeConnection();
    QString out, err;
    QCOMPARE(runAdmin({"charge", "--db", db.path(), "--charge-date", "2024-10-10", "--area", "阳光小区", "--room", "1-101",
                       "--years", "1"},
                      &out, &err),
             0);
    QCOMPARE(out, QStringLiteral("2410100006\n"));
    QCOMPARE(runAdmin({"check", "--db", db.path()}, &out, &err), 0);
}

// stats writes its workbook and picture beside the target and renames them into place:
// a link planted at either name is replaced, and the file it leads to stays as it was.
void TestAdmin::statsWritesNothingThroughALink()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("db.edb"));
    QCOMPARE(runAdmin({"init", "--db", db}), 0);
    struct Planted {
        QString link, victim;
        QByteArray kept;
    };
    const QList<Planted> planted{{dir.filePath(QStringLiteral("stats.xlsx")), dir.filePath(QStringLiteral("other.xlsx")),
                                  QByteArrayLiteral("PK\x03\x04 another workbook")},
                                 {dir.filePath(QStringLiteral("rates.png")), dir.filePath(QStringLiteral("other.png")),
                                  QByteArrayLiteral("\x89PNG another picture")}};
    for (const Planted &p : planted) {
        QFile f(p.victim);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(p.kept);
        f.close();
        QVERIFY(QFile::link(p.victim, p.link));
    }
    QString out, err;
    QVERIFY2(runAdmin({"stats", "--db", db, "--season", "2024", "--out", planted.at(0).link, "--png", planted.at(1).link},
                      &out, &err)
                 == 0,
             qPrintable(err));
    for (const Planted &p : planted) {
        QFile f(p.victim);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), p.kept);
        QVERIFY2(!QFileInfo(p.link).isSymLink() && QFileInfo(p.link).size() > 1000, qPrintable(p.link));
    }
}

QTEST_MAIN(TestAdmin)
// The books' rows are refused every change and deletion the admin tool's sql might make,
// with the operator's words, while the program's own void went through; the books stay
// whole.
void TestAdmin::guardsRefuseChanges_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("refusal");
    const QString payment = QStringLiteral("收费记录不能修改或删除"), voided = QStringLiteral("作废记录不能修改或删除"),
                  record = QStringLiteral("操作记录不能修改或删除");
    QTest::newRow("payment amount") << "UPDATE UCharge SET theMoney = 1 WHERE theNum = '2410100001'" << payment;
    QTest::newRow("payment owner") << "UPDATE UCharge SET HName = lower(HName) || 'X'" << payment;
    QTest::newRow("a void with more") << "UPDATE UCharge SET theDel = '是', theMoney = 0 WHERE theNum = '2410100003'"
                                      << payment;
    QTest::newRow("a void undone") << "UPDATE UCharge SET theDel = '否' WHERE theNum = '2410100002'" << payment;
    QTest::newRow("payment deleted") << "DELETE FROM UCharge WHERE theNum = '2410100003'" << payment;
    QTest::newRow("void amount") << "UPDATE UVoid SET theMoney = 0" << voided;
    QTest::newRow("void deleted") << "DELETE FROM UVoid" << voided;
    QTest::newRow("record text") << "UPDATE ULog SET theChange = '无'" << record;
    QTest::newRow("record link cleared") << "UPDATE ULog SET theHash = NULL" << record;
    QTest::newRow("record deleted") << "DELETE FROM ULog" << record;
}

void TestAdmin::guardsRefuseChanges()
{
    QFETCH(QString, statement);
    QFETCH(QString, refusal);
    TestDb db;
    ordinaryDay(db);
    QCOMPARE(db.scalar(QStringLiteral("SELECT theDel FROM UCharge WHERE theNum = '2410100002'")), QStringLiteral("是"));
    dataModule().closeConnection();
    QString out, err;
    QCOMPARE(runAdmin({"sql", "--db", db.path(), statement}, &out, &err), 1);
    QVERIFY2(err.contains(refusal), qPrintable(err));
    QVERIFY2(runAdmin({"check", "--db", db.path()}, &out, &err) == 0, qPrintable(err));
    QVERIFY2(out.contains(TestDb::onServer() ? QStringLiteral("本程序的检查通过") : QStringLiteral("完整")), qPrintable(out));
}

// A change made with the guards removed: check names the first altered row and fails; the
// start-up check of the newest records sees an altered record.
void TestAdmin::checkNamesTheAlteredRow_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("named");
    QTest::addColumn<bool>("chainBroken");
    QTest::newRow("payment amount") << "UPDATE UCharge SET theMoney = 1 WHERE theNum = '2410100001'"
                                    << "收费记录（UCharge）ID 1，收据号 2410100001：金额 1 与操作记录" << false;
    QTest::newRow("payment's number") << "UPDATE UCharge SET theNum = '2410100009' WHERE theNum = '2410100003'"
                                      << "收费记录（UCharge）ID 3，收据号 2410100009：收据号与操作记录" << false;
    QTest::newRow("void undone") << "UPDATE UCharge SET theDel = '否' WHERE theNum = '2410100002'"
                                 << "收费记录（UCharge）ID 2，收据号 2410100002：操作记录" << false;
    QTest::newRow("payment deleted") << "DELETE FROM UCharge WHERE theNum = '2410100003'"
                                     << "收据号 2410100003：所记的收费（ID 3）已不存在" << false;
    QTest::newRow("payment slipped in")
        << "INSERT INTO UCharge (HID, theNum, theMoney, theDel, theDate) VALUES (1, '2410100004', 50, '否', '2024-10-10')"
        << "收费记录（UCharge）ID 4，收据号 2410100004：没有收费的操作记录" << false;
    QTest::newRow("void amount") << "UPDATE UVoid SET theMoney = 1" << "作废记录（UVoid）ID 1，收据号 2410100002：金额 1 与操作记录"
                                 << false;
    QTest::newRow("record's amount") << "UPDATE ULog SET theChange = replace(theChange, '金额 2000', '金额 20') "
                                        "WHERE theAction = '收费' AND RowID = 1"
                                     << "操作记录（ULog）ID" << true;
    QTest::newRow("record's operator") << "UPDATE ULog SET UName = '别人' WHERE theAction = '补打收据'"
                                       << "与链不符" << true;
    QTest::newRow("record deleted") << "DELETE FROM ULog WHERE ID = (SELECT MIN(ID) FROM ULog)" << "与链不符" << true;
}

void TestAdmin::checkNamesTheAlteredRow()
{
    QFETCH(QString, statement);
    QFETCH(QString, named);
    QFETCH(bool, chainBroken);
    TestDb db;
    ordinaryDay(db);
    dropGuards(db);
    db.exec(statement);
    // The start-up check reads the newest records: an altered one is told, payments go on.
    QSignalSpy altered(&dataModule(), &DataModule::booksAltered);
    dataModule().startCheck();
    QCOMPARE(dataModule().refusesPayments(), QString());
    QCOMPARE(altered.size(), chainBroken ? 1 : 0);
    if (chainBroken)
        QVERIFY(altered.at(0).at(0).toString().contains(QStringLiteral("账目已在本程序之外被改动")));
    dataModule().closeConnection();
    QString out, err;
    QCOMPARE(runAdmin({"check", "--db", db.path()}, &out, &err), 1);
    // The first fault named is the altered row.
    const QStringList lines = err.split(QLatin1Char('\n'));
    QVERIFY2(lines.size() > 1 && lines.at(1).contains(named), qPrintable(err));
}

// The 校验码 of a signed day close: the books give it again for that day until they are
// altered; check --date --code says so both ways.
void TestAdmin::dayCodeChecksAPaperClose()
{
    TestDb db;
    ordinaryDay(db);
    const DayClose::Report close = DayClose::build({QDate(2024, 10, 10), QDate(2024, 10, 10), {}});
    QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-F]{4}(-[0-9A-F]{4}){3}$")).match(close.code).hasMatch(), qPrintable(close.code));
    QVERIFY(DayClose::asText(close).contains(close.code));
    // Work of later days leaves it as it was.
    db.login(QDate(2024, 10, 11));
    Payment(Area, QStringLiteral("1-101")).save();
    QCOMPARE(DayClose::build({QDate(2024, 10, 10), QDate(2024, 10, 10), {}}).code, close.code);
    QVERIFY(DayClose::build({QDate(2024, 10, 11), QDate(2024, 10, 11), {}}).code != close.code);
    dataModule().closeConnection();

    QString out, err;
    QVERIFY2(runAdmin({"check", "--db", db.path(), "--date", "2024-10-10", "--code", close.code}, &out, &err) == 0, qPrintable(err));
    QVERIFY2(out.contains(QStringLiteral("相符")), qPrintable(out));
    // As typed off the paper: any case, without the dashes.
    QCOMPARE(runAdmin({"check", "--db", db.path(), "--date", "2024-10-10", "--code", close.code.toLower().remove('-')}, &out, &err), 0);
    QCOMPARE(runAdmin({"check", "--db", db.path(), "--date", "2024-10-11", "--code", close.code}, &out, &err), 1);
    QVERIFY2(err.contains(QStringLiteral("校验码不符")), qPrintable(err));
    QCOMPARE(runAdmin({"check", "--db", db.path(), "--date", "2024-10-10"}, &out, &err), 2);

    // Altered behind the program's back: the day's payment record rewritten, its link with it.
    dropGuards(db);
    {
        Database &d = dataModule().db();
        const QString id = d.scalar(QStringLiteral("SELECT ID FROM ULog WHERE theAction = '收费' ORDER BY ID LIMIT 1"));
        d.exec(QStringLiteral("UPDATE ULog SET theChange = replace(theChange, '金额 2000', '金额 20') WHERE ID = ") + id);
        d.exec(QStringLiteral("UPDATE UCharge SET theMoney = 20 WHERE ID = 1"));
        auto c = d.cursor(QStringLiteral("SELECT ID, theTime, UName, theDate, theAction, theTable, RowID, AName, HNum, theChange "
                                         "FROM ULog WHERE ID = ") + id);
        QVERIFY(c->next());
        QStringList fields;
        for (int k = 0; k < 10; ++k)
            fields << (c->isNull(k) ? QString() : c->text(k));
        c.reset();
        const QString previous = d.scalar(QStringLiteral("SELECT theHash FROM ULog WHERE ID < %1 ORDER BY ID DESC LIMIT 1").arg(id));
        d.exec(QStringLiteral("UPDATE ULog SET theHash = '%1' WHERE ID = %2").arg(Books::link(previous, fields), id));
    }
    QVERIFY(DayClose::build({QDate(2024, 10, 10), QDate(2024, 10, 10), {}}).code != close.code);
    dataModule().closeConnection();
    QCOMPARE(runAdmin({"check", "--db", db.path(), "--date", "2024-10-10", "--code", close.code}, &out, &err), 1);
    QVERIFY2(err.contains(QStringLiteral("账目已被改动")) && err.contains(QStringLiteral("与链不符")), qPrintable(err));
}

// Every reprint is on the record with its count: 收费管理's list, the day close, the admin
// tool's receipt; the first print after a payment is none.
void TestAdmin::reprintsAreOnTheRecord()
{
    TestDb db;
    ordinaryDay(db);
    const Rows listed = dataModule().query(ChargeStatements::list({}, true));
    QStringList counts;
    for (int i = 0; i < listed.rowCount(); ++i)
        counts << listed.at(i, QStringLiteral("单号")) + QLatin1Char(':') + listed.at(i, QStringLiteral("补打次数"));
    QCOMPARE(counts, (QStringList{"2410100003:0", "2410100001:2"}));
    QCOMPARE(dataModule().query(ChargeStatements::list({})).columnIndex(QStringLiteral("补打次数")), -1);

    dataModule().closeConnection();
    QTemporaryDir dir;
    QString out, err;
    QVERIFY2(runAdmin({"receipt", "--db", db.path(), "2410100003", "--pdf", dir.filePath(QStringLiteral("r.pdf"))}, &out, &err) == 0,
             qPrintable(err));
    QVERIFY2(out.contains(QStringLiteral("第 1 次补打")), qPrintable(out));
    // Each day's close lists its own: the admin tool reprints under today's date.
    const DayClose::Report close = DayClose::build({QDate(2024, 10, 10), QDate(2024, 10, 10), {}});
    QCOMPARE(close.reprints.size(), 2);
    QCOMPARE(close.reprints.at(1).number, QStringLiteral("2410100001"));
    QCOMPARE(close.reprints.at(1).times, QStringLiteral("2"));
    QCOMPARE(close.reprints.at(1).operatorName, QStringLiteral("管理员"));
    QVERIFY(DayClose::asText(close).contains(QStringLiteral("补打时间")));
    const DayClose::Report today = DayClose::build({QDate::currentDate(), QDate::currentDate(), {}});
    QCOMPARE(today.reprints.size(), 1);
    QCOMPARE(today.reprints.at(0).number, QStringLiteral("2410100003"));
    QCOMPARE(DayClose::asRows(today).at(0, QStringLiteral("类别")), QStringLiteral("补打"));
    dataModule().closeConnection();
    QVERIFY2(runAdmin({"check", "--db", db.path()}, &out, &err) == 0, qPrintable(err));
}

#include "tst_admin.moc"
