// The database file's key derivation: new files use the program's short derivation, files
// made with the engine's old default still open, and a wrong key is still refused.
#include "db/Database.h"
#include "data/Schema.h"

#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

namespace {

const QString Key = QString::fromUtf8(Schema::DatabaseKey);

// Opens the file with the engine's own interface and the given derivation rounds (0: the
// engine's default) and reads the schema; returns the engine's result code.
int rawRead(const QString &path, const QString &key, int kdfIter, const char *extra = nullptr)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const QByteArray k = key.toUtf8();
    sqlite3_key(db, k.constData(), k.size());
    sqlite3_exec(db, "PRAGMA cipher_page_size = 4096", nullptr, nullptr, nullptr);
    if (kdfIter > 0)
        sqlite3_exec(db, QByteArray("PRAGMA kdf_iter = " + QByteArray::number(kdfIter)).constData(), nullptr, nullptr, nullptr);
    int rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK && extra)
        rc = sqlite3_exec(db, extra, nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    return rc;
}

} // namespace

class TestKeyDerivation : public QObject {
    Q_OBJECT
private slots:
    void newFileUsesShortDerivation();
    void oldFileStillOpens();
    void wrongKeyRefused_data();
    void wrongKeyRefused();
};

void TestKeyDerivation::newFileUsesShortDerivation()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("db.edb"));
    Schema::createFile(path);
    QCOMPARE(rawRead(path, Key, Database::KdfIter), SQLITE_OK);
    QCOMPARE(rawRead(path, Key, 0), SQLITE_NOTADB);
}

void TestKeyDerivation::oldFileStillOpens()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.edb"));
    QCOMPARE(rawRead(path, Key, 0, "CREATE TABLE SArea (ID INTEGER PRIMARY KEY, theName TEXT); "
                                   "INSERT INTO SArea (theName) VALUES ('阳光小区')"),
             SQLITE_OK);
    Database db;
    db.open(path, Key);
    QCOMPARE(db.scalar(QStringLiteral("SELECT theName FROM SArea")), QStringLiteral("阳光小区"));
    db.exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('和平家园')"));
    db.close();
    // It stays a file of the old kind: nothing was rewritten.
    QCOMPARE(rawRead(path, Key, 0, "SELECT theName FROM SArea"), SQLITE_OK);
}

void TestKeyDerivation::wrongKeyRefused_data()
{
    QTest::addColumn<bool>("oldKind");
    QTest::newRow("new file") << false;
    QTest::newRow("old file") << true;
}

void TestKeyDerivation::wrongKeyRefused()
{
    QFETCH(bool, oldKind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("db.edb"));
    if (oldKind)
        QCOMPARE(rawRead(path, Key, 0, "CREATE TABLE t (x)"), SQLITE_OK);
    else
        Schema::createFile(path);
    Database db;
    try {
        db.open(path, QStringLiteral("wrong"));
        QFAIL("a wrong key opened the file");
    } catch (const DbError &e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("数据库密码错误")), qPrintable(e.message()));
    }
    QVERIFY(!db.isOpen());
}

QTEST_GUILESS_MAIN(TestKeyDerivation)
#include "tst_keyderivation.moc"
