#include "charging/DayCloseWindow.h"
#include "charging/ChargeQueryWindow.h"
#include "db/DbError.h"
#include "data/DataModule.h"
#include "owners/OwnerQueryWindow.h"
#include "owners/ArrearsReminderWindow.h"
#include "output/UiSheetOpener.h"
#include "output/XlsxExport.h"
#include "tests/output/XlsxProbe.h"
#include "tests/support/Doubles.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"
#include "widgets/Guard.h"

#include <QDir>
#include <QRegularExpression>
#include <QPushButton>
#include <QTemporaryDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>

#include <functional>
#include <memory>

namespace {

const QString Unit = QStringLiteral("澄岳热力公司");
const QString Suggested = QStringLiteral("业主查询-20241010.xlsx");

// One listed row per layout, keyed by the list's field names (the grid's captions).
QHash<QString, QString> sampleRow(int i)
{
    return {
        {QStringLiteral("单号"), i == 1 ? QStringLiteral("2410100012") : QStringLiteral("24101000%1").arg(10 + i)},
        {QStringLiteral("收费日期"), QStringLiteral("2024-10-10")},
        {QStringLiteral("小区名称"), QStringLiteral("阳光小区")},
        {QStringLiteral("房号"), QStringLiteral("0%1").arg(100 + i)},
        {QStringLiteral("面积"), QStringLiteral("87.5")},
        {QStringLiteral("单价"), QStringLiteral("25")},
        {QStringLiteral("房屋用途"), QStringLiteral("住宅")},
        {QStringLiteral("业主名称"), QStringLiteral("王'五%1").arg(i)},
        {QStringLiteral("收费年数"), QStringLiteral("1")},
        {QStringLiteral("起始日期"), QStringLiteral("2024-10-16")},
        {QStringLiteral("截止日期"), QStringLiteral("2025-10-15")},
        {QStringLiteral("收款金额"), QStringLiteral("2187.5")},
        {QStringLiteral("收款方式"), QStringLiteral("现金")},
        {QStringLiteral("收款人"), QStringLiteral("管理员")},
        {QStringLiteral("到期日期"), QStringLiteral("2023-10-15")},
        {QStringLiteral("手机号码"), QStringLiteral("013912345678")},
        {QStringLiteral("欠费年数"), QStringLiteral("1")},
        {QStringLiteral("欠费金额"), QStringLiteral("2187.5")},
        {QStringLiteral("备注"), i == 2 ? QString() : QStringLiteral("=1+1")},
    };
}

// The list as the screen's list query holds it: the layout's fields (in another order, and
// with the ID the grid hides) and n rows.
Rows listFor(const ExportLayout &layout, int n)
{
    QStringList columns{QStringLiteral("ID")};
    for (const ExportColumn &c : layout.columns)
        if (c.cell != ExportCell::Sequence)
            columns.prepend(c.heading);
    QVector<QStringList> rows;
    for (int i = 1; i <= n; ++i) {
        const auto sample = sampleRow(i);
        QStringList r;
        for (const QString &c : columns)
            r << (c == QLatin1String("ID") ? QString::number(i) : sample.value(c));
        rows << r;
    }
    return Rows(columns, rows);
}

Rows totalsFor(const ExportLayout &layout, int n)
{
    QStringList columns, values;
    for (const ExportColumn &c : layout.columns)
        if (!c.totalField.isEmpty()) {
            columns << c.totalField;
            // A sum over no rows is null, read as the empty text.
            values << (n == 0 ? QString() : QString::number(2187.5 * n));
        }
    return Rows(columns, {values});
}

ExportLayout layoutNamed(const QString &name)
{
    if (name == QLatin1String("charge"))
        return ExportLayouts::chargeQuery();
    if (name == QLatin1String("owner"))
        return ExportLayouts::ownerQuery();
    return ExportLayouts::arrears();
}

int excelSerial(const QDate &d) { return int(QDate(1899, 12, 30).daysTo(d)); }

} // namespace

class TestExport : public QObject {
    Q_OBJECT
private slots:
    void layouts_data();
    void layouts();
    void workbook_data();
    void workbook();
    void chargeCellKinds();
    void ownerCellKinds_data();
    void ownerCellKinds();
    void valuesOutsideTheirKind();
    void listLackingAField();
    void unwritableFile();
    void exportFileNames();
    void outputReplacesNeverFollows_data();
    void outputReplacesNeverFollows();
    void screensExportPrivately();
    void presentOpensEachWorkbook();
    void spreadsheetProgram();
    void noSpreadsheetProgram_data();
    void noSpreadsheetProgram();
    void quickExcelShowsNoProgressOverTheBoxes();
    void screenAndAdminToolAgree_data();
    void screenAndAdminToolAgree();
    void adminToolArguments_data();
    void adminToolArguments();
};

