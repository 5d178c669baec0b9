// Working every screen without the mouse: Tab walks the boxes in the order the screen
// gives them (a date picker is one stop, its year, month and day are reached with the
// arrow keys), Enter presses the default button where a screen has one and runs "查询"
// from every criterion of a browse screen, the menus open with their access keys, and
// the grids' pop-up menus open with the Menu key.
#include "app/MainWindow.h"
#include "charging/ChargeEntryDialog.h"
#include "charging/ChargeManagementWindow.h"
#include "charging/ChargeQueryWindow.h"
#include "data/DataModule.h"
#include "operators/ChangePasswordDialog.h"
#include "operators/LoginDialog.h"
#include "operators/DefaultsDialog.h"
#include "operators/OperatorsDialog.h"
#include "owners/OwnerImportDialog.h"
#include "owners/OwnerEntryDialog.h"
#include "owners/OwnerManagementWindow.h"
#include "owners/OwnerModifyDialog.h"
#include "owners/OwnerQueryWindow.h"
#include "owners/ArrearsReminderWindow.h"
#include "reference/ReferenceListDialog.h"
#include "reference/UnitSettingsDialog.h"
#include "widgets/RangeSpinBox.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"
#include "widgets/DatePicker.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/LookupCombo.h"
#include "browse/QueryModel.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// The widget that has the keyboard now; a box's inner editor counts as the box.
QWidget *keyboardAt()
{
    QWidget *w = QApplication::focusWidget();
    while (w && !w->isWindow()) {
        if (qobject_cast<QAbstractSpinBox *>(w->parentWidget()) || qobject_cast<QComboBox *>(w->parentWidget()))
            w = w->parentWidget();
        else
            break;
    }
    return w;
}

QString nameOf(QWidget *w)
{
    if (!w)
        return QStringLiteral("(nothing)");
    QString n = QString::fromLatin1(w->metaObject()->className());
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        n += QLatin1Char(' ') + b->text();
    if (!w->objectName().isEmpty())
        n += QLatin1Char(' ') + w->objectName();
    return n;
}

void press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QWidget *w = QApplication::focusWidget();
    QVERIFY(w);
    QTest::keyClick(w, key, mods);
}

// Starting in the first widget, Tab visits the others in this order and comes back to
// the first; Shift+Tab walks back.
void checkTabOrder(QWidget *window, const QList<QWidget *> &order)
{
    window->show();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    order.first()->setFocus(Qt::TabFocusReason);
    QCOMPARE(nameOf(keyboardAt()), nameOf(order.first()));
    for (int i = 1; i <= order.size(); ++i) {
        press(Qt::Key_Tab);
        QWidget *expected = order.at(i % order.size());
        QVERIFY2(keyboardAt() == expected,
                 qPrintable(QStringLiteral("Tab from %1 went to %2, not %3")
                                .arg(nameOf(order.at(i - 1)), nameOf(keyboardAt()), nameOf(expected))));
    }
    for (int i = order.size() - 1; i >= 0; --i) {
        press(Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY2(keyboardAt() == order.at(i),
                 qPrintable(QStringLiteral("Shift+Tab went to %1, not %2").arg(nameOf(keyboardAt()), nameOf(order.at(i)))));
    }
}

} // namespace

class TestKeyboard : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void loginWindow();
    void dialogsTabOrder();
    void ownerEntryAndModify();
    void chargeEntry();
    void datePickerFieldsByArrowKeys();
    void browseScreens();
    void gridPopupByMenuKey_data();
    void gridPopupByMenuKey();
    void menusByAccessKeys();

private:
    std::unique_ptr<TestDb> m_db;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<QuitRecorder> m_quit;
};

