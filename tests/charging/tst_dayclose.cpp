// The day close: its lines and totals against sums the test keeps itself (payments of
// several operators, methods and days, voids the same day and later), the order of
// receipt numbers, the printed pages, the window and the admin command.
#include "charging/ChargeLogic.h"
#include "charging/DayClose.h"
#include "charging/DayCloseWindow.h"
#include "charging/PaymentVoid.h"
#include "data/Capitals.h"
#include "data/DataModule.h"
#include "db/Numbers.h"
#include "charging/DayCloseReport.h"
#include "report/ReportPresenter.h"
#include "tests/output/XlsxProbe.h"
#include "tests/report/ReportProbe.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"
#include "widgets/DatePicker.h"
#include "widgets/RowsModel.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QTest>
#include <memory>

class TestDayClose : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void totalsAgainstIndependentSums_data();
    void totalsAgainstIndependentSums();
    void receiptNumbersInTheirOrder();
    void receiptNumberRuns_data();
    void receiptNumberRuns();
    void runsPerCashierWithInterleavedNumbers();
    void rangeEndingBeforeItStarts();
    void printedPages();
    void window();
    void adminCommand();

private:
    struct Taken {
        QString op, method, date, number;
        qint64 cents;
        bool voided = false;
        QString voidDate, voidOp;
    };
    void takePayments();
    std::unique_ptr<TestDb> m_db;
    QList<Taken> m_taken;
};

namespace {
const QString Area = QStringLiteral("幸福小区");

void loginAs(const QString &name, const QString &date)
{
    CurrentUserName = name;
    ChargeDate = date;
}


QString yuan(qint64 cents) { return Numbers::plain(double(cents) / 100.0); }
} // namespace

void TestDayClose::init()
{
    m_db = std::make_unique<TestDb>();
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('幸福小区', '')"));
    m_db->exec(QStringLiteral("INSERT INTO SUser (theName, thePass, Remark, theRole) VALUES ('李收费', '580913', '', '收费员')"));
    for (int i = 1; i <= 12; ++i)
        HouseBuilder().area(Area).room(QString::number(i)).floorArea(QStringLiteral("87.35")).purpose(QStringLiteral("住宅"))
            .price(QStringLiteral("21.3")).paidUpTo(QStringLiteral("2024-04-10")).owner(QStringLiteral("业主%1").arg(i))
            .phone({}).remark({}).entered(QStringLiteral("2024-01-01"), QStringLiteral("管理员")).insert(*m_db);
    m_db->login(QDate(2024, 10, 10));
    m_taken.clear();
}

void TestDayClose::cleanup() { m_db.reset(); }

// Payments on three days by two operators in two methods, amounts with cents that binary
// fractions cannot hold; one voided the same day, one the day after, one never.
void TestDayClose::takePayments()
{
    struct Plan {
        const char *op, *method, *date;
        int room;
        const char *amount;
    };
    const Plan plan[] = {
        {"管理员", "现金", "2024-10-09", 1, "1860.56"},  {"管理员", "现金", "2024-10-09", 2, "0.1"},
        {"李收费", "银行卡", "2024-10-09", 3, "0.2"},    {"管理员", "现金", "2024-10-10", 4, "1860.56"},
        {"管理员", "银行卡", "2024-10-10", 5, "3721.12"}, {"李收费", "现金", "2024-10-10", 6, "0.7"},
        {"李收费", "现金", "2024-10-10", 7, "1234.01"},   {"管理员", "现金", "2024-10-10", 8, "99999.99"},
        {"李收费", "银行卡", "2024-10-11", 9, "1860.56"}, {"管理员", "现金", "2024-10-11", 10, "0.3"},
    };
    for (const Plan &p : plan) {
        loginAs(QString::fromUtf8(p.op), QString::fromUtf8(p.date));
        Taken t{QString::fromUtf8(p.op), QString::fromUtf8(p.method), QString::fromUtf8(p.date),
                Payment(Area, QString::number(p.room)).method(QString::fromUtf8(p.method)).amount(QString::fromUtf8(p.amount)).save(),
                qRound64(QString::fromUtf8(p.amount).toDouble() * 100), false, QString(), QString()};
        m_taken << t;
    }
    // Voided the same day by its own cashier with the 管理员's approval, a payment of the 9th
    // voided on the 10th, and the cashier's payment of the 11th voided by the 管理员: a void
    // counts against the cashier who took the cash.
    auto voidIt = [&](int index, const char *op, const char *date, const char *approver) {
        loginAs(QString::fromUtf8(op), QString::fromUtf8(date));
        PaymentVoid::run(m_taken[index].number, QStringLiteral("录错"), {QString::fromUtf8(approver), QStringLiteral("580913")});
        m_taken[index].voided = true;
        m_taken[index].voidDate = QString::fromUtf8(date);
        m_taken[index].voidOp = QString::fromUtf8(approver);
    };
    voidIt(6, "李收费", "2024-10-10", "管理员");
    voidIt(0, "管理员", "2024-10-10", "管理员");
    voidIt(8, "管理员", "2024-10-11", "管理员");
    loginAs(QStringLiteral("管理员"), QStringLiteral("2024-10-10"));
}

