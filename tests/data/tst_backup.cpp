#include "charging/ChargeLogic.h"
#include "charging/PaymentVoid.h"
#include "data/Backup.h"
#include "db/Database.h"
#include "demo/DemoData.h"
#include "data/Schema.h"
#include "data/DataModule.h"
#include "operators/LoginDialog.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

class TestBackup : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void copyWhileAnotherConnectionWrites();
    void rotationKeepsDailyAndMonthly();
    void dailyCopyOncePerDay();
    void restoreRefusesBadCopies_data();
    void restoreRefusesBadCopies();
    void restoreKeepsReplacedFile();
    void stoppedMidwayLeavesAllAsItWas_data();
    void stoppedMidwayLeavesAllAsItWas();
    void flippedByteIsFoundAndPaymentsRefused();
    void serverDatabaseIsLeftToItsServer();
    void restoredNumbersStayUsed();
    void readOnlyCopyCheckedAndRestoredUnchanged_data();
    void readOnlyCopyCheckedAndRestoredUnchanged();
    void rotationKeepsOnlyWhatItPromises();
    void linksAtTheCopysNameRefused_data();
    void linksAtTheCopysNameRefused();
    void copiesShareTheDatabasesMode_data();
    void copiesShareTheDatabasesMode();
};

namespace {

const QString Key = QString::fromUtf8(Schema::DatabaseKey);

// A small office in the test database.
void fillOffice(TestDb &db, int houses = 200)
{
    DemoOptions o;
    o.houses = houses;
    o.years = 2;
    o.chargeDate = QDate(2024, 10, 10);
    DemoData::generate(dataModule().db(), o);
    Q_UNUSED(db);
}

qint64 countIn(const QString &path, const QString &sql)
{
    Database d;
    d.open(path, Key);
    return d.scalar(sql).toLongLong();
}

// Changes one byte of the file at offset (the engine's page check then fails).
void flipByte(const QString &path, qint64 offset)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.seek(offset));
    char c = 0;
    QVERIFY(f.getChar(&c));
    QVERIFY(f.seek(offset));
    QVERIFY(f.putChar(char(c ^ 0x5a)));
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A copy of the database made a real one: hard links to it stand for many copies at
// little cost, each opening as the program's own.
void linkCopy(const QString &made, const QString &name)
{
    QVERIFY2(::link(QFile::encodeName(made).constData(), QFile::encodeName(name).constData()) == 0, qPrintable(name));
}

struct Stamp {
    QByteArray bytes;
    QDateTime modified;
    bool operator==(const Stamp &o) const { return bytes == o.bytes && modified == o.modified; }
};
Stamp stampOf(const QString &path)
{
    return {bytesOf(path), QFileInfo(path).fileTime(QFileDevice::FileModificationTime)};
}

int modeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

// Runs the admin tool under an account that permissions bind: root passes every one of
// them, so as root the tool runs as nobody.
int runAdminBound(const QStringList &args, QString *out, QString *err)
{
    if (geteuid() != 0)
        return runAdmin(args, out, err);
    QProcess p;
    p.start(QStringLiteral("setpriv"), QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                                   QStringLiteral("--clear-groups"), QStringLiteral(ADMIN_TOOL_PATH)}
                                           + args);
    if (!p.waitForFinished(60000))
        return -1;
    *out = QString::fromUtf8(p.readAllStandardOutput());
    *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// Houses 1-101 … of 东区, paid up to 2024-10-10, for payments taken as charge entry takes them.
void addHouses(TestDb &db, int n)
{
    db.exec(QStringLiteral("INSERT INTO SMType (theName, Remark) VALUES ('现金', '')"));
    for (int i = 1; i <= n; ++i)
        HouseBuilder().area(QStringLiteral("东区")).room(QStringLiteral("1-%1").arg(100 + i)).floorArea(80)
            .purpose(QStringLiteral("住宅")).price(20).paidUpTo(QStringLiteral("2024-10-10"))
            .owner(QStringLiteral("业主%1").arg(100 + i)).insert(db);
}

QString pay(TestDb &, int house)
{
    return Payment(QStringLiteral("东区"), QStringLiteral("1-%1").arg(100 + house)).save();
}

