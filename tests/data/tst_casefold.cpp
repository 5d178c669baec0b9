// Text compared without regard to letter case for every letter: the folding itself, the
// database's "=", LIKE, IN and ORDER BY, the duplicate checks and the login; and files of
// the earlier form upgraded in place.
#include "charging/ChargeLogic.h"
#include "db/CaseFold.h"
#include "data/DataModule.h"
#include "db/Database.h"
#include "data/Books.h"
#include "data/Schema.h"
#include "operators/Accounts.h"
#include "operators/Login.h"
#include "owners/OwnerEntry.h"
#include "reference/RefLists.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

namespace {

const QString Key = QString::fromUtf8(Schema::DatabaseKey);

// Reads a file with the engine alone (no collation of the program's), as the engine's
// shell or an earlier program would.
struct RawFile {
    explicit RawFile(const QString &path)
    {
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_key(db, Key.toUtf8().constData(), int(Key.toUtf8().size()));
        sqlite3_exec(db, "PRAGMA cipher_page_size = 4096; PRAGMA kdf_iter = 4000", nullptr, nullptr, nullptr);
    }
    ~RawFile() { sqlite3_close_v2(db); }
    QString scalar(const char *sql)
    {
        sqlite3_stmt *st = nullptr;
        QString r;
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            r = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
        else
            r = QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(st);
        return r;
    }
    sqlite3 *db = nullptr;
};

// The schema as the engine keeps it, blanks collapsed, in a stable order.
QStringList schemaOf(Database &db)
{
    const Rows rows = db.select(QStringLiteral("SELECT type, name, sql FROM sqlite_master ORDER BY type, name"));
    QStringList out;
    for (int r = 0; r < rows.rowCount(); ++r)
        out << rows.at(r, 0) + QLatin1Char(' ') + rows.at(r, 1) + QLatin1Char(' ')
                   + rows.at(r, 2).simplified().replace(QStringLiteral("( "), QStringLiteral("("));
    return out;
}

QString copyOfVersion1(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("db.edb"));
    QFile::copy(QStringLiteral(TEST_FIXTURES_DIR "/schema/version1.edb"), path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
}

} // namespace

class TestCaseFold : public QObject {
    Q_OBJECT
private slots:
    void pairs_data();
    void pairs();
    void likePatterns_data();
    void likePatterns();
    void orderAndBadBytes();
    void everyCodePointFoldsByTheTables();
    void listsSortWithoutCase();

    void version1FileUpgradedInPlace();
    void interruptedUpgradeLeavesTheFile();
    void newerFileRefused();
};

// Each pair: a stored text and one typed; whether they are the same text without regard
// to letter case. Checked through the folding, "=", LIKE, IN, "<>", the look-up of a
// house, the duplicate checks of the lists and of owner entry, and the login.
void TestCaseFold::pairs_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("same");
    QTest::newRow("ASCII") << "Anna-B2" << "aNNA-b2" << true;
    QTest::newRow("full-width letters") << "Ａ区" << "ａ区" << true;
    QTest::newRow("Latin accents") << "Élan Çà" << "élan çÀ" << true;
    QTest::newRow("German sharp s, capital") << "ẞ" << "ß" << true;
    QTest::newRow("Greek with final sigma") << "ΟΔΟΣ" << "οδος" << true;
    QTest::newRow("Cyrillic") << "Москва" << "МОСКВА" << true;
    QTest::newRow("Chinese") << "阳光小区" << "阳光小区" << true;
    QTest::newRow("mixed") << "Ａ栋Élan-3号Ω" << "ａ栋ÉLAN-3号ω" << true;
    QTest::newRow("Kelvin sign is k") << "\u212A区" << "k区" << true;
    QTest::newRow("an accent is no case") << "Élan" << "Elan" << false;
    QTest::newRow("full-width is not ASCII") << "Ａ区" << "A区" << false;
    QTest::newRow("other Chinese") << "阳光小区" << "阳光小巷" << false;
}

