#include "data/TfrmDM.h"
#include "reference/RefLists.h"
#include "reference/TfrmRefList.h"
#include "reference/TfrmSDept.h"
#include "reference/UnitSettings.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestSupport.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/RangeSpinBox.h"
#include "widgets/RowsModel.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QClipboard>
#include <QGroupBox>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class TestReference : public QObject {
    Q_OBJECT
private slots:
    void rowsModelPassesTester();

    void listShape_data();
    void listShape();
    void emptyBoxesRefused_data();
    void emptyBoxesRefused();
    void saveAddsAndRefusesDuplicate_data();
    void saveAddsAndRefusesDuplicate();
    void statements_data();
    void statements();
    void deleteAsksFirst_data();
    void deleteAsksFirst();
    void deleteOnEmptyListAsksNothing_data();
    void deleteOnEmptyListAsksNothing();
    void priceWithTwoPointsRefusedByDatabase();
    void byteLimits_data();
    void byteLimits();

    void unitShowsAndSaves();
    void unitSpinBoxesSettle_data();
    void unitSpinBoxesSettle();
    void unitSpinBoxSettlesOnFocusOut();
    void unitPeriodNotNumbers();
    void unitRefusedStatementKeepsRunning();
    void unitExitSavesNothing();
    void periodEnd_data();
    void periodEnd();
    void areaOfLiveHousesIsKept();
    void unitSpinBoxBeepsOnRefusedKey();
};

namespace {

std::unique_ptr<TfrmRefList> makeList(const QString &kind)
{
    if (kind == QLatin1String("area"))
        return std::make_unique<TfrmSArea>();
    if (kind == QLatin1String("method"))
        return std::make_unique<TfrmMType>();
    return std::make_unique<TfrmSPrice>();
}

QString tableOf(const QString &kind)
{
    if (kind == QLatin1String("area"))
        return QStringLiteral("SArea");
    if (kind == QLatin1String("method"))
        return QStringLiteral("SMType");
    return QStringLiteral("SPrice");
}

// Inserts a row the way the dialog would, straight into the table.
void insertRow(TestDb &db, const QString &kind, const QString &name, const QString &remark = {})
{
    if (kind == QLatin1String("price"))
        db.exec(QStringLiteral("INSERT INTO SPrice (theName, thePrice, Remark) VALUES ('%1', 2.5, '%2')").arg(name, remark));
    else
        db.exec(QStringLiteral("INSERT INTO %1 (theName, Remark) VALUES ('%2', '%3')").arg(tableOf(kind), name, remark));
}

void addKinds()
{
    QTest::addColumn<QString>("kind");
}

// What the operator types arrives as committed input-method text (Chinese) or keys.
void typeInto(QLineEdit *edit, const QString &text)
{
    QInputMethodEvent ev;
    ev.setCommitString(text);
    QCoreApplication::sendEvent(edit, &ev);
}

} // namespace

void TestReference::rowsModelPassesTester()
{
    RowsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setRows(Rows({QStringLiteral("小区名称"), QStringLiteral("备注"), QStringLiteral("ID")},
                       {{QStringLiteral("东区"), QString(), QStringLiteral("1")},
                        {QStringLiteral("西区"), QStringLiteral("新建"), QStringLiteral("2")}}));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("备注"));
    QCOMPARE(model.data(model.index(1, 1)).toString(), QStringLiteral("新建"));
    QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
    model.setRows(Rows());
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
}

void TestReference::listShape_data()
{
    addKinds();
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("listGroup");
    QTest::addColumn<QString>("entryGroup");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QList<int>>("widths"); // -1: hidden, 0: not checked
    QTest::newRow("areas") << "area" << "小区设置" << "小区列表信息" << "小区信息"
                           << QStringList{"小区名称", "备注", "ID"} << QList<int>{0, 280, -1};
    QTest::newRow("methods") << "method" << "收款方式设置" << "收款方式列表信息" << "收款方式信息"
                             << QStringList{"收款方式", "备注", "ID"} << QList<int>{0, 280, -1};
    QTest::newRow("prices") << "price" << "单价设置" << "单价列表信息" << "单价信息"
                            << QStringList{"房屋用途", "单价", "备注", "ID"} << QList<int>{0, 80, 200, -1};
}

