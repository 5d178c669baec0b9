// One working day at the fee office, on one database file, through the real screens:
// the main window's menu opens every screen, the operator's part is played through the
// screens' handlers and the keyboard, and the seams stand in for what a person would see
// outside the program (message boxes, the end of the program, the print preview, the
// spreadsheet program and the file dialog). Every step checks what the operator would
// see. The steps run in order and build on each other.
#include "app/TfrmMain.h"
#include "charging/TfrmUCharge_In.h"
#include "charging/TfrmUCharge_M.h"
#include "charging/TfrmUCharge_Q.h"
#include "data/TfrmDM.h"
#include "operators/Login.h"
#include "operators/TfrmCPass.h"
#include "operators/TfrmLogin.h"
#include "output/TfrmDMP.h"
#include "output/UiSheetOpener.h"
#include "sheets/SheetModel.h"
#include "owners/TfrmUH_D.h"
#include "owners/TfrmUH_In.h"
#include "owners/TfrmUH_Q.h"
#include "owners/TfrmUH_TX.h"
#include "reference/TfrmRefList.h"
#include "tests/output/XlsxProbe.h"
#include "tests/support/ImportFiles.h"
#include "tests/report/ReportProbe.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestSupport.h"
#include "widgets/DatePicker.h"
#include "widgets/DialogRunner.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/LookupCombo.h"
#include "browse/QueryModel.h"
#include "widgets/RowsModel.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

#include <functional>
#include <memory>

namespace {

const QDate Today(2024, 10, 10);
const QString Operator = QStringLiteral("管理员");
const QString NewPassword = QStringLiteral("dong2024");
const QString Area = QStringLiteral("春晖花园");
const QString Method = QStringLiteral("微信支付");
const QString Purpose = QStringLiteral("住宅");
const QString Price = QStringLiteral("23.5");
const QString Unit = QStringLiteral("澄岳供热有限公司");

// What pdftotext reads from the receipt, in reading order.
QString pdfText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QStringLiteral("pdftotext failed: ") + QString::fromUtf8(p.readAllStandardError());
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Types the text into the box the way the keyboard does (key filters and limits apply);
// Chinese characters arrive as the input method commits them.
void type(QWidget *box, const QString &text)
{
    box->setFocus();
    for (const QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClick(box, char(c.unicode()));
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QApplication::sendEvent(box, &commit);
        }
    }
}

// The operator picks the entry by keyboard: the box gets the focus and the arrow keys
// move to the entry, which runs the box's pick handler as a click would.
void pick(LookupCombo *box, const QString &name)
{
    box->setFocus();
    const int target = box->findText(name);
    QVERIFY2(target >= 0, qPrintable(name + QStringLiteral(" is not in the list")));
    while (box->currentIndex() < target)
        QTest::keyClick(box, Qt::Key_Down);
    while (box->currentIndex() > target)
        QTest::keyClick(box, Qt::Key_Up);
    QCOMPARE(box->text(), name);
}

QStringList column(const QueryModel *model, const QString &caption)
{
    QStringList values;
    for (int r = 0; r < model->rowCount(); ++r)
        values << model->value(r, caption);
    return values;
}

} // namespace

class TestWorkday : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void logIn();
    void referenceLists();
    void twoOwners();
    void paymentForTwoYears();
    void reprintFromChargeManagement();
    void arrearsReminder();
    void exportChargeQuery();
    void importThreeOwners();
    void changePassword();
    void logInWithNewPassword();

private:
    // Starts the program on the day's database file: the main window (hidden) and the
    // login window, as the entry point makes them.
    void startProgram();
    template <class Screen>
    Screen *lastChild() const;
    bool failed() const { return QTest::currentTestFailed(); }

    std::unique_ptr<TestDb> m_db;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<QuitRecorder> m_quit;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<RecordingOpener> m_opener;
    std::unique_ptr<QTemporaryDir> m_files;
    CapturePresenter m_receipts;
    std::unique_ptr<TfrmMain> m_main;
    std::unique_ptr<TfrmLogin> m_login;
    QString m_receiptNumber;
    QString m_firstReceiptText;
};

