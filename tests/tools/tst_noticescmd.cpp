// The admin tool's notices: the arrears notices of a reference date, of every area or
// one, written as a PDF and recorded; the refusals write nothing.
#include "data/DataModule.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

void addOffice(TestDb &db)
{
    db.exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('阳光小区'), ('翠园')"));
    const auto house = [&db](const char *area, const char *room, double m2, double price, const char *paidUp,
                             bool deleted = false) {
        HouseBuilder().area(QString::fromUtf8(area)).room(QString::fromUtf8(room)).owner(QStringLiteral("业主"))
            .floorArea(m2).purpose(QStringLiteral("住宅")).price(price).paidUpTo(QString::fromUtf8(paidUp)).deleted(deleted)
            .insert(db);
    };
    house("阳光小区", "0101", 90, 20, "2025-01-01");       // paid up
    house("阳光小区", "0102", 100, 20, "2023-03-14");      // 1 year: 2000
    house("阳光小区", "0103", 85.5, 23.4, "2020-06-30");   // 4 years: 8002.80
    house("阳光小区", "0104", 60, 20, "2019-01-01", true); // deleted
    house("翠园", "0201", 60, 20, "2022-12-31");           // 2 years: 2400
}

QString pdfText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TestNoticesCmd : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { m_db.reset(); }
    void writesTheNotices_data();
    void writesTheNotices();
    void refusals_data();
    void refusals();

private:
    int records();
    std::unique_ptr<TestDb> m_db;
    QTemporaryDir m_dir;
};

void TestNoticesCmd::init()
{
    m_db = std::make_unique<TestDb>();
    addOffice(*m_db);
    dataModule().closeConnection();
}

int TestNoticesCmd::records()
{
    dataModule().setConnection(m_db->path(), QStringLiteral("kqt472"));
    const int n = m_db->scalar(QStringLiteral("SELECT COUNT(*) FROM ULog WHERE theAction = '催费通知单'")).toInt();
    dataModule().closeConnection();
    return n;
}

void TestNoticesCmd::writesTheNotices_data()
{
    QTest::addColumn<QStringList>("area");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("notShown");
    QTest::newRow("every area") << QStringList() << "催费通知单 3 份（2 页）"
                                << QStringList{"0102", "0103", "0201", "2000.00", "8002.80", "2400.00", "捌仟零贰元捌角"}
                                << QStringList{"0101", "0104"};
    QTest::newRow("one area") << QStringList{"--area", "翠园"} << "催费通知单 1 份（1 页）"
                              << QStringList{"0201", "2400.00", "贰仟肆佰元整"} << QStringList{"0102", "0103"};
}

void TestNoticesCmd::writesTheNotices()
{
    QFETCH(QStringList, area);
    QFETCH(QString, said);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, notShown);
    const QString pdf = m_dir.filePath(QStringLiteral("notices.pdf"));
    QString out, err;
    QCOMPARE(runAdmin(QStringList{"notices", "--db", m_db->path(), "--date", "2024-03-15", "--pdf", pdf} + area, &out, &err), 0);
    QVERIFY2(out.startsWith(said), qPrintable(out + err));
    const QString text = pdfText(pdf);
    for (const QString &t : shown)
        QVERIFY2(text.contains(t), qPrintable(t));
    for (const QString &t : notShown)
        QVERIFY2(!text.contains(t), qPrintable(t));
    QCOMPARE(records(), 1);
}

void TestNoticesCmd::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::newRow("no date") << QStringList{"--pdf", "%PDF"} << 2;
    QTest::newRow("no pdf") << QStringList{"--date", "2024-03-15"} << 2;
    QTest::newRow("not a date") << QStringList{"--date", "2024-13-40", "--pdf", "%PDF"} << 1;
    // Nobody owes before 2000: nothing written.
    QTest::newRow("nothing owed") << QStringList{"--date", "2000-01-01", "--pdf", "%PDF"} << 0;
    // The tool never writes over a file that is no PDF (the database, by a slip).
    QTest::newRow("over another file") << QStringList{"--date", "2024-03-15", "--pdf", "%DB"} << 1;
}

void TestNoticesCmd::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    const QString pdf = m_dir.filePath(QStringLiteral("refused.pdf"));
    QFile::remove(pdf);
    const QString other = m_dir.filePath(QStringLiteral("other.txt"));
    QFile f(other);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("kept");
    f.close();
    args.replaceInStrings(QStringLiteral("%PDF"), pdf).replaceInStrings(QStringLiteral("%DB"), other);
    QString out, err;
    QCOMPARE(runAdmin(QStringList{"notices", "--db", m_db->path()} + args, &out, &err), status);
    QVERIFY(!QFile::exists(pdf));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("kept"));
    QCOMPARE(records(), 0);
}

QTEST_MAIN(TestNoticesCmd)
#include "tst_noticescmd.moc"
