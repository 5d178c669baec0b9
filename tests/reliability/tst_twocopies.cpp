// Two copies of the program on one database file: a writer waits for the other copy's
// lock instead of failing, and a house charged by the other copy between look-up and save
// is not charged a second time for the same period.
#include "tests/support/Doubles.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"

#include "charging/ChargeEntryDialog.h"
#include "charging/ChargeLogic.h"
#include "data/DataModule.h"
#include "data/Schema.h"
#include "owners/OwnerEntry.h"
#include "owners/OwnerImport.h"
#include "report/ReportPresenter.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/LookupCombo.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QTest>
#include <atomic>
#include <memory>
#include <thread>

class TestTwoCopies : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void writerWaitsForOtherCopy_data();
    void writerWaitsForOtherCopy();
    void houseChargedByOtherCopyMeanwhile();
    void houseDeletedByOtherCopyMeanwhile();
    void chargeGetsInBetweenImportBatches();
    void givingUpTheWaitStoresNothing();

private:
    // The other copy: its own connection to the same file.
    std::unique_ptr<Database> other();
    std::unique_ptr<TestDb> m_db;
    NoPreview m_preview;
};

void TestTwoCopies::init()
{
    m_db = std::make_unique<TestDb>();
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('阳光小区', '')"));
    m_db->exec(QStringLiteral("INSERT INTO SMType (theName, Remark) VALUES ('现金', '')"));
    m_db->exec(QStringLiteral("UPDATE SUser SET theMT = '现金', theAN = '阳光小区'"));
    HouseBuilder().area(QStringLiteral("阳光小区")).room(QStringLiteral("1-101")).floorArea(100).purpose(QStringLiteral("住宅"))
        .price(2).paidUpTo(QStringLiteral("2024-04-10")).owner(QStringLiteral("张三")).phone({}).remark({})
        .entered(QStringLiteral("2024-10-10"), QStringLiteral("管理员")).insert(*m_db);
    m_db->login();
    m_preview.count = 0;
    report::setPresenter(&m_preview);
}

void TestTwoCopies::cleanup()
{
    report::setPresenter(nullptr);
    m_db.reset();
}

std::unique_ptr<Database> TestTwoCopies::other()
{
    auto db = std::make_unique<Database>();
    db->open(m_db->path(), QString::fromUtf8(Schema::DatabaseKey));
    return db;
}

void TestTwoCopies::writerWaitsForOtherCopy_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("charge") << "charge";
    QTest::newRow("owner entry") << "owner";
}

void TestTwoCopies::writerWaitsForOtherCopy()
{
    QFETCH(QString, what);
    // The other copy holds the write lock for a while (a long import batch).
    std::atomic<bool> locked{false};
    std::thread holder([&, db = other()] {
        db->exec(QStringLiteral("BEGIN IMMEDIATE"));
        db->exec(QStringLiteral("UPDATE SDept SET F1 = F1 WHERE ID = 1"));
        locked = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        db->exec(QStringLiteral("COMMIT"));
    });
    while (!locked)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));

    MessageRecorder rec;
    QElapsedTimer t;
    t.start();
    if (what == QLatin1String("charge")) {
        ChargeEntryDialog w;
        w.showDefaults();
        w.roomEdit->setText(QStringLiteral("1-101"));
        w.lookUpHouse(13);
        w.continuousEntryCheck->setChecked(false);
        w.save();
        QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 1);
    } else {
        House h{QStringLiteral("阳光小区"), QStringLiteral("1-102"), QStringLiteral("90"), QStringLiteral("住宅"),
                QStringLiteral("2"), QStringLiteral("2025-04-10"), QStringLiteral("李四"), {}, {}};
        QVERIFY(OwnerEntry::add(h));
    }
    const qint64 waited = t.elapsed();
    holder.join();
    // It waited for the other copy and then succeeded: no "database is locked" box.
    QCOMPARE(rec.errors(), 0);
    QVERIFY2(waited >= 1000, qPrintable(QString::number(waited)));
}

void TestTwoCopies::houseChargedByOtherCopyMeanwhile()
{
    MessageRecorder rec;
    ChargeEntryDialog w;
    w.showDefaults();
    w.roomEdit->setText(QStringLiteral("1-101"));
    w.lookUpHouse(13);
    QCOMPARE(w.paidUpEdit->text(), QStringLiteral("2024-04-10"));
    // The other copy charges the same house for the next year and moves its paid-up date.
    {
        auto db = other();
        db->exec(QStringLiteral("UPDATE UHouse SET EndDate = '2025-04-10' WHERE theNum = '1-101'"));
    }
    w.continuousEntryCheck->setChecked(false);
    w.save();
    QCOMPARE(rec.errors(), 1);
    QVERIFY2(rec.last().contains(QStringLiteral("2025-04-10")) && rec.last().contains(QStringLiteral("没有保存")),
             qPrintable(rec.last()));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 0);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse")), QStringLiteral("2025-04-10"));
    QCOMPARE(m_preview.count, 0);
    // A new look-up proposes the year after the other copy's payment, and saves.
    w.roomEdit->setText(QStringLiteral("1-101"));
    w.lookUpHouse(13);
    w.save();
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT QSDate || ' ' || JZDate FROM UCharge")), QStringLiteral("2025-04-11 2026-04-10"));
}