void TestWorkday::initTestCase()
{
    m_db = std::make_unique<TestDb>();
    m_messages = std::make_unique<MessageRecorder>();
    m_quit = std::make_unique<QuitRecorder>();
    m_dialogs = std::make_unique<ScriptedDialogs>();
    m_opener = std::make_unique<RecordingOpener>();
    m_files = std::make_unique<QTemporaryDir>();
    frmDMP().setPresenter(&m_receipts);
    startProgram();
}

void TestWorkday::cleanupTestCase()
{
    for (const QString &f : m_opener->opened)
        QFile::remove(f);
    m_login.reset();
    m_main.reset();
    frmDMP().setPresenter(nullptr);
    m_opener.reset();
    m_dialogs.reset();
    m_quit.reset();
    m_messages.reset();
    m_db.reset();
}

void TestWorkday::startProgram()
{
    resetLoginState();
    m_login.reset();
    m_main = std::make_unique<TfrmMain>();
    // The main window points the connection at the file beside the program; the day's
    // file stands in for it.
    frmDM().setConnection(m_db->path(), QStringLiteral("kqt472"));
    m_login = std::make_unique<TfrmLogin>();
    connect(m_login.get(), &TfrmLogin::loggedIn, m_main.get(), [this] { m_main->show(); });
    m_login->show();
    QApplication::setActiveWindow(m_login.get());
}

template <class Screen>
Screen *TestWorkday::lastChild() const
{
    const QList<QMdiSubWindow *> subs = m_main->MdiArea->subWindowList(QMdiArea::CreationOrder);
    return subs.isEmpty() ? nullptr : qobject_cast<Screen *>(subs.last()->widget());
}

// ---------------------------------------------------------------- morning: log in

void TestWorkday::logIn()
{
    TfrmLogin &w = *m_login;
    QVERIFY(w.isVisible());
    QVERIFY(!m_main->isVisible());
    QCOMPARE(w.windowTitle(), QStringLiteral("软件登录"));
    QCOMPARE(w.DBLookupComboBox1->findText(Operator), 0);

    // Choosing the name moves on to the password; Enter there presses "登录".
    pick(w.DBLookupComboBox1, Operator);
    QCOMPARE(w.focusWidget(), w.Edit1);
    w.DateTimePicker1->setDate(Today);
    type(w.Edit1, QStringLiteral("580913"));
    QCOMPARE(w.Edit1->text(), QStringLiteral("580913"));
    QTest::keyClick(w.Edit1, Qt::Key_Return);

    QCOMPARE(m_messages->texts(), QStringList());
    QVERIFY(!w.isVisible());
    QVERIFY(m_main->isVisible());
    QCOMPARE(m_main->StatusPanels[1]->text() + m_main->StatusPanels[2]->text(), QStringLiteral("当前登录用户：管理员"));
    QCOMPARE(m_main->StatusPanels[3]->text() + m_main->StatusPanels[4]->text(), QStringLiteral("当前收费日期：2024-10-10"));
    QCOMPARE(UnitName, Unit);
}

// ---------------------------------------------------------------- the lists of the office

