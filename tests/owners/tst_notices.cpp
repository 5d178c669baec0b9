// The arrears notices of 欠费提醒: which houses get one and with which figures, against
// the reminder's own list and against figures worked out by hand; the selected rows only;
// 取消 in the middle; the change record.
#include "browse/QueryModel.h"
#include "data/DataModule.h"
#include "db/Database.h"
#include "owners/ArrearsNotices.h"
#include "owners/ArrearsNoticesPrint.h"
#include "owners/ArrearsReminderWindow.h"
#include "owners/ArrearsStatements.h"
#include "report/ReportPresenter.h"
#include "tests/report/ReportProbe.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"
#include "widgets/DatePicker.h"
#include "widgets/LookupCombo.h"

#include <QCheckBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMap>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {

// One notice as the page shows it.
struct Shown {
    QString area, owner, paidUp, years, amount, inWords;
    bool operator==(const Shown &o) const
    {
        return area == o.area && owner == o.owner && paidUp == o.paidUp && years == o.years && amount == o.amount
            && inWords == o.inWords;
    }
};

// The office at the reference date 2024-03-15 (the period's end; charging date 2024-10-10).
void addOffice(TestDb &db)
{
    db.exec(QStringLiteral("UPDATE SDept SET theEM = 3, theED = 15 WHERE ID = 1"));
    db.exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('阳光小区'), ('翠园')"));
    db.exec(QStringLiteral("INSERT INTO SMType (theName) VALUES ('现金'), ('微信')"));
    const auto house = [&db](const char *area, const char *room, const char *owner, double m2, double price, const char *paidUp,
                             bool deleted = false) {
        HouseBuilder().area(QString::fromUtf8(area)).room(QString::fromUtf8(room)).owner(QString::fromUtf8(owner))
            .floorArea(m2).purpose(QStringLiteral("住宅")).price(price).paidUpTo(QString::fromUtf8(paidUp)).deleted(deleted)
            .insert(db);
    };
    house("阳光小区", "0101", "张一", 90, 20, "2025-01-01");        // paid up: not listed
    house("阳光小区", "0102", "李二", 100, 20, "2023-03-14");       // a year behind: 1 × 100 × 20
    house("阳光小区", "0103", "王三", 85.5, 23.4, "2020-06-30");    // four years: 4 × 85.5 × 23.4
    house("阳光小区", "0104", "赵四", 60, 20, "2019-01-01", true);  // deleted
    house("阳光小区", "0105", "钱五", 70, 20, "2024-01-10");        // listed, but owes 0 this year
    house("翠园", "0201", "孙六", 60, 20, "2022-12-31");            // another area: 2 × 60 × 20
}

// What the office owes at 2024-03-15, worked out by hand.
QMap<QString, Shown> byHand()
{
    return {
        {QStringLiteral("0102"), {"阳光小区", "李二", "2023-03-14", "1", "2000.00", "贰仟元整"}},
        {QStringLiteral("0103"), {"阳光小区", "王三", "2020-06-30", "4", "8002.80", "捌仟零贰元捌角"}},
        {QStringLiteral("0201"), {"翠园", "孙六", "2022-12-31", "2", "2400.00", "贰仟肆佰元整"}},
    };
}

// The notices on the pages, by room, with the pages' own checks: two to a page, A4.
QMap<QString, Shown> noticesOn(const QList<report::PreparedReport> &pages)
{
    QMap<QString, Shown> found;
    for (const report::PreparedReport &page : pages) {
        if (page.layout.pageSize().size(QPageSize::Millimeter).toSize() != QSize(210, 297))
            qWarning("not an A4 page");
        for (int slot = 0; slot < 2; ++slot) {
            const auto f = [&](const char *field) { return page.text(QStringLiteral("n%1.").arg(slot) + QLatin1String(field)); };
            if (!page.find(QStringLiteral("n%1.room").arg(slot)))
                continue;
            found.insert(f("room"), {f("area"), f("owner"), f("paidUp"), f("years"), f("amount"), f("inWords")});
        }
    }
    return found;
}

int noticeRecords(TestDb &db)
{
    return db.scalar(QStringLiteral("SELECT COUNT(*) FROM ULog WHERE theAction = '催费通知单'")).toInt();
}

int rowOf(const ArrearsReminderWindow &w, const QString &room)
{
    w.listModel->fetchAll();
    for (int r = 0; r < w.listModel->rowCount(); ++r)
        if (w.listModel->value(r, QStringLiteral("房号")) == room)
            return r;
    return -1;
}

} // namespace

class TestNotices : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void noticesCarryTheReminderFigures();
    void criteriaAsQueried();
    void selectedRowsOnly_data();
    void selectedRowsOnly();
    void cancelWritesNothing();
    void nothingOwedPrintsNothing();
    void pdfText();