void TestTwoCopies::houseDeletedByOtherCopyMeanwhile()
{
    MessageRecorder rec;
    ChargeEntryDialog w;
    w.showDefaults();
    w.roomEdit->setText(QStringLiteral("1-101"));
    w.lookUpHouse(13);
    other()->exec(QStringLiteral("UPDATE UHouse SET theDel = '是'"));
    w.save();
    QCOMPARE(rec.last(), QStringLiteral("业主信息 不存在，请重新录入房号！"));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 0);
}

void TestTwoCopies::chargeGetsInBetweenImportBatches()
{
    // This copy imports a sheet of two batches, each batch a transaction; between them
    // another copy of the program (the admin tool) takes a payment. Were the import one
    // transaction, the other copy would wait for it and report "database is locked".
    Sheet sheet;
    sheet.headings = OwnerImport::headings();
    const int rows = OwnerImport::BatchSize + 10;
    for (int i = 1; i <= rows; ++i) {
        sheet.addRow({QStringLiteral("B-%1").arg(i), QStringLiteral("80"), QStringLiteral("住宅"), QStringLiteral("2.5"),
                      QStringLiteral("2024-04-10"), QStringLiteral("某"), QStringLiteral("1"), QString()},
                     i + 1);
    }
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('大区', '')"));

    QList<int> storedAtBatch;
    int chargeExit = -1;
    QString chargeErr;
    const int added = OwnerImport::run(sheet, QStringLiteral("大区"), [&](int stored) {
        storedAtBatch << stored;
        if (storedAtBatch.size() == 1)
            chargeExit = runAdmin({QStringLiteral("charge"), QStringLiteral("--db"), m_db->path(), QStringLiteral("--area"),
                                   QStringLiteral("阳光小区"), QStringLiteral("--room"), QStringLiteral("1-101"),
                                   QStringLiteral("--years"), QStringLiteral("1")},
                                  nullptr, &chargeErr, 10000);
    });
    QCOMPARE(storedAtBatch, (QList<int>{OwnerImport::BatchSize, rows}));
    QVERIFY2(chargeExit == 0, qPrintable(chargeErr));
    QCOMPARE(added, rows);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 1);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UHouse WHERE AName = '大区'")), rows);
}

// The window's "放弃" while another copy holds the lock: the wait is told from the start,
// giving up ends it with the busy message, and the house is not stored.
void TestTwoCopies::givingUpTheWaitStoresNothing()
{
    std::atomic<bool> locked{false}, release{false};
    std::thread holder([&, db = other()] {
        db->exec(QStringLiteral("BEGIN IMMEDIATE"));
        db->exec(QStringLiteral("UPDATE SDept SET F1 = F1 WHERE ID = 1"));
        locked = true;
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        db->exec(QStringLiteral("COMMIT"));
    });
    while (!locked)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    int longest = -1;
    Database::setLockWaitObserver([&](int waitedMs) {
        longest = qMax(longest, waitedMs);
        return waitedMs < 600;
    });
    MessageRecorder rec;
    House h{QStringLiteral("阳光小区"), QStringLiteral("1-102"), QStringLiteral("90"), QStringLiteral("住宅"),
            QStringLiteral("2"), QStringLiteral("2025-04-10"), QStringLiteral("李四"), {}, {}};
    bool added = true;
    try {
        added = OwnerEntry::add(h);
    } catch (const DbError &e) {
        added = false;
        QVERIFY2(e.message().contains(QStringLiteral("另一台电脑")), qPrintable(e.message()));
    }
    Database::setLockWaitObserver({});
    release = true;
    holder.join();
    QVERIFY(!added);
    QVERIFY(longest >= 600 && longest < Database::BusyTimeoutMs);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UHouse WHERE theNum = '1-102'")), 0);
    // The wait given up leaves the connection ready for the next write.
    QVERIFY(OwnerEntry::add(h));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UHouse WHERE theNum = '1-102'")), 1);
}

QTEST_MAIN(TestTwoCopies)
#include "tst_twocopies.moc"
