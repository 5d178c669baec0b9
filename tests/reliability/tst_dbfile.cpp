// The database file itself: missing, not a database, empty, wrongly keyed, in a folder that
// cannot be written, on a full disk. Each gives a clear message, and neither the program
// nor the admin tool ever writes into a file that is not its database.
#include "tests/support/Doubles.h"
#include "tests/support/TestSupport.h"

#include "charging/ChargeEntryDialog.h"
#include "data/DataModule.h"
#include "db/Database.h"
#include "data/Schema.h"
#include "operators/LoginDialog.h"
#include "report/ReportPresenter.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/LookupCombo.h"

#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QByteArray digest(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Files of the folder, so that a test can see that nothing was made beside them.
QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestDbFile : public QObject {
    Q_OBJECT
private slots:
    void notOurDatabase_data();
    void notOurDatabase();
    void adminToolLeavesForeignFileAlone_data();
    void adminToolLeavesForeignFileAlone();
    void outputNeverOverwritesDatabase();
    void missingDataFolderIsNotMade();
    void readOnlyFolder();
    void fullDiskStoresNothingHalf();
};

void TestDbFile::notOurDatabase_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QByteArray random(8192, Qt::Uninitialized);
    QRandomGenerator gen(472);
    for (char &c : random)
        c = char(gen.bounded(256));
    QTest::newRow("empty file") << QByteArray() << QStringLiteral("是空的");
    QTest::newRow("text") << QByteArray("房号,面积\n1-101,80\n") << QStringLiteral("不是本程序的数据库文件");
    QTest::newRow("random bytes") << random << QStringLiteral("不是本程序的数据库文件");
    QTest::newRow("spreadsheet") << QByteArray("PK\x03\x04 not really a workbook") << QStringLiteral("不是本程序的数据库文件");
    // An unencrypted database and one with another key: made below.
    QTest::newRow("plain database") << QByteArray("plain") << QStringLiteral("不是本程序的数据库文件");
    QTest::newRow("other key") << QByteArray("other key") << QStringLiteral("密码错误");
}

void TestDbFile::notOurDatabase()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("db.edb"));
    if (bytes == "plain") {
        sqlite3 *plain = nullptr;
        QCOMPARE(sqlite3_open_v2(QFile::encodeName(path).constData(), &plain, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr), SQLITE_OK);
        QCOMPARE(sqlite3_exec(plain, "CREATE TABLE SUser (ID INTEGER PRIMARY KEY, theName TEXT); "
                                     "INSERT INTO SUser (theName) VALUES ('someone')", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(plain);
    } else if (bytes == "other key") {
        Database db;
        db.create(path, QStringLiteral("another key"));
        db.exec(QStringLiteral("CREATE TABLE SUser (ID INTEGER PRIMARY KEY, theName TEXT)"));
        db.exec(QStringLiteral("INSERT INTO SUser (theName) VALUES ('someone')"));
        db.close();
    } else {
        writeFile(path, bytes);
    }
    const QByteArray before = digest(path);
    const QStringList files = filesIn(dir.path());

    // The login window's first statement opens the file.
    resetLoginState();
    dataModule().setConnection(path, QString::fromUtf8(Schema::DatabaseKey));
    {
        MessageRecorder rec;
        LoginDialog w;
        w.openDatabase();
        QCOMPARE(rec.errors(), 1);
        QVERIFY2(rec.last().contains(message) && rec.last().contains(QDir::toNativeSeparators(path)), qPrintable(rec.last()));
        QCOMPARE(w.operatorBox->count(), 0);
    }
    dataModule().closeConnection();
    QCOMPARE(digest(path), before);
    QCOMPARE(filesIn(dir.path()), files);
}

void TestDbFile::adminToolLeavesForeignFileAlone_data()
{
    QTest::addColumn<QStringList>("args"); // DB stands for the path
    QTest::newRow("init") << QStringList{"init", "--db", "DB"};
    QTest::newRow("sql") << QStringList{"sql", "--db", "DB", "SELECT 1"};
    QTest::newRow("demo") << QStringList{"demo", "--db", "DB", "--houses", "10"};
    QTest::newRow("charge") << QStringList{"charge", "--db", "DB", "--area", "阳光小区", "--room", "1", "--years", "1"};
    QTest::newRow("receipt") << QStringList{"receipt", "--db", "DB", "2410100001", "--pdf", "OUT.pdf"};
    QTest::newRow("export") << QStringList{"export", "--db", "DB", "owners", "--out", "OUT.xlsx"};
}

void TestDbFile::adminToolLeavesForeignFileAlone()
{
    QFETCH(QStringList, args);
    QTemporaryDir dir;
    for (const QByteArray &bytes : {QByteArray(), QByteArray("a letter, not a database\n")}) {
        const QString path = dir.filePath(QStringLiteral("db.edb"));
        writeFile(path, bytes);
        const QStringList files = filesIn(dir.path());
        QStringList a = args;
        a.replaceInStrings(QStringLiteral("DB"), path);
        a.replaceInStrings(QStringLiteral("OUT"), dir.filePath(QStringLiteral("out")));
        QString out, err;
        const int rc = runAdmin(a, &out, &err);
        QVERIFY2(rc != 0, qPrintable(out));
        QVERIFY2(err.contains(QStringLiteral("不是本程序的数据库文件")) || err.contains(QStringLiteral("已经存在")), qPrintable(err));
        QCOMPARE(QFileInfo(path).size(), qint64(bytes.size()));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), bytes);
        QCOMPARE(filesIn(dir.path()), files);
    }
}