void TestExport::layouts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("titleWord");
    QTest::addColumn<QString>("titleRange");
    QTest::addColumn<QString>("headingRange");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("textColumns");
    QTest::addColumn<QString>("sumColumns");
    QTest::newRow("charge query") << "charge" << "收费报表" << "A1:O1" << "A1:O2" << "A2:O7" << "BCE" << "L";
    QTest::newRow("owner query") << "owner" << "业主报表" << "A1:J1" << "A1:J2" << "A2:J7" << "CGI" << "D";
    QTest::newRow("arrears") << "arrears" << "业主报表" << "A1:L1" << "A1:L2" << "A2:L7" << "CGI" << "DL";
}

void TestExport::layouts()
{
    QFETCH(QString, name);
    const ExportLayout l = layoutNamed(name);
    QTEST(l.titleWord, "titleWord");
    QTEST(l.titleRange(), "titleRange");
    QTEST(l.headingRange(), "headingRange");
    QTEST(l.bodyRange(7), "body");
    QString text, sums;
    for (int i = 0; i < l.columns.size(); ++i) {
        const QChar letter(u'A' + i);
        if (l.columns.at(i).cell == ExportCell::Text)
            text += letter;
        if (!l.columns.at(i).totalField.isEmpty()) {
            sums += letter;
            QCOMPARE(l.columns.at(i).totalField, l.columns.at(i).heading);
        }
    }
    QTEST(text, "textColumns");
    QTEST(sums, "sumColumns");
    QCOMPARE(l.columns.first().heading, QStringLiteral("序号"));
    QCOMPARE(l.columns.first().cell, ExportCell::Sequence);
}

void TestExport::workbook_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("rows");
    for (const char *name : {"charge", "owner", "arrears"})
        for (int n : {0, 1, 3})
            QTest::newRow(qPrintable(QStringLiteral("%1, %2 rows").arg(QLatin1String(name)).arg(n)))
                << QString::fromLatin1(name) << n;
}

// Title, headings, sequence numbers, the totals row, ruling, fonts, column A, page set-up:
// the same for all three exports, at any length of list.
void TestExport::workbook()
{
    QFETCH(QString, name);
    QFETCH(int, rows);
    const ExportLayout layout = layoutNamed(name);
    Rows list = listFor(layout, rows);
    const Rows totals = totalsFor(layout, rows);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.xlsx"));
    RowsExportSource source(list);
    const ExportResult r = writeExportWorkbook(path, layout, source, totals, Unit);

    const int ncols = int(layout.columns.size());
    const int totalsRow = rows + 3;
    QCOMPARE(r.dataRows, rows);
    QCOMPARE(r.totalsRow, totalsRow);
    QCOMPARE(r.bodyRange, layout.bodyRange(totalsRow));
    if (rows > 0)
        QCOMPARE(list.current(), rows - 1); // the list is left on its last row

    const XlsxProbe x(path);
    QVERIFY2(x.error.isEmpty(), qPrintable(x.error));
    QCOMPARE(x.title, Unit + layout.titleWord);

    // Row 1: the title, merged across every column, 宋体 16 bold, centred both ways.
    QCOMPARE(x.text(QStringLiteral("A1")), Unit + layout.titleWord);
    QCOMPARE(x.merges, QStringList{layout.titleRange()});
    const XlsxStyle t = x.style(QStringLiteral("A1"));
    QCOMPARE(t.font, QStringLiteral("宋体"));
    QCOMPARE(t.size, 16.0);
    QVERIFY(t.bold);
    QCOMPARE(t.hAlign, QStringLiteral("center"));
    QCOMPARE(t.vAlign, QStringLiteral("center"));

    // Row 2: the headings, bold and centred.
    for (int c = 1; c <= ncols; ++c) {
        const QString ref = XlsxProbe::ref(2, c);
        QCOMPARE(x.kind(ref), QStringLiteral("text"));
        QCOMPARE(x.text(ref), layout.columns.at(c - 1).heading);
        QVERIFY(x.style(ref).bold);
        QCOMPARE(x.style(ref).hAlign, QStringLiteral("center"));
        QCOMPARE(x.style(ref).vAlign, QStringLiteral("center"));
    }

    // Sequence numbers, centred.
    for (int i = 1; i <= rows; ++i) {
        const QString ref = XlsxProbe::ref(i + 2, 1);
        QCOMPARE(x.kind(ref), QStringLiteral("number"));
        QCOMPARE(x.text(ref), QString::number(i));
        QCOMPARE(x.style(ref).hAlign, QStringLiteral("center"));
    }

    // The totals row right after the list: "合计" centred, each sum under its column, an
    // empty sum (no rows) as an empty cell; nothing below it.
    QCOMPARE(x.lastRow, totalsRow);
    QCOMPARE(x.text(XlsxProbe::ref(totalsRow, 1)), QStringLiteral("合计"));
    QCOMPARE(x.style(XlsxProbe::ref(totalsRow, 1)).hAlign, QStringLiteral("center"));
    for (int c = 2; c <= ncols; ++c) {
        const QString ref = XlsxProbe::ref(totalsRow, c);
        if (layout.columns.at(c - 1).totalField.isEmpty() || rows == 0) {
            QCOMPARE(x.kind(ref), QStringLiteral("blank"));
        } else {
            QCOMPARE(x.kind(ref), QStringLiteral("number"));
            QCOMPARE(x.text(ref).toDouble(), 2187.5 * rows);
        }
    }

    // A2 to the totals row: every cell ruled on all sides, 9 point.
    for (int row = 2; row <= totalsRow; ++row)
        for (int c = 1; c <= ncols; ++c) {
            const QString ref = XlsxProbe::ref(row, c);
            QVERIFY2(x.cells.contains(ref), qPrintable(ref));
            QVERIFY2(x.style(ref).allBorders, qPrintable(ref));
            QCOMPARE(x.style(ref).size, 9.0);
        }
    QVERIFY(!x.cells.contains(XlsxProbe::ref(2, ncols + 1)));

    // Column A four characters wide (stored with the cell padding), the others default.
    QVERIFY2(x.widths.value(1) > 4 && x.widths.value(1) < 5, qPrintable(QString::number(x.widths.value(1))));
    QCOMPARE(x.widths.size(), 1);
    QCOMPARE(x.orientation, QStringLiteral("landscape"));
    // The program's home page (the same address as the help command's), then page count and page.
    QCOMPARE(x.footer, QStringLiteral("&C") + QString::fromUtf8(HomePage) + QStringLiteral(" 共&N页，第&P页"));
}

