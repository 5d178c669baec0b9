#include "data/DataModule.h"
#include "output/PrintModule.h"
#include "report/UiReportPreview.h"
#include "tests/report/ReportProbe.h"
#include "tests/support/Doubles.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

class TestReceipt : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void statements();
    void receiptTexts_data();
    void receiptTexts();
    void pdfTextStandsInItsBoxes();
    void chineseUsesARealCjkFont();
    void missingLabelRowPrintsEmptyLabels();
    void unknownNumberPrintsEmptyCharge();
    void sharedNumberShowsFirstRow();
    void printingAgainGivesTheSameReceipt();
    void reprintMarkedOnlyWithTheSetting();
    void refusedStatementOpensNoPreview();
    void noPresenterIsAnError();
    void longRemarkIsCutAtItsBox();
    void printDialogProposesAWritableFile_data();
    void printDialogProposesAWritableFile();
    void adminReceiptCommand();

private:
    TestDb *m_db = nullptr;
    CapturePresenter m_presenter;
};

namespace {

const QString Number = QStringLiteral("2410100012");

void insertCharge(TestDb &db, const QString &number, const QString &owner, const QString &remark = QStringLiteral("暖气费"))
{
    ChargeRowBuilder().house(7).number(number).chargingDate(QStringLiteral("2024-10-11")).area(QStringLiteral("幸福小区"))
        .room(QStringLiteral("3-2-501")).floorArea(QStringLiteral("85.5")).price(QStringLiteral("20")).owner(owner)
        .years(QStringLiteral("1")).period(QStringLiteral("2024-10-11"), QStringLiteral("2025-10-10"))
        .amount(QStringLiteral("1234.5")).inWords(QStringLiteral("壹仟贰佰叁拾肆元伍角")).method(QStringLiteral("现金"))
        .payee(QStringLiteral("王会计")).remark(remark).storedOn(QStringLiteral("2024-10-10"))
        .enteredBy(QStringLiteral("管理员")).insert(db);
}

} // namespace

void TestReceipt::init()
{
    m_db = new TestDb;
    m_presenter = CapturePresenter();
    report::setPresenter(&m_presenter);
    insertCharge(*m_db, Number, QStringLiteral("张三"));
}

void TestReceipt::cleanup()
{
    report::setPresenter(nullptr);
    delete m_db;
    m_db = nullptr;
}

void TestReceipt::statements()
{
    // The unit's title row and the one row of labels asked for.
    printModule().loadUnit();
    QCOMPARE(printModule().unitRows.rowCount(), 1);
    QCOMPARE(printModule().unitRows.at(0, QStringLiteral("theName")), QStringLiteral("澄岳供热有限公司"));
    QVERIFY(printModule().unitRows.columnIndex(QStringLiteral("F1")) >= 0);
    printModule().loadLabels(QStringLiteral("1"));
    QCOMPARE(printModule().labelRows.rowCount(), 1);
    QCOMPARE(printModule().labelRows.at(0, QStringLiteral("theID")), QStringLiteral("1"));
    // The payment is read by its whole receipt number, a quote in it being part of it.
    insertCharge(*m_db, QStringLiteral("24'10"), QStringLiteral("李四"));
    printModule().printReceipt(QStringLiteral("24'10"));
    QCOMPARE(printModule().paymentRows.rowCount(), 1);
    QCOMPARE(printModule().paymentRows.at(0, QStringLiteral("HName")), QStringLiteral("李四"));
    QCOMPARE(printModule().receipt.fileName(), QStringLiteral("Print/cnf.rf3"));
    QCOMPARE(m_presenter.pages.size(), 1);
    const QList<report::DataSet> sets = printModule().receipt.dataSets();
    QCOMPARE(sets.size(), 3);
    QCOMPARE(sets.at(0).userName, QStringLiteral("frxDB_Dept"));
    QCOMPARE(sets.at(1).userName, QStringLiteral("frxDB_CNF"));
    QCOMPARE(sets.at(2).userName, QStringLiteral("frxDB_ZD"));
}

