#include "charging/ChargeLogic.h"
#include "data/DataModule.h"
#include "db/Database.h"
#include "data/Schema.h"
#include "demo/DemoData.h"
#include "operators/Login.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QProcess>
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
};

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
    if (!fault.isEmpty())
        db.exec(fault);
    dataModule().closeConnection();
    QString out, err;
    const int exit = runAdmin({"check", "--db", db.path()}, &out, &err);
    if (fault.isEmpty()) {
        QCOMPARE(exit, 0);
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
#include "tst_admin.moc"
