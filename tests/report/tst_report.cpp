#include "report/Report.h"
#include "tests/report/ReportProbe.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QTemporaryDir>
#include <QTest>

using namespace report;

class TestReport : public QObject {
    Q_OBJECT
private slots:
    void fieldsReadAtCurrentRow();
    void designErrorsAreReported_data();
    void designErrorsAreReported();
    void numberFormat_data();
    void numberFormat();
    void showReportPreparesAfresh();
    void pdfPageAndPositions();
    void longTextWrapsAndIsCutAtTheBox();
    void previewShowsBoldAsPrinted();
};

namespace {

Rows people()
{
    Rows r({QStringLiteral("Name"), QStringLiteral("Money")},
           {{QStringLiteral("张三"), QStringLiteral("1234.5")}, {QStringLiteral("李四"), QStringLiteral("7")}});
    r.first();
    return r;
}

TextBox box(const QString &name, QRectF rect, const QString &content, Qt::Alignment align = Qt::AlignLeft)
{
    TextBox b;
    b.name = name;
    b.rect = rect;
    b.content = content;
    b.hAlign = align;
    b.pointSize = 12;
    return b;
}

} // namespace

void TestReport::fieldsReadAtCurrentRow()
{
    Rows rows = people();
    Rows none({QStringLiteral("Name")}, {});
    Report r;
    r.addDataSet(QStringLiteral("ds"), &rows);
    r.addDataSet(QStringLiteral("empty"), &none);
    const TextBox b = box(QStringLiteral("b"), {0, 0, 50, 5}, QStringLiteral("名：[ds.Name]  [ds.money]元[empty.Name]|"));
    QCOMPARE(r.expand(b), QStringLiteral("名：张三  1234.5元|"));
    rows.next();
    QCOMPARE(r.expand(b), QStringLiteral("名：李四  7元|"));
    // Past the last row, as a query with no current row: fields print empty.
    rows.next();
    QCOMPARE(r.expand(b), QStringLiteral("名：  元|"));
}

void TestReport::designErrorsAreReported_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown field") << "[ds.Nope]" << "" << "报表字段“ds.Nope”不存在";
    QTest::newRow("unknown data set") << "[other.Name]" << "" << "报表数据集“other”不存在";
    QTest::newRow("bad format") << "[ds.Money]" << "%s" << "报表显示格式“%s”无效";
}

void TestReport::designErrorsAreReported()
{
    QFETCH(QString, content);
    QFETCH(QString, format);
    QFETCH(QString, message);
    Rows rows = people();
    Report r;
    r.addDataSet(QStringLiteral("ds"), &rows);
    TextBox b = box(QStringLiteral("b"), {0, 0, 10, 5}, content);
    b.format = format;
    r.texts << b;
    try {
        r.prepare();
        QFAIL("no error");
    } catch (const AppError &e) {
        QCOMPARE(e.message(), message);
    }
}

void TestReport::numberFormat_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("two decimals") << "%2.2f" << "1234.5" << "1234.50";
    QTest::newRow("whole") << "%2.2f" << "1500" << "1500.00";
    QTest::newRow("rounds the stored double") << "%2.2f" << "2.675" << "2.67"; // lies below 2.675
    QTest::newRow("negative") << "%2.2f" << "-87.2" << "-87.20";
    QTest::newRow("no thousands separator") << "%2.2f" << "1234567.891" << "1234567.89";
    QTest::newRow("empty stays empty") << "%2.2f" << "" << "";
    QTest::newRow("text stays text") << "%2.2f" << "abc" << "abc";
    QTest::newRow("integer") << "%d" << "12.6" << "13";
    QTest::newRow("padded") << "%05.1f" << "3.14" << "003.1";
}

void TestReport::numberFormat()
{
    QFETCH(QString, format);
    QFETCH(QString, value);
    QFETCH(QString, shown);
    QCOMPARE(formatNumber(format, value), shown);
}

void TestReport::showReportPreparesAfresh()
{
    Rows rows = people();
    Report r;
    r.paperSize = QSizeF(210, 98);
    r.margins = QMarginsF(5, 5, 5, 5);
    r.addDataSet(QStringLiteral("ds"), &rows);
    r.texts << box(QStringLiteral("name"), {0, 0, 50, 5}, QStringLiteral("[ds.Name]"));
    r.setFileName(QStringLiteral("Print/cnf.rf3"));
    QVERIFY(r.prepared().isEmpty());

    CapturePresenter p;
    r.showReport(p);
    rows.next();
    r.showReport(p);
    QCOMPARE(p.pages.size(), 2);
    QCOMPARE(p.pages.at(0).text(QStringLiteral("name")), QStringLiteral("张三"));
    QCOMPARE(p.pages.at(1).text(QStringLiteral("name")), QStringLiteral("李四"));
    QCOMPARE(r.prepared().text(QStringLiteral("name")), QStringLiteral("李四"));
    QCOMPARE(p.last().fileName, QStringLiteral("Print/cnf.rf3"));
    QCOMPARE(p.last().layout.fullRect(QPageLayout::Millimeter).size(), QSizeF(210, 98));
    QCOMPARE(p.last().layout.margins(), QMarginsF(5, 5, 5, 5));

    // A presenter that fails leaves the error to the caller.
    p.failWith = QStringLiteral("打印机不可用");
    QVERIFY_THROWS_EXCEPTION(AppError, r.showReport(p));
}