void TestCaseFold::pairs()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(bool, same);
    QCOMPARE(CaseFold::folded(stored) == CaseFold::folded(typed), same);
    const QByteArray s = stored.toUtf8(), t = typed.toUtf8();
    QCOMPARE(CaseFold::compareUtf8(s.constData(), int(s.size()), t.constData(), int(t.size())) == 0, same);

    TestDb db;
    db.exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('%1', '')").arg(stored));
    db.exec(QStringLiteral("INSERT INTO UHouse (AName, theNum, theArea, HType, thePrice, EndDate, theName, thePhone, "
                           "Remark, theDel) VALUES ('%1', '%1', 80, '住宅', 25, '2024-04-10', '%1', '', '', '否')")
                .arg(stored));
    db.exec(QStringLiteral("UPDATE SUser SET theName = '%1', thePass = '%1'").arg(stored));
    const int n = same ? 1 : 0;
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SArea WHERE theName = '%1'").arg(typed)), n);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SArea WHERE theName <> '%1'").arg(typed)), 1 - n);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SArea WHERE theName IN ('x', '%1')").arg(typed)), n);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SArea WHERE theName LIKE '%1'").arg(typed)), n);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SArea WHERE theName LIKE '%%1%'").arg(typed)), n);
    // The indexed look-up of charge entry, and the duplicate checks.
    QCOMPARE(ChargeLogic::lookUpHouse(typed, typed).rowCount(), n);
    QCOMPARE(OwnerEntry::roomTaken(typed, typed), same);
    QCOMPARE(RefLists::exists(RefLists::areas(), typed), same);
    QCOMPARE(RefLists::exists(Accounts::users(), typed), same);
    QCOMPARE(Login::tryLogin(typed, typed, QDate(2024, 10, 10)), same);
}

void TestCaseFold::likePatterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("escape");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("matches");
    QTest::newRow("prefix, accented") << "é%" << "" << "Élan" << true;
    QTest::newRow("one character is one code point") << "_区" << "" << "Ａ区" << true;
    QTest::newRow("two-character text, one _") << "_" << "" << "区区" << false;
    QTest::newRow("outside the BMP is one character") << "家_" << "" << "家🏠" << true;
    QTest::newRow("% matches nothing too") << "a%b" << "" << "AB" << true;
    QTest::newRow("runs of %") << "%%ω%%" << "" << "ΑΒΩ" << true;
    QTest::newRow("last % must return") << "%ab%abc" << "" << "abxabcabc" << true;
    QTest::newRow("no match") << "%ab%abd" << "" << "abxabcabc" << false;
    QTest::newRow("escaped %") << "50\\%" << "\\" << "50%" << true;
    QTest::newRow("escaped % is no wildcard") << "50\\%" << "\\" << "500" << false;
    QTest::newRow("escape by a Chinese sign") << "a号_" << "号" << "A_" << true;
    QTest::newRow("empty pattern") << "" << "" << "" << true;
    QTest::newRow("empty pattern, text") << "" << "" << "x" << false;
}

void TestCaseFold::likePatterns()
{
    QFETCH(QString, pattern);
    QFETCH(QString, escape);
    QFETCH(QString, text);
    QFETCH(bool, matches);
    TestDb db;
    const QString esc = escape.isEmpty() ? QString() : QStringLiteral(" ESCAPE '%1'").arg(escape);
    QCOMPARE(db.scalar(QStringLiteral("SELECT '%1' LIKE '%2'%3").arg(text, pattern, esc)), matches ? "1" : "0");
    QCOMPARE(db.scalar(QStringLiteral("SELECT NULL LIKE '%1'").arg(pattern)), QString());
}