void TestDbFile::outputNeverOverwritesDatabase()
{
    // A slip of the output path names the database itself, or another file.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("db.edb"));
    Schema::createFile(path);
    const QString letter = dir.filePath(QStringLiteral("letter.txt"));
    writeFile(letter, "Dear office,\n");
    for (const QString &target : {path, letter}) {
        const QByteArray before = digest(target);
        for (const QStringList &args : {QStringList{"receipt", "--db", path, "1", "--pdf", target},
                                        QStringList{"export", "--db", path, "owners", "--out", target}}) {
            QString err;
            QCOMPARE(runAdmin(args, nullptr, &err), 1);
            QVERIFY2(err.contains(QStringLiteral("不会覆盖")), qPrintable(err));
            QCOMPARE(digest(target), before);
        }
    }
    // An earlier receipt or workbook of the tool is replaced as before.
    const QString pdf = dir.filePath(QStringLiteral("r.pdf"));
    const QString xlsx = dir.filePath(QStringLiteral("o.xlsx"));
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(runAdmin({"receipt", "--db", path, "1", "--pdf", pdf}), 0);
        QCOMPARE(runAdmin({"export", "--db", path, "owners", "--out", xlsx}), 0);
    }
}

void TestDbFile::missingDataFolderIsNotMade()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Data/db.edb"));
    for (const QStringList &args : {QStringList{"sql", "--db", path, "SELECT 1"},
                                    QStringList{"charge", "--db", path, "--area", "x", "--room", "1", "--years", "1"},
                                    QStringList{"receipt", "--db", path, "1", "--pdf", dir.filePath(QStringLiteral("r.pdf"))}}) {
        QString err;
        QCOMPARE(runAdmin(args, nullptr, &err), 1);
        QVERIFY2(err.contains(QStringLiteral("找不到数据库文件")), qPrintable(err));
    }
    resetLoginState();
    dataModule().setConnection(path, QString::fromUtf8(Schema::DatabaseKey));
    MessageRecorder rec;
    LoginDialog w;
    w.openDatabase();
    QVERIFY(rec.last().contains(QStringLiteral("找不到数据库文件")));
    dataModule().closeConnection();
    QCOMPARE(filesIn(dir.path()), QStringList());
}

void TestDbFile::readOnlyFolder()
{
    if (geteuid() == 0)
        QSKIP("permissions do not bind root; tests/stress/dbfile.sh covers this with a read-only mount");
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Data"));
    const QString path = folder + QStringLiteral("/db.edb");
    Schema::createFile(path);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    const auto restore = qScopeGuard([&] {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    const QByteArray before = digest(path);
    resetLoginState();
    dataModule().setConnection(path, QString::fromUtf8(Schema::DatabaseKey));
    MessageRecorder rec;
    LoginDialog w;
    w.openDatabase();
    dataModule().closeConnection();
    QCOMPARE(rec.errors(), 1);
    QVERIFY2(rec.last().contains(QStringLiteral("写入")) || rec.last().contains(QStringLiteral("只读")), qPrintable(rec.last()));
    QCOMPARE(digest(path), before);
}

void TestDbFile::fullDiskStoresNothingHalf()
{
    TestDb db;
    db.exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('阳光小区', '')"));
    db.exec(QStringLiteral("UPDATE SUser SET theAN = '阳光小区'"));
    db.exec(QStringLiteral("INSERT INTO UHouse (AName, theNum, theArea, HType, thePrice, EndDate, theName, thePhone, "
                           "Remark, theDel, theDate, UName) VALUES ('阳光小区', '1-101', 100, '住宅', 2, '2024-04-10', "
                           "'张三', '', '', '否', '2024-10-10', '管理员')"));
    db.login();
    NoPreview preview;
    report::setPresenter(&preview);
    const auto done = qScopeGuard([] { report::setPresenter(nullptr); });

    MessageRecorder rec;
    ChargeEntryDialog w;
    w.showDefaults();
    w.roomEdit->setText(QStringLiteral("1-101"));
    w.lookUpHouse(13);
    w.continuousEntryCheck->setChecked(false);
    {
        // No file of this process may grow past a few bytes: the disk is full.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit tight = old;
        tight.rlim_cur = 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
        const auto lift = qScopeGuard([&] { setrlimit(RLIMIT_FSIZE, &old); });
        w.save();
    }
    QCOMPARE(rec.errors(), 1);
    QVERIFY2(rec.last().contains(QStringLiteral("磁盘")) && rec.last().contains(QStringLiteral("没有完成")), qPrintable(rec.last()));
    // Nothing of the payment is stored, the house keeps its date, the file is whole.
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UCharge")), 0);
    QCOMPARE(db.scalar(QStringLiteral("SELECT EndDate FROM UHouse")), QStringLiteral("2024-04-10"));
    QCOMPARE(db.scalar(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    // With room on the disk again the same window saves.
    rec.clear();
    w.save();
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UCharge")), 1);
    QCOMPARE(db.scalar(QStringLiteral("SELECT EndDate FROM UHouse")), QStringLiteral("2025-04-10"));
}

QTEST_MAIN(TestDbFile)
#include "tst_dbfile.moc"
