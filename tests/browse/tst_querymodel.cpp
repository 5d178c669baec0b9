#include "data/DataModule.h"
#include "browse/BrowseCriteria.h"
#include "tests/support/TestSupport.h"
#include "browse/ListFigures.h"
#include "browse/QueryModel.h"

#include <QAbstractItemModelTester>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

// The grid model: rows read as the view asks, the exact size of the whole result from
// its own statement, failures reported without leaving a half-open list.
class TestQueryModel : public QObject {
    Q_OBJECT
private slots:
    void passesModelTester();
    void readsLazilyAndCountsExactly();
    void viewFetchesAsItScrolls();
    void refusedStatementLeavesItEmpty();
    void failureWhileFetchingKeepsRowsRead();
    void valuesByCaption();
    void keyedReadingMatchesFullRead_data();
    void keyedReadingMatchesFullRead();
    void listOfMillionsGrowsInSteps();
    void figuresArriveInTheBackground();
    void cancelStopsARunningStatement();
};

namespace {
// n live houses: room i, area i / 10 (so that sums are easy to state), in areas A00..A99.
void addHouses(TestDb &db, int n)
{
    db.exec(QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                "INSERT INTO UHouse (AName, theNum, theArea, HType, thePrice, EndDate, theName, thePhone, Remark, theDel) "
                "SELECT printf('A%02d', i % 100), printf('%06d', i), i / 10.0, '住宅', 25, '2024-10-10', "
                "'业主' || i, '', '', '否' FROM n")
                .arg(n));
}

const QString kList = QStringLiteral("SELECT theNum AS 房号, theArea AS 面积, ID FROM UHouse "
                                     "WHERE (theDel = '否') ORDER BY theNum ");
} // namespace

void TestQueryModel::passesModelTester()
{
    TestDb db;
    addHouses(db, 700);
    QueryModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    // The tester of this Qt fetches from inside its own reset handler, before it has marked
    // the reset as finished, and then takes the inserted rows for a nested change. The
    // batches are fetched here instead; the tester still checks every insertion.
    tester.setUseFetchMore(false);
    model.open(dataModule().db(), kList);
    while (model.canFetchMore())
        model.fetchMore();
    QCOMPARE(model.rowCount(), 700);
    model.open(dataModule().db(), kList + QStringLiteral("DESC"));
    QCOMPARE(model.rowCount(), QueryModel::BatchSize);
    model.close();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
}

void TestQueryModel::readsLazilyAndCountsExactly()
{
    TestDb db;
    addHouses(db, 100000);
    QueryModel model;
    model.open(dataModule().db(), kList);
    // Opening reads one batch, however long the list.
    QCOMPARE(model.rowCount(), QueryModel::BatchSize);
    QVERIFY(model.canFetchMore());
    QCOMPARE(model.columns(), QStringList({QStringLiteral("房号"), QStringLiteral("面积"), QStringLiteral("ID")}));
    QCOMPARE(model.text(0, 0), QStringLiteral("000001"));
    QCOMPARE(model.data(model.index(255, 1)).toString(), QStringLiteral("25.6"));
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("面积"));
    // The size of the whole result comes from its own statement.
    QCOMPARE(db.scalar(Browse::countStatement(kList)), QStringLiteral("100000"));
    model.fetchAll();
    QCOMPARE(model.rowCount(), 100000);
    QVERIFY(!model.canFetchMore());
    QVERIFY(model.atEnd());
    QCOMPARE(model.text(99999, 0), QStringLiteral("100000"));
    QCOMPARE(model.text(99999, 1), QStringLiteral("10000"));
    QCOMPARE(model.statement(), kList);
}

void TestQueryModel::viewFetchesAsItScrolls()
{
    TestDb db;
    addHouses(db, 2000);
    QueryModel model;
    QTableView view;
    view.setModel(&model);
    view.resize(400, 300);
    view.show();
    model.open(dataModule().db(), kList);
    QCOMPARE(model.rowCount(), QueryModel::BatchSize);
    view.scrollToBottom();
    QCoreApplication::processEvents();
    QVERIFY(model.rowCount() > QueryModel::BatchSize);
    QVERIFY(model.rowCount() < 2000);
}

