// The record of changes: one record for every money-relevant change, written with the
// change (none when the change is refused, both or neither when the writer is killed), the
// 操作记录 window, and files of the earlier version gaining the new tables on opening.
#include "charging/ChargeLogic.h"
#include "charging/PaymentVoid.h"
#include "data/ChangeLog.h"
#include "data/Schema.h"
#include "data/SchemaTables.h"
#include "data/DataModule.h"
#include "operators/Accounts.h"
#include "operators/ChangeLogWindow.h"
#include "owners/OwnerEntry.h"
#include "owners/OwnerImport.h"
#include "sheets/SheetReader.h"
#include "reference/RefLists.h"
#include "tests/support/Doubles.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"
#include "browse/QueryModel.h"

#include <QApplication>
#include <QCheckBox>
#include <QHelpEvent>
#include <QPlainTextEdit>
#include <QTableView>
#include <QToolTip>
#include <QLineEdit>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <csignal>
#include <memory>

class TestChangeLog : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void recordOfEachAction_data();
    void recordOfEachAction();
    void refusedChangeLeavesNoRecord_data();
    void refusedChangeLeavesNoRecord();
    void modifyWithoutChangeLeavesNoRecord();
    void killedWritersLeaveBothOrNeither();
    void window();
    void recordReadInFull();
    void olderFileGainsTheTables();

private:
    void act(const QString &action);
    std::unique_ptr<TestDb> m_db;
};

namespace {
const QString Area = QStringLiteral("幸福小区");

House house(const QString &room)
{
    return House{Area, room, QStringLiteral("100"), QStringLiteral("住宅"), QStringLiteral("20"),
                 QStringLiteral("2024-04-10"), QStringLiteral("张三"), QStringLiteral("13800000000"), {}};
}

Sheet sheetOf(const QList<QStringList> &rows)
{
    Sheet s;
    s.headings = OwnerImport::headings();
    int n = 1;
    for (const QStringList &r : rows)
        s.addRow(r, ++n);
    return s;
}
} // namespace

void TestChangeLog::init()
{
    m_db = std::make_unique<TestDb>();
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('幸福小区', '')"));
    m_db->exec(QStringLiteral("INSERT INTO SPrice (theName, thePrice, Remark) VALUES ('住宅', 20, '')"));
    m_db->login(QDate(2024, 10, 10));
    QVERIFY(OwnerEntry::add(house(QStringLiteral("1-101"))));
}

void TestChangeLog::cleanup() { m_db.reset(); }

// Runs one named action of the table below.
void TestChangeLog::act(const QString &action)
{
    const QString id = m_db->scalar(QStringLiteral("SELECT ID FROM UHouse WHERE theNum = '1-101'"));
    if (action == QLatin1String("add house")) {
        QVERIFY(OwnerEntry::add(house(QStringLiteral("1-102"))));
    } else if (action == QLatin1String("modify house")) {
        House h = house(QStringLiteral("1-101"));
        h.endDate = QStringLiteral("2025-04-10");
        h.floorArea = QStringLiteral("95.5");
        h.price = QStringLiteral("22");
        h.purpose = QStringLiteral("商业");
        OwnerEntry::update(id, h, OwnerEntry::load(id));
    } else if (action == QLatin1String("delete house")) {
        OwnerEntry::markDeleted(id);
    } else if (action == QLatin1String("import")) {
        QCOMPARE(OwnerImport::run(sheetOf({{"2-1", "80", "住宅", "20", "2024-04-10", "李四", "", ""},
                                           {"2-2", "90", "住宅", "20", "2024-04-10", "王五", "", ""}}),
                                  Area, {}, nullptr, QStringLiteral("业主.xlsx")),
                 2);
    } else if (action == QLatin1String("charge")) {
        Payment(Area, QStringLiteral("1-101")).save();
    } else if (action == QLatin1String("void")) {
        Payment(Area, QStringLiteral("1-101")).save();
        PaymentVoid::run(QStringLiteral("2410100001"), QStringLiteral("错收"));
    } else if (action == QLatin1String("add operator")) {
        RefLists::add(Accounts::users(), QStringLiteral("收费员甲"), QString());
    } else if (action == QLatin1String("delete operator")) {
        RefLists::add(Accounts::users(), QStringLiteral("收费员甲"), QString());
        RefLists::remove(Accounts::users(), m_db->scalar(QStringLiteral("SELECT ID FROM SUser WHERE theName = '收费员甲'")));
    } else if (action == QLatin1String("add price")) {
        RefLists::add(RefLists::prices(), QStringLiteral("商业"), QString(), QStringLiteral("35.5"));
    } else if (action == QLatin1String("delete price")) {
        RefLists::remove(RefLists::prices(), m_db->scalar(QStringLiteral("SELECT ID FROM SPrice WHERE theName = '住宅'")));
    }
}