void TestDayClose::totalsAgainstIndependentSums_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QString>("op");
    QTest::newRow("one day, all") << QDate(2024, 10, 10) << QDate(2024, 10, 10) << "";
    QTest::newRow("one day, one operator") << QDate(2024, 10, 10) << QDate(2024, 10, 10) << "李收费";
    QTest::newRow("the day before the voids") << QDate(2024, 10, 9) << QDate(2024, 10, 9) << "";
    QTest::newRow("three days") << QDate(2024, 10, 9) << QDate(2024, 10, 11) << "";
    QTest::newRow("three days, one operator") << QDate(2024, 10, 8) << QDate(2024, 10, 12) << "管理员";
    QTest::newRow("three days, the cashier") << QDate(2024, 10, 8) << QDate(2024, 10, 12) << "李收费";
    QTest::newRow("no payments") << QDate(2024, 11, 1) << QDate(2024, 11, 30) << "";
}

void TestDayClose::totalsAgainstIndependentSums()
{
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QString, op);
    takePayments();
    const DayClose::Report r = DayClose::build({from, to, op});

    const auto inRange = [&](const QString &d) {
        const QDate date = QDate::fromString(d, Qt::ISODate);
        return date >= from && date <= to;
    };
    QMap<QString, QPair<int, qint64>> lines; // "operator|method" -> count, cents
    QMap<QString, QStringList> numbers;
    qint64 paid = 0, voided = 0;
    int paidCount = 0, voidCount = 0;
    for (const Taken &t : m_taken) {
        if (inRange(t.date) && (op.isEmpty() || t.op == op)) {
            auto &l = lines[t.op + QLatin1Char('|') + t.method];
            ++l.first;
            l.second += t.cents;
            numbers[t.op + QLatin1Char('|') + t.method] << t.number;
            paid += t.cents;
            ++paidCount;
        }
        if (t.voided && inRange(t.voidDate) && (op.isEmpty() || t.op == op)) {
            voided += t.cents;
            ++voidCount;
        }
    }
    QCOMPARE(r.lines.size(), lines.size());
    for (const DayClose::Line &l : r.lines) {
        const QString key = l.operatorName + QLatin1Char('|') + l.method;
        QVERIFY2(lines.contains(key), qPrintable(key));
        QCOMPARE(l.count, lines[key].first);
        QCOMPARE(l.amount, yuan(lines[key].second));
        QCOMPARE(l.firstNumber, numbers[key].first());
        QCOMPARE(l.lastNumber, numbers[key].last());
    }
    QCOMPARE(r.paymentCount, paidCount);
    QCOMPARE(r.paymentTotal, yuan(paid));
    QCOMPARE(r.voids.size(), voidCount);
    for (const DayClose::Void &v : r.voids) {
        const auto t = std::find_if(m_taken.cbegin(), m_taken.cend(), [&](const Taken &x) { return x.number == v.number; });
        QCOMPARE(v.operatorName, t->op);
        QCOMPARE(v.approver, t->voidOp);
    }
    QCOMPARE(r.voidCount, voidCount);
    QCOMPARE(r.voidTotal, yuan(voided));
    QCOMPARE(r.net, yuan(paid - voided));
    QCOMPARE(r.netInWords, amountInCapitals(double(paid - voided) / 100.0));
    // The list of the grid and the workbook: the lines, then the voids taken off.
    const Rows rows = DayClose::asRows(r);
    QCOMPARE(rows.rowCount(), int(lines.size()) + voidCount);
    QCOMPARE(DayClose::totalsRow(r).at(0, QStringLiteral("金额")), r.net);
}

