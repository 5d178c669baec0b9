// One working day at the fee office, on one database file, through the real screens:
// the main window's menu opens every screen, the operator's part is played through the
// screens' handlers and the keyboard, and the seams stand in for what a person would see
// outside the program (message boxes, the end of the program, the print preview, the
// spreadsheet program and the file dialog). Every step checks what the operator would
// see. The steps run in order and build on each other.
#include "app/MainWindow.h"
#include "charging/ChargeEntryDialog.h"
#include "charging/ChargeManagementWindow.h"
#include "charging/ChargeQueryWindow.h"
#include "data/DataModule.h"
#include "operators/Login.h"
#include "operators/ChangePasswordDialog.h"
#include "operators/LoginDialog.h"
#include "report/ReportPresenter.h"
#include "output/UiSheetOpener.h"
#include "sheets/SheetModel.h"
#include "owners/OwnerImportDialog.h"
#include "owners/OwnerEntryDialog.h"
#include "owners/OwnerQueryWindow.h"
#include "owners/ArrearsReminderWindow.h"
#include "reference/ReferenceListDialog.h"
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
    std::unique_ptr<MainWindow> m_main;
    std::unique_ptr<LoginDialog> m_login;
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
    report::setPresenter(&m_receipts);
    startProgram();
}

void TestWorkday::cleanupTestCase()
{
    for (const QString &f : m_opener->opened)
        QFile::remove(f);
    m_login.reset();
    m_main.reset();
    report::setPresenter(nullptr);
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
    m_main = std::make_unique<MainWindow>();
    // The main window points the connection at the file beside the program; the day's
    // file stands in for it.
    dataModule().setConnection(m_db->path(), QStringLiteral("kqt472"));
    m_login = std::make_unique<LoginDialog>();
    connect(m_login.get(), &LoginDialog::loggedIn, m_main.get(), [this] { m_main->show(); });
    m_login->show();
    QApplication::setActiveWindow(m_login.get());
}

template <class Screen>
Screen *TestWorkday::lastChild() const
{
    const QList<QMdiSubWindow *> subs = m_main->mdiArea->subWindowList(QMdiArea::CreationOrder);
    return subs.isEmpty() ? nullptr : qobject_cast<Screen *>(subs.last()->widget());
}

// ---------------------------------------------------------------- morning: log in