// The offset of a byte inside the first page of a table (its root page).
qint64 tablePageOffset(const QString &path, const QString &table)
{
    return (countIn(path, QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = '%1'").arg(table)) - 1) * 4096 + 1500;
}

} // namespace

void TestBackup::cleanup()
{
    Backup::setClock(nullptr);
}

void TestBackup::copyWhileAnotherConnectionWrites()
{
    TestDb db;
    fillOffice(db);
    const qint64 before = db.count(QStringLiteral("SELECT ID FROM UCharge"));
    // Another connection writes batches of 20 payments, each in one transaction.
    std::atomic<bool> stop{false};
    std::atomic<int> batches{0};
    std::thread writer([&] {
        Database w;
        w.open(db.path(), Key);
        for (int b = 0; !stop; ++b) {
            Transaction tx(w);
            for (int i = 0; i < 20; ++i)
                w.exec(QStringLiteral("INSERT INTO UCharge (HID, theNum, theMoney, theDel, theDate) "
                                      "VALUES (1, 'W%1', 10, '否', '2024-10-10')").arg(b * 20 + i));
            tx.commit();
            ++batches;
        }
    });
    QTRY_VERIFY(batches > 0);
    QStringList copies;
    for (int i = 0; i < 4; ++i) {
        const QString out = QDir(db.dir()).filePath(QStringLiteral("copy%1.edb").arg(i));
        int lastDone = 0, total = 0;
        const Backup::Contents c = Backup::copy(db.path(), out, [&](int done, int all) {
            QVERIFY(done >= lastDone);
            lastDone = done;
            total = all;
        });
        QCOMPARE(lastDone, total);
        QVERIFY(c.payments >= before);
        copies << out;
    }
    stop = true;
    writer.join();
    QVERIFY(batches >= 2);
    for (const QString &out : copies) {
        // Opens with the program's key only, and is whole.
        QVERIFY(!bytesOf(out).startsWith("SQLite format 3"));
        Database d;
        d.open(out, Key);
        QCOMPARE(d.scalar(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
        // A moment between two transactions: never part of a batch.
        QCOMPARE(d.scalar(QStringLiteral("SELECT count(*) FROM UCharge WHERE theNum LIKE 'W%'")).toLongLong() % 20, 0);
        QCOMPARE(d.scalar(QStringLiteral("PRAGMA user_version")), QString::number(Schema::Version));
        Database wrongKey;
        QVERIFY_THROWS_EXCEPTION(DbError, wrongKey.open(out, QStringLiteral("another key")));
    }
    // Nothing written by the other connection was lost in the source.
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UCharge")), before + batches * 20);
    // No working files left behind, and an existing file is never overwritten.
    QVERIFY(!QFileInfo::exists(copies.first() + QStringLiteral(".part")));
    QVERIFY_THROWS_EXCEPTION(AppError, Backup::copy(db.path(), copies.first()));
}

void TestBackup::rotationKeepsDailyAndMonthly()
{
    TestDb db;
    const QString made = QDir(db.dir()).filePath(QStringLiteral("made.edb"));
    Backup::copy(db.path(), made);
    QTemporaryDir dir;
    const QDir folder(dir.path());
    auto touch = [&](const QDateTime &t) { linkCopy(made, folder.filePath(Backup::fileNameFor(t))); };
    Backup::setClock([] { return QDateTime(QDate(2026, 12, 10), QTime(9, 0)); });
    // A copy at 08:00 of every working day from January 2025 to 10 December 2026, none on
    // Sundays, and a second one (by hand) at 17:30 on the 5th of each month.
    for (QDate d(2025, 1, 1); d <= QDate(2026, 12, 10); d = d.addDays(1)) {
        if (d.dayOfWeek() == 7)
            continue;
        touch(QDateTime(d, QTime(8, 0)));
        if (d.day() == 5)
            touch(QDateTime(d, QTime(17, 30)));
    }
    QFile other(folder.filePath(QStringLiteral("db.edb.replaced-20250101-080000")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();

    Backup::rotate(folder.path());
    QStringList kept = folder.entryList(QDir::Files, QDir::Name);
    QVERIFY(kept.removeOne(QStringLiteral("db.edb.replaced-20250101-080000"))); // not a copy: never removed
    // Thirty days with copies back from 10 December reach 6 November (Sundays have none).
    QCOMPARE(kept.first(), QStringLiteral("db-20260131-080000.edb")); // January's last copy
    QVERIFY(kept.contains(QStringLiteral("db-20261031-080000.edb")));  // October's last
    QVERIFY(kept.contains(QStringLiteral("db-20261106-080000.edb")));
    QVERIFY(!kept.contains(QStringLiteral("db-20261105-173000.edb")));
    QVERIFY(kept.contains(QStringLiteral("db-20261205-173000.edb")));  // the day's newest
    QVERIFY(!kept.contains(QStringLiteral("db-20261205-080000.edb")));
    QVERIFY(!kept.contains(QStringLiteral("db-20251231-080000.edb"))); // thirteen months back
    QCOMPARE(kept.last(), QStringLiteral("db-20261210-080000.edb"));
    // 30 days, and the last copies of January … October (November's is among the days).
    QCOMPARE(kept.size(), 30 + 10);
    // Again: nothing more goes.
    QCOMPARE(Backup::rotate(folder.path()), QStringList());
}

void TestBackup::dailyCopyOncePerDay()
{
    TestDb db;
    fillOffice(db, 50);
    QDateTime now(QDate(2026, 3, 2), QTime(8, 5, 0));
    Backup::setClock([&] { return now; });
    const QString folder = Backup::folderFor(db.path());
    QCOMPARE(folder, QDir(db.dir()).filePath(QStringLiteral("Data/Backup")));
    QVERIFY(Backup::dueToday(folder));
    const Backup::DailyResult first = Backup::takeDaily(db.path());
    QCOMPARE(QFileInfo(first.path).fileName(), QStringLiteral("db-20260302-080500.edb"));
    QCOMPARE(first.contents.houses, 50);
    QVERIFY(!Backup::dueToday(folder));
    now = now.addSecs(3600);
    QVERIFY(!Backup::dueToday(folder));
    now = QDateTime(QDate(2026, 3, 3), QTime(7, 59, 0));
    QVERIFY(Backup::dueToday(folder));
    Backup::takeDaily(db.path());
    QCOMPARE(Backup::latest(folder), QDir(folder).filePath(QStringLiteral("db-20260303-075900.edb")));
}

void TestBackup::restoreRefusesBadCopies_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("flipped byte in a table page") << "flipped" << "已损坏";
    QTest::newRow("cut short") << "truncated" << "不能使用";
    QTest::newRow("a text file") << "text" << "不是本程序数据库的备份";
    QTest::newRow("another key") << "otherkey" << "不是本程序数据库的备份";
    QTest::newRow("other tables, our key") << "foreign" << "没有表";
    QTest::newRow("missing") << "missing" << "找不到备份文件";
    // Voids would fail in the restored file.
    QTest::newRow("without the voids") << "UVoid" << "没有表 UVoid";
    QTest::newRow("without the record of changes") << "ULog" << "没有表 ULog";
}

void TestBackup::restoreRefusesBadCopies()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    TestDb db;
    fillOffice(db, 100);
    const QString bad = QDir(db.dir()).filePath(QStringLiteral("bad.edb"));
    if (kind == QLatin1String("flipped") || kind == QLatin1String("truncated")) {
        Backup::copy(db.path(), bad);
        if (kind == QLatin1String("flipped"))
            flipByte(bad, tablePageOffset(bad, QStringLiteral("UHouse")));
        else
            QVERIFY(QFile::resize(bad, QFileInfo(bad).size() / 2));
    } else if (kind == QLatin1String("text")) {
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'x'));
    } else if (kind == QLatin1String("otherkey") || kind == QLatin1String("foreign")) {
        Database other;
        other.create(bad, kind == QLatin1String("otherkey") ? QStringLiteral("another key") : Key);
        other.exec(QStringLiteral("CREATE TABLE notes (t TEXT); INSERT INTO notes VALUES ('x')"));
    } else if (kind.startsWith(QLatin1Char('U'))) {
        Backup::copy(db.path(), bad);
        Database lacking;
        lacking.open(bad, Key);
        lacking.exec(QStringLiteral("DROP TABLE %1").arg(kind));
    }
    dataModule().closeConnection();
    const QByteArray before = bytesOf(db.path());
    try {
        Backup::restore(db.path(), bad);
        QFAIL("restored from a bad copy");
    } catch (const AppError &e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
    // Nothing changed, nothing kept aside.
    QCOMPARE(bytesOf(db.path()), before);
    QCOMPARE(QDir(db.dir() + QStringLiteral("/Data")).entryList({QStringLiteral("*.replaced-*")}, QDir::Files), QStringList());
}

void TestBackup::restoreKeepsReplacedFile()
{
    TestDb db;
    fillOffice(db, 100);
    const qint64 atCopy = db.count(QStringLiteral("SELECT ID FROM UCharge"));
    const QString copy = QDir(db.dir()).filePath(QStringLiteral("copy.edb"));
    Backup::copy(db.path(), copy);
    db.exec(QStringLiteral("INSERT INTO UCharge (HID, theNum, theDel) VALUES (1, 'after', '否')"));
    Backup::setClock([] { return QDateTime(QDate(2026, 5, 6), QTime(9, 10, 11)); });
    // Another copy of the program keeps the file open during the restore.
    Database otherDesk;
    otherDesk.open(db.path(), Key);
    QCOMPARE(otherDesk.count(QStringLiteral("SELECT ID FROM UCharge")), atCopy + 1);

    const QString kept = Backup::restore(db.path(), copy);
    QCOMPARE(kept, db.path() + QStringLiteral(".replaced-20260506-091011"));
    // A second restore within the same second keeps its own file beside the first.
    const QString second = Backup::restore(db.path(), copy);
    QCOMPARE(second, kept + QStringLiteral("-2"));
    QCOMPARE(countIn(db.path(), QStringLiteral("SELECT count(*) FROM UCharge")), atCopy);
    QCOMPARE(countIn(kept, QStringLiteral("SELECT count(*) FROM UCharge WHERE theNum = 'after'")), 1);
    QCOMPARE(otherDesk.count(QStringLiteral("SELECT ID FROM UCharge")), atCopy);
    otherDesk.close();
    dataModule().closeConnection();
    QCOMPARE(countIn(db.path(), QStringLiteral("SELECT count(*) FROM UCharge WHERE theNum = 'after'")), 0);
}

// 取消 while pages are being copied: the copy leaves no file; the restore rolls back its
// pages, removes the file it kept and leaves the database as it was.
void TestBackup::stoppedMidwayLeavesAllAsItWas_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("stage");
    QTest::newRow("backup, copying") << "copy" << "正在复制数据…";
    QTest::newRow("restore, keeping the current data") << "restore" << "正在保留现在的数据…";
    QTest::newRow("restore, putting the copy in place") << "restore" << "正在恢复数据…";
}

void TestBackup::stoppedMidwayLeavesAllAsItWas()
{
    QFETCH(QString, action);
    QFETCH(QString, stage);
    TestDb db;
    fillOffice(db, 100);
    // Some megabytes, so that the pages are copied in several steps.
    db.exec(QStringLiteral("CREATE TABLE Filler (x BLOB)"));
    db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                           "INSERT INTO Filler SELECT randomblob(1000) FROM n"));
    const QString copy = QDir(db.dir()).filePath(QStringLiteral("copy.edb"));
    Backup::copy(db.path(), copy);
    db.exec(QStringLiteral("INSERT INTO UCharge (HID, theNum, theDel) VALUES (1, 'after', '否')"));
    const qint64 payments = db.count(QStringLiteral("SELECT ID FROM UCharge"));
    dataModule().closeConnection();
    const QString dataDir = QFileInfo(db.path()).absolutePath();
    const QStringList filesBefore = QDir(dataDir).entryList(QDir::Files | QDir::Hidden);
    const QString out = QDir(db.dir()).filePath(QStringLiteral("Backup/db-20261201-093000.edb"));

    Backup::Control control;
    int steps = 0;
    control.onProgress([&](int, int) {
        if (control.stage() == stage && ++steps == 1)
            control.stop(); // pressed while the first megabyte of this stage is copied
    });
    try {
        if (action == QLatin1String("copy"))
            Backup::copy(db.path(), out, control);
        else
            Backup::restore(db.path(), copy, control);
        QFAIL("not stopped");
    } catch (const Backup::Cancelled &) {
    }
    QCOMPARE(steps, 1);
    QCOMPARE(QDir(dataDir).entryList(QDir::Files | QDir::Hidden), filesBefore);
    QVERIFY(!QFileInfo::exists(out) && !QFileInfo::exists(out + QStringLiteral(".part")));
    QCOMPARE(countIn(db.path(), QStringLiteral("SELECT count(*) FROM UCharge")), payments);
    QCOMPARE(countIn(db.path(), QStringLiteral("SELECT count(*) FROM UCharge WHERE theNum = 'after'")), 1);
    // And the same restore, not stopped, goes through.
    if (action == QLatin1String("restore")) {
        Backup::restore(db.path(), copy);
        QCOMPARE(countIn(db.path(), QStringLiteral("SELECT count(*) FROM UCharge")), payments - 1);
    }
}