void TestDayClose::receiptNumbersInTheirOrder()
{
    // The ten-thousandth payment of a date has five digits and comes after 9999; a later
    // date comes after both.
    for (const QString n : {"24100910000", "2410099999", "2410100001", "2410090001"})
        ChargeRowBuilder().house(1).number(n).storedOn(QStringLiteral("20%1-%2-%3").arg(n.mid(0, 2), n.mid(2, 2), n.mid(4, 2)))
            .method(QStringLiteral("现金")).amount(QStringLiteral("1")).enteredBy(QStringLiteral("管理员")).insert(*m_db);
    DayClose::Report r = DayClose::build({QDate(2024, 10, 9), QDate(2024, 10, 9), {}});
    QCOMPARE(r.lines.size(), 1);
    QCOMPARE(r.lines[0].firstNumber, QStringLiteral("2410090001"));
    QCOMPARE(r.lines[0].lastNumber, QStringLiteral("24100910000"));
    r = DayClose::build({QDate(2024, 10, 9), QDate(2024, 10, 10), {}});
    QCOMPARE(r.lines[0].lastNumber, QStringLiteral("2410100001"));
    QCOMPARE(r.lines[0].count, 4);
}

void TestDayClose::receiptNumberRuns_data()
{
    QTest::addColumn<QStringList>("numbers"); // "date number", in any order
    QTest::addColumn<QString>("runs");
    QTest::newRow("one number") << QStringList{"2024-10-10 2410100003"} << "2410100003";
    QTest::newRow("one run, unordered") << QStringList{"2024-10-10 2410100003", "2024-10-10 2410100001", "2024-10-10 2410100002"}
                                        << "2410100001–2410100003";
    QTest::newRow("a gap breaks the run")
        << QStringList{"2024-10-10 2410100001", "2024-10-10 2410100002", "2024-10-10 2410100004"}
        << "2410100001–2410100002, 2410100004";
    QTest::newRow("across 9999") << QStringList{"2024-10-10 2410109999", "2024-10-10 24101010000"} << "2410109999–24101010000";
    QTest::newRow("a new date starts a run")
        << QStringList{"2024-10-09 2410090001", "2024-10-09 2410090002", "2024-10-10 2410100001"}
        << "2410090001–2410090002, 2410100001";
    QTest::newRow("numbers of another form stand alone") << QStringList{"2024-10-10 A1", "2024-10-10 A2"} << "A1, A2";
}

void TestDayClose::receiptNumberRuns()
{
    QFETCH(QStringList, numbers);
    QFETCH(QString, runs);
    QList<QPair<QString, QString>> list;
    for (const QString &n : numbers)
        list << QPair<QString, QString>(n.section(QLatin1Char(' '), 0, 0), n.section(QLatin1Char(' '), 1));
    QCOMPARE(DayClose::runsOf(list), runs);
}

// Two cashiers taking turns at one date: each one's numbers as their own runs, on the
// list, the text and the printed page, not one range spanning the other's receipts.
void TestDayClose::runsPerCashierWithInterleavedNumbers()
{
    const char *plan[][2] = {{"0001", "管理员"}, {"0002", "管理员"}, {"0003", "李收费"}, {"0004", "管理员"},
                             {"0005", "管理员"}, {"0006", "李收费"}, {"0008", "管理员"}};
    for (const auto &p : plan)
        ChargeRowBuilder().house(1).number(QStringLiteral("241010") + QString::fromUtf8(p[0])).storedOn(QStringLiteral("2024-10-10"))
            .method(QStringLiteral("现金")).amount(QStringLiteral("1")).enteredBy(QString::fromUtf8(p[1])).insert(*m_db);
    const DayClose::Report r = DayClose::build({QDate(2024, 10, 10), QDate(2024, 10, 10), {}});
    QCOMPARE(r.lines.size(), 2);
    QCOMPARE(r.lines[0].operatorName, QStringLiteral("李收费"));
    QCOMPARE(r.lines[0].runs, QStringLiteral("2410100003, 2410100006"));
    QCOMPARE(r.lines[1].runs, QStringLiteral("2410100001–2410100002, 2410100004–2410100005, 2410100008"));
    QVERIFY(DayClose::asText(r).contains(QStringLiteral("2410100001–2410100002, 2410100004–2410100005, 2410100008")));
    QCOMPARE(DayClose::asRows(r).at(0, QStringLiteral("说明")), QStringLiteral("单号 2410100003, 2410100006"));
    const auto pages = DayCloseReport::pages(r, QStringLiteral("澄岳供热有限公司"), QDateTime(QDate(2024, 10, 10), QTime(17, 30)));
    QStringList texts;
    for (const auto &page : pages)
        for (const auto &t : page.texts)
            texts << t.box.content;
    QVERIFY2(texts.join(QLatin1Char('\n')).contains(QStringLiteral("李收费（现金）单号：2410100003, 2410100006")),
             qPrintable(texts.join(QLatin1Char('\n'))));
}