// Receipt numbers, charge dates and rooms stay text with every character; the period dates
// become dates shown yyyy-mm-dd; figures become numbers; other text stays text.
void TestExport::chargeCellKinds()
{
    const ExportLayout layout = ExportLayouts::chargeQuery();
    Rows list = listFor(layout, 2);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("charge.xlsx"));
    RowsExportSource source(list);
    writeExportWorkbook(path, layout, source, totalsFor(layout, 2), Unit);
    const XlsxProbe x(path);
    QVERIFY2(x.error.isEmpty(), qPrintable(x.error));

    struct Expect {
        const char *ref, *kind, *text;
    };
    const QString from = QString::number(excelSerial(QDate(2024, 10, 16)));
    const QString to = QString::number(excelSerial(QDate(2025, 10, 15)));
    const Expect expected[] = {
        {"B3", "text", "2410100012"}, {"C3", "text", "2024-10-10"}, {"D3", "text", "阳光小区"},
        {"E3", "text", "0101"},       {"F3", "number", "87.5"},     {"G3", "number", "25"},
        {"H3", "text", "王'五1"},     {"I3", "number", "1"},        {"L3", "number", "2187.5"},
        {"M3", "text", "现金"},       {"N3", "text", "管理员"},     {"O3", "text", "=1+1"},
        {"O4", "blank", ""},
    };
    for (const Expect &e : expected) {
        const QString ref = QString::fromLatin1(e.ref);
        QCOMPARE(ref + QLatin1Char(' ') + x.kind(ref), ref + QLatin1Char(' ') + QString::fromLatin1(e.kind));
        QCOMPARE(x.text(ref), QString::fromUtf8(e.text));
    }
    QCOMPARE(x.kind(QStringLiteral("J3")), QStringLiteral("date"));
    QCOMPARE(x.text(QStringLiteral("J3")), from);
    QCOMPARE(x.kind(QStringLiteral("K4")), QStringLiteral("date"));
    QCOMPARE(x.text(QStringLiteral("K4")), to);
    QCOMPARE(x.style(QStringLiteral("J3")).numFmt, QStringLiteral("yyyy-mm-dd"));
    // Forced text is stored as text, not as an apostrophe in the value.
    QCOMPARE(x.style(QStringLiteral("B3")).numFmt, QStringLiteral("@"));
}

void TestExport::ownerCellKinds_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("owner query") << "owner";
    QTest::newRow("arrears") << "arrears";
}

void TestExport::ownerCellKinds()
{
    QFETCH(QString, name);
    const ExportLayout layout = layoutNamed(name);
    Rows list = listFor(layout, 1);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("owners.xlsx"));
    RowsExportSource source(list);
    writeExportWorkbook(path, layout, source, totalsFor(layout, 1), Unit);
    const XlsxProbe x(path);
    QVERIFY2(x.error.isEmpty(), qPrintable(x.error));
    QCOMPARE(x.kind(QStringLiteral("C3")), QStringLiteral("text"));
    QCOMPARE(x.text(QStringLiteral("C3")), QStringLiteral("0101"));
    QCOMPARE(x.kind(QStringLiteral("D3")), QStringLiteral("number"));
    QCOMPARE(x.kind(QStringLiteral("G3")), QStringLiteral("text")); // the paid-up date stays text
    QCOMPARE(x.text(QStringLiteral("G3")), QStringLiteral("2023-10-15"));
    QCOMPARE(x.kind(QStringLiteral("I3")), QStringLiteral("text"));
    QCOMPARE(x.text(QStringLiteral("I3")), QStringLiteral("013912345678"));
    if (name == QLatin1String("arrears")) {
        QCOMPARE(x.kind(QStringLiteral("K3")), QStringLiteral("number"));
        QCOMPARE(x.kind(QStringLiteral("L3")), QStringLiteral("number"));
        QCOMPARE(x.text(QStringLiteral("L4")), QStringLiteral("2187.5"));
    }
}