void TestQueryModel::refusedStatementLeavesItEmpty()
{
    TestDb db;
    addHouses(db, 10);
    QueryModel model;
    model.open(dataModule().db(), kList);
    QCOMPARE(model.rowCount(), 10);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QVERIFY_THROWS_EXCEPTION(DbError, model.open(dataModule().db(), QStringLiteral("SELECT x FROM NoSuchTable")));
    QCOMPARE(reset.count(), 1);
    QVERIFY(!model.isOpen());
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
    QCOMPARE(model.statement(), QString());
    // The connection is free for the next statement.
    model.open(dataModule().db(), kList);
    QCOMPARE(model.rowCount(), 10);
}

void TestQueryModel::failureWhileFetchingKeepsRowsRead()
{
    TestDb db;
    addHouses(db, 1000);
    QueryModel model;
    // The engine fails at the 301st row, after the first batch has been shown.
    model.open(dataModule().db(), QStringLiteral("SELECT ID, CASE WHEN ID > 300 THEN DateDiff('q', '2020-1-1', '2021-1-1') "
                                            "ELSE 1 END AS x FROM UHouse ORDER BY ID"));
    QCOMPARE(model.rowCount(), QueryModel::BatchSize);
    QSignalSpy failed(&model, &QueryModel::fetchFailed);
    model.fetchMore();
    QCOMPARE(failed.count(), 1);
    QVERIFY(failed.first().at(0).toString().contains(QStringLiteral("DateDiff")));
    QCOMPARE(model.rowCount(), 300);
    QVERIFY(!model.canFetchMore());
    QCOMPARE(model.text(299, 0), QStringLiteral("300"));
}

void TestQueryModel::valuesByCaption()
{
    TestDb db;
    addHouses(db, 3);
    QueryModel model;
    model.open(dataModule().db(), kList);
    QCOMPARE(model.value(2, QStringLiteral("房号")), QStringLiteral("000003"));
    QCOMPARE(model.value(0, QStringLiteral("id")), QStringLiteral("1"));
    QVERIFY_THROWS_EXCEPTION(AppError, model.value(0, QStringLiteral("单价")));
    QVERIFY_THROWS_EXCEPTION(AppError, model.value(3, QStringLiteral("房号")));
    QCOMPARE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable, Qt::ItemFlags());
}

namespace {
// 1,000 houses with duplicates and nulls in the columns a heading may order by.
const QString kKeyedBase = QStringLiteral(
    "SELECT AName AS 小区名称, theNum AS 房号, theArea AS 面积, Remark AS 备注, ID FROM UHouse "
    "WHERE (theDel = '否') ");

void addKeyedHouses(TestDb &db)
{
    addHouses(db, 1000);
    db.exec(QStringLiteral("UPDATE UHouse SET Remark = CASE ID % 3 WHEN 0 THEN NULL WHEN 1 THEN '' ELSE 'b' || (ID % 5) END, "
                           "theArea = (ID % 7) / 3.0"));
    // Two houses of one room, and a lower-case area name among upper-case ones.
    db.exec(QStringLiteral("UPDATE UHouse SET theNum = '000002' WHERE ID = 500"));
    db.exec(QStringLiteral("UPDATE UHouse SET AName = 'a05' WHERE ID = 605"));
    db.exec(QStringLiteral("UPDATE UHouse SET theDel = '是' WHERE ID = 700"));
}

QStringList ids(Database &db, const QString &sql)
{
    const Rows rows = db.select(sql);
    QStringList r;
    for (int i = 0; i < rows.rowCount(); ++i)
        r << rows.at(i, QStringLiteral("ID"));
    return r;
}

std::vector<QVariantList> pageStartsOf(ListFigures &figures, const KeyedList &list, qint64 *rows)
{
    QSignalSpy starts(&figures, &ListFigures::pageStartsReady);
    ListFigures::Request request;
    request.keys = list;
    figures.start(dataModule().db(), request);
    if (!starts.wait(30000))
        return {};
    *rows = starts.first().at(1).toLongLong();
    return starts.first().at(0).value<std::vector<QVariantList>>();
}
} // namespace