private:
    std::unique_ptr<TestDb> m_db;
    std::unique_ptr<MessageRecorder> m_boxes;
    std::unique_ptr<CapturePresenter> m_presenter;
};

void TestNotices::init()
{
    m_db = std::make_unique<TestDb>();
    addOffice(*m_db);
    m_db->login(QDate(2024, 10, 10));
    m_boxes = std::make_unique<MessageRecorder>();
    m_presenter = std::make_unique<CapturePresenter>();
    report::setPresenter(m_presenter.get());
}

void TestNotices::cleanup()
{
    report::setPresenter(nullptr);
    ArrearsNoticesPrint::setRowHook({});
    m_presenter.reset();
    m_boxes.reset();
    m_db.reset();
}

// Every listed house that owes something gets one notice with the list's own years and
// amount, and those are the figures worked out by hand; the paid-up, the deleted and the
// house that owes nothing this year get none. The batch is recorded once.
void TestNotices::noticesCarryTheReminderFigures()
{
    ArrearsReminderWindow w;
    QVERIFY(!w.noticesButton->isEnabled());
    w.runQuery();
    QVERIFY(w.waitForFigures());
    QVERIFY(w.noticesButton->isEnabled());
    w.listGrid->clearSelection();
    w.noticesButton->click();
    QCOMPARE(m_boxes->entries.size(), 0);

    const QMap<QString, Shown> notices = noticesOn(m_presenter->pages);
    QCOMPARE(notices, byHand());
    QCOMPARE(m_presenter->pages.size(), 2);
    // The same years and amounts as the reminder's rows.
    for (auto it = notices.cbegin(); it != notices.cend(); ++it) {
        const int r = rowOf(w, it.key());
        QVERIFY(r >= 0);
        QCOMPARE(it->years, w.listModel->value(r, QStringLiteral("欠费年数")));
        QVERIFY(qAbs(it->amount.toDouble() - w.listModel->value(r, QStringLiteral("欠费金额")).toDouble()) < 0.005);
    }
    const report::PreparedReport &page = m_presenter->pages.first();
    QCOMPARE(page.text(QStringLiteral("n0.unit")), QStringLiteral("澄岳供热有限公司"));
    QCOMPARE(page.text(QStringLiteral("n0.title")), QStringLiteral("催 费 通 知 单"));
    QCOMPARE(page.text(QStringLiteral("n0.howToPay")), QStringLiteral("交费地点：澄岳供热有限公司收费处。收款方式：现金、微信。"));
    QCOMPARE(page.text(QStringLiteral("n1.date")), QStringLiteral("2024-10-10"));
    QVERIFY(page.text(QStringLiteral("n0.text")).contains(QStringLiteral("截至 2024-03-15")));

    QCOMPARE(noticeRecords(*m_db), 1);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT theChange FROM ULog WHERE theAction = '催费通知单'")),
             QStringLiteral("3 份，到期日期 2024-03-15，条件：全部"));
}