void TestReceipt::receiptTexts_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::newRow("title1") << "title1" << "澄岳供热有限公司";
    QTest::newRow("title2") << "title2" << "供热费收款收据";
    QTest::newRow("area") << "area" << "幸福小区";
    QTest::newRow("chargeDate") << "chargeDate" << "2024-10-11";
    QTest::newRow("receiptNumber") << "receiptNumber" << "2410100012";
    QTest::newRow("house") << "house" << "房号：  3-2-501  张三  面积：  85.5  平方米  单价：  20  元/平方米";
    QTest::newRow("periodLabel") << "periodLabel" << "期间";
    QTest::newRow("period") << "period" << "自  2024-10-11  至  2025-10-10  年数：  1 ";
    QTest::newRow("amountLabel") << "amountLabel" << "金额";
    QTest::newRow("amount") << "amount" << "1234.50";
    QTest::newRow("amountInWords") << "amountInWords" << "大写：  壹仟贰佰叁拾肆元伍角";
    QTest::newRow("paymentMethod") << "paymentMethod" << "收款方式：现金";
    QTest::newRow("remark") << "remark" << "备注：  暖气费";
    QTest::newRow("footer1") << "footer1" << "单位盖章：";
    QTest::newRow("footer2") << "footer2" << "经办人：";
    QTest::newRow("footer3") << "footer3" << "收款人：  王会计";
    QTest::newRow("footer4") << "footer4" << "交款人：";
    QTest::newRow("side") << "side" << "第一联交款人收执";
}

void TestReceipt::receiptTexts()
{
    QFETCH(QString, box);
    QFETCH(QString, text);
    printModule().printReceipt(Number);
    QCOMPARE(m_presenter.last().text(box), text);
}

void TestReceipt::pdfTextStandsInItsBoxes()
{
    QTemporaryDir dir;
    m_presenter.pdfPath = dir.filePath(QStringLiteral("receipt.pdf"));
    printModule().printReceipt(Number);
    const PdfPage page = readPdfWords(m_presenter.pdfPath);
    QVERIFY2(page.ok, qPrintable(page.error));
    QVERIFY(qAbs(page.sizeMm.width() - 210) < 0.5);
    QVERIFY(qAbs(page.sizeMm.height() - 98) < 0.5);

    // Boxes of the design on the paper: 5 mm margins.
    const auto onPaper = [](double l, double t, double w, double h) { return QRectF(l + 5, t + 5, w, h); };
    struct Expect {
        const char *word;
        QRectF box;
    };
    const Expect expected[] = {
        {"澄岳供热有限公司", onPaper(5, 0, 190, 8)},
        {"供热费收款收据", onPaper(5, 8, 190, 8)},
        {"2410100012", onPaper(145, 16, 50, 5)},
        {"1234.50", onPaper(21, 42, 169, 5)},
        {"壹仟贰佰叁拾肆元伍角", onPaper(10, 51, 120, 5)},
        {"大写：", onPaper(10, 51, 120, 5)},
        {"收款人：", onPaper(105, 70, 50, 5)},
        {"王会计", onPaper(105, 70, 50, 5)},
        {"收款方式：现金", onPaper(135, 51, 55, 5)},
        {"3-2-501", onPaper(20, 24, 170, 5)},
    };
    for (const Expect &e : expected) {
        const QList<PdfWord> found = page.find(QString::fromUtf8(e.word));
        QVERIFY2(found.size() == 1, e.word);
        QVERIFY2(inside(found.first().mm, e.box), qPrintable(QStringLiteral("%1 at %2,%3-%4,%5").arg(
            QString::fromUtf8(e.word)).arg(found.first().mm.left()).arg(found.first().mm.top())
            .arg(found.first().mm.right()).arg(found.first().mm.bottom())));
    }
    // Titles centred, the number right-aligned, the capitals after their label.
    const PdfWord title = page.find(QStringLiteral("澄岳供热有限公司")).first();
    QVERIFY(qAbs(title.mm.center().x() - 105) < 0.5);
    const PdfWord number = page.find(QStringLiteral("2410100012")).first();
    QVERIFY(qAbs(number.mm.right() - (200 - 2 * report::PxMm)) < 0.4);
    QVERIFY(page.find(QStringLiteral("大写：")).first().mm.right()
            < page.find(QStringLiteral("壹仟贰佰叁拾肆元伍角")).first().mm.left());

    // The side column reads top to bottom, one character a line, beside the box.
    const QString side = QStringLiteral("第一联交款人收执");
    double lastTop = 0;
    for (const QChar c : side) {
        const QList<PdfWord> found = page.find(QString(c));
        QVERIFY2(found.size() == 1, qPrintable(QString(c)));
        QVERIFY(inside(found.first().mm, onPaper(195, 16, 5, 54)));
        QVERIFY(found.first().mm.top() > lastTop);
        lastTop = found.first().mm.top();
    }
}