void TestDayClose::rangeEndingBeforeItStarts()
{
    try {
        DayClose::build({QDate(2024, 10, 10), QDate(2024, 10, 9), {}});
        QFAIL("accepted");
    } catch (const AppError &e) {
        QCOMPARE(e.message(), QStringLiteral("结束日期 2024-10-09 早于开始日期 2024-10-10，请重新选择！"));
    }
}

void TestDayClose::printedPages()
{
    // Enough payments of one day for more than one page.
    m_db->exec(QStringLiteral("INSERT INTO SMType (theName, Remark) VALUES ('现金', '')"));
    for (int i = 0; i < 60; ++i)
        ChargeRowBuilder().house(1).number(QStringLiteral("241010%1").arg(i + 1, 4, 10, QLatin1Char('0')))
            .storedOn(QStringLiteral("2024-10-10")).method(QStringLiteral("方式%1").arg(i % 3)).amount(QStringLiteral("10.5"))
            .enteredBy(QStringLiteral("操作员%1").arg(i / 3, 2, 10, QLatin1Char('0'))).insert(*m_db);
    const DayClose::Report r = DayClose::build({QDate(2024, 10, 10), QDate(2024, 10, 10), {}});
    const auto pages = DayCloseReport::pages(r, QStringLiteral("澄岳供热有限公司"), QDateTime(QDate(2024, 10, 10), QTime(17, 30)));
    QVERIFY(pages.size() >= 2);
    for (int i = 0; i < pages.size(); ++i) {
        QCOMPARE(pages[i].layout.pageSize().size(QPageSize::Millimeter).toSize(), QSize(210, 297));
        QCOMPARE(pages[i].layout.orientation(), QPageLayout::Portrait);
        QCOMPARE(pages[i].text(QStringLiteral("pageNumber")), QStringLiteral("第 %1 页  共 %2 页").arg(i + 1).arg(pages.size()));
    }
    // The books' code under the signatures, on the last page.
    QCOMPARE(pages.last().text(QStringLiteral("code")), QStringLiteral("校验码：") + r.code);
    QCOMPARE(r.code.size(), 19);
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dayclose.pdf"));
    report::writePdf(pages, path);
    const PdfPage first = readPdfWords(path);
    QVERIFY2(first.ok, qPrintable(first.error));
    QVERIFY(first.texts().contains(QStringLiteral("澄岳供热有限公司")));
    QVERIFY(first.texts().contains(QStringLiteral("2410100001")));
    // The last page carries the totals and the signature lines.
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QString::number(pages.size()), path, QStringLiteral("-")});
    QVERIFY(p.waitForFinished(30000));
    const QString last = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(last.contains(QStringLiteral("实收合计：630.00 元")), qPrintable(last));
    QVERIFY(last.contains(QStringLiteral("陆佰叁拾元整")));
    QVERIFY(last.contains(QStringLiteral("收费员（签字）")) && last.contains(QStringLiteral("复核人（签字）")));
}

