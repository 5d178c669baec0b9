// 单价设置's 修改: a purpose's new price, kept from the houses or applied to its live
// houses after the operator says so; the refusals store nothing.
#include "charging/ChargeLogic.h"
#include "data/DataModule.h"
#include "db/DbError.h"
#include "reference/RefLists.h"
#include "reference/ReferenceListDialog.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/RowsModel.h"

#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <memory>

namespace {

// 住宅 at 20 and 商业 at 30; four houses of 住宅 (one at an older price, one deleted) and one
// of 商业.
void addOffice(TestDb &db)
{
    db.exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('阳光小区')"));
    db.exec(QStringLiteral("INSERT INTO SPrice (theName, thePrice, Remark) VALUES ('住宅', 20, ''), ('商业', 30, '')"));
    const auto house = [&db](const char *room, const char *purpose, double price, bool deleted = false) {
        HouseBuilder().area(QStringLiteral("阳光小区")).room(QString::fromUtf8(room)).owner(QStringLiteral("业主"))
            .floorArea(100).purpose(QString::fromUtf8(purpose)).price(price).paidUpTo(QStringLiteral("2024-10-10"))
            .deleted(deleted).insert(db);
    };
    house("0101", "住宅", 20);
    house("0102", "住宅", 20);
    house("0103", "住宅", 18);
    house("0104", "住宅", 20, true);
    house("0201", "商业", 30);
}

// The houses' stored prices by room.
QString prices()
{
    QStringList r;
    const Rows rows = dataModule().db().select(QStringLiteral("SELECT theNum, thePrice FROM UHouse ORDER BY theNum"));
    for (int i = 0; i < rows.rowCount(); ++i)
        r << rows.at(i, 0) + QLatin1Char('=') + rows.at(i, 1);
    return r.join(QLatin1Char(' '));
}

// The next proposal for a house, as charge entry makes it: one year at its stored price.
QString proposalFor(const QString &room)
{
    const ChargeLogic::House h = ChargeLogic::houseAt(ChargeLogic::lookUpHouse(QStringLiteral("阳光小区"), room));
    return ChargeLogic::propose(QStringLiteral("1"), h.floorArea, h.unitPrice, h.paidUp).amount;
}

QStringList records()
{
    QStringList r;
    const Rows rows = dataModule().db().select(QStringLiteral("SELECT theAction, theChange FROM ULog ORDER BY ID"));
    for (int i = 0; i < rows.rowCount(); ++i)
        r << rows.at(i, 0) + QStringLiteral("：") + rows.at(i, 1);
    return r;
}

int rowOf(const UnitPricesDialog &d, const QString &purpose)
{
    for (int r = 0; r < d.listRows->rowCount(); ++r)
        if (d.listRows->rows().at(r, QStringLiteral("房屋用途")) == purpose)
            return r;
    return -1;
}

} // namespace

class TestPriceChange : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { m_db.reset(); }

    void keptOrApplied_data();
    void keptOrApplied();
    void refusalsStoreNothing_data();
    void refusalsStoreNothing();
    void emptyPriceBoxAsksNothing();

private:
    std::unique_ptr<TestDb> m_db;
};

void TestPriceChange::init()
{
    m_db = std::make_unique<TestDb>();
    addOffice(*m_db);
    m_db->exec(QStringLiteral("INSERT INTO SUser (theName, thePass, theRole) VALUES ('甲收费', '580913', '收费员'), "
                              "('乙查询', '580913', '查询员')"));
    m_db->login(QDate(2024, 10, 10));
}

void TestPriceChange::keptOrApplied_data()
{
    QTest::addColumn<bool>("apply");
    QTest::addColumn<QString>("housePrices");
    QTest::addColumn<QString>("proposal"); // one year of 0101 (100 m²) afterwards
    QTest::addColumn<QStringList>("recorded");
    QTest::newRow("kept") << false << "0101=20 0102=20 0103=18 0104=20 0201=30" << "2000"
                          << QStringList{"修改单价：房屋用途 住宅，单价 20 → 22.5"};
    // The deleted house and the other purpose keep theirs.
    QTest::newRow("applied") << true << "0101=22.5 0102=22.5 0103=22.5 0104=20 0201=30" << "2250"
                             << QStringList{"修改单价：房屋用途 住宅，单价 20 → 22.5",
                                            "应用单价：房屋用途 住宅，共 3 户：单价 18 → 22.5：1 户；单价 20 → 22.5：2 户"};
}