void TestReport::pdfPageAndPositions()
{
    Report r;
    r.paperSize = QSizeF(210, 98);
    r.margins = QMarginsF(5, 5, 5, 5);
    r.texts << box(QStringLiteral("left"), {10, 10, 60, 6}, QStringLiteral("LEFT 左"));
    r.texts << box(QStringLiteral("centre"), {10, 20, 60, 6}, QStringLiteral("MID"), Qt::AlignHCenter);
    r.texts << box(QStringLiteral("right"), {10, 30, 60, 6}, QStringLiteral("RIGHT"), Qt::AlignRight);
    r.lines << Line{QPointF(0, 0), QPointF(200, 88)};
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("p.pdf"));
    r.prepare().writePdf(pdf);

    const PdfPage page = readPdfWords(pdf);
    QVERIFY2(page.ok, qPrintable(page.error));
    QVERIFY(qAbs(page.sizeMm.width() - 210) < 0.5);
    QVERIFY(qAbs(page.sizeMm.height() - 98) < 0.5);
    // Positions are millimetres from the printable area, 5 mm in from the paper's edges.
    const double inset = 2 * PxMm;
    const PdfWord left = page.find(QStringLiteral("LEFT")).value(0);
    QVERIFY(qAbs(left.mm.left() - (15 + inset)) < 0.3);
    const PdfWord mid = page.find(QStringLiteral("MID")).value(0);
    QVERIFY(qAbs(mid.mm.center().x() - 45) < 0.3);
    QVERIFY(qAbs(mid.mm.center().y() - 28) < 0.6); // centred vertically in 25..31
    const PdfWord right = page.find(QStringLiteral("RIGHT")).value(0);
    QVERIFY(qAbs(right.mm.right() - (75 - inset)) < 0.3);
    QCOMPARE(page.find(QStringLiteral("左")).size(), 1);
}

void TestReport::longTextWrapsAndIsCutAtTheBox()
{
    // A box two lines high with text for many lines, and a box right under it.
    Report r;
    r.paperSize = QSizeF(100, 60);
    r.margins = QMarginsF(0, 0, 0, 0);
    QString longText;
    for (int i = 1; i <= 40; ++i)
        longText += QStringLiteral("w%1 ").arg(i);
    r.texts << box(QStringLiteral("long"), {10, 10, 40, 10}, longText);
    r.texts << box(QStringLiteral("below"), {10, 30, 40, 5}, QStringLiteral("BELOW"));
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("w.pdf"));
    const PreparedReport page = r.prepare();
    page.writePdf(pdf);

    const PdfPage words = readPdfWords(pdf);
    QVERIFY2(words.ok, qPrintable(words.error));
    // Every line stays within the box's width: the text wrapped.
    for (const PdfWord &w : words.words)
        if (w.text.startsWith(QLatin1Char('w')))
            QVERIFY2(w.mm.left() >= 10 && w.mm.right() <= 50.01, qPrintable(w.text));
    QVERIFY(words.find(QStringLiteral("w1")).value(0).mm.top() < 11.5); // it starts at the top
    QVERIFY(qAbs(words.find(QStringLiteral("BELOW")).value(0).mm.center().y() - 32.5) < 0.6); // did not move

    // What does not fit is cut at the box's edge: nothing is painted between the box and
    // the next one.
    QImage image(QSize(1000, 600), QImage::Format_RGB32); // 254 dpi: 10 dots a millimetre
    image.setDotsPerMeterX(10000);
    image.setDotsPerMeterY(10000);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        page.paint(painter);
    }
    int inked = 0, below = 0;
    for (int y = 100; y < 200; ++y)
        for (int x = 100; x < 500; ++x)
            inked += image.pixel(x, y) != qRgb(255, 255, 255);
    for (int y = 201; y < 299; ++y)
        for (int x = 0; x < 1000; ++x)
            below += image.pixel(x, y) != qRgb(255, 255, 255);
    QVERIFY(inked > 0);
    QCOMPARE(below, 0);
}

QTEST_MAIN(TestReport)
// The print preview records each page into a picture and shows it scaled; a bold title
// of the Chinese font (which has no bold face) must look as heavy there as on paper.
void TestReport::previewShowsBoldAsPrinted()
{
    const auto ink = [](bool bold, bool asPreview) {
        report::TextBox box;
        box.name = QStringLiteral("title1");
        box.rect = QRectF(5, 0, 190, 8);
        box.pointSize = 18;
        box.bold = bold;
        box.hAlign = Qt::AlignHCenter;
        report::PreparedReport page;
        page.texts.append({box, QStringLiteral("澄岳供热有限公司")});
        QImage image(800, 80, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.scale(0.9, 0.9);
        if (asPreview) {
            QPicture picture;
            QPainter recorder(&picture);
            page.paint(recorder);
            recorder.end();
            painter.drawPicture(0, 0, picture);
        } else {
            page.paint(painter);
        }
        painter.end();
        qint64 sum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                sum += 255 - qGray(image.pixel(x, y));
        return double(sum);
    };
    const double printed = ink(true, false) / ink(false, false);
    const double previewed = ink(true, true) / ink(false, true);
    QVERIFY2(printed > 1.2, qPrintable(QString::number(printed)));
    // Outlines filled and thickened come out a little heavier than the engine's glyphs,
    // never as light as regular text.
    QVERIFY2(previewed > 1.3 && previewed < printed * 1.4,
             qPrintable(QStringLiteral("printed %1, previewed %2").arg(printed).arg(previewed)));
}

#include "tst_report.moc"