void TestReference::listShape()
{
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(QString, listGroup);
    QFETCH(QString, entryGroup);
    QFETCH(QStringList, titles);
    QFETCH(QList<int>, widths);
    TestDb db;
    MessageRecorder rec;
    insertRow(db, kind, QStringLiteral("甲"));
    insertRow(db, kind, QStringLiteral("乙"));
    auto w = makeList(kind);
    showAndWait(w.get());

    QCOMPARE(w->windowTitle(), caption);
    QCOMPARE(w->size(), QSize(500, 430));
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QVERIFY(w->isModal());
    QVERIFY(!(w->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(w->GroupBox1->title(), listGroup);
    QCOMPARE(w->GroupBox2->title(), entryGroup);
    QCOMPARE(w->BitBtn1->text(), QStringLiteral("保存"));
    QCOMPARE(w->BitBtn2->text(), QStringLiteral("退出"));
    QCOMPARE(w->D1->text(), QStringLiteral("删除 &D"));
    QCOMPARE(w->DBGrid1->contextMenuPolicy(), Qt::CustomContextMenu);
    QCOMPARE(w->DBGrid1->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(w->DBGrid1->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(w->Edit3 != nullptr, kind == QLatin1String("price"));
    if (w->Edit3)
        QCOMPARE(w->Edit3->allowedChars(), QStringLiteral("0123456789."));

    QAbstractItemModel *m = w->DBGrid1->model();
    QCOMPARE(m->columnCount(), titles.size());
    QCOMPARE(m->rowCount(), 2);
    for (int c = 0; c < titles.size(); ++c) {
        QCOMPARE(m->headerData(c, Qt::Horizontal).toString(), titles.at(c));
        QCOMPARE(w->DBGrid1->isColumnHidden(c), widths.at(c) < 0);
        if (widths.at(c) > 0)
            QCOMPARE(w->DBGrid1->columnWidth(c), widths.at(c));
    }
    QCOMPARE(w->DBGrid1->currentIndex().row(), 0);
    QCOMPARE(focusIn(w.get()), w->Edit1);
    QCOMPARE(rec.entries.size(), 0);
}

void TestReference::emptyBoxesRefused_data()
{
    addKinds();
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus"); // the box named by the message
    QTest::newRow("area name") << "area" << "" << "" << "小区名称 不能为空！" << "Edit1";
    QTest::newRow("method name") << "method" << "" << "" << "收款方式 不能为空！" << "Edit1";
    QTest::newRow("purpose name") << "price" << "" << "2.5" << "房屋用途 不能为空！" << "Edit1";
    QTest::newRow("price") << "price" << "住宅" << "" << "单价 不能为空！" << "Edit3";
}

void TestReference::emptyBoxesRefused()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QFETCH(QString, price);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    TestDb db;
    MessageRecorder rec;
    auto w = makeList(kind);
    showAndWait(w.get());
    w->Edit1->setText(name);
    w->Edit2->setText(QStringLiteral("备注"));
    if (w->Edit3)
        w->Edit3->setText(price);
    w->BitBtn2->setFocus();

    w->BitBtn1Click();
    QCOMPARE(rec.texts(), QStringList{message});
    QCOMPARE(rec.entries.first().kind, QStringLiteral("info"));
    QWidget *expected = focus == QLatin1String("Edit3") ? static_cast<QWidget *>(w->Edit3) : w->Edit1;
    QCOMPARE(focusIn(w.get()), expected);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM ") + tableOf(kind)), 0);
    QCOMPARE(w->Edit2->text(), QStringLiteral("备注"));
}

void TestReference::saveAddsAndRefusesDuplicate_data()
{
    addKinds();
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QString>("duplicate");
    QTest::newRow("areas") << "area" << "小区信息 保存成功！" << "小区名称 已存在，请重新录入！";
    QTest::newRow("methods") << "method" << "收款方式 保存成功！" << "收款方式 已存在，请重新录入！";
    QTest::newRow("prices") << "price" << "单价信息 保存成功！" << "房屋用途 已存在，请重新录入！";
}

void TestReference::saveAddsAndRefusesDuplicate()
{
    QFETCH(QString, kind);
    QFETCH(QString, saved);
    QFETCH(QString, duplicate);
    TestDb db;
    MessageRecorder rec;
    insertRow(db, kind, QStringLiteral("甲"));
    auto w = makeList(kind);
    showAndWait(w.get());
    const QString table = tableOf(kind);

    // A new name with an empty remark: stored, boxes cleared, the list re-read from the top.
    w->DBGrid1->setCurrentIndex(w->DBGrid1->model()->index(0, 0));
    w->Edit1->setText(QStringLiteral("Garden"));
    if (w->Edit3)
        w->Edit3->setText(QStringLiteral("3.5"));
    w->BitBtn1Click();
    QCOMPARE(rec.texts(), QStringList{saved});
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM %1 WHERE theName = 'Garden' AND Remark = ''").arg(table)), 1);
    if (w->Edit3) {
        QCOMPARE(db.scalar(QStringLiteral("SELECT thePrice FROM SPrice WHERE theName = 'Garden'")), QStringLiteral("3.5"));
        QCOMPARE(w->Edit3->text(), QString());
    }
    QCOMPARE(w->Edit1->text(), QString());
    QCOMPARE(w->Edit2->text(), QString());
    QCOMPARE(focusIn(w.get()), w->Edit1);
    QCOMPARE(w->DBGrid1->model()->rowCount(), 2);
    QCOMPARE(w->DBGrid1->currentIndex().row(), 0);
    QCOMPARE(SqlText, w->config().listStatement);

    // The same name in other letter case, whatever the remark and price, is refused.
    rec.clear();
    w->Edit1->setText(QStringLiteral("GARDEN"));
    w->Edit2->setText(QStringLiteral("另一个"));
    if (w->Edit3)
        w->Edit3->setText(QStringLiteral("9"));
    w->BitBtn2->setFocus();
    w->BitBtn1Click();
    QCOMPARE(rec.texts(), QStringList{duplicate});
    QCOMPARE(focusIn(w.get()), w->Edit1);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM %1").arg(table)), 2);
    QCOMPARE(w->Edit1->text(), QStringLiteral("GARDEN"));
    QCOMPARE(w->Edit2->text(), QStringLiteral("另一个"));
}

void TestReference::statements_data()
{
    addKinds();
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("duplicate");
    QTest::addColumn<QString>("insert");
    QTest::addColumn<QString>("remove");
    QTest::newRow("areas") << "area" << "SELECT theName AS 小区名称, Remark AS 备注, ID FROM SArea "
                           << "SELECT ID FROM SArea WHERE (theName = 'O''Hara')"
                           << "INSERT INTO SArea (theName, Remark) VALUES ('O''Hara', '东''门') "
                           << "DELETE FROM SArea WHERE (ID = 1)";
    QTest::newRow("methods") << "method" << "SELECT theName AS 收款方式, Remark AS 备注, ID FROM SMType "
                             << "SELECT ID FROM SMType WHERE (theName = 'O''Hara')"
                             << "INSERT INTO SMType (theName, Remark) VALUES ('O''Hara', '东''门') "
                             << "DELETE FROM SMType WHERE (ID = 1)";
    QTest::newRow("prices") << "price" << "SELECT theName AS 房屋用途, thePrice AS 单价, Remark AS 备注, ID FROM SPrice "
                            << "SELECT ID FROM SPrice WHERE (theName = 'O''Hara')"
                            << "INSERT INTO SPrice (theName, Remark, thePrice) VALUES ('O''Hara', '东''门', '12.5') "
                            << "DELETE FROM SPrice WHERE (ID = 1)";
}

void TestReference::statements()
{
    QFETCH(QString, kind);
    QFETCH(QString, list);
    QFETCH(QString, duplicate);
    QFETCH(QString, insert);
    QFETCH(QString, remove);
    TestDb db;
    auto w = makeList(kind);
    const RefLists::ListConfig &config = w->config();

    RefLists::list(config);
    QCOMPARE(SqlText, list);
    QVERIFY(!RefLists::exists(config, QStringLiteral("O'Hara")));
    QCOMPARE(SqlText, duplicate);
    RefLists::add(config, QStringLiteral("O'Hara"), QStringLiteral("东'门"), QStringLiteral("12.5"));
    QCOMPARE(SqlText, insert);
    // A quote stays inside its value: the row holds exactly what was typed.
    QCOMPARE(db.scalar(QStringLiteral("SELECT Remark FROM %1 WHERE theName = 'O''Hara'").arg(tableOf(kind))),
             QStringLiteral("东'门"));
    QVERIFY(RefLists::exists(config, QStringLiteral("o'hara")));
    RefLists::remove(config, QStringLiteral("1"));
    QCOMPARE(SqlText, remove);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM ") + tableOf(kind)), 0);
    // Only a whole number read from the list goes in bare.
    QVERIFY_THROWS_EXCEPTION(AppError, RefLists::remove(config, QStringLiteral("1) OR (1=1")));
}

void TestReference::deleteAsksFirst_data()
{
    addKinds();
    QTest::newRow("areas") << "area";
    QTest::newRow("methods") << "method";
    QTest::newRow("prices") << "price";
}

void TestReference::deleteAsksFirst()
{
    QFETCH(QString, kind);
    TestDb db;
    MessageRecorder rec;
    insertRow(db, kind, QStringLiteral("甲"));
    insertRow(db, kind, QStringLiteral("乙"));
    insertRow(db, kind, QStringLiteral("丙"));
    auto w = makeList(kind);
    showAndWait(w.get());
    const QString table = tableOf(kind);
    QAbstractItemModel *m = w->DBGrid1->model();

    // No keeps the row.
    w->DBGrid1->setCurrentIndex(m->index(1, 0));
    rec.answers = {false};
    w->D1Click();
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(rec.entries.first().kind, QStringLiteral("question"));
    QCOMPARE(rec.entries.first().caption, QStringLiteral("删除"));
    QCOMPARE(rec.entries.first().text, QStringLiteral("确认要删除吗？该删除将不可恢复！"));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM ") + table), 3);

    // Yes removes the current row for good; the grid is back on its first row.
    rec.clear();
    rec.answers = {true};
    w->D1->trigger(); // the pop-up item
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM %1 WHERE theName = '乙'").arg(table)), 0);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM ") + table), 2);
    QCOMPARE(m->rowCount(), 2);
    QCOMPARE(w->DBGrid1->currentIndex().row(), 0);
    QCOMPARE(m->data(m->index(0, 0)).toString(), QStringLiteral("甲"));
}