void TestChangeLog::recordOfEachAction_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("recorded"); // theAction | AName | HNum | theChange of the newest record
    QTest::newRow("add house") << "add house" << "新增业主|幸福小区|1-102|面积 100，房屋用途 住宅，单价 20，到期日期 2024-04-10，业主名称 张三";
    QTest::newRow("modify house") << "modify house"
                                  << "修改业主|幸福小区|1-101|面积：100 → 95.5；房屋用途：住宅 → 商业；单价：20 → 22；到期日期：2024-04-10 → 2025-04-10";
    QTest::newRow("delete house") << "delete house" << "删除业主|幸福小区|1-101|标记为删除";
    QTest::newRow("import") << "import" << "导入业主|幸福小区||文件 业主.xlsx，小区 幸福小区：导入业主 2 条";
    QTest::newRow("charge") << "charge"
                            << "收费|幸福小区|1-101|单号 2410100001，金额 2000，收费年数 1，期间 2024-04-11 至 2025-04-10，到期日期：2024-04-10 → 2025-04-10";
    QTest::newRow("void") << "void" << "作废收费|幸福小区|1-101|单号 2410100001，金额 2000，到期日期：2025-04-10 → 2024-04-10，原因：错收";
    QTest::newRow("add operator") << "add operator" << "新增操作员|||用户名 收费员甲";
    QTest::newRow("delete operator") << "delete operator" << "删除操作员|||用户名 收费员甲";
    QTest::newRow("add price") << "add price" << "新增单价|||房屋用途 商业，单价 35.5";
    QTest::newRow("delete price") << "delete price" << "删除单价|||房屋用途 住宅，单价 20";
}

void TestChangeLog::recordOfEachAction()
{
    QFETCH(QString, action);
    QFETCH(QString, recorded);
    act(action);
    const Rows r = dataModule().query(QStringLiteral("SELECT * FROM ULog ORDER BY ID DESC"));
    QCOMPARE(r.value(QStringLiteral("theAction")) + QLatin1Char('|') + r.value(QStringLiteral("AName")) + QLatin1Char('|')
                 + r.value(QStringLiteral("HNum")) + QLatin1Char('|') + r.value(QStringLiteral("theChange")),
             recorded);
    // Stamped with the operator, the charging date and the computer's time.
    QCOMPARE(r.value(QStringLiteral("UName")), QStringLiteral("管理员"));
    QCOMPARE(r.value(QStringLiteral("theDate")), QStringLiteral("2024-10-10"));
    const QDateTime when = QDateTime::fromString(r.value(QStringLiteral("theTime")), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QVERIFY(qAbs(when.secsTo(QDateTime::currentDateTime())) < 120);
    // The row named is the row changed.
    const QString table = r.value(QStringLiteral("theTable"));
    if (!r.value(QStringLiteral("RowID")).isEmpty() && !action.startsWith(QLatin1String("delete")))
        QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM %1 WHERE ID = %2").arg(table, r.value(QStringLiteral("RowID")))), 1);
}

void TestChangeLog::refusedChangeLeavesNoRecord_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("room taken") << "room taken";
    QTest::newRow("modify with a bad area") << "modify bad";
    QTest::newRow("charge with a bad amount") << "charge bad";
    QTest::newRow("void refused") << "void refused";
    QTest::newRow("price not a number") << "price bad";
    QTest::newRow("import without headings") << "import bad";
}