void TestBackup::flippedByteIsFoundAndPaymentsRefused()
{
    TestDb db;
    fillOffice(db, 100);
    Backup::setClock([] { return QDateTime(QDate(2024, 10, 9), QTime(8, 0)); });
    const QString latest = Backup::takeDaily(db.path()).path;
    dataModule().closeConnection(); // the log goes back into the file
    flipByte(db.path(), tablePageOffset(db.path(), QStringLiteral("UCharge")));

    // The login window reads its operators (another table), then the check tells the damage.
    MessageRecorder rec;
    LoginDialog w;
    QSignalSpy found(&dataModule(), &DataModule::damageFound);
    w.show();
    QTRY_COMPARE(found.count(), 1);
    QCOMPARE(rec.errors(), 1);
    const QString told = rec.entries.first().text;
    QVERIFY2(told.contains(QStringLiteral("已损坏")) && told.contains(QStringLiteral("UCharge"))
                 && told.contains(QDir::toNativeSeparators(latest)) && told.contains(QStringLiteral("不能收费")),
             qPrintable(told));

    // A payment is refused with those words; lists may still be read.
    db.login();
    const qint64 houses = db.count(QStringLiteral("SELECT ID FROM UHouse"));
    QVERIFY(houses > 0);
    ChargeLogic::Payment p;
    p.houseId = QStringLiteral("1");
    p.chargingDate = QStringLiteral("2024-10-10");
    p.floorArea = QStringLiteral("80");
    p.unitPrice = QStringLiteral("20");
    p.years = QStringLiteral("1");
    p.amount = QStringLiteral("1600");
    p.startDate = QStringLiteral("2024-10-11");
    p.endDate = QStringLiteral("2025-10-10");
    try {
        ChargeLogic::save(p);
        QFAIL("a payment went into a damaged file");
    } catch (const AppError &e) {
        QVERIFY2(e.message().contains(QDir::toNativeSeparators(latest)), qPrintable(e.message()));
    }

    // The admin tool's full check says which table and fails.
    QString out, err;
    QCOMPARE(runAdmin({"check", "--db", db.path()}, &out, &err), 1);
    QVERIFY2(err.contains(QStringLiteral("损坏的表：UCharge")), qPrintable(err));
    QVERIFY2(err.contains(QDir::toNativeSeparators(latest)), qPrintable(err));

    // Restored, the file is whole and takes payments again.
    dataModule().closeConnection();
    QCOMPARE(runAdmin({"restore", "--db", db.path(), "--from", latest}, &out, &err), 0);
    QCOMPARE(runAdmin({"check", "--db", db.path()}, &out, &err), 0);
    dataModule().setConnection(db.path(), Key);
    dataModule().db();
    dataModule().startCheck();
    QCOMPARE(dataModule().refusesPayments(), QString());
}