void TestReference::deleteOnEmptyListAsksNothing_data() { deleteAsksFirst_data(); }

void TestReference::deleteOnEmptyListAsksNothing()
{
    QFETCH(QString, kind);
    TestDb db;
    MessageRecorder rec;
    auto w = makeList(kind);
    showAndWait(w.get());
    QCOMPARE(w->DBGrid1->model()->rowCount(), 0);
    SqlText.clear();
    w->D1Click();
    QCOMPARE(rec.entries.size(), 0);
    QCOMPARE(SqlText, QString());
}

void TestReference::priceWithTwoPointsRefusedByDatabase()
{
    TestDb db;
    MessageRecorder rec;
    TfrmSPrice w;
    showAndWait(&w);
    w.Edit1->setText(QStringLiteral("住宅"));
    w.Edit3->setFocus();
    // The key filter drops letters but lets a second point through.
    QTest::keyClicks(w.Edit3, QStringLiteral("1a2..x5"));
    QCOMPARE(w.Edit3->text(), QStringLiteral("12..5"));
    w.BitBtn1Click();
    QCOMPARE(rec.errors(), 1);
    QCOMPARE(rec.entries.size(), 1);
    QVERIFY(!rec.last().isEmpty());
    QCOMPARE(w.Edit1->text(), QStringLiteral("住宅"));
    QCOMPARE(w.Edit3->text(), QStringLiteral("12..5"));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SPrice")), 0);
    QCOMPARE(w.DBGrid1->model()->rowCount(), 0);
}