void TestWorkday::referenceLists()
{
    struct Entry {
        const char *menu;
        QString name;
        QString price;
        QString saved;
        QString listCaption;
    };
    const Entry entries[] = {
        {"小区设置", Area, {}, QStringLiteral("小区信息 保存成功！"), QStringLiteral("小区名称")},
        {"收款方式", Method, {}, QStringLiteral("收款方式 保存成功！"), QStringLiteral("收款方式")},
        {"单价设置", Purpose, Price, QStringLiteral("单价信息 保存成功！"), QStringLiteral("房屋用途")},
    };
    for (const Entry &e : entries) {
        m_messages->clear();
        m_dialogs->next = [&](QDialog *d) {
            auto *w = qobject_cast<TfrmRefList *>(d);
            QVERIFY(w);
            QCOMPARE(w->focusWidget(), w->Edit1);
            QCOMPARE(w->DataSource1->rowCount(), 0);
            type(w->Edit1, e.name);
            if (w->Edit3) {
                // The price box takes digits and the point only.
                type(w->Edit3, QStringLiteral("2x3.5元"));
                QCOMPARE(w->Edit3->text(), e.price);
            }
            type(w->Edit2, QStringLiteral("今日新增"));
            w->BitBtn1->click();
            QCOMPARE(m_messages->texts(), QStringList{e.saved});
            QCOMPARE(w->DataSource1->rowCount(), 1);
            QCOMPARE(w->DataSource1->rows().at(0, e.listCaption), e.name);
            QCOMPARE(w->Edit1->text(), QString());
            QCOMPARE(w->focusWidget(), w->Edit1);
            // The same name again is refused.
            type(w->Edit1, e.name);
            if (w->Edit3)
                type(w->Edit3, e.price);
            w->BitBtn1Click();
            QCOMPARE(m_messages->last(), e.listCaption + QStringLiteral(" 已存在，请重新录入！"));
            QCOMPARE(w->DataSource1->rowCount(), 1);
            w->BitBtn2->click();
        };
        m_main->action(QString::fromUtf8(e.menu))->trigger();
        if (failed())
            return;
        QCOMPARE(m_dialogs->opened, int(&e - entries) + 1);
        QVERIFY(m_dialogs->closedItself);
    }
}

// ---------------------------------------------------------------- two owners by hand

void TestWorkday::twoOwners()
{
    m_messages->clear();
    m_dialogs->next = [&](QDialog *d) {
        auto *w = qobject_cast<TfrmUH_In *>(d);
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("业主录入"));
        QVERIFY(w->CheckBox1->isChecked());
        // No defaults yet for this operator; the paid-up date is the end of the period
        // in the year of the charging date.
        QCOMPARE(w->DBLookupComboBox1->text(), QString());
        QCOMPARE(w->DateTimePicker1->text(), QStringLiteral("2024-04-10"));

        // The first house, with "连续新增" ticked.
        pick(w->DBLookupComboBox1, Area);
        type(w->Edit1, QStringLiteral("1-2-301"));
        type(w->Edit2, QStringLiteral("88.5"));
        pick(w->DBLookupComboBox2, Purpose);
        QCOMPARE(w->Edit3->text(), Price); // the purpose's price
        type(w->Edit4, QStringLiteral("孙建国"));
        type(w->Edit5, QStringLiteral("139-1234-5678"));
        QCOMPARE(w->Edit5->text(), QStringLiteral("13912345678"));
        type(w->Edit6, QStringLiteral("南向"));
        w->BitBtn1->click();
        QCOMPARE(m_messages->texts(), QStringList());
        for (GbkLineEdit *e : {w->Edit1, w->Edit2, w->Edit3, w->Edit4, w->Edit5, w->Edit6})
            QCOMPARE(e->text(), QString());
        QCOMPARE(w->DBLookupComboBox1->text(), Area);
        QCOMPARE(w->DBLookupComboBox2->text(), Purpose);
        QCOMPARE(w->focusWidget(), w->Edit1);
        QVERIFY(w->isVisible());

        // The second: the price box is empty after "连续新增", so the save stops there
        // until the purpose is picked again.
        type(w->Edit1, QStringLiteral("1-2-302"));
        type(w->Edit2, QStringLiteral("64"));
        type(w->Edit4, QStringLiteral("周海燕"));
        w->BitBtn1Click();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("单价 不能为空！")});
        QCOMPARE(w->focusWidget(), w->Edit3);
        w->DBLookupComboBox2Click();
        QCOMPARE(w->Edit3->text(), Price);
        w->DateTimePicker1->setDate(QDate(2023, 4, 10)); // behind by a season
        w->CheckBox1->setChecked(false);
        m_messages->clear();
        w->BitBtn1->click();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("业主信息 保存成功！")});
        QVERIFY(!w->isVisible());
    };
    m_main->action(QStringLiteral("业主录入"))->trigger();
    if (failed())
        return;
    QVERIFY(m_dialogs->closedItself);

    // The tool-bar button opens the same window; a room number taken in the area is refused.
    m_messages->clear();
    m_dialogs->next = [&](QDialog *d) {
        auto *w = qobject_cast<TfrmUH_In *>(d);
        QVERIFY(w);
        pick(w->DBLookupComboBox1, Area);
        type(w->Edit1, QStringLiteral("1-2-302"));
        type(w->Edit2, QStringLiteral("70"));
        pick(w->DBLookupComboBox2, Purpose);
        type(w->Edit4, QStringLiteral("重复"));
        w->BitBtn1Click();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("房号 已经存在！")});
        QCOMPARE(w->focusWidget(), w->Edit1);
        w->BitBtn2->click();
    };
    m_main->findChild<QAction *>(QStringLiteral("tool_业主录入"))->trigger();
    if (failed())
        return;
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UHouse")), 2);
}