// backup and restore of a server database do nothing and say so, never as a success
// (check on a server is tested with the admin tool on a real one).
void TestBackup::serverDatabaseIsLeftToItsServer()
{
    for (const char *url : {"postgresql://kasse@db.example:5432/heating", "postgres://localhost/heating"}) {
        QVERIFY(Backup::isServerDatabase(QString::fromLatin1(url)));
        QString out, err;
        QCOMPARE(runAdmin({"backup", "--db", url, "--out", "/nonexistent/x.edb"}, &out, &err), 1);
        QVERIFY2(err.contains(QStringLiteral("pg_dump")) && out.isEmpty(), qPrintable(err));
        QCOMPARE(runAdmin({"restore", "--db", url, "--from", "/nonexistent/x.edb"}, &out, &err), 1);
        QVERIFY2(err.contains(QStringLiteral("pg_dump")) && out.isEmpty(), qPrintable(err));
    }
    QVERIFY(!Backup::isServerDatabase(QStringLiteral("Data/db.edb")));
    QVERIFY(!Backup::isServerDatabase(QStringLiteral("postgresql-backup.edb")));
}

// Payments taken after a copy are on printed receipts: once the copy is restored their
// numbers are never given again, also after a later copy and restore; the restore tells
// beforehand what it takes out.
void TestBackup::restoredNumbersStayUsed()
{
    TestDb db;
    addHouses(db, 6);
    db.login(QDate(2024, 10, 10));
    QCOMPARE(pay(db, 1), QStringLiteral("2410100001"));
    const QString first = QDir(db.dir()).filePath(QStringLiteral("first.edb"));
    Backup::copy(db.path(), first);
    QCOMPARE(pay(db, 2), QStringLiteral("2410100002"));
    QCOMPARE(pay(db, 3), QStringLiteral("2410100003"));
    PaymentVoid::run(QStringLiteral("2410100003"), QStringLiteral("录错"));

    Backup::Control control;
    const Backup::Loss lost = Backup::loss(db.path(), first, control);
    QCOMPARE(lost.payments, (QStringList{QStringLiteral("2410100003"), QStringLiteral("2410100002")}));
    QCOMPARE(lost.voids, QStringList{QStringLiteral("2410100003")});
    QCOMPARE(lost.lastReceipt, QStringLiteral("2410100003"));
    const QString told = Backup::lossText(lost);
    QVERIFY2(told.contains(QStringLiteral("2 笔收费（收据号 2410100002、2410100003）"))
                 && told.contains(QStringLiteral("1 笔作废（收据号 2410100003）")),
             qPrintable(told));
    QCOMPARE(Backup::loss(db.path(), db.path(), control).payments, QStringList());

    dataModule().closeConnection();
    Backup::restore(db.path(), first);
    db.login(QDate(2024, 10, 10));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UCharge")), 1);
    QCOMPARE(pay(db, 4), QStringLiteral("2410100004"));
    db.login(QDate(2024, 10, 11)); // another charging date numbers from its own first
    QCOMPARE(pay(db, 5), QStringLiteral("2410110001"));

    // The skipped numbers travel in a later copy; restoring that one keeps the numbers
    // issued since it was taken used too. The admin tool says what went.
    db.login(QDate(2024, 10, 10));
    const QString second = QDir(db.dir()).filePath(QStringLiteral("second.edb"));
    Backup::copy(db.path(), second);
    QCOMPARE(pay(db, 6), QStringLiteral("2410100005"));
    dataModule().closeConnection();
    QString out, err;
    QVERIFY2(runAdmin({"restore", "--db", db.path(), "--from", second}, &out, &err) == 0, qPrintable(err));
    QVERIFY2(out.contains(QStringLiteral("恢复前的最后收据号：2410100005"))
                 && out.contains(QStringLiteral("备份之后的1 笔收费（收据号 2410100005）")),
             qPrintable(out));
    db.login(QDate(2024, 10, 10));
    QCOMPARE(pay(db, 6), QStringLiteral("2410100006"));
    QCOMPARE(Backup::checkAccounts(dataModule().db()), QStringList());
}