void TestCaseFold::orderAndBadBytes()
{
    auto cmp = [](const QByteArray &a, const QByteArray &b) {
        return CaseFold::compareUtf8(a.constData(), int(a.size()), b.constData(), int(b.size()));
    };
    // ASCII orders as before (letters folded to small ones), a prefix first.
    QVERIFY(cmp("_", "a") < 0);
    QVERIFY(cmp("B", "a") > 0);
    QVERIFY(cmp("ab", "AB") == 0);
    QVERIFY(cmp("ab", "abc") < 0);
    // A byte that is no UTF-8 orders after every character and only equals itself.
    const QByteArray bad("\xff"), cut("\xe5\xae"); // 0xFF; a three-byte character cut short
    QVERIFY(cmp(bad, "\xf4\x8f\xbf\xbf") > 0);
    QVERIFY(cmp(cut, "\xe5\xae\xb6") > 0);
    QVERIFY(cmp(cut, cut) == 0);
    QVERIFY(cmp(bad, cut) > 0);
    QVERIFY(cmp("\xed\xa0\x80", "\xed\xa0\x81") < 0); // encoded surrogates: bytes, not characters

    // Texts that share their beginning, cut anywhere in a character or among bad bytes,
    // order exactly as their characters one by one (read here without any shortcut).
    auto characters = [](const QByteArray &t) {
        std::u32string out;
        const auto *p = reinterpret_cast<const unsigned char *>(t.constData());
        const auto *end = p + t.size();
        while (p < end) {
            const unsigned char c = *p;
            int n = c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : 0;
            char32_t v = c < 0x80 ? c : c & (n == 1 ? 0x1F : n == 2 ? 0x0F : 0x07);
            bool good = c < 0x80 || (n > 0 && end - p > n);
            for (int i = 1; good && i <= n; ++i) {
                const unsigned char lo = i > 1 ? 0x80 : c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
                const unsigned char hi = i > 1 ? 0xBF : c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
                good = p[i] >= lo && p[i] <= hi;
                v = (v << 6) | (p[i] & 0x3F);
            }
            if (good && c >= 0x80) {
                out.push_back(CaseFold::fold(v));
                p += n + 1;
            } else if (c < 0x80) {
                out.push_back(CaseFold::fold(c));
                ++p;
            } else {
                out.push_back(char32_t(0x110000 + c));
                ++p;
            }
        }
        return out;
    };
    const QList<QByteArray> pieces{"a", "A", "1", "-", "\xe5\xae\xb6", "\xe5\xae", "\xe5", "\xae", "\xb6\xb6",
                                   "\xc3\x84", "\xc3\xa4", "\xc3", "\xf0\x9f\x98\x80", "\xf0\x9f", "\xff",
                                   "\xed\xa0\x80", "\xce\xa3", "\xcf\x82", "\xe6\xb5\x8b\xe8\xaf\x95"};
    QRandomGenerator rng(20261211);
    auto any = [&](int most) {
        QByteArray t;
        for (int n = int(rng.bounded(most + 1)); n > 0; --n)
            t += pieces.at(int(rng.bounded(pieces.size())));
        return t;
    };
    for (int i = 0; i < 200000; ++i) {
        const QByteArray common = any(3);
        QByteArray a = common + any(3), b = common + any(3);
        // Also cut inside the common beginning's last character.
        if (rng.bounded(4) == 0 && !a.isEmpty())
            a.chop(1);
        const int expected = characters(a) < characters(b) ? -1 : characters(a) == characters(b) ? 0 : 1;
        const int got = cmp(a, b);
        if ((got > 0) - (got < 0) != expected)
            QFAIL(qPrintable(QStringLiteral("%1 against %2: %3, not %4")
                                 .arg(QString::fromLatin1(a.toHex()), QString::fromLatin1(b.toHex())).arg(got).arg(expected)));
    }
}

// The folding skips the tables for code points it knows have no case; for every code
// point it must give what the tables give, or indexes built before would be out of order.
void TestCaseFold::everyCodePointFoldsByTheTables()
{
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const char32_t expected = QChar::toCaseFolded(c);
        if (CaseFold::fold(c) != expected)
            QFAIL(qPrintable(QStringLiteral("U+%1 folds to U+%2, the tables say U+%3")
                                 .arg(uint(c), 4, 16, QLatin1Char('0'))
                                 .arg(uint(CaseFold::fold(c)), 4, 16, QLatin1Char('0'))
                                 .arg(uint(expected), 4, 16, QLatin1Char('0'))));
    }
    // Equal characters compare equal without folding; different ones still by their folding.
    auto cmp = [](const QString &a, const QString &b) {
        const QByteArray x = a.toUtf8(), y = b.toUtf8();
        return CaseFold::compareUtf8(x.constData(), int(x.size()), y.constData(), int(y.size()));
    };
    QVERIFY(cmp(QStringLiteral("阳光小区Ａ"), QStringLiteral("阳光小区ａ")) == 0);
    QVERIFY(cmp(QStringLiteral("阳光小区Ｂ"), QStringLiteral("阳光小区ａ")) > 0);
    QVERIFY(cmp(QStringLiteral("阳光"), QStringLiteral("阴光")) < 0);
}

void TestCaseFold::listsSortWithoutCase()
{
    TestDb db;
    db.exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('ｂ区', ''), ('Ｂ区', ''), ('Ａ区', ''), "
                           "('ａ区', ''), ('B', ''), ('a', '')"));
    const Rows rows = dataModule().query(QStringLiteral("SELECT theName FROM SArea ORDER BY theName, ID"));
    QStringList names;
    for (int r = 0; r < rows.rowCount(); ++r)
        names << rows.at(r, 0);
    QCOMPARE(names, (QStringList{"a", "B", "Ａ区", "ａ区", "ｂ区", "Ｂ区"}));
    QCOMPARE(db.scalar(QStringLiteral("SELECT count(DISTINCT theName) FROM SArea")), QStringLiteral("4"));
}

