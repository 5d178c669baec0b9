#include "data/Schema.h"
#include "data/TfrmDM.h"
#include "operators/Login.h"
#include "tests/support/TestSupport.h"

#include <QProcess>

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
    void capitals_data();
    void capitals();
    void help();
    void passwdSetsHashedPassword();
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
    QCOMPARE(runAdmin({"sql", "--db", db, "SELECT group_concat(theName) AS a FROM (SELECT theName FROM SArea ORDER BY ID)"}, &o, &e), 0);
    QCOMPARE(o, QStringLiteral("a\n") + areas + QStringLiteral("\n"));
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
    frmDM().setConnection(db, QString::fromUtf8(Schema::DatabaseKey));
    QVERIFY(Login::tryLogin(QStringLiteral("管理员"), QStringLiteral("forgot1"), QDate(2024, 10, 10)));
    QVERIFY(!Login::tryLogin(QStringLiteral("管理员"), QStringLiteral("580913"), QDate(2024, 10, 10)));
}

QTEST_MAIN(TestAdmin)
#include "tst_admin.moc"