// ---------------------------------------------------------------- a payment and its receipt

void TestWorkday::paymentForTwoYears()
{
    m_messages->clear();
    m_receipts.pdfPath = m_files->filePath(QStringLiteral("receipt.pdf"));
    m_dialogs->next = [&](QDialog *d) {
        auto *w = qobject_cast<TfrmUCharge_In *>(d);
        QVERIFY(w);
        QCOMPARE(w->DateTimePicker1->text(), QStringLiteral("2024-10-10"));
        QCOMPARE(w->DBLookupComboBox3->text(), Operator); // the payee
        QCOMPARE(w->focusWidget(), w->Edit1);

        // The room number without an area is not looked up.
        type(w->Edit1, QStringLiteral("1-2-301"));
        QTest::keyClick(w->Edit1, Qt::Key_Return);
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("小区名称 不能为空！")});
        QCOMPARE(w->focusWidget(), w->DBLookupComboBox1);
        m_messages->clear();

        pick(w->DBLookupComboBox1, Area);
        w->Edit1->setFocus();
        QTest::keyClick(w->Edit1, Qt::Key_Return);
        QCOMPARE(m_messages->texts(), QStringList());
        QCOMPARE(w->Edit2->text(), Area);
        QCOMPARE(w->Edit3->text(), QStringLiteral("1-2-301"));
        QCOMPARE(w->Edit4->text(), QStringLiteral("88.5"));
        QCOMPARE(w->Edit5->text(), Purpose);
        QCOMPARE(w->Edit6->text(), Price);
        QCOMPARE(w->Edit7->text(), QStringLiteral("2024-04-10"));
        QCOMPARE(w->Edit8->text(), QStringLiteral("孙建国"));
        QCOMPARE(w->Edit9->text(), QStringLiteral("13912345678"));
        QCOMPARE(w->Edit10->text(), QStringLiteral("南向"));
        // One year proposed.
        QCOMPARE(w->Edit11->text(), QStringLiteral("1"));
        QCOMPARE(w->Edit12->text(), QStringLiteral("2079.75"));
        QCOMPARE(w->DateTimePicker2->text(), QStringLiteral("2024-04-11"));
        QCOMPARE(w->DateTimePicker3->text(), QStringLiteral("2025-04-10"));
        QCOMPARE(w->focusWidget(), w->Edit11);

        // The owner pays two years.
        QTest::keyClick(w->Edit11, Qt::Key_Backspace);
        QTest::keyClicks(w->Edit11, QStringLiteral("2"));
        QCOMPARE(w->Edit12->text(), QStringLiteral("4159.5"));
        QCOMPARE(w->DateTimePicker3->text(), QStringLiteral("2026-04-10"));
        pick(w->DBLookupComboBox2, Method);
        type(w->Edit13, QStringLiteral("两年"));
        w->CheckBox1->setChecked(false);
        w->BitBtn1->click();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("收费信息 保存成功！")});
        QVERIFY(!w->isVisible());
    };
    m_main->findChild<QAction *>(QStringLiteral("tool_收费录入"))->trigger();
    if (failed())
        return;
    QVERIFY(m_dialogs->closedItself);

    // The receipt was shown once, for the first number of the day.
    QCOMPARE(m_receipts.pages.size(), 1);
    m_receiptNumber = QStringLiteral("2410100001");
    const QString text = pdfText(m_receipts.pdfPath);
    for (const QString &expected : {Unit, QStringLiteral("供热费收款收据"), m_receiptNumber, QStringLiteral("1-2-301"),
                                    QStringLiteral("孙建国"), QStringLiteral("88.5"), QStringLiteral("23.5"),
                                    QStringLiteral("2024-04-11"), QStringLiteral("2026-04-10"), QStringLiteral("4159.50"),
                                    QStringLiteral("肆仟壹佰伍拾玖元伍角"), QStringLiteral("收款方式：微信支付"),
                                    QStringLiteral("管理员"), QStringLiteral("两年")})
        QVERIFY2(text.contains(expected), qPrintable(expected + QStringLiteral(" not on the receipt:\n") + text));
    m_firstReceiptText = text;

    // Stored as the operator saw it; the house is paid up to the end of the period.
    const Rows c = frmDM().query(QStringLiteral("SELECT theNum, myDate, theCount, theMoney, theDX, MType, theSKR, "
                                                "QSDate, JZDate, theDate, UName FROM UCharge"));
    QCOMPARE(c.rowCount(), 1);
    QCOMPARE(c.at(0, QStringLiteral("theNum")), m_receiptNumber);
    QCOMPARE(c.at(0, QStringLiteral("theMoney")), QStringLiteral("4159.5"));
    QCOMPARE(c.at(0, QStringLiteral("theDX")), QStringLiteral("肆仟壹佰伍拾玖元伍角"));
    QCOMPARE(c.at(0, QStringLiteral("MType")), Method);
    QCOMPARE(c.at(0, QStringLiteral("JZDate")), QStringLiteral("2026-04-10"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE theNum = '1-2-301'")), QStringLiteral("2026-04-10"));
}

// ---------------------------------------------------------------- reprint

void TestWorkday::reprintFromChargeManagement()
{
    m_messages->clear();
    m_main->action(QStringLiteral("收费管理"))->trigger();
    auto *w = lastChild<TfrmUCharge_M>();
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("收费管理"));
    QCOMPARE(w->ADOQuery1->rowCount(), 0); // nothing until "查询"
    QCOMPARE(w->DateTimePicker1->text(), QStringLiteral("2024-09-10"));
    QCOMPARE(w->DateTimePicker2->text(), QStringLiteral("2024-10-10"));

    // The owner's name, then Enter runs "查询".
    type(w->Edit3, QStringLiteral("孙"));
    QVERIFY(w->CheckBox5->isChecked());
    QTest::keyClick(w->Edit3, Qt::Key_Return);
    QCOMPARE(m_messages->texts(), QStringList());
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->Label1->text(), QStringLiteral("记录：1"));
    QCOMPARE(w->Label2->text(), QStringLiteral("收款金额：4159.5"));
    QCOMPARE(column(w->ADOQuery1, QStringLiteral("单号")), QStringList{m_receiptNumber});
    QCOMPARE(w->currentRow(), 0);
    QVERIFY(w->gridPopupAttached());

    // "打印 &P" shows the same receipt again and changes nothing.
    m_receipts.pdfPath = m_files->filePath(QStringLiteral("reprint.pdf"));
    w->P1->trigger();
    QCOMPARE(m_messages->texts(), QStringList());
    QCOMPARE(m_receipts.pages.size(), 2);
    QCOMPARE(pdfText(m_receipts.pdfPath), m_firstReceiptText);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 1);
    w->BitBtn2Click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(m_main->MdiArea->subWindowList().size(), 0);
}