void TestKeyboard::init()
{
    m_db = std::make_unique<TestDb>();
    m_db->login(QDate(2024, 10, 10));
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('阳光小区')"));
    m_db->exec(QStringLiteral("INSERT INTO SPrice (theName, thePrice) VALUES ('住宅', 22.5)"));
    m_db->exec(QStringLiteral("INSERT INTO SMType (theName) VALUES ('现金')"));
    HouseBuilder().area(QStringLiteral("阳光小区")).room(QStringLiteral("1-1-101")).floorArea(80).purpose(QStringLiteral("住宅"))
        .price(22.5).paidUpTo(QStringLiteral("2024-04-10")).owner(QStringLiteral("王静")).insert(*m_db);
    m_messages = std::make_unique<MessageRecorder>();
    m_quit = std::make_unique<QuitRecorder>();
}

void TestKeyboard::cleanup()
{
    m_quit.reset();
    m_messages.reset();
    m_db.reset();
}

void TestKeyboard::loginWindow()
{
    LoginDialog w;
    checkTabOrder(&w, {w.loginButton, w.closeButton, w.operatorBox, w.passwordEdit, w.chargeDatePicker});
    // The name by keyboard moves on to the password; Enter there presses "登录".
    w.operatorBox->setFocus();
    press(Qt::Key_Down);
    QCOMPARE(w.operatorBox->text(), QStringLiteral("管理员"));
    QCOMPARE(keyboardAt(), w.passwordEdit);
    QTest::keyClicks(w.passwordEdit, QStringLiteral("nope"));
    press(Qt::Key_Return);
    QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("密码错误，请重新录入！")});
    // Enter in the date picker presses "登录" as well.
    m_messages->clear();
    w.chargeDatePicker->setFocus();
    press(Qt::Key_Return);
    QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("密码错误，请重新录入！")});
}

void TestKeyboard::dialogsTabOrder()
{
    {
        AreasDialog w;
        checkTabOrder(&w, {w.listGrid, w.nameEdit, w.remarkEdit, w.saveButton, w.closeButton});
    }
    {
        UnitPricesDialog w;
        checkTabOrder(&w, {w.listGrid, w.nameEdit, w.priceEdit, w.remarkEdit, w.saveButton, w.modifyButton, w.closeButton});
    }
    {
        OperatorsDialog w;
        checkTabOrder(&w, {w.listGrid, w.nameEdit, w.remarkEdit, w.roleBox, w.roleButton, w.saveButton, w.closeButton});
    }
    {
        ChangePasswordDialog w;
        checkTabOrder(&w, {w.oldPasswordEdit, w.newPasswordEdit, w.confirmPasswordEdit, w.saveButton, w.closeButton});
    }
    {
        DefaultsDialog w;
        checkTabOrder(&w, {w.paymentMethodBox, w.purposeBox, w.areaBox, w.saveButton, w.closeButton});
    }
    {
        UnitSettingsDialog w;
        checkTabOrder(&w, {w.unitNameEdit, w.beginMonthSpin, w.beginDaySpin, w.endMonthSpin, w.endDaySpin, w.reprintMarkCheck,
                           w.anyDateBox, w.saveButton, w.closeButton});
    }
    {
        OwnerImportDialog w;
        checkTabOrder(&w, {w.sheetGrid, w.areaBox, w.openButton, w.closeButton});
    }
}

void TestKeyboard::ownerEntryAndModify()
{
    {
        OwnerEntryDialog w;
        checkTabOrder(&w, {w.areaBox, w.roomEdit, w.floorAreaEdit, w.purposeBox, w.priceEdit, w.paidUpPicker,
                           w.ownerEdit, w.phoneEdit, w.remarkEdit, w.saveButton, w.closeButton, w.continuousEntryCheck});
    }
    {
        OwnerModifyDialog w;
        checkTabOrder(&w, {w.areaBox, w.roomEdit, w.floorAreaEdit, w.purposeBox, w.priceEdit, w.paidUpPicker,
                           w.ownerEdit, w.phoneEdit, w.remarkEdit, w.saveButton, w.closeButton});
    }
}