// A period date the import may have stored as any text, and figures that are no number,
// are written as they were listed.
void TestExport::valuesOutsideTheirKind()
{
    const ExportLayout layout = ExportLayouts::chargeQuery();
    Rows list = listFor(layout, 1);
    const QStringList columns = list.columns();
    QStringList row = list.row(0);
    row[columns.indexOf(QStringLiteral("起始日期"))] = QStringLiteral("2024-02-30");
    row[columns.indexOf(QStringLiteral("截止日期"))] = QStringLiteral("1899-12-31");
    row[columns.indexOf(QStringLiteral("面积"))] = QStringLiteral("12..5");
    row[columns.indexOf(QStringLiteral("单价"))] = QString();
    list = Rows(columns, {row});
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("odd.xlsx"));
    RowsExportSource source(list);
    writeExportWorkbook(path, layout, source, totalsFor(layout, 1), Unit);
    const XlsxProbe x(path);
    QCOMPARE(x.kind(QStringLiteral("J3")), QStringLiteral("text"));
    QCOMPARE(x.text(QStringLiteral("J3")), QStringLiteral("2024-02-30"));
    QCOMPARE(x.kind(QStringLiteral("K3")), QStringLiteral("text"));
    QCOMPARE(x.kind(QStringLiteral("F3")), QStringLiteral("text"));
    QCOMPARE(x.text(QStringLiteral("F3")), QStringLiteral("12..5"));
    QCOMPARE(x.kind(QStringLiteral("G3")), QStringLiteral("blank"));
    QVERIFY(x.style(QStringLiteral("G3")).allBorders);
}

void TestExport::listLackingAField()
{
    const ExportLayout layout = ExportLayouts::arrears();
    // The owner query's list has no arrears columns.
    Rows list = listFor(ExportLayouts::ownerQuery(), 2);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.xlsx"));
    RowsExportSource source(list);
    try {
        writeExportWorkbook(path, layout, source, totalsFor(layout, 2), Unit);
        QFAIL("no error");
    } catch (const AppError &e) {
        QCOMPARE(e.message(), QStringLiteral("列表中没有字段“欠费年数”"));
    }
    QVERIFY(!QFile::exists(path));
}

void TestExport::unwritableFile()
{
    const ExportLayout layout = ExportLayouts::ownerQuery();
    Rows list = listFor(layout, 1);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("no such folder/x.xlsx"));
    RowsExportSource source(list);
    QVERIFY_THROWS_EXCEPTION(AppError, writeExportWorkbook(path, layout, source, totalsFor(layout, 1), Unit));
    QVERIFY(!QFile::exists(path));
}

void TestExport::exportFileNames()
{
    QTemporaryDir dir;
    const QDateTime when(QDate(2024, 10, 10), QTime(14, 30, 5));
    const QString first = newExportPath(dir.path(), QStringLiteral("A/B:公司收费报表"), when);
    QCOMPARE(QFileInfo(first).fileName(), QStringLiteral("A_B_公司收费报表 2024-10-10 14.30.05.xlsx"));
    QFile f(first);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    // A second press within the same second does not reuse the first one's file.
    QCOMPARE(QFileInfo(newExportPath(dir.path(), QStringLiteral("A/B:公司收费报表"), when)).fileName(),
             QStringLiteral("A_B_公司收费报表 2024-10-10 14.30.05 (2).xlsx"));
}

void TestExport::presentOpensEachWorkbook()
{
    QTemporaryDir tmp;
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(tmp.path()));
    UnitName = Unit;
    RecordingOpener opener;
    const ExportLayout layout = ExportLayouts::chargeQuery();
    Rows list = listFor(layout, 2);
    const Rows totals = totalsFor(layout, 2);
    QStringList written;
    for (int press = 0; press < 2; ++press) {
        RowsExportSource source(list);
        written << presentExport(layout, source, totals, Suggested);
    }
    qputenv("TMPDIR", oldTmp);
    QCOMPARE(opener.opened, written);
    QVERIFY(written.at(0) != written.at(1));
    for (const QString &path : written) {
        QVERIFY(path.startsWith(tmp.path()));
        QVERIFY2(QFileInfo(path).fileName().startsWith(Unit + QStringLiteral("收费报表 ")), qPrintable(path));
        const XlsxProbe x(path);
        QVERIFY2(x.error.isEmpty(), qPrintable(x.error));
        QCOMPARE(x.text(QStringLiteral("B3")), QStringLiteral("2410100012"));
        QCOMPARE(x.lastRow, 5);
    }
    QCOMPARE(SqlText, QStringLiteral("A2:O5"));
    UnitName.clear();
}