// ---------------------------------------------------------------- who is behind

void TestWorkday::arrearsReminder()
{
    m_messages->clear();
    m_main->findChild<QAction *>(QStringLiteral("tool_欠费提醒"))->trigger();
    auto *w = lastChild<TfrmUH_TX>();
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("欠费提醒"));
    QCOMPARE(w->DateTimePicker1->text(), QStringLiteral("2024-04-10"));
    // Enter in the reference date runs "查询" as in the filter fields.
    w->DateTimePicker1->setFocus();
    QTest::keyClick(w->DateTimePicker1, Qt::Key_Return);
    QCOMPARE(m_messages->texts(), QStringList());
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->Label1->text(), QStringLiteral("记录：1"));
    QCOMPARE(column(w->ADOQuery1, QStringLiteral("业主名称")), QStringList{QStringLiteral("周海燕")});
    QCOMPARE(column(w->ADOQuery1, QStringLiteral("欠费年数")), QStringList{QStringLiteral("1")});
    QCOMPARE(column(w->ADOQuery1, QStringLiteral("欠费金额")), QStringList{QStringLiteral("1504")});
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->Label2->text(), QStringLiteral("面积：64"));
    QCOMPARE(w->Label3->text(), QStringLiteral("欠费金额：1504"));
    QCOMPARE(w->rowTextColour(0), QColor(255, 0, 0));
    QVERIFY(w->BitBtn3->isEnabled());

    // At the end of this season the one who paid today is still not behind.
    w->DateTimePicker1->setDate(QDate(2025, 4, 11));
    w->BitBtn1->click();
    QCOMPARE(column(w->ADOQuery1, QStringLiteral("业主名称")), QStringList{QStringLiteral("周海燕")});
    QCOMPARE(column(w->ADOQuery1, QStringLiteral("欠费年数")), QStringList{QStringLiteral("2")});
    w->BitBtn2->click();
}