void TestKeyboard::chargeEntry()
{
    ChargeEntryDialog w;
    // Without a house the period pickers show no date; Tab still walks through them.
    checkTabOrder(&w, {w.chargeDatePicker, w.areaBox, w.roomEdit, w.yearsEdit, w.startDatePicker,
                       w.endDatePicker, w.amountEdit, w.paymentMethodBox, w.payeeBox, w.remarkEdit,
                       w.continuousEntryCheck, w.saveButton, w.closeButton, w.roundButton, w.findEdit, w.findButton});
    // A payment from the keyboard alone: the area by arrow key, the room and Enter, the
    // years, then Tab to "保存" and Space.
    w.areaBox->setFocus();
    press(Qt::Key_Down);
    press(Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("1-1-101"));
    press(Qt::Key_Return);
    QCOMPARE(keyboardAt(), w.yearsEdit);
    QCOMPARE(w.amountEdit->text(), QStringLiteral("1800"));
    for (int i = 0; i < 7; ++i)
        press(Qt::Key_Tab);
    QCOMPARE(keyboardAt(), w.continuousEntryCheck);
    press(Qt::Key_Space); // "连续新增" off
    QVERIFY(!w.continuousEntryCheck->isChecked());
}

void TestKeyboard::datePickerFieldsByArrowKeys()
{
    OwnerEntryDialog w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    DatePicker *p = w.paidUpPicker;
    // Tab into the picker: the year is selected first.
    w.priceEdit->setFocus();
    press(Qt::Key_Tab);
    QCOMPARE(keyboardAt(), p);
    QCOMPARE(p->text(), QStringLiteral("2024-04-10"));
    // The year first; Right moves on to the month and the day, Up and Down step them.
    press(Qt::Key_Up);
    QCOMPARE(p->text(), QStringLiteral("2025-04-10"));
    for (int i = 0; i < 5; ++i)
        press(Qt::Key_Right);
    press(Qt::Key_Down);
    QCOMPARE(p->text(), QStringLiteral("2025-03-10"));
    // Typed digits fill the sections one after the other.
    w.priceEdit->setFocus();
    press(Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("20230415"));
    QCOMPARE(p->text(), QStringLiteral("2023-04-15"));
}

void TestKeyboard::browseScreens()
{
    // Enter in every criterion input runs "查询"; Tab walks the criteria in their order,
    // then the buttons and the grid.
    auto checkScreen = [&](BrowseWindow *w, const QList<QWidget *> &inputs, const QList<QWidget *> &tail) {
        QList<QWidget *> order;
        for (int i = 0; i < inputs.size(); ++i) {
            order << w->checkBox(i + 1);
            const QList<DatePicker *> range = inputs.at(i)->findChildren<DatePicker *>();
            if (range.isEmpty())
                order << inputs.at(i);
            else
                for (DatePicker *p : range)
                    order << p;
        }
        order << tail;
        w->runQuery(); // "Excel" is enabled by the first "查询"
        checkTabOrder(w, order);
        for (QWidget *input : inputs) {
            const QList<DatePicker *> pickers = input->findChildren<DatePicker *>();
            QWidget *target = pickers.isEmpty() ? input : pickers.first();
            w->listModel->close();
            target->setFocus();
            press(Qt::Key_Return);
            QVERIFY2(w->listModel->isOpen(), qPrintable(nameOf(target)));
        }
    };
    {
        OwnerQueryWindow w;
        checkScreen(&w, {w.areaBox, w.roomEdit, w.purposeBox, w.ownerEdit, w.phoneEdit, w.remarkEdit},
                    {w.queryButton, w.excelButton, w.closeButton, w.listGrid});
        QVERIFY(w.waitForFigures());
        QCOMPARE(w.countLabel->text(), QStringLiteral("记录：1"));
    }
    {
        ArrearsReminderWindow w;
        checkScreen(&w, {w.areaBox, w.roomEdit, w.purposeBox, w.ownerEdit, w.phoneEdit, w.remarkEdit},
                    {w.referencePicker, w.queryButton, w.excelButton, w.noticesButton, w.closeButton, w.listGrid});
        w.listModel->close();
        w.referencePicker->setFocus();
        press(Qt::Key_Return);
        QVERIFY(w.listModel->isOpen());
    }
    {
        ChargeQueryWindow w;
        checkScreen(&w, {w.receiptNumberEdit, w.fromPicker->parentWidget(), w.areaBox, w.roomEdit, w.ownerEdit,
                         w.paymentMethodBox, w.payeeBox, w.remarkEdit},
                    {w.queryButton, w.excelButton, w.closeButton, w.listGrid});
    }
}

