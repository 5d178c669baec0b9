// The 收费统计 window: figures computed on the worker and shown, a season changed while
// computing, the charts, the printed page (through the print module's presenter) and the
// workbook handed to the spreadsheet opener.
#include "StatisticsFixture.h"
#include "tests/support/Doubles.h"
#include "../report/ReportProbe.h"
#include "data/DataModule.h"
#include "report/ReportPresenter.h"
#include "output/UiSheetOpener.h"
#include "statistics/SeasonPrint.h"
#include "statistics/SeasonStatisticsWindow.h"

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <zip.h>

namespace {

struct ExportFolder {
    QTemporaryDir dir;
    QByteArray old = qgetenv("TMPDIR");
    ExportFolder() { qputenv("TMPDIR", QFile::encodeName(dir.path())); }
    ~ExportFolder() { qputenv("TMPDIR", old); }
};

// Waits until the window has shown the figures of its latest request.
bool settled(SeasonStatisticsWindow &w)
{
    return QTest::qWaitFor([&w] { return w.hasFigures() && !w.isComputing() && w.refreshButton->isEnabled(); }, 20000);
}

QStringList rowTexts(const QTableWidget *t, int row)
{
    QStringList r;
    for (int c = 0; c < t->columnCount(); ++c)
        r << t->item(row, c)->text();
    return r;
}

} // namespace

class TestSeasonWindow : public QObject {
    Q_OBJECT
private slots:
    void init() { m_db.reset(new TestDb); fillStatisticsFixture(*m_db); m_db->login(QDate(2024, 12, 1)); }
    void cleanup() { m_db.reset(); }
    void showsTheSeasonOfTheChargingDate();
    void laterChoiceWins();
    void printsTableAndCharts();
    void longTableGoesOnOverPages();
    void excelHandsOverAWorkbookWithChart();
    void excelWithoutASpreadsheetProgram();
    void wrongPeriodSaysSo();

private:
    std::unique_ptr<TestDb> m_db;
};

void TestSeasonWindow::showsTheSeasonOfTheChargingDate()
{
    SeasonStatisticsWindow w;
    QCOMPARE(w.seasonBox->currentText(), QStringLiteral("2024—2025采暖季"));
    QVERIFY(settled(w));
    QCOMPARE(w.table->rowCount(), 4);
    QCOMPARE(rowTexts(w.table, 3),
             (QStringList{"合计", "6", "480.5", "2", "220.5", "3", "200", "5350.00", "6151.00", "4", "33.3%", "45.9%"}));
    QVERIFY(w.table->item(3, 0)->font().bold());
    QVERIFY(w.statusLabel->text().contains(QStringLiteral("另有 1 户的到期日期不是日期")));
    QVERIFY(w.printButton->isEnabled() && w.excelButton->isEnabled());

    // The rate chart: the empty area has no bar, the highest rate comes first, and the
    // office's rate is the line across.
    const auto series = w.rateView->chart()->series();
    QCOMPARE(series.size(), 2);
    auto *bars = qobject_cast<QBarSeries *>(series.first());
    QVERIFY(bars);
    QCOMPARE(bars->barSets().first()->count(), 2);
    QCOMPARE(QString::number(bars->barSets().first()->at(0), 'f', 1), QStringLiteral("48.1"));
    QVERIFY(series.at(1)->name().contains(QStringLiteral("45.9%")));
    QCOMPARE(w.dailyView->chart()->series().size(), 2);
    QCOMPARE(w.methodView->chart()->series().size(), 1);
}

void TestSeasonWindow::laterChoiceWins()
{
    SeasonStatisticsWindow w;
    // Two choices while the first computation may still run: the figures shown are those
    // of the last choice.
    w.seasonBox->setCurrentIndex(w.seasonBox->findData(2023));
    w.seasonBox->setCurrentIndex(w.seasonBox->findData(2022));
    QVERIFY(settled(w));
    QTest::qWait(50);
    QVERIFY(settled(w));
    QCOMPARE(w.figures().season.year, 2022);
    QCOMPARE(w.statusLabel->text().left(10), QStringLiteral("2022-10-10"));
    w.seasonBox->setCurrentIndex(w.seasonBox->findData(2023));
    QVERIFY(QTest::qWaitFor([&w] { return w.figures().season.year == 2023; }, 20000));
    QCOMPARE(w.figures().office.paidHouses, 4);
}

