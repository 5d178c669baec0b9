#include "data/DataModule.h"
#include "reference/RefLists.h"
#include "reference/ReferenceListDialog.h"
#include "reference/UnitSettings.h"
#include "reference/UnitSettingsDialog.h"
#include "tests/support/Doubles.h"
#include "tests/support/Builders.h"
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
#include <QCheckBox>
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

std::unique_ptr<ReferenceListDialog> makeList(const QString &kind)
{
    if (kind == QLatin1String("area"))
        return std::make_unique<AreasDialog>();
    if (kind == QLatin1String("method"))
        return std::make_unique<PaymentMethodsDialog>();
    return std::make_unique<UnitPricesDialog>();
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
    QCOMPARE(w->listGroup->title(), listGroup);
    QCOMPARE(w->entryGroup->title(), entryGroup);
    QCOMPARE(w->saveButton->text(), QStringLiteral("保存"));
    QCOMPARE(w->closeButton->text(), QStringLiteral("退出"));
    QCOMPARE(w->deleteAction->text(), QStringLiteral("删除 &D"));
    QCOMPARE(w->listGrid->contextMenuPolicy(), Qt::CustomContextMenu);
    QCOMPARE(w->listGrid->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(w->listGrid->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(w->priceEdit != nullptr, kind == QLatin1String("price"));
    if (w->priceEdit)
        QCOMPARE(w->priceEdit->allowedChars(), QStringLiteral("0123456789."));

    QAbstractItemModel *m = w->listGrid->model();
    QCOMPARE(m->columnCount(), titles.size());
    QCOMPARE(m->rowCount(), 2);
    for (int c = 0; c < titles.size(); ++c) {
        QCOMPARE(m->headerData(c, Qt::Horizontal).toString(), titles.at(c));
        QCOMPARE(w->listGrid->isColumnHidden(c), widths.at(c) < 0);
        if (widths.at(c) > 0)
            QCOMPARE(w->listGrid->columnWidth(c), widths.at(c));
    }
    QCOMPARE(w->listGrid->currentIndex().row(), 0);
    QCOMPARE(focusIn(w.get()), w->nameEdit);
    QCOMPARE(rec.entries.size(), 0);
}

void TestReference::emptyBoxesRefused_data()
{
    addKinds();
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus"); // the box named by the message
    QTest::newRow("area name") << "area" << "" << "" << "小区名称 不能为空！" << "nameEdit";
    QTest::newRow("method name") << "method" << "" << "" << "收款方式 不能为空！" << "nameEdit";
    QTest::newRow("purpose name") << "price" << "" << "2.5" << "房屋用途 不能为空！" << "nameEdit";
    QTest::newRow("price") << "price" << "住宅" << "" << "单价 不能为空！" << "priceEdit";
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
    w->nameEdit->setText(name);
    w->remarkEdit->setText(QStringLiteral("备注"));
    if (w->priceEdit)
        w->priceEdit->setText(price);
    w->closeButton->setFocus();

    w->addEntry();
    QCOMPARE(rec.texts(), QStringList{message});
    QCOMPARE(rec.entries.first().kind, QStringLiteral("info"));
    QWidget *expected = focus == QLatin1String("priceEdit") ? static_cast<QWidget *>(w->priceEdit) : w->nameEdit;
    QCOMPARE(focusIn(w.get()), expected);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM ") + tableOf(kind)), 0);
    QCOMPARE(w->remarkEdit->text(), QStringLiteral("备注"));
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
    w->listGrid->setCurrentIndex(w->listGrid->model()->index(0, 0));
    w->nameEdit->setText(QStringLiteral("Garden"));
    if (w->priceEdit)
        w->priceEdit->setText(QStringLiteral("3.5"));
    w->addEntry();
    QCOMPARE(rec.texts(), QStringList{saved});
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM %1 WHERE theName = 'Garden' AND Remark = ''").arg(table)), 1);
    if (w->priceEdit) {
        QCOMPARE(db.scalar(QStringLiteral("SELECT thePrice FROM SPrice WHERE theName = 'Garden'")), QStringLiteral("3.5"));
        QCOMPARE(w->priceEdit->text(), QString());
    }
    QCOMPARE(w->nameEdit->text(), QString());
    QCOMPARE(w->remarkEdit->text(), QString());
    QCOMPARE(focusIn(w.get()), w->nameEdit);
    QCOMPARE(w->listGrid->model()->rowCount(), 2);
    QCOMPARE(w->listGrid->currentIndex().row(), 0);

    // The same name in other letter case, whatever the remark and price, is refused.
    rec.clear();
    w->nameEdit->setText(QStringLiteral("GARDEN"));
    w->remarkEdit->setText(QStringLiteral("另一个"));
    if (w->priceEdit)
        w->priceEdit->setText(QStringLiteral("9"));
    w->closeButton->setFocus();
    w->addEntry();
    QCOMPARE(rec.texts(), QStringList{duplicate});
    QCOMPARE(focusIn(w.get()), w->nameEdit);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM %1").arg(table)), 2);
    QCOMPARE(w->nameEdit->text(), QStringLiteral("GARDEN"));
    QCOMPARE(w->remarkEdit->text(), QStringLiteral("另一个"));
}

void TestReference::statements_data()
{
    addKinds();
    QTest::addColumn<QStringList>("columns");
    QTest::newRow("areas") << "area" << QStringList{"小区名称", "备注", "ID"};
    QTest::newRow("methods") << "method" << QStringList{"收款方式", "备注", "ID"};
    QTest::newRow("prices") << "price" << QStringList{"房屋用途", "单价", "备注", "ID"};
}

void TestReference::statements()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, columns);
    TestDb db;
    auto w = makeList(kind);
    const RefLists::ListConfig &config = w->config();
    const QString table = tableOf(kind);

    QCOMPARE(RefLists::list(config).columns(), columns);
    QCOMPARE(RefLists::list(config).rowCount(), 0);
    QVERIFY(!RefLists::exists(config, QStringLiteral("O'Hara")));
    RefLists::add(config, QStringLiteral("O'Hara"), QStringLiteral("东'门"), QStringLiteral("12.5"));
    // A quote stays inside its value: the row holds exactly what was typed.
    QCOMPARE(db.scalar(QStringLiteral("SELECT Remark FROM %1 WHERE theName = 'O''Hara'").arg(table)), QStringLiteral("东'门"));
    if (kind == QLatin1String("price")) // the typed price is stored as a number
        QCOMPARE(db.scalar(QStringLiteral("SELECT typeof(thePrice) FROM SPrice")), QStringLiteral("real"));
    QVERIFY(RefLists::exists(config, QStringLiteral("o'hara")));
    QVERIFY(!RefLists::exists(config, QStringLiteral("O'Har")));
    RefLists::add(config, QStringLiteral("北门"), {}, QStringLiteral("1"));
    const Rows listed = RefLists::list(config);
    QCOMPARE(listed.rowCount(), 2);
    // Removing by the row's key takes that row alone.
    RefLists::remove(config, db.scalar(QStringLiteral("SELECT ID FROM %1 WHERE theName = 'O''Hara'").arg(table)));
    QCOMPARE(db.scalar(QStringLiteral("SELECT group_concat(theName) FROM ") + table), QStringLiteral("北门"));
    // Only a whole number read from the list goes in bare.
    QVERIFY_THROWS_EXCEPTION(AppError, RefLists::remove(config, QStringLiteral("1) OR (1=1")));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM ") + table), 1);
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
    QAbstractItemModel *m = w->listGrid->model();

    // No keeps the row.
    w->listGrid->setCurrentIndex(m->index(1, 0));
    rec.answers = {false};
    w->deleteCurrent();
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(rec.entries.first().kind, QStringLiteral("question"));
    QCOMPARE(rec.entries.first().caption, QStringLiteral("删除"));
    QCOMPARE(rec.entries.first().text, QStringLiteral("确认要删除吗？该删除将不可恢复！"));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM ") + table), 3);

    // Yes removes the current row for good; the grid is back on its first row.
    rec.clear();
    rec.answers = {true};
    w->deleteAction->trigger(); // the pop-up item
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM %1 WHERE theName = '乙'").arg(table)), 0);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM ") + table), 2);
    QCOMPARE(m->rowCount(), 2);
    QCOMPARE(w->listGrid->currentIndex().row(), 0);
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
    QCOMPARE(w->listGrid->model()->rowCount(), 0);
    SqlText.clear();
    w->deleteCurrent();
    QCOMPARE(rec.entries.size(), 0);
    QCOMPARE(SqlText, QString());
}

