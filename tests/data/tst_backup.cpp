#include "charging/ChargeLogic.h"
#include "data/Backup.h"
#include "data/Database.h"
#include "demo/DemoData.h"
#include "data/Schema.h"
#include "data/TfrmDM.h"
#include "operators/TfrmLogin.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <thread>

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
    DemoData::generate(frmDM().db(), o);
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
    QTemporaryDir dir;
    const QDir folder(dir.path());
    auto touch = [&](const QDateTime &t) {
        QFile f(folder.filePath(Backup::fileNameFor(t)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    };
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
    }
    frmDM().closeConnection();
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
    QCOMPARE(countIn(db.path(), QStringLiteral("SELECT count(*) FROM UCharge")), atCopy);
    QCOMPARE(countIn(kept, QStringLiteral("SELECT count(*) FROM UCharge WHERE theNum = 'after'")), 1);
    QCOMPARE(otherDesk.count(QStringLiteral("SELECT ID FROM UCharge")), atCopy);
    otherDesk.close();
    frmDM().closeConnection();
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
    frmDM().closeConnection();
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
    frmDM().closeConnection(); // the log goes back into the file
    flipByte(db.path(), tablePageOffset(db.path(), QStringLiteral("UCharge")));

    // The login window reads its operators (another table), then the check tells the damage.
    MessageRecorder rec;
    TfrmLogin w;
    QSignalSpy found(&frmDM(), &TfrmDM::damageFound);
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
    frmDM().closeConnection();
    QCOMPARE(runAdmin({"restore", "--db", db.path(), "--from", latest}, &out, &err), 0);
    QCOMPARE(runAdmin({"check", "--db", db.path()}, &out, &err), 0);
    frmDM().setConnection(db.path(), Key);
    frmDM().db();
    frmDM().startCheck();
    QCOMPARE(frmDM().refusesPayments(), QString());
}

void TestBackup::serverDatabaseIsLeftToItsServer()
{
    for (const char *url : {"postgresql://kasse@db.example:5432/heating", "postgres://localhost/heating"}) {
        QVERIFY(Backup::isServerDatabase(QString::fromLatin1(url)));
        QString out, err;
        QCOMPARE(runAdmin({"backup", "--db", url, "--out", "/nonexistent/x.edb"}, &out, &err), 0);
        QVERIFY2(out.contains(QStringLiteral("pg_dump")), qPrintable(out));
        QCOMPARE(runAdmin({"restore", "--db", url, "--from", "/nonexistent/x.edb"}, &out, &err), 0);
        QVERIFY2(out.contains(QStringLiteral("pg_dump")), qPrintable(out));
        QCOMPARE(runAdmin({"check", "--db", url}, &out, &err), 0);
        QVERIFY2(out.contains(QStringLiteral("pg_dump")), qPrintable(out));
    }
    QVERIFY(!Backup::isServerDatabase(QStringLiteral("Data/db.edb")));
    QVERIFY(!Backup::isServerDatabase(QStringLiteral("postgresql-backup.edb")));
}

QTEST_MAIN(TestBackup)
#include "tst_backup.moc"