void TestWorkday::logIn()
{
    LoginDialog &w = *m_login;
    QVERIFY(w.isVisible());
    QVERIFY(!m_main->isVisible());
    QCOMPARE(w.windowTitle(), QStringLiteral("软件登录"));
    QCOMPARE(w.operatorBox->findText(Operator), 0);

    // Choosing the name moves on to the password; Enter there presses "登录".
    pick(w.operatorBox, Operator);
    QCOMPARE(w.focusWidget(), w.passwordEdit);
    w.chargeDatePicker->setDate(Today);
    typeText(w.passwordEdit, QStringLiteral("580913"));
    QCOMPARE(w.passwordEdit->text(), QStringLiteral("580913"));
    QTest::keyClick(w.passwordEdit, Qt::Key_Return);

    QCOMPARE(m_messages->texts(), QStringList());
    QVERIFY(!w.isVisible());
    QVERIFY(m_main->isVisible());
    QCOMPARE(m_main->statusPanels[1]->text() + m_main->statusPanels[2]->text(), QStringLiteral("当前登录用户：管理员"));
    QCOMPARE(m_main->statusPanels[3]->text() + m_main->statusPanels[4]->text(), QStringLiteral("当前收费日期：2024-10-10"));
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
            auto *w = qobject_cast<ReferenceListDialog *>(d);
            QVERIFY(w);
            QCOMPARE(w->focusWidget(), w->nameEdit);
            QCOMPARE(w->listRows->rowCount(), 0);
            typeText(w->nameEdit, e.name);
            if (w->priceEdit) {
                // The price box takes digits and the point only.
                typeText(w->priceEdit, QStringLiteral("2x3.5元"));
                QCOMPARE(w->priceEdit->text(), e.price);
            }
            typeText(w->remarkEdit, QStringLiteral("今日新增"));
            w->saveButton->click();
            QCOMPARE(m_messages->texts(), QStringList{e.saved});
            QCOMPARE(w->listRows->rowCount(), 1);
            QCOMPARE(w->listRows->rows().at(0, e.listCaption), e.name);
            QCOMPARE(w->nameEdit->text(), QString());
            QCOMPARE(w->focusWidget(), w->nameEdit);
            // The same name again is refused.
            typeText(w->nameEdit, e.name);
            if (w->priceEdit)
                typeText(w->priceEdit, e.price);
            w->addEntry();
            QCOMPARE(m_messages->last(), e.listCaption + QStringLiteral(" 已存在，请重新录入！"));
            QCOMPARE(w->listRows->rowCount(), 1);
            w->closeButton->click();
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
        auto *w = qobject_cast<OwnerEntryDialog *>(d);
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("业主录入"));
        QVERIFY(w->continuousEntryCheck->isChecked());
        // No defaults yet for this operator; the paid-up date is the end of the period
        // in the year of the charging date.
        QCOMPARE(w->areaBox->text(), QString());
        QCOMPARE(w->paidUpPicker->text(), QStringLiteral("2024-04-10"));

        // The first house, with "连续新增" ticked.
        pick(w->areaBox, Area);
        typeText(w->roomEdit, QStringLiteral("1-2-301"));
        typeText(w->floorAreaEdit, QStringLiteral("88.5"));
        pick(w->purposeBox, Purpose);
        QCOMPARE(w->priceEdit->text(), Price); // the purpose's price
        typeText(w->ownerEdit, QStringLiteral("孙建国"));
        typeText(w->phoneEdit, QStringLiteral("139-1234-5678"));
        QCOMPARE(w->phoneEdit->text(), QStringLiteral("13912345678"));
        typeText(w->remarkEdit, QStringLiteral("南向"));
        w->saveButton->click();
        QCOMPARE(m_messages->texts(), QStringList());
        for (GbkLineEdit *e : {w->roomEdit, w->floorAreaEdit, w->priceEdit, w->ownerEdit, w->phoneEdit, w->remarkEdit})
            QCOMPARE(e->text(), QString());
        QCOMPARE(w->areaBox->text(), Area);
        QCOMPARE(w->purposeBox->text(), Purpose);
        QCOMPARE(w->focusWidget(), w->roomEdit);
        QVERIFY(w->isVisible());

        // The second: the price box is empty after "连续新增", so the save stops there
        // until the purpose is picked again.
        typeText(w->roomEdit, QStringLiteral("1-2-302"));
        typeText(w->floorAreaEdit, QStringLiteral("64"));
        typeText(w->ownerEdit, QStringLiteral("周海燕"));
        w->save();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("单价 不能为空！")});
        QCOMPARE(w->focusWidget(), w->priceEdit);
        w->lookUpPrice();
        QCOMPARE(w->priceEdit->text(), Price);
        w->paidUpPicker->setDate(QDate(2023, 4, 10)); // behind by a season
        w->continuousEntryCheck->setChecked(false);
        m_messages->clear();
        w->saveButton->click();
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
        auto *w = qobject_cast<OwnerEntryDialog *>(d);
        QVERIFY(w);
        pick(w->areaBox, Area);
        typeText(w->roomEdit, QStringLiteral("1-2-302"));
        typeText(w->floorAreaEdit, QStringLiteral("70"));
        pick(w->purposeBox, Purpose);
        typeText(w->ownerEdit, QStringLiteral("重复"));
        w->save();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("房号 已经存在！")});
        QCOMPARE(w->focusWidget(), w->roomEdit);
        w->closeButton->click();
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
        auto *w = qobject_cast<ChargeEntryDialog *>(d);
        QVERIFY(w);
        QCOMPARE(w->chargeDatePicker->text(), QStringLiteral("2024-10-10"));
        QCOMPARE(w->payeeBox->text(), Operator); // the payee
        QCOMPARE(w->focusWidget(), w->roomEdit);

        // The room number without an area is not looked up.
        typeText(w->roomEdit, QStringLiteral("1-2-301"));
        QTest::keyClick(w->roomEdit, Qt::Key_Return);
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("小区名称 不能为空！")});
        QCOMPARE(w->focusWidget(), w->areaBox);
        m_messages->clear();

        pick(w->areaBox, Area);
        w->roomEdit->setFocus();
        QTest::keyClick(w->roomEdit, Qt::Key_Return);
        QCOMPARE(m_messages->texts(), QStringList());
        QCOMPARE(w->houseAreaEdit->text(), Area);
        QCOMPARE(w->houseRoomEdit->text(), QStringLiteral("1-2-301"));
        QCOMPARE(w->floorAreaEdit->text(), QStringLiteral("88.5"));
        QCOMPARE(w->purposeEdit->text(), Purpose);
        QCOMPARE(w->unitPriceEdit->text(), Price);
        QCOMPARE(w->paidUpEdit->text(), QStringLiteral("2024-04-10"));
        QCOMPARE(w->ownerEdit->text(), QStringLiteral("孙建国"));
        QCOMPARE(w->phoneEdit->text(), QStringLiteral("13912345678"));
        QCOMPARE(w->houseRemarkEdit->text(), QStringLiteral("南向"));
        // One year proposed.
        QCOMPARE(w->yearsEdit->text(), QStringLiteral("1"));
        QCOMPARE(w->amountEdit->text(), QStringLiteral("2079.75"));
        QCOMPARE(w->startDatePicker->text(), QStringLiteral("2024-04-11"));
        QCOMPARE(w->endDatePicker->text(), QStringLiteral("2025-04-10"));
        QCOMPARE(w->focusWidget(), w->yearsEdit);

        // The owner pays two years.
        QTest::keyClick(w->yearsEdit, Qt::Key_Backspace);
        QTest::keyClicks(w->yearsEdit, QStringLiteral("2"));
        QCOMPARE(w->amountEdit->text(), QStringLiteral("4159.5"));
        QCOMPARE(w->endDatePicker->text(), QStringLiteral("2026-04-10"));
        pick(w->paymentMethodBox, Method);
        typeText(w->remarkEdit, QStringLiteral("两年"));
        w->continuousEntryCheck->setChecked(false);
        w->saveButton->click();
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
    const Rows c = dataModule().query(QStringLiteral("SELECT theNum, myDate, theCount, theMoney, theDX, MType, theSKR, "
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
    auto *w = lastChild<ChargeManagementWindow>();
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("收费管理"));
    QCOMPARE(w->listModel->rowCount(), 0); // nothing until "查询"
    QCOMPARE(w->fromPicker->text(), QStringLiteral("2024-09-10"));
    QCOMPARE(w->toPicker->text(), QStringLiteral("2024-10-10"));

    // The owner's name, then Enter runs "查询".
    typeText(w->ownerEdit, QStringLiteral("孙"));
    QVERIFY(w->ownerCheck->isChecked());
    QTest::keyClick(w->ownerEdit, Qt::Key_Return);
    QCOMPARE(m_messages->texts(), QStringList());
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->countLabel->text(), QStringLiteral("记录：1"));
    QCOMPARE(w->firstSumLabel->text(), QStringLiteral("收款金额：4159.5"));
    QCOMPARE(column(w->listModel, QStringLiteral("单号")), QStringList{m_receiptNumber});
    QCOMPARE(w->currentRow(), 0);
    QVERIFY(w->gridPopupAttached());

    // "打印 &P" shows the same receipt again and changes nothing.
    m_receipts.pdfPath = m_files->filePath(QStringLiteral("reprint.pdf"));
    w->printAction->trigger();
    QCOMPARE(m_messages->texts(), QStringList());
    QCOMPARE(m_receipts.pages.size(), 2);
    QCOMPARE(pdfText(m_receipts.pdfPath), m_firstReceiptText);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge")), 1);
    w->closeWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(m_main->mdiArea->subWindowList().size(), 0);
}