void TestReference::priceWithTwoPointsRefusedByDatabase()
{
    TestDb db;
    MessageRecorder rec;
    UnitPricesDialog w;
    showAndWait(&w);
    w.nameEdit->setText(QStringLiteral("住宅"));
    w.priceEdit->setFocus();
    // The key filter drops letters but lets a second point through.
    QTest::keyClicks(w.priceEdit, QStringLiteral("1a2..x5"));
    QCOMPARE(w.priceEdit->text(), QStringLiteral("12..5"));
    w.addEntry();
    QCOMPARE(rec.errors(), 1);
    QCOMPARE(rec.entries.size(), 1);
    QVERIFY(!rec.last().isEmpty());
    QCOMPARE(w.nameEdit->text(), QStringLiteral("住宅"));
    QCOMPARE(w.priceEdit->text(), QStringLiteral("12..5"));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SPrice")), 0);
    QCOMPARE(w.listGrid->model()->rowCount(), 0);
}

void TestReference::byteLimits_data()
{
    addKinds();
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    const QString twenty6 = QString(26, QChar(0x4E1C)); // 26 x 东
    QTest::newRow("area name: 6 Chinese") << "area" << "nameEdit" << "一二三四五六七" << "一二三四五六";
    QTest::newRow("area name: mixed") << "area" << "nameEdit" << "ab一二三四五六" << "ab一二三四五";
    QTest::newRow("method name: ascii") << "method" << "nameEdit" << "abcdefghijklmn" << "abcdefghijkl";
    QTest::newRow("purpose name") << "price" << "nameEdit" << "一二三四五六七" << "一二三四五六";
    QTest::newRow("remark: 25 Chinese") << "area" << "remarkEdit" << twenty6 << twenty6.left(25);
    QTest::newRow("price: 6 bytes") << "price" << "priceEdit" << "1234567" << "123456";
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
    GbkLineEdit *e = box == QLatin1String("nameEdit") ? w->nameEdit : box == QLatin1String("remarkEdit") ? w->remarkEdit : w->priceEdit;
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
    UnitSettingsDialog w;
    showAndWait(&w);
    QCOMPARE(w.windowTitle(), QStringLiteral("使用单位设置"));
    QCOMPARE(w.size(), QSize(520, 250));
    QCOMPARE(w.unitNameEdit->text(), QStringLiteral("热力公司"));
    QCOMPARE(w.unitNameEdit->byteLimit(), 50);
    const QList<RangeSpinBox *> spins{w.beginMonthSpin, w.beginDaySpin, w.endMonthSpin, w.endDaySpin};
    const QList<int> values{10, 10, 4, 10};
    const QList<int> maxima{12, 31, 12, 31};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(spins.at(i)->value(), values.at(i));
        QCOMPARE(spins.at(i)->minimum(), 1);
        QCOMPARE(spins.at(i)->maximum(), maxima.at(i));
    }

    w.save();
    QCOMPARE(dataModule().query(QStringLiteral("SELECT theName, theBM, theBD, theEM, theED FROM SDept WHERE ID = 1")).row(0),
             QStringList({"热力公司", "10", "10", "4", "10"}));
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("使用单位 保存成功，请重新登录系统！")});
    QCOMPARE(quit.count, 1);
    QCOMPARE(quit.textsAtQuit, rec.texts());
    QCOMPARE(rec.entries.first().kind, QStringLiteral("info"));

    // A quote in the name is kept as typed.
    QuitRecorder again;
    UnitSettingsDialog w2;
    showAndWait(&w2);
    w2.unitNameEdit->setText(QStringLiteral("O'Neil 供热"));
    // Reprints unmarked until the office asks for the mark.
    QVERIFY(!w2.reprintMarkCheck->isChecked());
    w2.reprintMarkCheck->setChecked(true);
    w2.save();
    QCOMPARE(db.scalar(QStringLiteral("SELECT theName FROM SDept WHERE ID = 1")), QStringLiteral("O'Neil 供热"));
    QCOMPARE(db.scalar(QStringLiteral("SELECT ReprintMark FROM SDept WHERE ID = 1")), QStringLiteral("1"));
    QuitRecorder third;
    UnitSettingsDialog w3;
    showAndWait(&w3);
    QVERIFY(w3.reprintMarkCheck->isChecked());
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
    UnitSettingsDialog w;
    showAndWait(&w);
    RangeSpinBox *spin = QList<RangeSpinBox *>{w.beginMonthSpin, w.beginDaySpin, w.endMonthSpin, w.endDaySpin}.at(box);
    spin->setFocus();
    spin->selectAll();
    QTest::keyClick(spin, Qt::Key_Backspace);
    QTest::keyClicks(spin, typed);
    QCOMPARE(spin->text(), typed);

    w.save();
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
    UnitSettingsDialog w;
    showAndWait(&w);
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.beginMonthSpin->setFocus();
    w.beginMonthSpin->selectAll();
    QTest::keyClicks(w.beginMonthSpin, QStringLiteral("15"));
    QCOMPARE(w.beginMonthSpin->text(), QStringLiteral("15"));
    w.unitNameEdit->setFocus();
    QCOMPARE(w.beginMonthSpin->text(), QStringLiteral("12"));
    QCOMPARE(w.beginMonthSpin->value(), 12);
    // Letters are not taken at all.
    w.beginDaySpin->setFocus();
    w.beginDaySpin->selectAll();
    QTest::keyClicks(w.beginDaySpin, QStringLiteral("a7"));
    QCOMPARE(w.beginDaySpin->text(), QStringLiteral("7"));
}