void TestDayClose::window()
{
    takePayments();
    MessageRecorder rec;
    CapturePresenter presenter;
    report::setPresenter(&presenter);
    DayCloseWindow w;
    QCOMPARE(w.fromPicker->date(), QDate(2024, 10, 10));
    QCOMPARE(w.toPicker->date(), QDate(2024, 10, 10));
    QCOMPARE(w.operatorBox->currentText(), QStringLiteral("全部"));
    w.runQuery();
    QCOMPARE(rec.errors(), 0);
    const DayClose::Report expected = DayClose::build({QDate(2024, 10, 10), QDate(2024, 10, 10), {}});
    QCOMPARE(w.rows->rowCount(), DayClose::asRows(expected).rowCount());
    QVERIFY(w.totalsLabel->text().contains(QStringLiteral("实收合计：") + expected.net));
    QCOMPARE(w.wordsLabel->text(), QStringLiteral("实收合计大写：") + expected.netInWords);

    w.operatorBox->setCurrentText(QStringLiteral("李收费"));
    w.printReport();
    report::setPresenter(nullptr);
    QCOMPARE(presenter.pages.size(), 1);
    QCOMPARE(presenter.last().text(QStringLiteral("pageNumber")), QStringLiteral("第 1 页  共 1 页"));
    QCOMPARE(w.shown().criteria.operatorName, QStringLiteral("李收费"));

    w.toPicker->setDate(QDate(2024, 10, 1));
    w.runQuery();
    QCOMPARE(rec.last(), QStringLiteral("结束日期 2024-10-01 早于开始日期 2024-10-10，请重新选择！"));
}

void TestDayClose::adminCommand()
{
    takePayments();
    dataModule().closeConnection();
    const DayClose::Report r = DayClose::build({QDate(2024, 10, 9), QDate(2024, 10, 11), {}});
    dataModule().closeConnection();
    QString out, err;
    QCOMPARE(runAdmin({QStringLiteral("dayclose"), QStringLiteral("--db"), m_db->path(), QStringLiteral("--date"),
                       QStringLiteral("2024-10-09"), QStringLiteral("--to"), QStringLiteral("2024-10-11")},
                      &out, &err),
             0);
    QCOMPARE(out.trimmed(), DayClose::asText(r).trimmed());
    const QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("close.pdf"));
    const QString xlsx = dir.filePath(QStringLiteral("close.xlsx"));
    QCOMPARE(runAdmin({QStringLiteral("dayclose"), QStringLiteral("--db"), m_db->path(), QStringLiteral("--date"),
                       QStringLiteral("2024-10-10"), QStringLiteral("--pdf"), pdf},
                      &out, &err),
             0);
    QFile f(pdf);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.read(5), QByteArray("%PDF-"));
    QCOMPARE(runAdmin({QStringLiteral("dayclose"), QStringLiteral("--db"), m_db->path(), QStringLiteral("--date"),
                       QStringLiteral("2024-10-10"), QStringLiteral("--operator"), QStringLiteral("李收费"),
                       QStringLiteral("--out"), xlsx},
                      &out, &err),
             0);
    QVERIFY2(out.contains(QStringLiteral("已导出 2 行")), qPrintable(out)); // one line, one void
    // The workbook says which close it holds.
    const XlsxProbe workbook(xlsx);
    QVERIFY2(workbook.error.isEmpty(), qPrintable(workbook.error));
    QVERIFY2(workbook.text(QStringLiteral("A1")).contains(QStringLiteral("收费日报（2024-10-10，收费员：李收费）校验码：")),
             qPrintable(workbook.text(QStringLiteral("A1"))));
    // Refusals: a range ending before it starts, an output that is not a PDF.
    QCOMPARE(runAdmin({QStringLiteral("dayclose"), QStringLiteral("--db"), m_db->path(), QStringLiteral("--date"),
                       QStringLiteral("2024-10-10"), QStringLiteral("--to"), QStringLiteral("2024-10-09")},
                      &out, &err),
             1);
    QCOMPARE(err.trimmed(), QStringLiteral("结束日期 2024-10-09 早于开始日期 2024-10-10，请重新选择！"));
    if (TestDb::onServer())
        return; // the database is no file that a PDF could be written over
    QCOMPARE(runAdmin({QStringLiteral("dayclose"), QStringLiteral("--db"), m_db->path(), QStringLiteral("--date"),
                       QStringLiteral("2024-10-10"), QStringLiteral("--pdf"), m_db->path()},
                      &out, &err),
             1);
    QVERIFY(err.contains(QStringLiteral("不会覆盖")));
}

QTEST_MAIN(TestDayClose)
#include "tst_dayclose.moc"
