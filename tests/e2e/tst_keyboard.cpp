// Working every screen without the mouse: Tab walks the boxes in the order the screen
// gives them (a date picker is one stop, its year, month and day are reached with the
// arrow keys), Enter presses the default button where a screen has one and runs "查询"
// from every criterion of a browse screen, the menus open with their access keys, and
// the grids' pop-up menus open with the Menu key.
#include "app/TfrmMain.h"
#include "charging/TfrmUCharge_In.h"
#include "charging/TfrmUCharge_M.h"
#include "charging/TfrmUCharge_Q.h"
#include "data/TfrmDM.h"
#include "operators/TfrmCPass.h"
#include "operators/TfrmLogin.h"
#include "operators/TfrmSMRX.h"
#include "operators/TfrmUser.h"
#include "owners/TfrmUH_D.h"
#include "owners/TfrmUH_In.h"
#include "owners/TfrmUH_M.h"
#include "owners/TfrmUH_M1.h"
#include "owners/TfrmUH_Q.h"
#include "owners/TfrmUH_TX.h"
#include "reference/TfrmRefList.h"
#include "reference/TfrmSDept.h"
#include "widgets/RangeSpinBox.h"
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
    m_db->exec(QStringLiteral("INSERT INTO UHouse (AName, theNum, theArea, HType, thePrice, EndDate, theName, theDel) "
                              "VALUES ('阳光小区', '1-1-101', 80, '住宅', 22.5, '2024-04-10', '王静', '否')"));
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
    TfrmLogin w;
    checkTabOrder(&w, {w.BitBtn1, w.BitBtn2, w.DBLookupComboBox1, w.Edit1, w.DateTimePicker1});
    // The name by keyboard moves on to the password; Enter there presses "登录".
    w.DBLookupComboBox1->setFocus();
    press(Qt::Key_Down);
    QCOMPARE(w.DBLookupComboBox1->text(), QStringLiteral("管理员"));
    QCOMPARE(keyboardAt(), w.Edit1);
    QTest::keyClicks(w.Edit1, QStringLiteral("nope"));
    press(Qt::Key_Return);
    QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("密码错误，请重新录入！")});
    // Enter in the date picker presses "登录" as well.
    m_messages->clear();
    w.DateTimePicker1->setFocus();
    press(Qt::Key_Return);
    QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("密码错误，请重新录入！")});
}

void TestKeyboard::dialogsTabOrder()
{
    {
        TfrmSArea w;
        checkTabOrder(&w, {w.DBGrid1, w.Edit1, w.Edit2, w.BitBtn1, w.BitBtn2});
    }
    {
        TfrmSPrice w;
        checkTabOrder(&w, {w.DBGrid1, w.Edit1, w.Edit3, w.Edit2, w.BitBtn1, w.BitBtn2});
    }
    {
        TfrmUser w;
        checkTabOrder(&w, {w.DBGrid1, w.Edit1, w.Edit2, w.BitBtn1, w.BitBtn2});
    }
    {
        TfrmCPass w;
        checkTabOrder(&w, {w.Edit1, w.Edit2, w.Edit3, w.BitBtn1, w.BitBtn2});
    }
    {
        TfrmSMRX w;
        checkTabOrder(&w, {w.DBLookupComboBox1, w.DBLookupComboBox2, w.DBLookupComboBox3, w.BitBtn1, w.BitBtn2});
    }
    {
        TfrmSDept w;
        checkTabOrder(&w, {w.Edit1, w.SpinEdit1, w.SpinEdit2, w.SpinEdit3, w.SpinEdit4, w.BitBtn1, w.BitBtn2});
    }
    {
        TfrmUH_D w;
        checkTabOrder(&w, {w.DBGrid1, w.DBLookupComboBox1, w.Button1, w.BitBtn2});
    }
}

void TestKeyboard::ownerEntryAndModify()
{
    {
        TfrmUH_In w;
        checkTabOrder(&w, {w.DBLookupComboBox1, w.Edit1, w.Edit2, w.DBLookupComboBox2, w.Edit3, w.DateTimePicker1,
                           w.Edit4, w.Edit5, w.Edit6, w.BitBtn1, w.BitBtn2, w.CheckBox1});
    }
    {
        TfrmUH_M1 w;
        checkTabOrder(&w, {w.DBLookupComboBox1, w.Edit1, w.Edit2, w.DBLookupComboBox2, w.Edit3, w.DateTimePicker1,
                           w.Edit4, w.Edit5, w.Edit6, w.BitBtn1, w.BitBtn2});
    }
}