// ---------------------------------------------------------------- the day's list to a workbook

void TestWorkday::exportChargeQuery()
{
    m_messages->clear();
    m_main->findChild<QAction *>(QStringLiteral("tool_收费查询"))->trigger();
    auto *w = lastChild<TfrmUCharge_Q>();
    QVERIFY(w);
    QVERIFY(!w->BitBtn3->isEnabled());
    // Today's payments: both ends of the range on the charging date.
    w->DateTimePicker1->setFocus();
    w->DateTimePicker1->setDate(Today);
    w->DateTimePicker1Change();
    QVERIFY(w->CheckBox2->isChecked());
    w->BitBtn1->click();
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->Label1->text(), QStringLiteral("记录：1"));
    QVERIFY(w->BitBtn3->isEnabled());
    w->BitBtn3->click();
    QCOMPARE(m_messages->texts(), QStringList());
    QCOMPARE(m_opener->opened.size(), 1);

    const XlsxProbe x(m_opener->opened.last());
    QVERIFY2(x.error.isEmpty(), qPrintable(x.error));
    QCOMPARE(x.text(QStringLiteral("A1")), Unit + QStringLiteral("收费报表"));
    QStringList headings;
    for (int c = 1; c <= 15; ++c)
        headings << x.text(XlsxProbe::ref(2, c));
    QCOMPARE(headings, (QStringList{"序号", "单号", "收费日期", "小区名称", "房号", "面积", "单价", "业主名称", "收费年数",
                                    "起始日期", "截止日期", "收款金额", "收款方式", "收款人", "备注"}));
    QCOMPARE(x.text(QStringLiteral("B3")), m_receiptNumber);
    QCOMPARE(x.kind(QStringLiteral("B3")), QStringLiteral("text"));
    QCOMPARE(x.text(QStringLiteral("C3")), QStringLiteral("2024-10-10"));
    QCOMPARE(x.text(QStringLiteral("E3")), QStringLiteral("1-2-301"));
    QCOMPARE(x.text(QStringLiteral("H3")), QStringLiteral("孙建国"));
    QCOMPARE(x.kind(QStringLiteral("J3")), QStringLiteral("date"));
    QCOMPARE(x.text(QStringLiteral("L3")), QStringLiteral("4159.5"));
    QCOMPARE(x.text(QStringLiteral("M3")), Method);
    QCOMPARE(x.text(QStringLiteral("A4")), QStringLiteral("合计"));
    QCOMPARE(x.text(QStringLiteral("L4")), QStringLiteral("4159.5"));
    QCOMPARE(x.lastRow, 4);
    w->BitBtn2->click();
}