void TestCaseFold::version1FileUpgradedInPlace()
{
    QTemporaryDir dir;
    const QString path = copyOfVersion1(dir);
    {
        RawFile raw(path);
        QCOMPARE(raw.scalar("PRAGMA user_version"), QStringLiteral("1"));
        // The earlier form: full-width letters of two cases are two areas.
        QCOMPARE(raw.scalar("SELECT count(*) FROM UHouse WHERE AName = 'ａ区'"), QStringLiteral("0"));
    }
    Database db;
    db.open(path, Key);
    QCOMPARE(db.scalar(QStringLiteral("PRAGMA user_version")), QString::number(Schema::Version));
    QCOMPARE(db.scalar(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));

    // Exactly the form of a new file.
    Database fresh;
    Schema::createFile(dir.filePath(QStringLiteral("new.edb")));
    fresh.open(dir.filePath(QStringLiteral("new.edb")), Key);
    QCOMPARE(schemaOf(db), schemaOf(fresh));

    // Every row kept; the houses found through the index without regard to case.
    QCOMPARE(db.scalar(QStringLiteral("SELECT group_concat(theNum, ' ') FROM (SELECT theNum FROM UHouse ORDER BY ID)")),
             QStringLiteral("1-101 B-2 b-1"));
    QCOMPARE(db.scalar(QStringLiteral("SELECT theName FROM UHouse WHERE AName = 'ａ区' AND theNum = '1-101' AND theDel = '否'")),
             QStringLiteral("Élan"));
    QVERIFY(db.select(QStringLiteral("EXPLAIN QUERY PLAN SELECT ID FROM UHouse WHERE AName = 'ａ区' AND theNum = '1-101'"))
                .at(0, QStringLiteral("detail"))
                .contains(QStringLiteral("UHouse_Area_Num")));
    QCOMPARE(db.scalar(QStringLiteral("SELECT HName FROM UCharge WHERE HName LIKE 'é%'")), QStringLiteral("Élan"));
    QCOMPARE(db.scalar(QStringLiteral("SELECT group_concat(theNum, ' ') FROM (SELECT theNum FROM UHouse WHERE "
                                      "AName = '阳光小区' ORDER BY AName, theNum)")),
             QStringLiteral("b-1 B-2"));
    // The books sealed by the upgrade: every payment and void of the file has its record,
    // the chain over all of them whole.
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM ULog WHERE theAction = '收费'")),
             db.scalar(QStringLiteral("SELECT COUNT(*) FROM UCharge")));
    QCOMPARE(db.scalar(QStringLiteral("SELECT COUNT(*) FROM ULog WHERE theAction = '作废收费'")),
             db.scalar(QStringLiteral("SELECT COUNT(*) FROM UCharge WHERE theDel = '是'")));
    QCOMPARE(Books::verify(db).size(), 0);
    // A deleted payment's ID is not handed out again.
    db.exec(QStringLiteral("INSERT INTO UCharge (HID, theNum) VALUES (1, 'x')"));
    QCOMPARE(db.lastInsertId(), 3);
    db.close();

    // Opened again, nothing is left to do.
    db.open(path, Key);
    QVERIFY(!Schema::upgradeStep(db));
}

void TestCaseFold::interruptedUpgradeLeavesTheFile()
{
    QTemporaryDir dir;
    const QString path = copyOfVersion1(dir);
    Schema::setUpgradeInterruption([] { throw DbError(QStringLiteral("killed"), QString(), SQLITE_IOERR); });
    Database db;
    QVERIFY_THROWS_EXCEPTION(DbError, db.open(path, Key));
    Schema::setUpgradeInterruption({});
    QVERIFY(!db.isOpen());
    {
        // What an earlier program sees: its own form, whole.
        RawFile raw(path);
        QCOMPARE(raw.scalar("PRAGMA user_version"), QStringLiteral("1"));
        QCOMPARE(raw.scalar("PRAGMA integrity_check"), QStringLiteral("ok"));
        QCOMPARE(raw.scalar("SELECT count(*) FROM sqlite_master WHERE sql LIKE '%CASEFOLD%'"), QStringLiteral("0"));
        QCOMPARE(raw.scalar("SELECT count(*) FROM sqlite_master WHERE type = 'index'"), QStringLiteral("6"));
        QCOMPARE(raw.scalar("SELECT count(*) FROM UHouse WHERE AName = 'Ａ区'"), QStringLiteral("1"));
    }
    db.open(path, Key);
    QCOMPARE(db.scalar(QStringLiteral("PRAGMA user_version")), QString::number(Schema::Version));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UHouse WHERE AName = 'ａ区'")), 1);
}

void TestCaseFold::newerFileRefused()
{
    TestDb t;
    t.exec(QStringLiteral("PRAGMA user_version = %1").arg(Schema::Version + 1));
    dataModule().closeConnection();
    Database db;
    try {
        db.open(t.path(), Key);
        QFAIL("a file of a newer program opened");
    } catch (const DbError &e) {
        QVERIFY2(e.message().contains(QStringLiteral("较新版本")), qPrintable(e.message()));
    }
    RawFile raw(t.path());
    QCOMPARE(raw.scalar("PRAGMA user_version"), QString::number(Schema::Version + 1));
}

QTEST_MAIN(TestCaseFold)
#include "tst_casefold.moc"