namespace {

// The desktop's opener as it behaves on a screen.
class ScreenOpener : public SheetOpener {
public:
    ScreenOpener() { setSheetOpener(this); }
    ~ScreenOpener() override { setSheetOpener(nullptr); }
    bool open(const QString &path) override { return startSpreadsheetProgram(path); }
};

struct Environment {
    QByteArray name, old;
    Environment(const char *n, const QString &value) : name(n), old(qgetenv(n)) { qputenv(n, QFile::encodeName(value)); }
    ~Environment() { qputenv(name.constData(), old); }
};

} // namespace

void TestExport::outputReplacesNeverFollows_data()
{
    QTest::addColumn<QString>("atTarget"); // what stands at the target before: "link" or "workbook"
    QTest::addColumn<bool>("fails");       // the export fails halfway (a field the list lacks)
    QTest::newRow("link to another file") << "link" << false;
    QTest::newRow("link, failed export") << "link" << true;
    QTest::newRow("read-only workbook, failed export") << "workbook" << true;
    QTest::newRow("read-only workbook replaced") << "workbook" << false;
}

// The path was once written seconds after it was checked: a link put there in between had
// the database overwritten, and a failed export deleted the workbook it was to replace.
void TestExport::outputReplacesNeverFollows()
{
    QFETCH(QString, atTarget);
    QFETCH(bool, fails);
    QTemporaryDir dir;
    const QString victim = dir.filePath(QStringLiteral("db.edb"));
    const QString path = dir.filePath(QStringLiteral("x.xlsx"));
    const QByteArray before = atTarget == QLatin1String("link") ? QByteArray("database") : QByteArray("PK\x03\x04 old");
    QFile f(atTarget == QLatin1String("link") ? victim : path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(before);
    f.close();
    if (atTarget == QLatin1String("link"))
        QVERIFY(QFile::link(victim, path));
    else
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));

    const ExportLayout layout = fails ? ExportLayouts::arrears() : ExportLayouts::ownerQuery();
    Rows list = listFor(ExportLayouts::ownerQuery(), 2);
    RowsExportSource source(list);
    bool failed = false;
    try {
        writeExportWorkbook(path, layout, source, totalsFor(layout, 2), Unit);
    } catch (const AppError &) {
        failed = true;
    }
    QCOMPARE(failed, fails);
    const auto bytes = [](const QString &p) {
        QFile file(p);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    if (atTarget == QLatin1String("link")) {
        QCOMPARE(bytes(victim), before); // never written through the link
        QCOMPARE(QFileInfo(path).isSymLink(), fails);
    }
    if (fails) {
        QCOMPARE(bytes(atTarget == QLatin1String("link") ? victim : path), before);
    } else {
        QVERIFY(!QFileInfo(path).isSymLink());
        QVERIFY(bytes(path).startsWith("PK\x03\x04"));
        QVERIFY(bytes(path).size() > 1000);
        QCOMPARE(QFileInfo(path).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), QFileDevice::Permissions());
    }
    // No temporary file is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), atTarget == QLatin1String("link") ? 2 : 1);
}

// The screens' workbooks hold owners' names and phone numbers: a folder of the account's
// own, files only it can read, names nobody can guess. Another account's folder in its
// place is refused.
void TestExport::screensExportPrivately()
{
    QTemporaryDir tmp;
    Environment tmpDir("TMPDIR", tmp.path());
    const ExportLayout layout = ExportLayouts::ownerQuery();
    Rows list = listFor(layout, 1);
    // A folder left open to everybody by an older version is closed.
    QVERIFY(QDir().mkpath(exportFolder()));
    QVERIFY(QFile::setPermissions(exportFolder(), QFileDevice::Permissions(0x7777)));
    RowsExportSource source(list);
    const QString written = presentExport(layout, source, totalsFor(layout, 1), Suggested);
    QCOMPARE(QFileInfo(written).absolutePath(), exportFolder());
    QCOMPARE(QFileInfo(exportFolder()).permissions(),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadUser
                 | QFileDevice::WriteUser | QFileDevice::ExeUser);
    QCOMPARE(QFileInfo(written).permissions(),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
    static const QRegularExpression name(QStringLiteral("^业主报表 \\d{4}-\\d\\d-\\d\\d \\d\\d\\.\\d\\d\\.\\d\\d [a-z2-9]{6}\\.xlsx$"));
    QVERIFY2(name.match(QFileInfo(written).fileName()).hasMatch(), qPrintable(written));
    RowsExportSource again(list);
    QVERIFY(QFileInfo(presentExport(layout, again, totalsFor(layout, 1), Suggested)).fileName() != QFileInfo(written).fileName());

    // A link planted where the folder goes.
    QVERIFY(QDir(exportFolder()).removeRecursively());
    QTemporaryDir elsewhere;
    QVERIFY(QFile::link(elsewhere.path(), exportFolder()));
    RowsExportSource third(list);
    QVERIFY_THROWS_EXCEPTION(AppError, presentExport(layout, third, totalsFor(layout, 1), Suggested));
    QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files), QStringList());
}