void TestReference::unitPeriodNotNumbers()
{
    TestDb db;
    MessageRecorder rec;
    QuitRecorder quit;
    UnitName = QStringLiteral("单位");
    PeriodBeginMonth = QStringLiteral("9");
    PeriodBeginDay = QString(); // no unit row was read
    UnitSettingsDialog w;
    showAndWait(&w);
    QCOMPARE(rec.errors(), 1);
    QCOMPARE(w.unitNameEdit->text(), QStringLiteral("单位"));
    QCOMPARE(w.beginMonthSpin->value(), 9);
    QCOMPARE(w.beginDaySpin->value(), 10);
    QCOMPARE(quit.count, 0);
}

void TestReference::unitRefusedStatementKeepsRunning()
{
    TestDb db;
    MessageRecorder rec;
    QuitRecorder quit;
    db.login();
    UnitSettingsDialog w;
    showAndWait(&w);
    db.exec(QStringLiteral("DROP TABLE SDept"));
    w.save();
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
    UnitSettingsDialog w;
    showAndWait(&w);
    w.unitNameEdit->setText(QStringLiteral("别的单位"));
    w.beginMonthSpin->setValue(3);
    w.closeButton->click();
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
    for (const QString room : {"1", "2", "3"})
        HouseBuilder().area(QStringLiteral("阳光小区")).room(room).floorArea(1).price(1).deleted(room == QLatin1String("3")).insert(db);
    AreasDialog w;
    showAndWait(&w);
    rec.answers = {true};
    w.deleteCurrent();
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("该小区下还有 2 户业主，不能删除！")});
    QCOMPARE(rec.entries.first().kind, QStringLiteral("info"));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SArea")), 1);
    // The logic refuses it too (another copy may have added a house since the question).
    QVERIFY_THROWS_EXCEPTION(AppError, RefLists::remove(RefLists::areas(), db.scalar(QStringLiteral("SELECT ID FROM SArea"))));

    // Once its houses are gone, it goes.
    db.exec(QStringLiteral("UPDATE UHouse SET theDel = '是'"));
    rec.clear();
    rec.answers = {true};
    w.deleteCurrent();
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(rec.entries.first().kind, QStringLiteral("question"));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SArea")), 0);

    db.exec(QStringLiteral("UPDATE UHouse SET theDel = '否'"));
    PaymentMethodsDialog methods;
    showAndWait(&methods);
    rec.clear();
    rec.answers = {true};
    methods.deleteCurrent();
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SMType")), 0);
}

void TestReference::unitSpinBoxBeepsOnRefusedKey()
{
    TestDb db;
    MessageRecorder rec;
    db.login();
    UnitSettingsDialog w;
    showAndWait(&w);
    w.beginMonthSpin->setFocus();
    w.beginMonthSpin->selectAll();
    QSignalSpy refused(w.beginMonthSpin, &RangeSpinBox::keyRefused);
    // A blank is refused like a letter, also between digits and at the end.
    QTest::keyClicks(w.beginMonthSpin, QStringLiteral("1a 2.- "));
    QCOMPARE(refused.count(), 4);
    QCOMPARE(w.beginMonthSpin->text(), QStringLiteral("12-"));
    QTest::keyClick(w.beginMonthSpin, Qt::Key_Space);
    QCOMPARE(refused.count(), 5);
    QCOMPARE(w.beginMonthSpin->text(), QStringLiteral("12-"));
}

QTEST_MAIN(TestReference)
#include "tst_reference.moc"