void TestKeyboard::chargeEntry()
{
    TfrmUCharge_In w;
    // Without a house the period pickers show no date; Tab still walks through them.
    checkTabOrder(&w, {w.DateTimePicker1, w.DBLookupComboBox1, w.Edit1, w.Edit11, w.DateTimePicker2,
                       w.DateTimePicker3, w.Edit12, w.DBLookupComboBox2, w.DBLookupComboBox3, w.Edit13,
                       w.CheckBox1, w.BitBtn1, w.BitBtn2, w.Button1});
    // A payment from the keyboard alone: the area by arrow key, the room and Enter, the
    // years, then Tab to "保存" and Space.
    w.DBLookupComboBox1->setFocus();
    press(Qt::Key_Down);
    press(Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("1-1-101"));
    press(Qt::Key_Return);
    QCOMPARE(keyboardAt(), w.Edit11);
    QCOMPARE(w.Edit12->text(), QStringLiteral("1800"));
    for (int i = 0; i < 7; ++i)
        press(Qt::Key_Tab);
    QCOMPARE(keyboardAt(), w.CheckBox1);
    press(Qt::Key_Space); // "连续新增" off
    QVERIFY(!w.CheckBox1->isChecked());
}

void TestKeyboard::datePickerFieldsByArrowKeys()
{
    TfrmUH_In w;
    w.show();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));
    DatePicker *p = w.DateTimePicker1;
    // Tab into the picker: the year is selected first.
    w.Edit3->setFocus();
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
    w.Edit3->setFocus();
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
        w->BitBtn1Click(); // "Excel" is enabled by the first "查询"
        checkTabOrder(w, order);
        for (QWidget *input : inputs) {
            const QList<DatePicker *> pickers = input->findChildren<DatePicker *>();
            QWidget *target = pickers.isEmpty() ? input : pickers.first();
            w->ADOQuery1->close();
            target->setFocus();
            press(Qt::Key_Return);
            QVERIFY2(w->ADOQuery1->isOpen(), qPrintable(nameOf(target)));
        }
    };
    {
        TfrmUH_Q w;
        checkScreen(&w, {w.DBLookupComboBox1, w.Edit1, w.DBLookupComboBox2, w.Edit2, w.Edit3, w.Edit4},
                    {w.BitBtn1, w.BitBtn3, w.BitBtn2, w.DBGrid1});
        QVERIFY(w.waitForFigures());
        QCOMPARE(w.Label1->text(), QStringLiteral("记录：1"));
    }
    {
        TfrmUH_TX w;
        checkScreen(&w, {w.DBLookupComboBox1, w.Edit1, w.DBLookupComboBox2, w.Edit2, w.Edit3, w.Edit4},
                    {w.DateTimePicker1, w.BitBtn1, w.BitBtn3, w.BitBtn2, w.DBGrid1});
        w.ADOQuery1->close();
        w.DateTimePicker1->setFocus();
        press(Qt::Key_Return);
        QVERIFY(w.ADOQuery1->isOpen());
    }
    {
        TfrmUCharge_Q w;
        checkScreen(&w, {w.Edit1, w.DateTimePicker1->parentWidget(), w.DBLookupComboBox1, w.Edit2, w.Edit3,
                         w.DBLookupComboBox2, w.DBLookupComboBox3, w.Edit4},
                    {w.BitBtn1, w.BitBtn3, w.BitBtn2, w.DBGrid1});
    }
}

void TestKeyboard::gridPopupByMenuKey_data()
{
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("areas") << "areas" << QStringList{"删除 &D"};
    QTest::newRow("operators") << "operators" << QStringList{"删除 &D"};
    QTest::newRow("owner management") << "owners" << QStringList{"修改 &M", "删除 &D"};
    QTest::newRow("charge management") << "charges" << QStringList{"打印 &P"};
}

void TestKeyboard::gridPopupByMenuKey()
{
    QFETCH(QString, screen);
    QFETCH(QStringList, items);
    m_db->exec(QStringLiteral("INSERT INTO UCharge (HID, theNum, myDate, AName, HNum, theMoney, theDel, theDate) "
                              "VALUES (1, '2410100001', '2024-10-10', '阳光小区', '1-1-101', 1800, '否', '2024-10-10')"));
    std::unique_ptr<QWidget> w;
    QTableView *grid = nullptr;
    QMenu *popup = nullptr;
    if (screen == QLatin1String("areas") || screen == QLatin1String("operators")) {
        std::unique_ptr<TfrmRefList> d;
        if (screen == QLatin1String("areas"))
            d = std::make_unique<TfrmSArea>();
        else
            d = std::make_unique<TfrmUser>();
        grid = d->DBGrid1;
        popup = d->PopupMenu1;
        w = std::move(d);
    } else {
        std::unique_ptr<BrowseWindow> b;
        if (screen == QLatin1String("owners"))
            b = std::make_unique<TfrmUH_M>();
        else
            b = std::make_unique<TfrmUCharge_M>();
        b->BitBtn1Click(); // the pop-up menu comes with the first "查询"
        grid = b->DBGrid1;
        popup = b->PopupMenu1;
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
    TfrmMain w;
    frmDM().setConnection(m_db->path(), QStringLiteral("kqt472"));
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