// A spreadsheet program found by name is started on the new workbook; a headless run
// starts none and keeps the workbook.
void TestExport::spreadsheetProgram()
{
    QTemporaryDir bin, tmp;
    const QString marker = bin.filePath(QStringLiteral("opened"));
    QFile script(bin.filePath(QStringLiteral("localc")));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho \"$@\" >> '" + QFile::encodeName(marker) + "'\n");
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    Environment path("PATH", bin.path()), tmpDir("TMPDIR", tmp.path());
    MessageRecorder boxes;
    const ExportLayout layout = ExportLayouts::ownerQuery();
    Rows list = listFor(layout, 1);
    const auto opened = [&] {
        QFile f(marker);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                                           : QStringList();
    };
    {
        ScreenOpener screen;
        RowsExportSource source(list);
        const QString written = presentExport(layout, source, totalsFor(layout, 1), Suggested);
        QTRY_COMPARE(opened(), QStringList{written});
        QFile::remove(marker);
    }
    RowsExportSource source(list);
    const QString written = presentExport(layout, source, totalsFor(layout, 1), Suggested);
    QVERIFY(QFile::exists(written));
    // The program is started once more by hand, after the headless export: when its file
    // is listed, a program started by the export would have been listed before it.
    const QString after = tmp.filePath(QStringLiteral("after.xlsx"));
    QVERIFY(startSpreadsheetProgram(after));
    QTRY_VERIFY(opened().contains(after));
    QCOMPARE(opened(), QStringList{after});
    QCOMPARE(boxes.entries.size(), 0);
}

namespace {
class NoProgramOpener : public SheetOpener {
public:
    NoProgramOpener() { setSheetOpener(this); }
    ~NoProgramOpener() override { setSheetOpener(nullptr); }
    bool open(const QString &) override { return false; }
};
} // namespace

// "Excel" of a short list on a computer without a spreadsheet program: the export is over
// within half a second, and its progress window never comes up over the boxes that follow,
// which belong to the list's window.
void TestExport::quickExcelShowsNoProgressOverTheBoxes()
{
    QTemporaryDir tmp;
    Environment tmpDir("TMPDIR", tmp.path());
    TestDb db;
    HouseBuilder().area(QStringLiteral("东区")).room(QStringLiteral("1-101")).floorArea(50).price(2).insert(db);
    db.login();
    NoProgramOpener opener;
    ReadingMessages boxes;
    boxes.answers = {false};
    OwnerQueryWindow q;
    q.show();
    q.runQuery();
    QVERIFY(q.waitForFigures());
    fromEventLoop([&] { q.exportToExcel(); });
    QCOMPARE(boxes.entries.size(), 1);
    QCOMPARE(boxes.entries.at(0).kind, QStringLiteral("question"));
    QCOMPARE(boxes.progressSeen, QStringList());
    for (const QPointer<QWidget> &parent : boxes.parents)
        QCOMPARE(parent.data(), &q);
    QCOMPARE(QDir(exportFolder()).entryList(QDir::Files), QStringList());
}

namespace {

void seedOffice(TestDb &db)
{
    db.exec(QStringLiteral("UPDATE SDept SET theEM = 3, theED = 15 WHERE ID = 1"));
    struct House {
        const char *area, *room, *floorArea, *purpose, *price, *paidUp, *owner, *phone, *remark;
        bool deleted;
    };
    const House houses[] = {
        {"阳光小区", "0101", "87.5", "住宅", "25", "2023-10-15", "王'五", "013912345678", "=1+1", false},
        {"阳光小区", "0102", "100", "商用", "30", "2021-12-31", "李四", "", "", false},
        {"阳光小区", "0103", "60", "住宅", "25", "2025-10-15", "张三", "13800000000", "", false},
        {"翠园", "0001", "50", "住宅", "25", "2020-01-01", "赵六", "", "", true},
    };
    for (const House &h : houses)
        HouseBuilder().area(QString::fromUtf8(h.area)).room(QString::fromUtf8(h.room)).floorArea(QString::fromUtf8(h.floorArea))
            .purpose(QString::fromUtf8(h.purpose)).price(QString::fromUtf8(h.price)).paidUpTo(QString::fromUtf8(h.paidUp))
            .owner(QString::fromUtf8(h.owner)).phone(QString::fromUtf8(h.phone)).remark(QString::fromUtf8(h.remark))
            .deleted(h.deleted).insert(db);
    const auto charge = [&](qint64 house, const char *number, const char *date, const char *room, const char *floorArea,
                            const char *owner, const char *years, const char *start, const char *end, const char *amount,
                            const char *method, const char *remark, bool deleted) {
        ChargeRowBuilder().house(house).number(QString::fromUtf8(number)).chargingDate(QString::fromUtf8(date))
            .area(QStringLiteral("阳光小区")).room(QString::fromUtf8(room)).floorArea(QString::fromUtf8(floorArea))
            .price(QStringLiteral("25")).owner(QString::fromUtf8(owner)).years(QString::fromUtf8(years))
            .period(QString::fromUtf8(start), QString::fromUtf8(end)).amount(QString::fromUtf8(amount))
            .method(QString::fromUtf8(method)).payee(QStringLiteral("管理员")).remark(QString::fromUtf8(remark))
            .deleted(deleted).insert(db);
    };
    charge(3, "2410100012", "2024-10-10", "0103", "60", "张三", "1", "2024-10-16", "2025-10-15", "1500", "现金", "", false);
    charge(3, "2310100001", "2023-10-10", "0103", "60", "张三", "1", "2023-10-16", "2024-10-15", "1500", "现金", "", true);
    charge(1, "2410110001", "2024-10-11", "0101", "87.5", "王'五", "2", "2023-10-16", "2025-10-15", "4375", "微信", "补", false);
}

} // namespace