// ---------------------------------------------------------------- owners from a workbook

void TestWorkday::importThreeOwners()
{
    const QString book = m_files->filePath(QStringLiteral("新业主.xlsx"));
    QVERIFY(ImportFiles::writeXlsx(book, {
        {"房号", "面积", "房屋用途", "单价", "到期日期", "业主名称", "手机号码", "备注"},
        {"2-1-101", 75.2, "住宅", 23.5, QDate(2024, 4, 10), "钱玉兰", "13700001111", QString()},
        {"2-1-102", 91, "住宅", 23.5, QDate(2024, 4, 10), "冯志强", "13700002222", "车库"},
        {"2-1-201", 120.5, "商铺", 35, QDate(2025, 4, 10), "何春梅", "13700003333", QString()},
    }));
    QString filterShown;
    TfrmUH_D::setFileChooser([&](QWidget *, const QString &filter) {
        filterShown = filter;
        return book;
    });
    m_messages->clear();
    m_dialogs->next = [&](QDialog *d) {
        auto *w = qobject_cast<TfrmUH_D *>(d);
        QVERIFY(w);
        QVERIFY(!w->BitBtn1->isEnabled());
        w->Button1->click();
        QVERIFY(filterShown.startsWith(QStringLiteral("Excel文件(*.xls)")));
        QCOMPARE(m_messages->texts(), QStringList());
        QCOMPARE(w->GroupBox2->title(), QStringLiteral("EXCEL数据  共有 3 条数据"));
        QCOMPARE(w->DataSource1->rowCount(), 3);
        QCOMPARE(w->DataSource1->index(1, 5).data().toString(), QStringLiteral("冯志强"));
        QCOMPARE(w->DataSource1->index(0, 4).data().toString(), QStringLiteral("2024-04-10"));
        QVERIFY(w->BitBtn1->isEnabled());
        // The area is asked for first.
        w->BitBtn1->click();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("小区名称 不能为空！")});
        QCOMPARE(w->focusWidget(), w->DBLookupComboBox1);
        m_messages->clear();
        pick(w->DBLookupComboBox1, Area);
        w->BitBtn1->click();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("成功导入业主数据 3 条！")});
        QVERIFY(!w->isVisible());
    };
    m_main->action(QStringLiteral("业主导入"))->trigger();
    TfrmUH_D::setFileChooser(nullptr);
    if (failed())
        return;
    QVERIFY(m_dialogs->closedItself);

    // The owner query now lists the five houses of the area.
    m_main->action(QStringLiteral("业主查询"))->trigger();
    auto *q = lastChild<TfrmUH_Q>();
    QVERIFY(q);
    pick(q->DBLookupComboBox1, Area);
    QVERIFY(q->CheckBox1->isChecked());
    QTest::keyClick(q->DBLookupComboBox1, Qt::Key_Return);
    QVERIFY(q->waitForFigures());
    QCOMPARE(q->Label1->text(), QStringLiteral("记录：5"));
    QCOMPARE(q->Label2->text(), QStringLiteral("面积：439.2"));
    QCOMPARE(column(q->ADOQuery1, QStringLiteral("房号")),
             (QStringList{"1-2-301", "1-2-302", "2-1-101", "2-1-102", "2-1-201"}));
    QCOMPARE(column(q->ADOQuery1, QStringLiteral("业主名称")).at(4), QStringLiteral("何春梅"));
    QCOMPARE(column(q->ADOQuery1, QStringLiteral("到期日期")).at(4), QStringLiteral("2025-04-10"));
    q->BitBtn2->click();
}