void TestReference::byteLimits_data()
{
    addKinds();
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    const QString twenty6 = QString(26, QChar(0x4E1C)); // 26 x 东
    QTest::newRow("area name: 6 Chinese") << "area" << "Edit1" << "一二三四五六七" << "一二三四五六";
    QTest::newRow("area name: mixed") << "area" << "Edit1" << "ab一二三四五六" << "ab一二三四五";
    QTest::newRow("method name: ascii") << "method" << "Edit1" << "abcdefghijklmn" << "abcdefghijkl";
    QTest::newRow("purpose name") << "price" << "Edit1" << "一二三四五六七" << "一二三四五六";
    QTest::newRow("remark: 25 Chinese") << "area" << "Edit2" << twenty6 << twenty6.left(25);
    QTest::newRow("price: 6 bytes") << "price" << "Edit3" << "1234567" << "123456";
}

void TestReference::byteLimits()
{
    QFETCH(QString, kind);
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    TestDb db;
    MessageRecorder rec;
    auto w = makeList(kind);
    showAndWait(w.get());
    GbkLineEdit *e = box == QLatin1String("Edit1") ? w->Edit1 : box == QLatin1String("Edit2") ? w->Edit2 : w->Edit3;
    e->setFocus();

    typeInto(e, typed);
    QCOMPARE(e->text(), kept);
    QVERIFY(gbkByteLength(e->text()) <= e->byteLimit());

    // Pasting is held to the same limit.
    e->clear();
    QGuiApplication::clipboard()->setText(typed);
    e->paste();
    QCOMPARE(e->text(), kept);
}