void TestChangeLog::refusedChangeLeavesNoRecord()
{
    QFETCH(QString, action);
    const int before = m_db->count(QStringLiteral("SELECT ID FROM ULog"));
    const QString id = m_db->scalar(QStringLiteral("SELECT ID FROM UHouse"));
    try {
        if (action == QLatin1String("room taken")) {
            QVERIFY(!OwnerEntry::add(house(QStringLiteral("1-101"))));
        } else if (action == QLatin1String("modify bad")) {
            House h = house(QStringLiteral("1-101"));
            h.floorArea = QStringLiteral("90.5.5");
            OwnerEntry::update(id, h, OwnerEntry::load(id));
        } else if (action == QLatin1String("charge bad")) {
            Payment(Area, QStringLiteral("1-101")).amount(QStringLiteral("12..5")).save();
        } else if (action == QLatin1String("void refused")) {
            PaymentVoid::run(QStringLiteral("2410109999"), QStringLiteral("错收"));
        } else if (action == QLatin1String("price bad")) {
            RefLists::add(RefLists::prices(), QStringLiteral("商业"), QString(), QStringLiteral("3..5"));
        } else if (action == QLatin1String("import bad")) {
            Sheet s;
            s.headings = {QStringLiteral("房号")};
            s.addRow(QStringList{QStringLiteral("3-1")}, 2);
            OwnerImport::run(s, Area, {}, nullptr, QStringLiteral("x.xlsx"));
        }
    } catch (const AppError &) {
    }
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM ULog")), before);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 0);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM SPrice")), 1);
}

void TestChangeLog::modifyWithoutChangeLeavesNoRecord()
{
    const int before = m_db->count(QStringLiteral("SELECT ID FROM ULog"));
    const QString id = m_db->scalar(QStringLiteral("SELECT ID FROM UHouse"));
    OwnerEntry::update(id, house(QStringLiteral("1-101")), OwnerEntry::load(id));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM ULog")), before);
}

void TestChangeLog::killedWritersLeaveBothOrNeither()
{
    SKIP_ON_SERVER("the file's journal after a killed writer (a server rolls a killed client's transaction back itself)");
    // Payments and voids by the admin tool, each killed at a random moment: every payment
    // stored has its record, every void too, and no record names a change that is not there.
    dataModule().closeConnection();
    QRandomGenerator rng(18);
    int killed = 0;
    for (int i = 0; i < 40; ++i) {
        const bool voiding = i % 3 == 2;
        QStringList args;
        if (voiding) {
            const QString latest = m_db->scalar(QStringLiteral("SELECT theNum FROM UCharge WHERE theDel = '否' ORDER BY ID DESC"));
            if (latest.isEmpty())
                continue;
            args = {QStringLiteral("void"), QStringLiteral("--db"), m_db->path(), latest, QStringLiteral("--reason"),
                    QStringLiteral("测试")};
        } else {
            args = {QStringLiteral("charge"), QStringLiteral("--db"), m_db->path(), QStringLiteral("--area"), Area,
                    QStringLiteral("--room"), QStringLiteral("1-101"), QStringLiteral("--years"), QStringLiteral("1"),
                    QStringLiteral("--charge-date"), QStringLiteral("2024-10-10")};
        }
        dataModule().closeConnection();
        QProcess p;
        p.start(QStringLiteral(ADMIN_TOOL_PATH), args);
        QVERIFY(p.waitForStarted());
        QTest::qSleep(int(rng.bounded(20, 160)));
        if (p.state() == QProcess::Running) {
            ::kill(pid_t(p.processId()), SIGKILL);
            ++killed;
        }
        p.waitForFinished(60000);
    }
    QVERIFY2(killed > 0, "no writer was killed mid-way");
    QCOMPARE(m_db->scalar(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
    // Payments and their records, ID for ID.
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT group_concat(ID) FROM (SELECT ID FROM UCharge ORDER BY ID) ordered")),
             m_db->scalar(QStringLiteral("SELECT group_concat(RowID) FROM (SELECT RowID FROM ULog WHERE theAction = '收费' ORDER BY RowID) ordered")));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT group_concat(CID) FROM (SELECT CID FROM UVoid ORDER BY CID) ordered")),
             m_db->scalar(QStringLiteral("SELECT group_concat(RowID) FROM (SELECT RowID FROM ULog WHERE theAction = '作废收费' ORDER BY RowID) ordered")));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT group_concat(ID) FROM (SELECT ID FROM UCharge WHERE theDel = '是' ORDER BY ID) ordered")),
             m_db->scalar(QStringLiteral("SELECT group_concat(CID) FROM (SELECT CID FROM UVoid ORDER BY CID) ordered")));
    // The paid-up date is the end of the newest live payment.
    const QString newest = m_db->scalar(QStringLiteral("SELECT JZDate FROM UCharge WHERE theDel = '否' ORDER BY ID DESC"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE theNum = '1-101'")),
             newest.isEmpty() ? QStringLiteral("2024-04-10") : newest);
}