void TestSeasonWindow::printsTableAndCharts()
{
    CapturePresenter capture;
    capture.pdfPath = m_db->dir() + QStringLiteral("/stats.pdf");
    report::setPresenter(&capture);
    SeasonStatisticsWindow w;
    QVERIFY(settled(w));
    MessageRecorder messages;
    w.printPage();
    report::setPresenter(nullptr);
    QCOMPARE(messages.errors(), 0);
    QCOMPARE(capture.pages.size(), 1);
    const report::PreparedReport &page = capture.last();
    QCOMPARE(page.layout.orientation(), QPageLayout::Landscape);
    QCOMPARE(page.pageCount(), 1);
    QCOMPARE(page.text(QString::fromLatin1(SeasonPrint::TitleBox)), QStringLiteral("澄岳供热有限公司收费统计　2024—2025采暖季"));
    QCOMPARE(page.pictures.size(), 3);
    for (const report::Picture &p : page.pictures)
        QVERIFY(!p.image.isNull());

    const PdfPage pdf = readPdfWords(capture.pdfPath);
    QVERIFY2(pdf.ok, qPrintable(pdf.error));
    QVERIFY(pdf.sizeMm.width() > pdf.sizeMm.height()); // A4 landscape
    QVERIFY(qAbs(pdf.sizeMm.width() - 297) < 1);
    const QStringList words = pdf.texts();
    QVERIFY(words.contains(QStringLiteral("合计")));
    QVERIFY(words.contains(QStringLiteral("6151.00")));
    QVERIFY(words.contains(QStringLiteral("5350.00")));
}

void TestSeasonWindow::longTableGoesOnOverPages()
{
    SeasonStatistics::Figures f;
    f.season = SeasonStatistics::seasonOf(2024, SeasonStatistics::Period{});
    for (int i = 0; i < 40; ++i) {
        SeasonStatistics::AreaFigures a;
        a.area = QStringLiteral("小区%1").arg(i + 1, 2, 10, QLatin1Char('0'));
        a.houses = 10;
        f.areas << a;
    }
    f.office.area = QStringLiteral("合计");
    const report::PreparedReport page = SeasonPrint::design(f, QStringLiteral("单位")).prepare();
    QCOMPARE(page.pageCount(), 2);
    int headings = 0, lastAreaPage = -1, officePage = -1;
    for (const auto &t : page.texts) {
        if (t.text == QStringLiteral("面积收费率"))
            ++headings;
        if (t.text == QStringLiteral("小区40"))
            lastAreaPage = t.box.page;
        if (t.text == QStringLiteral("合计"))
            officePage = t.box.page;
    }
    QCOMPARE(headings, 2);
    QCOMPARE(lastAreaPage, 1);
    QCOMPARE(officePage, 1);
    bool numbered = false;
    for (const auto &t : page.texts)
        numbered |= t.box.page == 1 && t.text == QStringLiteral("第 2 页，共 2 页");
    QVERIFY(numbered);
}

void TestSeasonWindow::excelHandsOverAWorkbookWithChart()
{
    ExportFolder folder;
    RecordingOpener opener;
    SeasonStatisticsWindow w;
    QVERIFY(settled(w));
    MessageRecorder messages;
    w.exportToExcel();
    QCOMPARE(messages.errors(), 0);
    QCOMPARE(opener.opened.size(), 1);
    const QString path = opener.opened.first();
    QVERIFY(QFileInfo(path).fileName().startsWith(QStringLiteral("澄岳供热有限公司收费统计 2024—2025采暖季")));
    int err = 0;
    zip_t *z = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &err);
    QVERIFY(z);
    QVERIFY(zip_name_locate(z, "xl/charts/chart1.xml", 0) >= 0);
    zip_close(z);
}

// Without a program to show it, the workbook is said to be made and offered to be kept,
// named by what it holds and the day.
void TestSeasonWindow::excelWithoutASpreadsheetProgram()
{
    ExportFolder folder;
    struct NoProgram : SheetOpener {
        NoProgram() { setSheetOpener(this); }
        ~NoProgram() override { setSheetOpener(nullptr); }
        bool open(const QString &) override { return false; }
    } noProgram;
    QTemporaryDir chosen;
    QStringList suggested;
    setSaveLocationChooser([&](const QString &name) {
        suggested << name;
        return chosen.filePath(name);
    });
    const auto restore = qScopeGuard([] { setSaveLocationChooser({}); });
    SeasonStatisticsWindow w;
    QVERIFY(settled(w));
    MessageRecorder messages;
    w.exportToExcel();
    QCOMPARE(messages.errors(), 0);
    QCOMPARE(messages.entries.size(), 2);
    QCOMPARE(messages.entries.at(0).text, QString::fromUtf8(NoSpreadsheetProgram));
    const QString name = QStringLiteral("收费统计 2024—2025采暖季-%1.xlsx").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    QCOMPARE(suggested, QStringList{name});
    QVERIFY(QFileInfo(chosen.filePath(name)).size() > 0);
    QCOMPARE(QDir(exportFolder()).entryList(QDir::Files), QStringList());
}

void TestSeasonWindow::wrongPeriodSaysSo()
{
    PeriodEndDay = QString();
    MessageRecorder messages;
    SeasonStatisticsWindow w;
    QCOMPARE(messages.errors(), 1);
    QVERIFY(messages.last().contains(QStringLiteral("收费周期")));
    QVERIFY(!w.seasonBox->isEnabled());
    QVERIFY(!w.isComputing());
    QVERIFY(!w.printButton->isEnabled());
}

QTEST_MAIN(TestSeasonWindow)
#include "tst_seasonwindow.moc"