void TestReference::unitShowsAndSaves()
{
    TestDb db;
    MessageRecorder rec;
    QuitAfterMessage quit(rec);
    db.login();
    UnitName = QStringLiteral("热力公司");
    PeriodBeginMonth = QStringLiteral("10");
    PeriodBeginDay = QStringLiteral("10");
    PeriodEndMonth = QStringLiteral("4");
    PeriodEndDay = QStringLiteral("10");
    TfrmSDept w;
    showAndWait(&w);
    QCOMPARE(w.windowTitle(), QStringLiteral("使用单位设置"));
    QCOMPARE(w.size(), QSize(520, 197));
    QCOMPARE(w.Edit1->text(), QStringLiteral("热力公司"));
    QCOMPARE(w.Edit1->byteLimit(), 50);
    const QList<RangeSpinBox *> spins{w.SpinEdit1, w.SpinEdit2, w.SpinEdit3, w.SpinEdit4};
    const QList<int> values{10, 10, 4, 10};
    const QList<int> maxima{12, 31, 12, 31};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(spins.at(i)->value(), values.at(i));
        QCOMPARE(spins.at(i)->minimum(), 1);
        QCOMPARE(spins.at(i)->maximum(), maxima.at(i));
    }

    w.BitBtn1Click();
    QCOMPARE(SqlText, QStringLiteral("UPDATE SDept SET theName = '热力公司', theBM = 10, theBD = 10, theEM = 4, "
                                     "theED = 10 WHERE (ID = 1)"));
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("使用单位 保存成功，请重新登录系统！")});
    QCOMPARE(quit.count, 1);
    QCOMPARE(quit.textsAtQuit, rec.texts());
    QCOMPARE(rec.entries.first().kind, QStringLiteral("info"));

    // A quote in the name is kept as typed.
    QuitRecorder again;
    TfrmSDept w2;
    showAndWait(&w2);
    w2.Edit1->setText(QStringLiteral("O'Neil 供热"));
    w2.BitBtn1Click();
    QCOMPARE(db.scalar(QStringLiteral("SELECT theName FROM SDept WHERE ID = 1")), QStringLiteral("O'Neil 供热"));
}

void TestReference::unitSpinBoxesSettle_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("typed"); // "" clears the box
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("saved");
    QTest::newRow("begin month 15") << 0 << "15" << "theBM" << "12";
    QTest::newRow("begin day cleared") << 1 << "" << "theBD" << "1";
    QTest::newRow("end month 0") << 2 << "0" << "theEM" << "1";
    QTest::newRow("end day 40") << 3 << "40" << "theED" << "31";
    QTest::newRow("end day minus") << 3 << "-5" << "theED" << "1";
    QTest::newRow("end day sign only") << 3 << "+" << "theED" << "1";
    QTest::newRow("day 31 kept") << 1 << "31" << "theBD" << "31";
}