// ---------------------------------------------------------------- who is behind

void TestWorkday::arrearsReminder()
{
    m_messages->clear();
    m_main->findChild<QAction *>(QStringLiteral("tool_欠费提醒"))->trigger();
    auto *w = lastChild<ArrearsReminderWindow>();
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("欠费提醒"));
    QCOMPARE(w->referencePicker->text(), QStringLiteral("2024-04-10"));
    // Enter in the reference date runs "查询" as in the filter fields.
    w->referencePicker->setFocus();
    QTest::keyClick(w->referencePicker, Qt::Key_Return);
    QCOMPARE(m_messages->texts(), QStringList());
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->countLabel->text(), QStringLiteral("记录：1"));
    QCOMPARE(column(w->listModel, QStringLiteral("业主名称")), QStringList{QStringLiteral("周海燕")});
    QCOMPARE(column(w->listModel, QStringLiteral("欠费年数")), QStringList{QStringLiteral("1")});
    QCOMPARE(column(w->listModel, QStringLiteral("欠费金额")), QStringList{QStringLiteral("1504")});
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->firstSumLabel->text(), QStringLiteral("面积：64"));
    QCOMPARE(w->secondSumLabel->text(), QStringLiteral("欠费金额：1504"));
    QCOMPARE(w->rowTextColour(0), QColor(255, 0, 0));
    QVERIFY(w->excelButton->isEnabled());

    // At the end of this season the one who paid today is still not behind.
    w->referencePicker->setDate(QDate(2025, 4, 11));
    w->queryButton->click();
    QCOMPARE(column(w->listModel, QStringLiteral("业主名称")), QStringList{QStringLiteral("周海燕")});
    QCOMPARE(column(w->listModel, QStringLiteral("欠费年数")), QStringList{QStringLiteral("2")});
    w->closeButton->click();
}

