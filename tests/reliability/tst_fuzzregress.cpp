// Replays every input that a fuzz target once crashed or hung on (tests/fixtures/fuzz/
// <target>/), and the targets' seeds, through the same code as the target: each must now
// end normally (a damaged file ends in the reader's message, never in a crash).
#include "tests/fuzz/FuzzTargets.h"

#include <QDir>
#include <QTest>

#include <map>

namespace {

using Target = void (*)(const uint8_t *, size_t);

const std::map<QString, Target> &targets()
{
    static const std::map<QString, Target> t = {
        {QStringLiteral("fuzz_csv"), &fuzz::csv},
        {QStringLiteral("fuzz_xls"), &fuzz::xls},
        // FreeXL's own faults are replayed the way the program reads a workbook.
        {QStringLiteral("fuzz_xls_freexl"), &fuzz::xls},
        {QStringLiteral("fuzz_xlsx"), &fuzz::xlsx},
        {QStringLiteral("fuzz_ods"), &fuzz::ods},
        {QStringLiteral("fuzz_xlsx_parts"), &fuzz::xlsxParts},
        {QStringLiteral("fuzz_ods_parts"), &fuzz::odsParts},
        {QStringLiteral("fuzz_any"), &fuzz::anyFile},
        {QStringLiteral("fuzz_numbers"), &fuzz::numbers},
    };
    return t;
}

} // namespace

class TestFuzzRegress : public QObject {
    Q_OBJECT
private slots:
    void everyTargetHasItsFolder();
    void replay_data();
    void replay();
};

void TestFuzzRegress::everyTargetHasItsFolder()
{
    // A new target gets its seeds; an input folder names a target that exists.
    const QDir root(QStringLiteral(TEST_FIXTURES_DIR "/fuzz"));
    for (const auto &[name, fn] : targets())
        QVERIFY2(root.exists(QStringLiteral("seed-") + name), qPrintable(name));
    for (const QString &d : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = d.startsWith(QLatin1String("seed-")) ? d.mid(5) : d;
        QVERIFY2(targets().count(target) == 1, qPrintable(d));
    }
}

void TestFuzzRegress::replay_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("file");
    const QDir root(QStringLiteral(TEST_FIXTURES_DIR "/fuzz"));
    for (const QString &d : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString target = d.startsWith(QLatin1String("seed-")) ? d.mid(5) : d;
        const QDir dir(root.filePath(d));
        for (const QString &f : dir.entryList(QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(d + QLatin1Char('/') + f)) << target << dir.filePath(f);
    }
}

void TestFuzzRegress::replay()
{
    QFETCH(QString, target);
    QFETCH(QString, file);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    const auto it = targets().find(target);
    QVERIFY(it != targets().end());
    it->second(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
}

QTEST_GUILESS_MAIN(TestFuzzRegress)
#include "tst_fuzzregress.moc"
