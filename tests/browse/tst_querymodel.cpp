#include "data/TfrmDM.h"
#include "browse/BrowseCriteria.h"
#include "tests/support/TestSupport.h"
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
    model.open(frmDM().db(), kList);
    while (model.canFetchMore())
        model.fetchMore();
    QCOMPARE(model.rowCount(), 700);
    model.open(frmDM().db(), kList + QStringLiteral("DESC"));
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
    model.open(frmDM().db(), kList);
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
    model.open(frmDM().db(), kList);
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
    model.open(frmDM().db(), kList);
    QCOMPARE(model.rowCount(), 10);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QVERIFY_THROWS_EXCEPTION(DbError, model.open(frmDM().db(), QStringLiteral("SELECT x FROM NoSuchTable")));
    QCOMPARE(reset.count(), 1);
    QVERIFY(!model.isOpen());
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
    QCOMPARE(model.statement(), QString());
    // The connection is free for the next statement.
    model.open(frmDM().db(), kList);
    QCOMPARE(model.rowCount(), 10);
}

void TestQueryModel::failureWhileFetchingKeepsRowsRead()
{
    TestDb db;
    addHouses(db, 1000);
    QueryModel model;
    // The engine fails at the 301st row, after the first batch has been shown.
    model.open(frmDM().db(), QStringLiteral("SELECT ID, CASE WHEN ID > 300 THEN DateDiff('q', '2020-1-1', '2021-1-1') "
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
    model.open(frmDM().db(), kList);
    QCOMPARE(model.value(2, QStringLiteral("房号")), QStringLiteral("000003"));
    QCOMPARE(model.value(0, QStringLiteral("id")), QStringLiteral("1"));
    QVERIFY_THROWS_EXCEPTION(AppError, model.value(0, QStringLiteral("单价")));
    QVERIFY_THROWS_EXCEPTION(AppError, model.value(3, QStringLiteral("房号")));
    QCOMPARE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable, Qt::ItemFlags());
}

QTEST_MAIN(TestQueryModel)
#include "tst_querymodel.moc"