void TestPriceChange::keptOrApplied()
{
    QFETCH(bool, apply);
    QFETCH(QString, housePrices);
    QFETCH(QString, proposal);
    QFETCH(QStringList, recorded);
    MessageRecorder boxes;
    boxes.answers = {true, apply};
    UnitPricesDialog d;
    QVERIFY(d.modifyButton);
    d.listGrid->setCurrentIndex(d.listRows->index(rowOf(d, QStringLiteral("住宅")), 0));
    d.priceEdit->setText(QStringLiteral("22.5"));
    d.modifyButton->click();

    QStringList expectedBoxes{"是否将房屋用途“住宅”的单价由 20 改为 22.5？", "是否将新单价应用到该用途的 3 户房屋？",
                              apply ? "已将 3 户房屋的单价改为 22.5。" : "单价信息 修改成功！"};
    QCOMPARE(boxes.texts().join(QLatin1Char('|')), expectedBoxes.join(QLatin1Char('|')));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT thePrice FROM SPrice WHERE theName = '住宅'")), QStringLiteral("22.5"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT thePrice FROM SPrice WHERE theName = '商业'")), QStringLiteral("30"));
    QCOMPARE(d.listRows->rows().at(rowOf(d, QStringLiteral("住宅")), QStringLiteral("单价")), QStringLiteral("22.5"));
    QCOMPARE(prices(), housePrices);
    QCOMPARE(proposalFor(QStringLiteral("0101")), proposal);
    QCOMPARE(records(), recorded);
    // Nothing left to change once applied.
    QCOMPARE(RefLists::housesToReprice(m_db->scalar(QStringLiteral("SELECT ID FROM SPrice WHERE theName = '住宅'"))),
             apply ? 0 : 3);
}

void TestPriceChange::refusalsStoreNothing_data()
{
    QTest::addColumn<QString>("operatorName");
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("not a number") << "管理员" << "2.2.5" << "“2.2.5” 不是有效的数字";
    QTest::newRow("negative") << "管理员" << "-5" << "单价 必须大于零！";
    QTest::newRow("zero") << "管理员" << "0" << "单价 必须大于零！";
    QTest::newRow("cashier") << "甲收费" << "22" << "当前操作员（收费员）无权";
    QTest::newRow("viewer") << "乙查询" << "22" << "当前操作员（查询员）无权";
}

void TestPriceChange::refusalsStoreNothing()
{
    QFETCH(QString, operatorName);
    QFETCH(QString, price);
    QFETCH(QString, refusal);
    m_db->login(QDate::currentDate(), operatorName);
    const QString id = m_db->scalar(QStringLiteral("SELECT ID FROM SPrice WHERE theName = '住宅'"));
    try {
        RefLists::changePrice(id, price);
        QFAIL("stored");
    } catch (const AppError &e) {
        QVERIFY2(e.message().startsWith(refusal), qPrintable(e.message()));
    }
    if (operatorName != QStringLiteral("管理员")) {
        // Applying is refused alike, even for a price set before.
        m_db->exec(QStringLiteral("UPDATE SPrice SET thePrice = 25 WHERE ID = ") + id);
        try {
            RefLists::applyPrice(id);
            QFAIL("applied");
        } catch (const AppError &e) {
            QVERIFY2(e.message().startsWith(refusal), qPrintable(e.message()));
        }
        m_db->exec(QStringLiteral("UPDATE SPrice SET thePrice = 20 WHERE ID = ") + id);
    }
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT thePrice FROM SPrice WHERE ID = ") + id), QStringLiteral("20"));
    QCOMPARE(prices(), QStringLiteral("0101=20 0102=20 0103=18 0104=20 0201=30"));
    QCOMPARE(records(), QStringList());
}

// The dialog asks for the price first, as 保存 does, and changes nothing without it.
void TestPriceChange::emptyPriceBoxAsksNothing()
{
    MessageRecorder boxes;
    UnitPricesDialog d;
    d.modifyButton->click();
    QCOMPARE(boxes.texts(), QStringList{"单价 不能为空！"});
    QCOMPARE(records(), QStringList());
}

QTEST_MAIN(TestPriceChange)
#include "tst_pricechange.moc"