void TestKeyboard::gridPopupByMenuKey_data()
{
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("areas") << "areas" << QStringList{"删除 &D"};
    QTest::newRow("operators") << "operators" << QStringList{"删除 &D"};
    QTest::newRow("owner management") << "owners" << QStringList{"收费 &S", "修改 &M", "删除 &D"};
    QTest::newRow("charge management") << "charges" << QStringList{"打印 &P"};
}

void TestKeyboard::gridPopupByMenuKey()
{
    QFETCH(QString, screen);
    QFETCH(QStringList, items);
    ChargeRowBuilder().house(1).number(QStringLiteral("2410100001")).chargingDate(QStringLiteral("2024-10-10"))
        .area(QStringLiteral("阳光小区")).room(QStringLiteral("1-1-101")).amount(QStringLiteral("1800"))
        .storedOn(QStringLiteral("2024-10-10")).insert(*m_db);
    std::unique_ptr<QWidget> w;
    QTableView *grid = nullptr;
    QMenu *popup = nullptr;
    if (screen == QLatin1String("areas") || screen == QLatin1String("operators")) {
        std::unique_ptr<ReferenceListDialog> d;
        if (screen == QLatin1String("areas"))
            d = std::make_unique<AreasDialog>();
        else
            d = std::make_unique<OperatorsDialog>();
        grid = d->listGrid;
        popup = d->gridMenu;
        w = std::move(d);
    } else {
        std::unique_ptr<BrowseWindow> b;
        if (screen == QLatin1String("owners"))
            b = std::make_unique<OwnerManagementWindow>();
        else
            b = std::make_unique<ChargeManagementWindow>();
        b->runQuery(); // the pop-up menu comes with the first "查询"
        grid = b->listGrid;
        popup = b->gridMenu;
        w = std::move(b);
    }
    w->show();
    QApplication::setActiveWindow(w.get());
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    grid->setFocus();
    QMenu *shown = nullptr;
    QTimer::singleShot(0, [&] {
        shown = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (shown)
            shown->close();
    });
    // What the Menu key (or Shift+F10) sends to the widget with the keyboard.
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), grid->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(grid, &menuKey);
    QTRY_VERIFY(shown);
    QCOMPARE(shown, popup);
    QStringList texts;
    for (QAction *a : shown->actions())
        if (!a->isSeparator())
            texts << a->text();
    QCOMPARE(texts, items);
}

void TestKeyboard::menusByAccessKeys()
{
    MainWindow w;
    dataModule().setConnection(m_db->path(), QStringLiteral("kqt472"));
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QStringList keys;
    for (QAction *a : w.menuBar()->actions()) {
        const QString t = a->text();
        const int amp = t.indexOf(QLatin1Char('&'));
        QVERIFY2(amp >= 0 && amp + 1 < t.size(), qPrintable(t));
        keys << t.mid(amp + 1, 1);
    }
    QCOMPARE(keys, (QStringList{"F", "I", "M", "B", "H"}));
    // Alt+B opens "基础信息【&B】".
    QTest::keyClick(&w, Qt::Key_B, Qt::AltModifier);
    QMenu *open = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QVERIFY(open);
    QCOMPARE(open->title(), QStringLiteral("基础信息【&B】"));
    open->close();
}

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