void TestExport::noSpreadsheetProgram_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("what");  // the suggested name before its day
    QTest::addColumn<QDate>("day");     // an invalid day: today's
    QTest::addColumn<QString>("title"); // after the unit's name
    QTest::newRow("charge query") << "charges" << "收费查询" << QDate() << "收费报表";
    QTest::newRow("arrears reminder") << "arrears" << "欠费提醒" << QDate() << "业主报表";
    QTest::newRow("day close") << "dayclose" << "收费日报" << QDate(2024, 10, 10) << "收费日报（2024-10-10）";
}

// "Excel" of a window on a computer where no spreadsheet program can be found: the operator
// is told that the workbook was made and nothing can open it, and may keep it under a
// name that says what it holds and its day. Declined, nothing is left behind.
void TestExport::noSpreadsheetProgram()
{
    QFETCH(QString, window);
    QFETCH(QString, what);
    QFETCH(QDate, day);
    QFETCH(QString, title);
    TestDb db;
    seedOffice(db);
    db.login(QDate(2024, 10, 10));
    QTemporaryDir tmp, emptyPath, chosen;
    Environment path("PATH", emptyPath.path()), tmpDir("TMPDIR", tmp.path());
    MessageRecorder boxes;
    ScreenOpener screen;
    QStringList suggested;
    // The file dialog's answer, without the extension the program then adds.
    setSaveLocationChooser([&](const QString &name) {
        suggested << name;
        return chosen.filePath(QFileInfo(name).completeBaseName());
    });
    const auto restore = qScopeGuard([] { setSaveLocationChooser({}); });
    std::unique_ptr<QWidget> w;
    std::function<void()> excel;
    if (window == QLatin1String("dayclose")) {
        auto *close = new DayCloseWindow;
        w.reset(close);
        excel = [close] { close->exportToExcel(); };
    } else {
        BrowseWindow *list = window == QLatin1String("charges") ? static_cast<BrowseWindow *>(new ChargeQueryWindow)
                                                                 : new ArrearsReminderWindow;
        w.reset(list);
        list->runQuery();
        excel = [list] { list->excelButton->click(); };
    }
    if (!day.isValid())
        day = QDate::currentDate();
    excel();
    const QString name = what + QLatin1Char('-') + day.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".xlsx");
    QCOMPARE(boxes.entries.size(), 2);
    QCOMPARE(boxes.entries.at(0).kind, QStringLiteral("question"));
    QCOMPARE(boxes.entries.at(0).text, QStringLiteral("工作簿已经生成，但这台电脑上没有可以打开它的程序（如 WPS 表格、LibreOffice）。"
                                                      "要把工作簿保存到您选择的位置吗？"));
    QCOMPARE(suggested, QStringList{name});
    const QString kept = chosen.filePath(name);
    QCOMPARE(boxes.entries.at(1).kind, QStringLiteral("info"));
    QCOMPARE(boxes.entries.at(1).text, QStringLiteral("工作簿已保存到：%1").arg(QDir::toNativeSeparators(kept)));
    const XlsxProbe x(kept);
    QVERIFY2(x.error.isEmpty(), qPrintable(x.error));
    // The day close's title goes on with its 校验码.
    QVERIFY2(x.text(QStringLiteral("A1")).startsWith(UnitName + title), qPrintable(x.text(QStringLiteral("A1"))));
    QVERIFY(exportFolder().startsWith(tmp.path()));
    QCOMPARE(QDir(exportFolder()).entryList(QDir::Files), QStringList());

    // Declined: no workbook is left behind anywhere.
    boxes.clear();
    boxes.answers = {false};
    excel();
    QCOMPARE(boxes.texts().size(), 1);
    QCOMPARE(suggested.size(), 1);
    QCOMPARE(QDir(exportFolder()).entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(chosen.path()).entryList(QDir::Files), QStringList{name});
}