void TestReference::unitSpinBoxesSettle()
{
    QFETCH(int, box);
    QFETCH(QString, typed);
    QFETCH(QString, column);
    QFETCH(QString, saved);
    TestDb db;
    MessageRecorder rec;
    QuitRecorder quit;
    db.login();
    TfrmSDept w;
    showAndWait(&w);
    RangeSpinBox *spin = QList<RangeSpinBox *>{w.SpinEdit1, w.SpinEdit2, w.SpinEdit3, w.SpinEdit4}.at(box);
    spin->setFocus();
    spin->selectAll();
    QTest::keyClick(spin, Qt::Key_Backspace);
    QTest::keyClicks(spin, typed);
    QCOMPARE(spin->text(), typed);

    w.BitBtn1Click();
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(db.scalar(QStringLiteral("SELECT %1 FROM SDept WHERE ID = 1").arg(column)), saved);
    QCOMPARE(spin->value(), saved.toInt());
    QCOMPARE(quit.count, 1);
}

void TestReference::unitSpinBoxSettlesOnFocusOut()
{
    TestDb db;
    MessageRecorder rec;
    db.login();
    TfrmSDept w;
    showAndWait(&w);
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.SpinEdit1->setFocus();
    w.SpinEdit1->selectAll();
    QTest::keyClicks(w.SpinEdit1, QStringLiteral("15"));
    QCOMPARE(w.SpinEdit1->text(), QStringLiteral("15"));
    w.Edit1->setFocus();
    QCOMPARE(w.SpinEdit1->text(), QStringLiteral("12"));
    QCOMPARE(w.SpinEdit1->value(), 12);
    // Letters are not taken at all.
    w.SpinEdit2->setFocus();
    w.SpinEdit2->selectAll();
    QTest::keyClicks(w.SpinEdit2, QStringLiteral("a7"));
    QCOMPARE(w.SpinEdit2->text(), QStringLiteral("7"));
}

void TestReference::unitPeriodNotNumbers()
{
    TestDb db;
    MessageRecorder rec;
    QuitRecorder quit;
    UnitName = QStringLiteral("单位");
    PeriodBeginMonth = QStringLiteral("9");
    PeriodBeginDay = QString(); // no unit row was read
    TfrmSDept w;
    showAndWait(&w);
    QCOMPARE(rec.errors(), 1);
    QCOMPARE(w.Edit1->text(), QStringLiteral("单位"));
    QCOMPARE(w.SpinEdit1->value(), 9);
    QCOMPARE(w.SpinEdit2->value(), 10);
    QCOMPARE(quit.count, 0);
}

void TestReference::unitRefusedStatementKeepsRunning()
{
    TestDb db;
    MessageRecorder rec;
    QuitRecorder quit;
    db.login();
    TfrmSDept w;
    showAndWait(&w);
    db.exec(QStringLiteral("DROP TABLE SDept"));
    w.BitBtn1Click();
    QCOMPARE(rec.errors(), 1);
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(quit.count, 0);
    QVERIFY(w.isVisible());
}

void TestReference::unitExitSavesNothing()
{
    TestDb db;
    MessageRecorder rec;
    QuitRecorder quit;
    db.login();
    const QString before = db.scalar(QStringLiteral("SELECT theName || theBM || theBD || theEM || theED FROM SDept"));
    TfrmSDept w;
    showAndWait(&w);
    w.Edit1->setText(QStringLiteral("别的单位"));
    w.SpinEdit1->setValue(3);
    w.BitBtn2->click();
    QVERIFY(!w.isVisible());
    QCOMPARE(db.scalar(QStringLiteral("SELECT theName || theBM || theBD || theEM || theED FROM SDept")), before);
    QCOMPARE(rec.entries.size(), 0);
    QCOMPARE(quit.count, 0);
}