void TestReceipt::chineseUsesARealCjkFont()
{
    QTemporaryDir dir;
    m_presenter.pdfPath = dir.filePath(QStringLiteral("receipt.pdf"));
    printModule().printReceipt(Number);
    const QStringList fonts = pdfFonts(m_presenter.pdfPath);
    QVERIFY2(fonts.contains(QStringLiteral("WenQuanYiMicroHei yes")), qPrintable(fonts.join(QLatin1Char(','))));
    QVERIFY2(fonts.contains(QStringLiteral("LiberationSans yes")), qPrintable(fonts.join(QLatin1Char(','))));
}

void TestReceipt::missingLabelRowPrintsEmptyLabels()
{
    m_db->exec(QStringLiteral("DELETE FROM SZD"));
    QTemporaryDir dir;
    m_presenter.pdfPath = dir.filePath(QStringLiteral("receipt.pdf"));
    printModule().printReceipt(Number);
    const report::PreparedReport &page = m_presenter.last();
    for (const char *label : {"periodLabel", "amountLabel", "footer1", "footer2", "footer4", "side"})
        QVERIFY2(page.text(QString::fromLatin1(label)).isEmpty(), label);
    QCOMPARE(page.text(QStringLiteral("house")), QStringLiteral("  3-2-501  张三    85.5      20  "));
    QCOMPARE(page.text(QStringLiteral("amount")), QStringLiteral("1234.50"));
    QCOMPARE(page.text(QStringLiteral("footer3")), QStringLiteral("  王会计"));
    QCOMPARE(page.text(QStringLiteral("title1")), QStringLiteral("澄岳供热有限公司"));

    const PdfPage pdf = readPdfWords(m_presenter.pdfPath);
    QVERIFY2(pdf.ok, qPrintable(pdf.error));
    QCOMPARE(pdf.find(QStringLiteral("1234.50")).size(), 1);
    QCOMPARE(pdf.find(QStringLiteral("壹仟贰佰叁拾肆元伍角")).size(), 1);
    QCOMPARE(pdf.find(QStringLiteral("收款人：")).size(), 0);
    QCOMPARE(pdf.find(QStringLiteral("第")).size(), 0);
}

void TestReceipt::unknownNumberPrintsEmptyCharge()
{
    printModule().printReceipt(QStringLiteral("9999999999"));
    const report::PreparedReport &page = m_presenter.last();
    QCOMPARE(page.text(QStringLiteral("receiptNumber")), QString());
    QCOMPARE(page.text(QStringLiteral("amount")), QString());
    QCOMPARE(page.text(QStringLiteral("paymentMethod")), QStringLiteral("收款方式："));
    QCOMPARE(page.text(QStringLiteral("footer3")), QStringLiteral("收款人：  "));
    QCOMPARE(page.text(QStringLiteral("title1")), QStringLiteral("澄岳供热有限公司"));
}

void TestReceipt::sharedNumberShowsFirstRow()
{
    insertCharge(*m_db, Number, QStringLiteral("李四"));
    printModule().printReceipt(Number);
    QVERIFY(m_presenter.last().text(QStringLiteral("house")).contains(QStringLiteral("张三")));
}