void TestChangeLog::window()
{
    act(QStringLiteral("add house"));
    act(QStringLiteral("charge"));
    act(QStringLiteral("add price"));
    MessageRecorder rec;
    ChangeLogWindow w;
    QCOMPARE(w.windowTitle(), QStringLiteral("操作记录"));
    w.runQuery();
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(w.listModel->rowCount(), 4);
    QCOMPARE(w.listModel->value(0, QStringLiteral("操作")), QStringLiteral("新增单价"));
    QVERIFY(w.waitForFigures());
    QCOMPARE(w.countLabel->text(), QStringLiteral("记录：4"));
    // By action (any part of it) and room number.
    w.edit(1)->setText(QStringLiteral("业主"));
    w.runQuery();
    QCOMPARE(w.listModel->rowCount(), 2);
    w.edit(2)->setText(QStringLiteral("102"));
    w.runQuery();
    QCOMPARE(w.listModel->rowCount(), 1);
    QCOMPARE(w.listModel->value(0, QStringLiteral("房号")), QStringLiteral("1-102"));
    // The date range is the day of the record; today's records are inside the default.
    w.checkBox(3)->setChecked(false);
    w.checkBox(4)->setChecked(false);
    w.checkBox(1)->setChecked(true);
    w.runQuery();
    QCOMPARE(w.listModel->rowCount(), 4);
    QVERIFY(w.excelButton->isEnabled());
}