// The notices follow the list as queried: its criteria and reference date, not boxes
// changed since.
void TestNotices::criteriaAsQueried()
{
    ArrearsReminderWindow w;
    w.areaCheck->setChecked(true);
    w.areaBox->setKeyValue(QStringLiteral("阳光小区"));
    w.runQuery();
    QVERIFY(w.waitForFigures());
    w.referencePicker->setDate(QDate(2030, 1, 1));
    w.listGrid->clearSelection();
    w.printNotices();
    QCOMPARE(noticesOn(m_presenter->pages).keys(), (QStringList{"0102", "0103"}));
    QCOMPARE(noticesOn(m_presenter->pages).value(QStringLiteral("0103")).years, QStringLiteral("4"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT theChange FROM ULog WHERE theAction = '催费通知单'")),
             QStringLiteral("2 份，到期日期 2024-03-15，条件：小区名称：阳光小区"));

    // The box changed after 查询: the record names the conditions the list was made with.
    w.areaBox->setKeyValue(QStringLiteral("翠园"));
    m_presenter->pages.clear();
    w.printNotices();
    QCOMPARE(noticesOn(m_presenter->pages).keys(), (QStringList{"0102", "0103"}));
    QVERIFY(m_db->scalar(QStringLiteral("SELECT theChange FROM ULog WHERE theAction = '催费通知单' ORDER BY ID DESC"))
                .contains(QStringLiteral("AName = '阳光小区'")));
}

void TestNotices::selectedRowsOnly_data()
{
    QTest::addColumn<bool>("onlySelected");
    QTest::addColumn<QStringList>("rooms");
    QTest::newRow("only the selected") << true << QStringList{"0103"};
    QTest::newRow("the whole list") << false << QStringList{"0102", "0103", "0201"};
}

// With rows selected the operator is asked; the selected house that owes nothing still
// gets no notice.
void TestNotices::selectedRowsOnly()
{
    QFETCH(bool, onlySelected);
    QFETCH(QStringList, rooms);
    ArrearsReminderWindow w;
    w.runQuery();
    QVERIFY(w.waitForFigures());
    w.listGrid->clearSelection();
    for (const char *room : {"0103", "0105"})
        w.listGrid->selectionModel()->select(w.listModel->index(rowOf(w, QString::fromUtf8(room)), 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    m_boxes->answers = {onlySelected};
    w.printNotices();
    QCOMPARE(m_boxes->entries.size(), 1);
    QCOMPARE(m_boxes->entries.first().text, QStringLiteral("是否只打印选中的 2 户的催费通知单？\n选“否”打印列表中的全部房屋。"));
    QCOMPARE(noticesOn(m_presenter->pages).keys(), rooms);
    QCOMPARE(noticeRecords(*m_db), 1);
    QVERIFY(m_db->scalar(QStringLiteral("SELECT theChange FROM ULog WHERE theAction = '催费通知单'"))
                .startsWith(QString::number(rooms.size()) + QStringLiteral(" 份")));
}

// 取消 while the rows are read: nothing is shown or written, nothing recorded. The batch
// itself says it was cancelled and holds no pages.
void TestNotices::cancelWritesNothing()
{
    const QTemporaryDir dir;
    m_presenter->pdfPath = dir.filePath(QStringLiteral("notices.pdf"));
    ArrearsReminderWindow w;
    w.runQuery();
    QVERIFY(w.waitForFigures());
    w.listGrid->clearSelection();
    int readWhenCancelled = 0;
    ArrearsNoticesPrint::setRowHook([&](int read) {
        if (read == 2) {
            auto *progress = w.findChild<QProgressDialog *>();
            QVERIFY(progress);
            progress->cancel();
            readWhenCancelled = read;
        }
    });
    w.printNotices();
    QCOMPARE(readWhenCancelled, 2);
    QCOMPARE(m_presenter->pages.size(), 0);
    QVERIFY(!QFile::exists(m_presenter->pdfPath));
    QCOMPARE(noticeRecords(*m_db), 0);
    QCOMPARE(m_boxes->entries.size(), 0);

    const std::unique_ptr<Cursor> rows =
        dataModule().db().cursor(ArrearsStatements::list(QDate(2024, 3, 15), ArrearsNotices::conditions(QDate(2024, 3, 15))));
    const ArrearsNotices::Batch batch =
        ArrearsNotices::build(*rows, {}, QDate(2024, 3, 15), [](int read) { return read < 3; });
    QVERIFY(batch.cancelled);
    QCOMPARE(batch.rowsRead, 3);
    QVERIFY(batch.pages.isEmpty());
}

// A list whose houses owe nothing yet: the operator is told, nothing is shown or recorded.
void TestNotices::nothingOwedPrintsNothing()
{
    ArrearsReminderWindow w;
    w.roomCheck->setChecked(true);
    w.roomEdit->setText(QStringLiteral("0105"));
    w.runQuery();
    QVERIFY(w.waitForFigures());
    QCOMPARE(w.listModel->rowCount(), 1);
    w.listGrid->clearSelection();
    w.printNotices();
    QCOMPARE(m_boxes->texts(), QStringList{"列表中没有欠费金额大于零的房屋，没有催费通知单可打印。"});
    QCOMPARE(m_presenter->pages.size(), 0);
    QCOMPARE(noticeRecords(*m_db), 0);
}

// The written page reads back with the figures and the capitals, both notices on it.
void TestNotices::pdfText()
{
    const ArrearsNotices::Office office{QStringLiteral("澄岳供热有限公司"), QStringLiteral("交费地点：收费处。"),
                                        QStringLiteral("2024-10-10")};
    const QList<ArrearsNotices::Notice> notices{
        {"阳光小区", "0102", "李二", "2023-03-14", "1", "2000.00", "贰仟元整"},
        {"阳光小区", "0103", "王三", "2020-06-30", "4", "8002.80", "捌仟零贰元捌角"},
    };
    const auto pages = ArrearsNotices::pages(notices, office, QDate(2024, 3, 15));
    QCOMPARE(pages.size(), 1);
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("notices.pdf"));
    report::writePdf(pages, path);
    const PdfPage pdf = readPdfWords(path);
    QVERIFY2(pdf.ok, qPrintable(pdf.error));
    const QStringList words = pdf.texts();
    for (const char *w : {"2000.00", "8002.80", "贰仟元整", "捌仟零贰元捌角", "0102", "0103", "李二", "王三"})
        QVERIFY2(words.contains(QString::fromUtf8(w)), w);
    // The upper notice in the upper half of the sheet, the lower one below the middle.
    QVERIFY(pdf.find(QStringLiteral("0102")).first().mm.top() < 148.5);
    QVERIFY(pdf.find(QStringLiteral("0103")).first().mm.top() > 148.5);
}

QTEST_MAIN(TestNotices)
#include "tst_notices.moc"