// ---------------------------------------------------------------- evening: a new password

void TestWorkday::changePassword()
{
    m_messages->clear();
    m_dialogs->next = [&](QDialog *d) {
        auto *w = qobject_cast<TfrmCPass *>(d);
        QVERIFY(w);
        QCOMPARE(w->focusWidget(), w->Edit1);
        type(w->Edit1, QStringLiteral("580913"));
        type(w->Edit2, NewPassword);
        type(w->Edit3, QStringLiteral("dong2025"));
        w->BitBtn1->click();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("新密码 和 确认密码 不一致，请重新录入！")});
        QCOMPARE(w->focusWidget(), w->Edit2);
        QCOMPARE(m_quit->count, 0);
        m_messages->clear();
        type(w->Edit2, NewPassword);
        type(w->Edit3, NewPassword);
        w->BitBtn1->click();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("密码修改成功，请重新打开软件！")});
    };
    m_main->action(QStringLiteral("修改密码"))->trigger();
    if (failed())
        return;
    QCOMPARE(m_quit->count, 1); // the program ends
    QVERIFY(m_dialogs->closedItself);
}

// ---------------------------------------------------------------- the next start

void TestWorkday::logInWithNewPassword()
{
    // The program starts again on the same file.
    m_main.reset();
    frmDM().closeConnection();
    startProgram();
    m_messages->clear();
    TfrmLogin &w = *m_login;
    pick(w.DBLookupComboBox1, Operator);
    w.DateTimePicker1->setDate(Today.addDays(1));
    type(w.Edit1, QStringLiteral("580913"));
    QTest::keyClick(w.Edit1, Qt::Key_Return);
    QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("密码错误，请重新录入！")});
    QCOMPARE(w.focusWidget(), w.Edit1);
    QVERIFY(!m_main->isVisible());

    m_messages->clear();
    w.Edit1->clear();
    type(w.Edit1, NewPassword);
    QTest::keyClick(w.Edit1, Qt::Key_Return);
    QCOMPARE(m_messages->texts(), QStringList());
    QVERIFY(m_main->isVisible());
    QCOMPARE(m_main->StatusPanels[2]->text(), Operator);
    QCOMPARE(m_main->StatusPanels[4]->text(), QStringLiteral("2024-10-11"));

    // Yesterday's work is all there.
    m_main->action(QStringLiteral("收费管理"))->trigger();
    auto *m = lastChild<TfrmUCharge_M>();
    QVERIFY(m);
    m->CheckBox2->setChecked(false);
    m->BitBtn1->click();
    QVERIFY(m->waitForFigures());
    QCOMPARE(m->Label1->text(), QStringLiteral("记录：1"));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UHouse WHERE theDel = '否'")), 5);

    // Closing the main window asks first.
    m_messages->answers << true;
    m_main->close();
    QCOMPARE(m_messages->entries.last().caption, QStringLiteral("确认退出"));
    QCOMPARE(m_quit->count, 2);
}

QTEST_MAIN(TestWorkday)
#include "tst_workday.moc"