// ---------------------------------------------------------------- the day's list to a workbook

void TestWorkday::exportChargeQuery()
{
    m_messages->clear();
    m_main->findChild<QAction *>(QStringLiteral("tool_收费查询"))->trigger();
    auto *w = lastChild<ChargeQueryWindow>();
    QVERIFY(w);
    QVERIFY(!w->excelButton->isEnabled());
    // Today's payments: both ends of the range on the charging date.
    w->fromPicker->setFocus();
    w->fromPicker->setDate(Today);
    w->chargeDateCheck->setChecked(true);
    QVERIFY(w->chargeDateCheck->isChecked());
    w->queryButton->click();
    QVERIFY(w->waitForFigures());
    QCOMPARE(w->countLabel->text(), QStringLiteral("记录：1"));
    QVERIFY(w->excelButton->isEnabled());
    w->excelButton->click();
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
    w->closeButton->click();
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
    OwnerImportDialog::setFileChooser([&](QWidget *, const QString &filter) {
        filterShown = filter;
        return book;
    });
    m_messages->clear();
    m_dialogs->next = [&](QDialog *d) {
        auto *w = qobject_cast<OwnerImportDialog *>(d);
        QVERIFY(w);
        QVERIFY(!w->importButton->isEnabled());
        w->openButton->click();
        QVERIFY(filterShown.startsWith(QStringLiteral("Excel文件(*.xls)")));
        QCOMPARE(m_messages->texts(), QStringList());
        QCOMPARE(w->sheetGroup->title(), QStringLiteral("EXCEL数据  共有 3 条数据"));
        QCOMPARE(w->sheetModel->rowCount(), 3);
        QCOMPARE(w->sheetModel->index(1, 5).data().toString(), QStringLiteral("冯志强"));
        QCOMPARE(w->sheetModel->index(0, 4).data().toString(), QStringLiteral("2024-04-10"));
        QVERIFY(w->importButton->isEnabled());
        // The area is asked for first.
        w->importButton->click();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("小区名称 不能为空！")});
        QCOMPARE(w->focusWidget(), w->areaBox);
        m_messages->clear();
        pick(w->areaBox, Area);
        w->importButton->click();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("成功导入业主数据 3 条！")});
        QVERIFY(!w->isVisible());
    };
    m_main->action(QStringLiteral("业主导入"))->trigger();
    OwnerImportDialog::setFileChooser(nullptr);
    if (failed())
        return;
    QVERIFY(m_dialogs->closedItself);

    // The owner query now lists the five houses of the area.
    m_main->action(QStringLiteral("业主查询"))->trigger();
    auto *q = lastChild<OwnerQueryWindow>();
    QVERIFY(q);
    pick(q->areaBox, Area);
    QVERIFY(q->areaCheck->isChecked());
    QTest::keyClick(q->areaBox, Qt::Key_Return);
    QVERIFY(q->waitForFigures());
    QCOMPARE(q->countLabel->text(), QStringLiteral("记录：5"));
    QCOMPARE(q->firstSumLabel->text(), QStringLiteral("面积：439.2"));
    QCOMPARE(column(q->listModel, QStringLiteral("房号")),
             (QStringList{"1-2-301", "1-2-302", "2-1-101", "2-1-102", "2-1-201"}));
    QCOMPARE(column(q->listModel, QStringLiteral("业主名称")).at(4), QStringLiteral("何春梅"));
    QCOMPARE(column(q->listModel, QStringLiteral("到期日期")).at(4), QStringLiteral("2025-04-10"));
    q->closeButton->click();
}