// A whole copy on a medium the account may only read is accepted by check and restore,
// and neither changes the copy (nor puts anything beside it); a copy of an earlier version
// is brought to the current form in the restored file only.
void TestBackup::readOnlyCopyCheckedAndRestoredUnchanged_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a file the account may only read") << "file";
    QTest::newRow("a read-only folder") << "folder";
    QTest::newRow("an earlier version in a read-only folder") << "version1";
}

void TestBackup::readOnlyCopyCheckedAndRestoredUnchanged()
{
    QFETCH(QString, kind);
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::ExeOther;
    const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QTemporaryDir base;
    QFile::setPermissions(base.path(), open);
    const QString data = base.filePath(QStringLiteral("Data"));
    const QString media = base.filePath(QStringLiteral("media"));
    QVERIFY(QDir().mkpath(data) && QDir().mkpath(media));
    const QString dbPath = QDir(data).filePath(QStringLiteral("db.edb"));
    Schema::createFile(dbPath);
    {
        Database d;
        d.open(dbPath, Key);
        for (const char *room : {"1-101", "1-102", "1-103"})
            d.exec(QStringLiteral("INSERT INTO UHouse (AName, theNum, theDel) VALUES ('东区', '%1', '否')").arg(QLatin1String(room)));
    }
    const QString copy = QDir(media).filePath(QStringLiteral("db-20261201-080000.edb"));
    if (kind == QLatin1String("version1"))
        QVERIFY(QFile::copy(QStringLiteral(TEST_FIXTURES_DIR "/schema/version1.edb"), copy));
    else
        Backup::copy(dbPath, copy);
    {
        Database d; // the database moves on after the copy
        d.open(dbPath, Key);
        d.exec(QStringLiteral("INSERT INTO UHouse (AName, theNum, theDel) VALUES ('东区', '1-104', '否')"));
    }
    QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const bool root = geteuid() == 0;
    if (root) {
        // The tool runs as nobody: the database and its folder are that account's.
        for (const QString &p : {data, dbPath})
            QCOMPARE(::chown(QFile::encodeName(p).constData(), 65534, 65534), 0);
        if (kind == QLatin1String("file")) // a folder the account may write, a file it may only read
            QCOMPARE(::chown(QFile::encodeName(media).constData(), 65534, 65534), 0);
    }
    if (kind != QLatin1String("file"))
        QVERIFY(QFile::setPermissions(media, readOnly));
    const auto writable = qScopeGuard([&] { QFile::setPermissions(media, open); });
    const Stamp before = stampOf(copy);
    const QStringList beside = QDir(media).entryList(QDir::Files | QDir::Hidden | QDir::System);

    QString out, err;
    QCOMPARE(runAdminBound({"check", "--db", copy}, &out, &err), 0);
    QVERIFY2(out.contains(QStringLiteral("完整")), qPrintable(out + err));
    QCOMPARE(runAdminBound({"restore", "--db", dbPath, "--from", copy}, &out, &err), 0);
    QVERIFY2(out.contains(QStringLiteral("已从")), qPrintable(out + err));
    QVERIFY(stampOf(copy) == before);
    QCOMPARE(QDir(media).entryList(QDir::Files | QDir::Hidden | QDir::System), beside);

    Database restored;
    restored.open(dbPath, Key);
    QCOMPARE(restored.scalar(QStringLiteral("PRAGMA user_version")), QString::number(Schema::Version));
    QCOMPARE(restored.scalar(QStringLiteral("SELECT count(*) FROM UHouse")), QStringLiteral("3"));
    QCOMPARE(restored.scalar(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
}

// The folder once got copies dated in the future (a clock that ran ahead), files named
// like copies that are not the program's, and the working files of killed copies: the
// rotation keeps the newest copy of each of the last thirty days all the same, touches
// neither the future nor the foreign ones, clears what killed copies left, and the day's
// copy made among them stays and is the one named.
void TestBackup::rotationKeepsOnlyWhatItPromises()
{
    TestDb db;
    const QString made = QDir(db.dir()).filePath(QStringLiteral("made.edb"));
    Backup::copy(db.path(), made);
    const QDateTime now(QDate(2026, 12, 10), QTime(9, 0));
    Backup::setClock([&] { return now; });
    const QDir folder(Backup::folderFor(db.path()));
    QVERIFY(QDir().mkpath(folder.path()));
    auto at = [&](int days, const QTime &t) { return folder.filePath(Backup::fileNameFor(QDateTime(now.date().addDays(days), t))); };
    for (int d = 0; d < 40; ++d)
        linkCopy(made, at(-d, QTime(8, 0)));
    QStringList future;
    for (int d = 1; d <= 35; ++d)
        linkCopy(made, future.emplace_back(at(d, QTime(8, 0))));
    const QStringList foreign{at(-1, QTime(12, 0)), at(-700, QTime(12, 0))};
    for (const QString &f : foreign) {
        QFile text(f);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a copy");
    }
    const QString killed = at(-2, QTime(7, 0)) + QStringLiteral(".part");
    const QString underWay = folder.filePath(Backup::fileNameFor(now.addSecs(-3600))) + QStringLiteral(".part");
    for (const QString &f : {killed, killed + QStringLiteral("-wal"), killed + QStringLiteral("-shm"), underWay}) {
        QFile part(f);
        QVERIFY(part.open(QIODevice::WriteOnly));
    }

    const QStringList removed = Backup::rotate(folder.path());
    for (const QString &f : future + foreign)
        QVERIFY2(QFileInfo::exists(f), qPrintable(f));
    for (int d = 0; d < 30; ++d)
        QVERIFY2(QFileInfo::exists(at(-d, QTime(8, 0))), qPrintable(at(-d, QTime(8, 0))));
    // 1 to 10 November: November's newest copy is among the thirty days.
    for (int d = 30; d < 40; ++d)
        QVERIFY(!QFileInfo::exists(at(-d, QTime(8, 0))));
    QVERIFY(!QFileInfo::exists(killed) && !QFileInfo::exists(killed + QStringLiteral("-wal"))
            && !QFileInfo::exists(killed + QStringLiteral("-shm")));
    QVERIFY(QFileInfo::exists(underWay));
    QCOMPARE(removed.size(), 10 + 3);
    QCOMPARE(Backup::latest(folder.path()), at(0, QTime(8, 0)));

    // The day's copy taken among them stays, and is the newest there is.
    const QString daily = Backup::takeDaily(db.path()).path;
    QVERIFY(QFileInfo::exists(daily));
    QCOMPARE(Backup::latest(folder.path()), daily);
    QVERIFY(!Backup::dueToday(folder.path()));
    for (const QString &f : future)
        QVERIFY(QFileInfo::exists(f));
}

// A link planted at a copy's name (the day's copy has a name anyone can work out) is
// refused; nothing is written where it leads.
void TestBackup::linksAtTheCopysNameRefused_data()
{
    QTest::addColumn<bool>("leadsToAFile");
    QTest::newRow("a link leading nowhere") << false;
    QTest::newRow("a link to another file") << true;
}

void TestBackup::linksAtTheCopysNameRefused()
{
    QFETCH(bool, leadsToAFile);
    TestDb db;
    const QDateTime now(QDate(2026, 12, 10), QTime(8, 0));
    Backup::setClock([&] { return now; });
    const QString victim = QDir(db.dir()).filePath(QStringLiteral("victim"));
    if (leadsToAFile) {
        QFile f(victim);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("kept as it was");
    }
    const QString folder = Backup::folderFor(db.path());
    QVERIFY(QDir().mkpath(folder));
    const QString daily = QDir(folder).filePath(Backup::fileNameFor(now));
    const QString byHand = QDir(db.dir()).filePath(QStringLiteral("usb.edb"));
    for (const QString &link : {daily, byHand})
        QVERIFY(QFile::link(victim, link));
    auto victimUntouched = [&] {
        return leadsToAFile ? bytesOf(victim) == "kept as it was" : !QFileInfo::exists(victim);
    };

    QVERIFY_THROWS_EXCEPTION(AppError, Backup::takeDaily(db.path()));
    QVERIFY(victimUntouched());
    QString out, err;
    QVERIFY(runAdmin({"backup", "--db", db.path(), "--out", byHand}, &out, &err) != 0);
    QVERIFY2(err.contains(QStringLiteral("链接")) || err.contains(QStringLiteral("已经存在")), qPrintable(err));
    QVERIFY(victimUntouched());
    QVERIFY(QFileInfo(daily).isSymLink() && QFileInfo(byHand).isSymLink());
    QCOMPARE(QDir(folder).entryList({QStringLiteral("*.part*")}, QDir::Files | QDir::Hidden | QDir::System), QStringList());
}

// Copies and the kept file are shared as the database is: the program's users are a group.
void TestBackup::copiesShareTheDatabasesMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("0660, the group of the program's users") << 0660;
    QTest::newRow("0600, one account") << 0600;
}

void TestBackup::copiesShareTheDatabasesMode()
{
    QFETCH(int, mode);
    TestDb db;
    dataModule().closeConnection();
    QCOMPARE(::chmod(QFile::encodeName(db.path()).constData(), mode_t(mode)), 0);
    const QString copy = QDir(db.dir()).filePath(QStringLiteral("copy.edb"));
    Backup::copy(db.path(), copy);
    QCOMPARE(modeOf(copy), mode);
    const QString kept = Backup::restore(db.path(), copy);
    QCOMPARE(modeOf(kept), mode);
    QCOMPARE(modeOf(db.path()), mode);
    const QString daily = Backup::takeDaily(db.path()).path;
    QCOMPARE(modeOf(daily), mode);
}

QTEST_MAIN(TestBackup)
#include "tst_backup.moc"