void TestReceipt::printingAgainGivesTheSameReceipt()
{
    insertCharge(*m_db, QStringLiteral("2410100013"), QStringLiteral("李四"));
    printModule().printReceipt(Number);
    printModule().printReceipt(QStringLiteral("2410100013"));
    printModule().printReceipt(Number);
    QCOMPARE(m_presenter.pages.size(), 3);
    const auto &a = m_presenter.pages.at(0).texts;
    const auto &b = m_presenter.pages.at(2).texts;
    QCOMPARE(a.size(), b.size());
    for (int i = 0; i < a.size(); ++i)
        QCOMPARE(a.at(i).text, b.at(i).text);
    // A change of the unit's row shows on the next receipt.
    m_db->exec(QStringLiteral("UPDATE SDept SET F1 = '收据（补打）' WHERE ID = 1"));
    printModule().printReceipt(Number);
    QCOMPARE(m_presenter.last().text(QStringLiteral("title2")), QStringLiteral("收据（补打）"));
}

// A reprint is identical to the first print unless the office asks for the mark: then it
// says 补打 with the time of printing, on that print only.
void TestReceipt::reprintMarkedOnlyWithTheSetting()
{
    m_db->login(QDate(2024, 10, 11));
    printModule().printReceipt(Number);
    QCOMPARE(printModule().reprintReceipt(Number), 1);
    QCOMPARE(m_presenter.pages.size(), 2);
    const auto texts = [](const report::PreparedReport &page) {
        QStringList t;
        for (const auto &x : page.texts)
            t << x.box.name + QLatin1Char('=') + x.text;
        return t;
    };
    QCOMPARE(texts(m_presenter.pages.at(1)), texts(m_presenter.pages.at(0)));

    m_db->exec(QStringLiteral("UPDATE SDept SET ReprintMark = 1 WHERE ID = 1"));
    const QDateTime before = QDateTime::currentDateTime();
    QCOMPARE(printModule().reprintReceipt(Number), 2);
    const QString mark = m_presenter.last().text(QStringLiteral("reprintMark"));
    QVERIFY2(mark.startsWith(QStringLiteral("补打  ")), qPrintable(mark));
    const QDateTime at = QDateTime::fromString(mark.mid(4), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QVERIFY2(at.isValid() && qAbs(at.secsTo(before)) < 60, qPrintable(mark));
    QCOMPARE(texts(m_presenter.last()).size(), texts(m_presenter.pages.at(0)).size() + 1);
    // The first print after a payment carries no mark, whatever the setting.
    printModule().printReceipt(Number);
    QCOMPARE(texts(m_presenter.last()), texts(m_presenter.pages.at(0)));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM ULog WHERE theAction = '补打收据'")), 2);
}

void TestReceipt::refusedStatementOpensNoPreview()
{
    m_db->exec(QStringLiteral("DROP TABLE UCharge"));
    QVERIFY_THROWS_EXCEPTION(DbError, printModule().printReceipt(Number));
    QCOMPARE(m_presenter.pages.size(), 0);
}

void TestReceipt::noPresenterIsAnError()
{
    report::setPresenter(nullptr);
    QVERIFY_THROWS_EXCEPTION(AppError, printModule().printReceipt(Number));
}

void TestReceipt::longRemarkIsCutAtItsBox()
{
    QString remark;
    for (int i = 0; i < 12; ++i)
        remark += QStringLiteral("供暖设施检修期间请保持联系畅通");
    insertCharge(*m_db, QStringLiteral("2410100099"), QStringLiteral("赵六"), remark);
    printModule().printReceipt(QStringLiteral("2410100099"));
    const report::PreparedReport &page = m_presenter.last();

    QImage image(QSize(2000, 880), QImage::Format_RGB32); // printable area at 10 dots a mm
    image.setDotsPerMeterX(10000);
    image.setDotsPerMeterY(10000);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        page.paint(painter);
    }
    // Between the remark box (ending at 65 mm) and the footer (from 70 mm) there is only
    // the box's bottom rule at 66 mm: the wrapped remark did not run over.
    int stray = 0;
    for (int y = 670; y < 698; ++y)
        for (int x = 0; x < 1940; ++x)
            stray += image.pixel(x, y) != qRgb(255, 255, 255);
    QCOMPARE(stray, 0);
}