// ---------------------------------------------------------------- evening: a new password

void TestWorkday::changePassword()
{
    m_messages->clear();
    m_dialogs->next = [&](QDialog *d) {
        auto *w = qobject_cast<ChangePasswordDialog *>(d);
        QVERIFY(w);
        QCOMPARE(w->focusWidget(), w->oldPasswordEdit);
        typeText(w->oldPasswordEdit, QStringLiteral("580913"));
        typeText(w->newPasswordEdit, NewPassword);
        typeText(w->confirmPasswordEdit, QStringLiteral("dong2025"));
        w->saveButton->click();
        QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("新密码 和 确认密码 不一致，请重新录入！")});
        QCOMPARE(w->focusWidget(), w->newPasswordEdit);
        QCOMPARE(m_quit->count, 0);
        m_messages->clear();
        typeText(w->newPasswordEdit, NewPassword);
        typeText(w->confirmPasswordEdit, NewPassword);
        w->saveButton->click();
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
    dataModule().closeConnection();
    startProgram();
    m_messages->clear();
    LoginDialog &w = *m_login;
    pick(w.operatorBox, Operator);
    w.chargeDatePicker->setDate(Today.addDays(1));
    typeText(w.passwordEdit, QStringLiteral("580913"));
    QTest::keyClick(w.passwordEdit, Qt::Key_Return);
    QCOMPARE(m_messages->texts(), QStringList{QStringLiteral("密码错误，请重新录入！")});
    QCOMPARE(w.focusWidget(), w.passwordEdit);
    QVERIFY(!m_main->isVisible());

    m_messages->clear();
    w.passwordEdit->clear();
    typeText(w.passwordEdit, NewPassword);
    QTest::keyClick(w.passwordEdit, Qt::Key_Return);
    QCOMPARE(m_messages->texts(), QStringList());
    QVERIFY(m_main->isVisible());
    QCOMPARE(m_main->statusPanels[2]->text(), Operator);
    QCOMPARE(m_main->statusPanels[4]->text(), QStringLiteral("2024-10-11"));

    // Yesterday's work is all there.
    m_main->action(QStringLiteral("收费管理"))->trigger();
    auto *m = lastChild<ChargeManagementWindow>();
    QVERIFY(m);
    m->chargeDateCheck->setChecked(false);
    m->queryButton->click();
    QVERIFY(m->waitForFigures());
    QCOMPARE(m->countLabel->text(), QStringLiteral("记录：1"));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UHouse WHERE theDel = '否'")), 5);

    // Closing the main window asks first.
    m_messages->answers << true;
    m_main->close();
    QCOMPARE(m_messages->entries.last().caption, QStringLiteral("确认退出"));
    QCOMPARE(m_quit->count, 2);
}

QTEST_MAIN(TestWorkday)
#include "tst_workday.moc"