void TestQueryModel::keyedReadingMatchesFullRead_data()
{
    QTest::addColumn<QVector<ListKey>>("keys");
    QTest::newRow("area, room, ID") << QVector<ListKey>{{QStringLiteral("小区名称")}, {QStringLiteral("房号")},
                                                         {QStringLiteral("ID"), false, true}};
    QTest::newRow("newest first") << QVector<ListKey>{{QStringLiteral("ID"), true, true}};
    QTest::newRow("remark with nulls, ascending")
        << QVector<ListKey>{{QStringLiteral("备注")}, {QStringLiteral("ID"), false, true}};
    QTest::newRow("remark with nulls, descending")
        << QVector<ListKey>{{QStringLiteral("备注"), true}, {QStringLiteral("ID"), true, true}};
    QTest::newRow("fractional area, descending")
        << QVector<ListKey>{{QStringLiteral("面积"), true}, {QStringLiteral("ID"), true, true}};
}

// The grid reads a keyed list page by page: forwards as it scrolls, and anywhere once the
// keys of every page are known. Both give the rows of a full read, in its order, at the
// start, the middle and the end, keeping only a few pages.
void TestQueryModel::keyedReadingMatchesFullRead()
{
    QFETCH(QVector<ListKey>, keys);
    TestDb db;
    addKeyedHouses(db);
    KeyedList list{kKeyedBase, keys, dataModule().db().nullsSortLow()};
    const QStringList expected = ids(dataModule().db(), list.ordered());
    QCOMPARE(expected.size(), 999);
    auto reader = dataModule().db().openReader();

    QueryModel forwards;
    forwards.openKeyed(*reader, list);
    QCOMPARE(forwards.rowCount(), QueryModel::BatchSize);
    forwards.fetchAll();
    QStringList got;
    for (int r = 0; r < forwards.rowCount(); ++r)
        got << forwards.value(r, QStringLiteral("ID"));
    QCOMPARE(got, expected);
    QVERIFY(forwards.pagesHeld() <= QueryModel::MaxPages);

    QueryModel jumping;
    QAbstractItemModelTester tester(&jumping, QAbstractItemModelTester::FailureReportingMode::QtTest);
    tester.setUseFetchMore(false); // see passesModelTester
    jumping.openKeyed(*reader, list);
    ListFigures figures;
    qint64 rows = 0;
    const auto starts = pageStartsOf(figures, list, &rows);
    QCOMPARE(rows, qint64(999));
    QCOMPARE(int(starts.size()), 4);
    jumping.setPageStarts(starts, rows);
    QCOMPARE(jumping.rowCount(), 999);
    QVERIFY(!jumping.canFetchMore());
    for (int r : {998, 997, 0, 1, 499, 500, 511, 512, 255, 256, 768, 767})
        QCOMPARE(jumping.value(r, QStringLiteral("ID")), expected.at(r));
    QCOMPARE(jumping.value(998, QStringLiteral("备注")),
             dataModule().db().scalar(QStringLiteral("SELECT Remark FROM UHouse WHERE ID = ") + expected.at(998)));
}