// The one period-end rule behind the new house's paid-up date and the arrears reminder.
void TestReference::periodEnd_data()
{
    QTest::addColumn<QString>("chargeDate");
    QTest::addColumn<QString>("month");
    QTest::addColumn<QString>("day");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<bool>("fitted");
    QTest::newRow("a date of the charging year") << "2023-11-20" << "3" << "15" << QDate(2023, 3, 15) << false;
    QTest::newRow("leading zero and blanks") << "2024-01-05" << " 04 " << "010" << QDate(2024, 4, 10) << false;
    QTest::newRow("29 Feb, leap year") << "2024-10-10" << "2" << "29" << QDate(2024, 2, 29) << false;
    QTest::newRow("29 Feb, common year: month's end") << "2023-10-10" << "2" << "29" << QDate(2023, 2, 28) << true;
    QTest::newRow("31 April: month's end") << "2023-10-10" << "4" << "31" << QDate(2023, 4, 30) << true;
    QTest::newRow("day empty: month's end") << "2023-10-10" << "2" << "" << QDate(2023, 2, 28) << true;
    QTest::newRow("day no number: month's end") << "2023-10-10" << "4" << "x" << QDate(2023, 4, 30) << true;
    QTest::newRow("day 0: month's end") << "2023-10-10" << "4" << "0" << QDate(2023, 4, 30) << true;
    QTest::newRow("month 13: charging date") << "2023-10-10" << "13" << "5" << QDate(2023, 10, 10) << true;
    QTest::newRow("month empty: charging date") << "2023-10-10" << "" << "10" << QDate(2023, 10, 10) << true;
    QTest::newRow("nothing set: charging date") << "2023-10-10" << "" << "" << QDate(2023, 10, 10) << true;
    QTest::newRow("no charging date: this year")
        << "" << "4" << "10" << QDate(QDate::currentDate().year(), 4, 10) << false;
}

void TestReference::periodEnd()
{
    QFETCH(QString, chargeDate);
    QFETCH(QString, month);
    QFETCH(QString, day);
    QFETCH(QDate, date);
    QFETCH(bool, fitted);
    const UnitSettings::PeriodEnd end = UnitSettings::periodEnd(chargeDate, month, day);
    QCOMPARE(end.date, date);
    QCOMPARE(end.fitted, fitted);
}

// Deleting an area that live houses use would leave them unreachable: refused, saying how
// many; a payment method in use may go (payments keep their own copy of its name).
void TestReference::areaOfLiveHousesIsKept()
{
    TestDb db;
    MessageRecorder rec;
    insertRow(db, QStringLiteral("area"), QStringLiteral("阳光小区"));
    insertRow(db, QStringLiteral("method"), QStringLiteral("现金"));
    db.exec(QStringLiteral("INSERT INTO UHouse (AName, theNum, theArea, thePrice, theDel) VALUES "
                           "('阳光小区', '1', 1, 1, '否'), ('阳光小区', '2', 1, 1, '否'), ('阳光小区', '3', 1, 1, '是')"));
    TfrmSArea w;
    showAndWait(&w);
    rec.answers = {true};
    w.D1Click();
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("该小区下还有 2 户业主，不能删除！")});
    QCOMPARE(rec.entries.first().kind, QStringLiteral("info"));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SArea")), 1);
    // The logic refuses it too (another copy may have added a house since the question).
    QVERIFY_THROWS_EXCEPTION(AppError, RefLists::remove(RefLists::areas(), db.scalar(QStringLiteral("SELECT ID FROM SArea"))));

    // Once its houses are gone, it goes.
    db.exec(QStringLiteral("UPDATE UHouse SET theDel = '是'"));
    rec.clear();
    rec.answers = {true};
    w.D1Click();
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(rec.entries.first().kind, QStringLiteral("question"));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SArea")), 0);

    db.exec(QStringLiteral("UPDATE UHouse SET theDel = '否'"));
    TfrmMType methods;
    showAndWait(&methods);
    rec.clear();
    rec.answers = {true};
    methods.D1Click();
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SMType")), 0);
}

void TestReference::unitSpinBoxBeepsOnRefusedKey()
{
    TestDb db;
    MessageRecorder rec;
    db.login();
    TfrmSDept w;
    showAndWait(&w);
    w.SpinEdit1->setFocus();
    w.SpinEdit1->selectAll();
    QSignalSpy refused(w.SpinEdit1, &RangeSpinBox::keyRefused);
    // A blank is refused like a letter, also between digits and at the end.
    QTest::keyClicks(w.SpinEdit1, QStringLiteral("1a 2.- "));
    QCOMPARE(refused.count(), 4);
    QCOMPARE(w.SpinEdit1->text(), QStringLiteral("12-"));
    QTest::keyClick(w.SpinEdit1, Qt::Key_Space);
    QCOMPARE(refused.count(), 5);
    QCOMPARE(w.SpinEdit1->text(), QStringLiteral("12-"));
}

QTEST_MAIN(TestReference)
#include "tst_reference.moc"