// A record's changed values are read in full: their column takes the grid's free width, a
// cell too narrow for them shows them whole as its tooltip, and a double click or Enter on
// the row shows the record with all of them, wrapped.
void TestChangeLog::recordReadInFull()
{
    QStringList parts;
    for (int i = 1; i <= 30; ++i)
        parts << QStringLiteral("备注：旧的说明文字%1 → 新的说明文字%1").arg(i);
    const QString change = parts.join(QStringLiteral("；"));
    m_db->exec(QStringLiteral("INSERT INTO ULog (theTime, UName, theDate, theAction, theTable, RowID, AName, HNum, theChange) "
                              "VALUES ('2024-10-10 09:30:00', '管理员', '2024-10-10', '修改业主', 'UHouse', 1, '幸福小区', "
                              "'1-101', '%1')").arg(change));
    MessageRecorder rec;
    ScriptedDialogs dialogs;
    ChangeLogWindow w;
    w.resize(1600, 560);
    showAndWait(&w);
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.runQuery();
    QCOMPARE(w.listModel->rowCount(), 2);
    QCOMPARE(w.listModel->value(0, QStringLiteral("变更内容")), change);
    const int c = w.listModel->columnIndex(QStringLiteral("变更内容"));
    int others = 0;
    for (int k = 0; k < w.listModel->columnCount(); ++k)
        if (k != c && !w.listGrid->isColumnHidden(k))
            others += w.listGrid->columnWidth(k);
    QVERIFY(w.listGrid->columnWidth(c) > 420);
    QCOMPARE(w.listGrid->columnWidth(c), w.listGrid->viewport()->width() - others);

    const QRect cell = w.listGrid->visualRect(w.listModel->index(0, c));
    QHelpEvent help(QEvent::ToolTip, cell.center(), w.listGrid->viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(w.listGrid->viewport(), &help);
    QCOMPARE(QToolTip::text(), QStringLiteral("<p style='white-space:pre-wrap'>") + change.toHtmlEscaped() + QStringLiteral("</p>"));
    QToolTip::hideText();

    QStringList shown;
    const auto read = [&](ChangeRecordDialog &d) {
        shown << d.windowTitle() << d.changeText->toPlainText();
        QVERIFY(d.changeText->isReadOnly());
        QCOMPARE(d.changeText->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QVERIFY(d.findChildren<QLabel *>().size() > 7);
    };
    dialogs.nextAs<ChangeRecordDialog>(read);
    // The first click of the two, then the second, which the window system sends as a double click.
    QTest::mouseClick(w.listGrid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QTest::mouseDClick(w.listGrid->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QCOMPARE(dialogs.opened, 1);
    QCOMPARE(shown, (QStringList{QStringLiteral("操作记录"), change}));

    shown.clear();
    dialogs.nextAs<ChangeRecordDialog>(read);
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.listGrid->setFocus();
    QTest::keyClick(w.listGrid, Qt::Key_Return);
    QCOMPARE(dialogs.opened, 2);
    QCOMPARE(shown, (QStringList{QStringLiteral("操作记录"), change}));
    QCOMPARE(rec.entries.size(), 0);
}

void TestChangeLog::olderFileGainsTheTables()
{
    SKIP_ON_SERVER("a file's own upgrade (the server's is in the data tests)");
    // A file as the earlier version made it: no voids, no record, version 2.
    m_db->exec(QStringLiteral("DROP TABLE UVoid"));
    m_db->exec(QStringLiteral("DROP TABLE ULog"));
    m_db->exec(QStringLiteral("DROP INDEX UCharge_HID"));
    // The operators and the unit's row as version 2 kept them: the file's engine drops no
    // column, so the two tables are made again in their first form.
    const QStringList first = Database::splitStatements(SchemaTables::tablesAddedIn(SchemaTables::Engine::File, 1));
    for (const QString &table : {QStringLiteral("SUser"), QStringLiteral("SDept")}) {
        const QStringList columns = table == QLatin1String("SUser")
            ? QStringList{QStringLiteral("ID"), QStringLiteral("theName"), QStringLiteral("thePass"), QStringLiteral("Remark"),
                          QStringLiteral("theMT"), QStringLiteral("theHT"), QStringLiteral("theAN")}
            : QStringList{QStringLiteral("ID"), QStringLiteral("theName"), QStringLiteral("F1"), QStringLiteral("theBM"),
                          QStringLiteral("theBD"), QStringLiteral("theEM"), QStringLiteral("theED")};
        m_db->exec(QStringLiteral("ALTER TABLE %1 RENAME TO %1_new").arg(table));
        for (const QString &statement : first)
            if (statement.startsWith(QStringLiteral("CREATE TABLE %1 ").arg(table)))
                m_db->exec(statement);
        m_db->exec(QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %1_new; DROP TABLE %1_new")
                       .arg(table, columns.join(QStringLiteral(", "))));
        for (const QString &statement : first)
            if (statement.startsWith(QLatin1String("CREATE INDEX")) && statement.contains(QStringLiteral(" ON %1 ").arg(table)))
                m_db->exec(statement);
    }
    m_db->exec(QStringLiteral("PRAGMA user_version = 2"));
    dataModule().closeConnection();
    // Opening it (as the program and the admin tool do) upgrades it; a charge is recorded.
    QCOMPARE(dataModule().db().scalar(QStringLiteral("PRAGMA user_version")), QString::number(Schema::Version));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UVoid")), 0);
    Payment(Area, QStringLiteral("1-101")).save();
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM ULog WHERE theAction = '收费'")), 1);
    // An upgraded file opens again without change.
    dataModule().closeConnection();
    Database db;
    db.open(m_db->path(), QString::fromUtf8(Schema::DatabaseKey));
    QVERIFY(!Schema::upgradeStep(db));
}

QTEST_MAIN(TestChangeLog)
#include "tst_changelog.moc"