namespace {
struct Environment {
    QByteArray name, old;
    Environment(const char *n, const QString &value) : name(n), old(qgetenv(n)) { qputenv(n, QFile::encodeName(value)); }
    ~Environment() { qputenv(name.constData(), old); }
};
} // namespace

void TestReceipt::printDialogProposesAWritableFile_data()
{
    QTest::addColumn<bool>("documents");
    QTest::newRow("documents folder") << true;
    QTest::newRow("no documents folder") << false;
}

// 打印 in the receipt preview: the print dialog's file (printing to PDF) is proposed in the
// operator's documents folder, or the home folder without one, named for the receipt; the
// print queue sees the job under the same name.
void TestReceipt::printDialogProposesAWritableFile()
{
    QFETCH(bool, documents);
    QTemporaryDir home;
    Environment homeVar("HOME", home.path()), config("XDG_CONFIG_HOME", home.filePath(QStringLiteral(".config")));
    if (documents)
        QVERIFY(QDir(home.path()).mkdir(QStringLiteral("Documents")));
    const QString folder = documents ? home.filePath(QStringLiteral("Documents")) : home.path();
    UiReportPreview preview;
    report::setPresenter(&preview);
    ScriptedDialogs dialogs;
    QString docName, proposed;
    bool printDialogOpened = false;
    dialogs.nextAs<QPrintPreviewDialog>([&](QPrintPreviewDialog &d) {
        docName = d.printer()->docName();
        dialogs.nextAs<QPrintDialog>([&](QPrintDialog &p) {
            printDialogOpened = true;
            if (auto *file = p.findChild<QLineEdit *>(QStringLiteral("filename")))
                proposed = QDir::fromNativeSeparators(file->text());
        });
        for (QAction *a : d.findChild<QToolBar *>()->actions())
            if (a->text().remove(QLatin1Char('&')) == QLatin1String("Print"))
                a->trigger();
    });
    printModule().printReceipt(Number);
    QCOMPARE(dialogs.opened, 2);
    QVERIFY(printDialogOpened);
    QCOMPARE(docName, QStringLiteral("收据"));
    QCOMPARE(proposed, QDir(folder).filePath(QStringLiteral("收据.pdf")));
    QVERIFY(QFileInfo(folder).isWritable());
}

void TestReceipt::adminReceiptCommand()
{
    dataModule().closeConnection();
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("r.pdf"));
    QString out, err;
    QCOMPARE(runAdmin({QStringLiteral("receipt"), QStringLiteral("--db"), m_db->path(), Number, QStringLiteral("--pdf"), pdf},
                      &out, &err),
             0);
    PdfPage page = readPdfWords(pdf);
    QVERIFY2(page.ok, qPrintable(page.error + err));
    QCOMPARE(page.find(QStringLiteral("2410100012")).size(), 1);
    QCOMPARE(page.find(QStringLiteral("1234.50")).size(), 1);

    // An unknown number writes the empty receipt, not an error.
    QCOMPARE(runAdmin({QStringLiteral("receipt"), QStringLiteral("--db"), m_db->path(), QStringLiteral("1"),
                       QStringLiteral("--pdf"), pdf}, &out, &err),
             0);
    page = readPdfWords(pdf);
    QVERIFY(page.ok);
    QCOMPARE(page.find(QStringLiteral("澄岳供热有限公司")).size(), 1);
    QCOMPARE(page.find(QStringLiteral("1234.50")).size(), 0);
    QVERIFY(out.contains(QStringLiteral("没有单号为 1 的收费记录")));

    QVERIFY(runAdmin({QStringLiteral("receipt"), QStringLiteral("--db"), m_db->path(), Number}, &out, &err) == 2);
    QVERIFY(runAdmin({QStringLiteral("receipt"), QStringLiteral("--db"), dir.filePath(QStringLiteral("none.edb")), Number,
                      QStringLiteral("--pdf"), pdf}, &out, &err) == 1);
    QVERIFY(err.contains(QStringLiteral("找不到数据库文件")));
}

QTEST_MAIN(TestReceipt)
#include "tst_receipt.moc"