// The keys of millions of rows reach the grid a million rows at a time, one turn of the
// event loop each, so that its row header never holds the window long; a list opened
// meanwhile stops the growth.
void TestQueryModel::listOfMillionsGrowsInSteps()
{
    TestDb db;
    addKeyedHouses(db);
    const KeyedList list{kKeyedBase, {{QStringLiteral("ID"), true, true}}, dataModule().db().nullsSortLow()};
    auto reader = dataModule().db().openReader();
    QueryModel model;
    QTableView view;
    view.setModel(&model);
    model.openKeyed(*reader, list);
    const int rows = 2500000;
    const std::vector<QVariantList> starts(size_t(rows / QueryModel::BatchSize + 1), QVariantList{1});
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.setPageStarts(starts, rows);
    QVERIFY(model.rowCount() < rows);
    QVERIFY(!model.atEnd());
    QVERIFY(!model.canFetchMore());
    QTRY_COMPARE(model.rowCount(), rows);
    QVERIFY(model.atEnd());
    QCOMPARE(inserted.size(), 3);

    model.openKeyed(*reader, list);
    model.setPageStarts(starts, rows);
    model.openKeyed(*reader, list);
    QTest::qWait(50);
    QCOMPARE(model.rowCount(), QueryModel::BatchSize);
}

// The footer's figures: count, totals and page keys arrive as signals from their own
// connection, in that order, and the request is done.
void TestQueryModel::figuresArriveInTheBackground()
{
    TestDb db;
    addKeyedHouses(db);
    ListFigures figures;
    QSignalSpy count(&figures, &ListFigures::countReady);
    QSignalSpy totals(&figures, &ListFigures::totalsReady);
    QSignalSpy finished(&figures, &ListFigures::finished);
    ListFigures::Request request;
    request.count = QStringLiteral("SELECT COUNT(*) FROM UHouse WHERE (theDel = '否')");
    request.totals = QStringLiteral("SELECT SUM(ID) AS s FROM UHouse WHERE (theDel = '否')");
    figures.start(dataModule().db(), request);
    QVERIFY(finished.wait(30000));
    QVERIFY(figures.isDone());
    QCOMPARE(count.size(), 1);
    QCOMPARE(count.first().at(0).toString(), QStringLiteral("999"));
    QCOMPARE(totals.first().at(0).value<Rows>().at(0, QStringLiteral("s")), QString::number(500500 - 700));
    QVERIFY(figures.connection() != &dataModule().db());

    // A refused statement is reported, and the request ends.
    request.totals = QStringLiteral("SELECT SUM(x) FROM NoSuchTable");
    QSignalSpy failed(&figures, &ListFigures::failed);
    figures.start(dataModule().db(), request);
    QVERIFY(finished.wait(30000));
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed.first().at(1).toString().contains(QStringLiteral("NoSuchTable")));
}

// Cancelling stops a statement that would run for minutes; nothing of it is reported, and
// the next request runs on the same connection.
void TestQueryModel::cancelStopsARunningStatement()
{
    TestDb db;
    addHouses(db, 10);
    ListFigures figures;
    QSignalSpy count(&figures, &ListFigures::countReady);
    QSignalSpy failed(&figures, &ListFigures::failed);
    ListFigures::Request endless;
    endless.count = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4000000000) "
                                   "SELECT COUNT(*) FROM n");
    figures.start(dataModule().db(), endless);
    QTest::qWait(50);
    QVERIFY(figures.isRunning());
    figures.cancel();
    QVERIFY(!figures.isRunning());
    QCoreApplication::processEvents();
    QCOMPARE(count.size(), 0);
    QCOMPARE(failed.size(), 0);

    // A new request cancels the running one: only the new one's figures arrive.
    figures.start(dataModule().db(), endless);
    QTest::qWait(20);
    ListFigures::Request quick;
    quick.count = QStringLiteral("SELECT COUNT(*) FROM UHouse");
    QSignalSpy finished(&figures, &ListFigures::finished);
    figures.start(dataModule().db(), quick);
    QVERIFY(finished.wait(30000));
    QCOMPARE(count.size(), 1);
    QCOMPARE(count.first().at(0).toString(), QStringLiteral("10"));
    QCOMPARE(failed.size(), 0);
}

QTEST_MAIN(TestQueryModel)
#include "tst_querymodel.moc"
