#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

// The folders of the program build on one another, lowest first; a file includes from its
// own folder and the folders its folder's row names, never from one above. Every folder
// holding sources has a row: a new folder takes its place here.
namespace {

const QStringList kFloors{QStringLiteral("db"), QStringLiteral("data"), QStringLiteral("browse"), QStringLiteral("sheets")};
const QStringList kSubsystems{QStringLiteral("operators"), QStringLiteral("reference"), QStringLiteral("owners"),
                              QStringLiteral("charging"), QStringLiteral("output"), QStringLiteral("report"),
                              QStringLiteral("statistics")};

QStringList floorsAnd(QStringList more)
{
    return kFloors + more;
}

const QHash<QString, QStringList> &allowed()
{
    static const QHash<QString, QStringList> rules = [] {
        const QString widgets = QStringLiteral("widgets");
        QHash<QString, QStringList> r;
        // The connection and its engines know nothing of the program's tables.
        r.insert(QStringLiteral("db"), {});
        r.insert(QStringLiteral("data"), {QStringLiteral("db")});
        r.insert(QStringLiteral("browse"), {QStringLiteral("db"), QStringLiteral("data")});
        r.insert(QStringLiteral("sheets"), {QStringLiteral("db"), QStringLiteral("data")});
        // The shared pieces of the screens, below every screen folder.
        r.insert(widgets, kFloors);
        // A subsystem uses the ones whose logic or screens it shows, none of them back.
        r.insert(QStringLiteral("report"), floorsAnd({widgets}));
        r.insert(QStringLiteral("reference"), floorsAnd({widgets}));
        r.insert(QStringLiteral("output"), floorsAnd({widgets, QStringLiteral("report")}));
        r.insert(QStringLiteral("operators"), floorsAnd({widgets, QStringLiteral("output"), QStringLiteral("reference")}));
        r.insert(QStringLiteral("charging"), floorsAnd({widgets, QStringLiteral("output"), QStringLiteral("report")}));
        r.insert(QStringLiteral("owners"), floorsAnd({widgets, QStringLiteral("output"), QStringLiteral("report"),
                                                      QStringLiteral("reference"), QStringLiteral("charging")}));
        r.insert(QStringLiteral("statistics"), floorsAnd({widgets, QStringLiteral("output"), QStringLiteral("report"),
                                                          QStringLiteral("owners")}));
        // The demonstration data is made through the charging logic and the one house insert, without screens.
        r.insert(QStringLiteral("demo"), floorsAnd({QStringLiteral("charging"), QStringLiteral("owners")}));
        // The program's window opens every subsystem's screens.
        r.insert(QStringLiteral("app"), floorsAnd(kSubsystems + QStringList{widgets}));
        // The admin tool runs the logic without any screen.
        r.insert(QStringLiteral("tools"), floorsAnd(kSubsystems + QStringList{QStringLiteral("demo")}));
        r.insert(QStringLiteral("bench"), floorsAnd(kSubsystems + QStringList{widgets, QStringLiteral("demo")}));
        // The tests reach everything; nothing reaches them.
        r.insert(QStringLiteral("tests"), floorsAnd(kSubsystems + QStringList{widgets, QStringLiteral("demo"),
                                                                              QStringLiteral("app"), QStringLiteral("tools")}));
        return r;
    }();
    return rules;
}

// The folder a path (relative to the source root) belongs to; empty for a top-level file.
QString folderOf(const QString &relative)
{
    const int slash = relative.indexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : relative.left(slash);
}

} // namespace

class TestLayers : public QObject {
    Q_OBJECT
private slots:
    void includesFollowTheFolders_data();
    void includesFollowTheFolders();
    void everySourceFolderHasARule();
};

// One row per folder: the quoted includes of its sources that reach another folder.
void TestLayers::includesFollowTheFolders_data()
{
    QTest::addColumn<QStringList>("includes"); // "file: folder/header"
    const QDir root(QStringLiteral(SOURCE_ROOT));
    QHash<QString, QStringList> byFolder;
    static const QRegularExpression include(QStringLiteral("^\\s*#\\s*include\\s*\"([^\"]+)\""),
                                            QRegularExpression::MultilineOption);
    QDirIterator it(root.path(), {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = root.relativeFilePath(path);
        const QString folder = folderOf(relative);
        if (folder.isEmpty() || folder.startsWith(QLatin1String("build")) || folder.startsWith(QLatin1Char('.')))
            continue;
        QFile f(path);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(path));
        const QString text = QString::fromUtf8(f.readAll());
        auto m = include.globalMatch(text);
        while (m.hasNext()) {
            QString target = m.next().captured(1);
            if (target.startsWith(QLatin1String("./")) || target.startsWith(QLatin1String("../")))
                target = QDir::cleanPath(QFileInfo(relative).path() + QLatin1Char('/') + target);
            const QString to = folderOf(target);
            if (to.isEmpty() || to == folder)
                continue; // a header beside the file, or one the build generates
            byFolder[folder] << relative + QStringLiteral(": ") + target;
        }
    }
    QVERIFY(byFolder.contains(QStringLiteral("data")));
    for (auto i = byFolder.cbegin(); i != byFolder.cend(); ++i)
        QTest::newRow(qPrintable(i.key())) << i.value();
}

void TestLayers::includesFollowTheFolders()
{
    QFETCH(QStringList, includes);
    const QString folder = QString::fromLatin1(QTest::currentDataTag());
    QVERIFY2(allowed().contains(folder), qPrintable(QStringLiteral("no rule for the folder %1").arg(folder)));
    QStringList broken;
    for (const QString &line : includes)
        if (!allowed().value(folder).contains(folderOf(line.section(QStringLiteral(": "), 1))))
            broken << line;
    QVERIFY2(broken.isEmpty(), qPrintable(broken.join(QLatin1Char('\n'))));
}

// A folder with sources that includes nothing of another folder still has its place.
void TestLayers::everySourceFolderHasARule()
{
    const QDir root(QStringLiteral(SOURCE_ROOT));
    QStringList missing;
    for (const QString &folder : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (folder.startsWith(QLatin1String("build")) || allowed().contains(folder))
            continue;
        QDirIterator it(root.filePath(folder), {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        if (it.hasNext())
            missing << folder;
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char(' '))));
}

QTEST_GUILESS_MAIN(TestLayers)
#include "tst_layers.moc"