void TestExport::screenAndAdminToolAgree_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("rows");
    QTest::newRow("owner query") << "owners" << 3;
    QTest::newRow("arrears reminder") << "arrears" << 2;
    QTest::newRow("charge query") << "charges" << 2;
}

// The "Excel" button of each screen, with nothing ticked, and the admin tool's export of the
// same list give the same workbook, cell for cell.
void TestExport::screenAndAdminToolAgree()
{
    QFETCH(QString, list);
    QFETCH(int, rows);
    TestDb db;
    seedOffice(db);
    db.login(QDate(2024, 10, 10));
    QTemporaryDir tmp;
    const QByteArray oldTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(tmp.path()));
    RecordingOpener opener;
    MessageRecorder boxes;
    std::unique_ptr<BrowseWindow> w;
    if (list == QLatin1String("owners"))
        w.reset(new OwnerQueryWindow);
    else if (list == QLatin1String("arrears"))
        w.reset(new ArrearsReminderWindow);
    else
        w.reset(new ChargeQueryWindow);
    QVERIFY(!w->excelButton->isEnabled());
    w->runQuery();
    QVERIFY(w->excelButton->isEnabled());
    w->excelButton->click();
    qputenv("TMPDIR", oldTmp);
    QCOMPARE(boxes.texts(), QStringList());
    QCOMPARE(opener.opened.size(), 1);

    const QString out = tmp.filePath(QStringLiteral("admin.xlsx"));
    QStringList args{QStringLiteral("export"), QStringLiteral("--db"), db.path(), list, QStringLiteral("--out"), out};
    if (list == QLatin1String("arrears"))
        args << QStringLiteral("--date") << QStringLiteral("2024-03-15"); // the screen's default
    QString stdOut, stdErr;
    QCOMPARE(runAdmin(args, &stdOut, &stdErr), 0);
    QVERIFY2(stdOut.contains(QStringLiteral("已导出 %1 行").arg(rows)), qPrintable(stdOut + stdErr));

    const XlsxProbe screen(opener.opened.first()), tool(out);
    QVERIFY2(screen.error.isEmpty() && tool.error.isEmpty(), qPrintable(screen.error + tool.error));
    QCOMPARE(screen.lastRow, rows + 3);
    QCOMPARE(tool.cells.keys(), screen.cells.keys());
    for (auto it = screen.cells.cbegin(); it != screen.cells.cend(); ++it) {
        QCOMPARE(tool.kind(it.key()), screen.kind(it.key()));
        QCOMPARE(tool.text(it.key()), it.value().text);
    }
    QCOMPARE(tool.merges, screen.merges);
    QCOMPARE(tool.title, screen.title);
    if (list == QLatin1String("charges")) {
        QCOMPARE(screen.text(QStringLiteral("B4")), QStringLiteral("2410100012"));
        QCOMPARE(screen.kind(QStringLiteral("B4")), QStringLiteral("text"));
        QCOMPARE(screen.text(QStringLiteral("L5")), QStringLiteral("5875"));
    } else {
        QCOMPARE(screen.text(QStringLiteral("I3")), QStringLiteral("013912345678"));
        QCOMPARE(screen.kind(QStringLiteral("I3")), QStringLiteral("text"));
        QCOMPARE(screen.text(QStringLiteral("J3")), QStringLiteral("=1+1"));
    }
}

void TestExport::adminToolArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("arrears at the default date") << QStringList{"arrears"} << 0
                                                 << QStringLiteral("到期日期 %1-03-15").arg(QDate::currentDate().year());
    QTest::newRow("unknown list") << QStringList{"houses"} << 2 << "未知的列表：houses";
    QTest::newRow("date for another list") << QStringList{"owners", "--date", "2024-01-01"} << 2 << "--date 只用于 arrears";
    QTest::newRow("no date") << QStringList{"arrears", "--date", "2024-02-30"} << 2 << "“2024-02-30” 不是有效的日期";
    QTest::newRow("no list") << QStringList{} << 2 << "用法: chengyue-admin export";
}

void TestExport::adminToolArguments()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, says);
    TestDb db;
    seedOffice(db);
    QTemporaryDir tmp;
    const QString out = tmp.filePath(QStringLiteral("x.xlsx"));
    QString stdOut, stdErr;
    QCOMPARE(runAdmin(QStringList{QStringLiteral("export"), QStringLiteral("--db"), db.path(), QStringLiteral("--out"), out}
                          + args,
                      &stdOut, &stdErr),
             status);
    QVERIFY2((stdOut + stdErr).contains(says), qPrintable(stdOut + stdErr));
    QCOMPARE(QFile::exists(out), status == 0);
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
