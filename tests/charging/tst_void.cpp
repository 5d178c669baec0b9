// Voiding a payment: the refusals, the paid-up date restored, the void and its record
// stored, numbering after a void, a void racing a charge from another copy, the dialog,
// the void query and the admin command.
#include "charging/ChargeLogic.h"
#include "charging/ChargeStatements.h"
#include "charging/PaymentVoid.h"
#include "charging/VoidDialog.h"
#include "charging/VoidQueryWindow.h"
#include "data/DataModule.h"
#include "tests/output/XlsxProbe.h"
#include "tests/support/Doubles.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"
#include "widgets/GbkLineEdit.h"
#include "browse/QueryModel.h"
#include "widgets/RowsModel.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <memory>

class TestVoid : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void refusals_data();
    void refusals();
    void voidRestoresPaidUpAndRecords();
    void numberingAfterVoid();
    void voidAndChargeRacingFromTwoCopies();
    void dialog();
    void dialogShowsRefusal();
    void voidQuery();
    void adminCommand();

private:
    // A payment of the house for some years through the charge logic; its receipt number.
    // The state a refused void must leave unchanged.
    QString snapshot();
    std::unique_ptr<TestDb> m_db;
};

namespace {
const QString Area = QStringLiteral("幸福小区");
} // namespace

void TestVoid::init()
{
    m_db = std::make_unique<TestDb>();
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('幸福小区', '')"));
    m_db->exec(QStringLiteral("INSERT INTO SMType (theName, Remark) VALUES ('现金', '')"));
    for (const QString room : {"1-101", "1-102"})
        HouseBuilder().area(Area).room(room).floorArea(100).purpose(QStringLiteral("住宅")).price(20)
            .paidUpTo(QStringLiteral("2024-04-10")).owner(QStringLiteral("张三")).phone({}).remark({})
            .entered(QStringLiteral("2024-01-01"), QStringLiteral("管理员")).insert(*m_db);
    m_db->login(QDate(2024, 10, 10));
}

void TestVoid::cleanup() { m_db.reset(); }

QString TestVoid::snapshot()
{
    return m_db->scalar(QStringLiteral("SELECT group_concat(theNum || theDel, ',') FROM UCharge")) + QLatin1Char('|')
        + m_db->scalar(QStringLiteral("SELECT group_concat(EndDate, ',') FROM UHouse")) + QLatin1Char('|')
        + m_db->scalar(QStringLiteral("SELECT COUNT(*) FROM UVoid")) + QLatin1Char('|')
        + m_db->scalar(QStringLiteral("SELECT COUNT(*) FROM ULog"));
}

void TestVoid::refusals_data()
{
    QTest::addColumn<QString>("setUp");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("message");
    QTest::newRow("no reason") << "" << "2410100002" << "" << "作废原因 不能为空！";
    QTest::newRow("blank reason") << "" << "2410100002" << "   " << "作废原因 不能为空！";
    QTest::newRow("no number") << "" << "" << "错收" << "收据单号 不能为空！";
    QTest::newRow("unknown number") << "" << "2410109999" << "错收" << "收据单号 2410109999 不存在，请重新录入！";
    QTest::newRow("already voided") << "void 2410100002" << "2410100002" << "错收"
                                    << "收据 2410100002 已经作废，不能再次作废！";
    QTest::newRow("a later payment first")
        << "" << "2410100001" << "错收" << "收据 2410100001 不是该户最近的一笔收费，请先作废其后的收据 2410100002（截止日期 2027-04-10）";
    QTest::newRow("paid-up date changed by hand")
        << "UPDATE UHouse SET EndDate = '2028-04-10' WHERE theNum = '1-101'" << "2410100002" << "错收"
        << "该户的到期日期 2028-04-10 已不是收据 2410100002 的截止日期 2027-04-10（到期日期已在业主管理中修改过），不能作废";
    QTest::newRow("house gone") << "DELETE FROM UHouse WHERE theNum = '1-101'" << "2410100002" << "错收"
                                << "收据 2410100002 所收费的房屋已不存在，无法退回到期日期，不能作废";
    QTest::newRow("two payments with one number")
        << "INSERT INTO UCharge (HID, theNum, theDel, theDate) SELECT HID, '2410100002', '否', theDate FROM UCharge "
           "WHERE theNum = '2410100001'"
        << "2410100002" << "错收"
        << "有 2 笔收费使用同一收据单号 2410100002，无法确定要作废哪一笔，请联系系统维护人员";
}

void TestVoid::refusals()
{
    QFETCH(QString, setUp);
    QFETCH(QString, number);
    QFETCH(QString, reason);
    QFETCH(QString, message);
    QCOMPARE(Payment(Area, QStringLiteral("1-101")).years(1).save(), QStringLiteral("2410100001"));
    QCOMPARE(Payment(Area, QStringLiteral("1-101")).years(2).save(), QStringLiteral("2410100002"));
    if (setUp.startsWith(QLatin1String("void ")))
        PaymentVoid::run(setUp.mid(5), QStringLiteral("第一次"));
    else if (!setUp.isEmpty())
        m_db->exec(setUp);
    const QString before = snapshot();
    try {
        PaymentVoid::run(number, reason);
        QFAIL("the void was not refused");
    } catch (const AppError &e) {
        QCOMPARE(e.message(), message);
    }
    QCOMPARE(snapshot(), before);
}

void TestVoid::voidRestoresPaidUpAndRecords()
{
    Payment(Area, QStringLiteral("1-101")).years(1).save();
    Payment(Area, QStringLiteral("1-101")).years(2).save();
    Payment(Area, QStringLiteral("1-102")).years(1).save();
    const PaymentVoid::Result r = PaymentVoid::run(QStringLiteral("2410100002"), QStringLiteral(" 年数录错 "));
    QCOMPARE(r.paidUpBefore, QStringLiteral("2027-04-10"));
    QCOMPARE(r.paidUpAfter, QStringLiteral("2025-04-10"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE theNum = '1-101'")), QStringLiteral("2025-04-10"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE theNum = '1-102'")), QStringLiteral("2025-04-10"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT theDel FROM UCharge WHERE theNum = '2410100002'")), QStringLiteral("是"));

    // The void as stored: who, when, why, the receipt and amount, the dates before and after.
    const Rows v = dataModule().query(QStringLiteral("SELECT * FROM UVoid"));
    QCOMPARE(v.rowCount(), 1);
    QCOMPARE(v.value(QStringLiteral("theNum")), QStringLiteral("2410100002"));
    QCOMPARE(v.value(QStringLiteral("theMoney")), QStringLiteral("4000"));
    QCOMPARE(v.value(QStringLiteral("OldEndDate")), QStringLiteral("2027-04-10"));
    QCOMPARE(v.value(QStringLiteral("NewEndDate")), QStringLiteral("2025-04-10"));
    QCOMPARE(v.value(QStringLiteral("Reason")), QStringLiteral("年数录错"));
    QCOMPARE(v.value(QStringLiteral("UName")), QStringLiteral("管理员"));
    QCOMPARE(v.value(QStringLiteral("theDate")), QStringLiteral("2024-10-10"));
    QVERIFY(QDateTime::fromString(v.value(QStringLiteral("theTime")), QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid());
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT theAction || ' ' || theChange FROM ULog ORDER BY ID DESC")),
             QStringLiteral("作废收费 单号 2410100002，金额 4000，到期日期：2027-04-10 → 2025-04-10，原因：年数录错"));

    // The charge lists show live rows only; the earlier payment can now be voided too.
    const Rows listed = dataModule().query(ChargeStatements::list({}));
    QCOMPARE(listed.rowCount(), 2);
    QCOMPARE(dataModule().db().scalar(ChargeStatements::totals(dataModule().db(), {})), QStringLiteral("4000"));
    PaymentVoid::run(QStringLiteral("2410100001"), QStringLiteral("重复收费"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE theNum = '1-101'")), QStringLiteral("2024-04-10"));
    // The house is charged again from its restored paid-up date.
    Payment(Area, QStringLiteral("1-101")).years(1).save();
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT QSDate || ' ' || JZDate FROM UCharge ORDER BY ID DESC")),
             QStringLiteral("2024-04-11 2025-04-10"));
}

void TestVoid::numberingAfterVoid()
{
    Payment(Area, QStringLiteral("1-101")).years(1).save();
    Payment(Area, QStringLiteral("1-102")).years(1).save();
    PaymentVoid::run(QStringLiteral("2410100002"), QStringLiteral("错收"));
    // The voided number stays taken: the next payment does not reuse it.
    QCOMPARE(Payment(Area, QStringLiteral("1-102")).years(1).save(), QStringLiteral("2410100003"));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge WHERE theNum = '2410100002'")), 1);
}

void TestVoid::voidAndChargeRacingFromTwoCopies()
{
    // Each round, another copy voids the house's latest payment while this one's admin tool
    // charges the same house. Whatever the order, the paid-up date ends as the end of the
    // newest live payment, and no two live payments cover the same days.
    Payment(Area, QStringLiteral("1-101")).years(1).save();
    for (int round = 0; round < 8; ++round) {
        const QString latest = m_db->scalar(
            QStringLiteral("SELECT theNum FROM UCharge WHERE theDel = '否' AND HID = 1 ORDER BY ID DESC"));
        QProcess voider, charger;
        voider.start(QStringLiteral(ADMIN_TOOL_PATH),
                     {QStringLiteral("void"), QStringLiteral("--db"), m_db->path(), latest, QStringLiteral("--reason"),
                      QStringLiteral("并发")});
        charger.start(QStringLiteral(ADMIN_TOOL_PATH),
                      {QStringLiteral("charge"), QStringLiteral("--db"), m_db->path(), QStringLiteral("--area"), Area,
                       QStringLiteral("--room"), QStringLiteral("1-101"), QStringLiteral("--years"), QStringLiteral("1"),
                       QStringLiteral("--charge-date"), QStringLiteral("2024-10-10")});
        QVERIFY(voider.waitForFinished(60000));
        QVERIFY(charger.waitForFinished(60000));
        // A refusal is a message, never a crash or a lock error.
        for (QProcess *p : {&voider, &charger}) {
            QCOMPARE(p->exitStatus(), QProcess::NormalExit);
            const QString err = QString::fromUtf8(p->readAllStandardError());
            QVERIFY2(!err.contains(QStringLiteral("locked")), qPrintable(err));
        }
        const Rows live = dataModule().query(
            QStringLiteral("SELECT QSDate, JZDate FROM UCharge WHERE theDel = '否' AND HID = 1 ORDER BY ID"));
        const QString paidUp = m_db->scalar(QStringLiteral("SELECT EndDate FROM UHouse WHERE ID = 1"));
        if (live.isEmpty()) {
            QCOMPARE(paidUp, QStringLiteral("2024-04-10"));
            Payment(Area, QStringLiteral("1-101")).years(1).save();
            continue;
        }
        QCOMPARE(paidUp, live.at(live.rowCount() - 1, 1));
        for (int i = 1; i < live.rowCount(); ++i)
            QCOMPARE(QDate::fromString(live.at(i, 0), Qt::ISODate),
                     QDate::fromString(live.at(i - 1, 1), Qt::ISODate).addDays(1));
    }
    // Every void stored its record, and every voided payment has its void.
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UCharge WHERE theDel = '是'")),
             m_db->count(QStringLiteral("SELECT ID FROM UVoid")));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM ULog WHERE theAction = '作废收费'")),
             m_db->count(QStringLiteral("SELECT ID FROM UVoid")));
}

void TestVoid::dialog()
{
    Payment(Area, QStringLiteral("1-101")).years(1).save();
    Payment(Area, QStringLiteral("1-102")).years(3).save();
    MessageRecorder rec;
    VoidDialog d;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QCOMPARE(d.windowTitle(), QStringLiteral("收费作废"));
    QCOMPARE(d.todayRows->rowCount(), 2);
    QCOMPARE(d.todayRows->rows().at(0, 0), QStringLiteral("2410100002"));

    // No payment shown yet: the button is off, and the void itself refuses.
    QVERIFY(!d.voidButton->isEnabled());
    d.voidPayment();
    QCOMPARE(rec.last(), QStringLiteral("收据单号 不能为空，请重新录入！"));

    // Clicked in the list: the payment and what the void does to the paid-up date.
    const QModelIndex newest = d.todayRows->index(0, 0);
    QTest::mouseClick(d.todayGrid->viewport(), Qt::LeftButton, {}, d.todayGrid->visualRect(newest).center());
    QCOMPARE(d.numberEdit->text(), QStringLiteral("2410100002"));
    QCOMPARE(d.paymentLabels[3]->text(), QStringLiteral("1-102"));
    QCOMPARE(d.paymentLabels[8]->text(), QStringLiteral("6000 元"));
    QCOMPARE(d.paymentLabels[11]->text(), QStringLiteral("2027-04-10 → 2024-04-10"));
    QVERIFY(d.voidButton->isEnabled());

    // The reason is required.
    QTest::mouseClick(d.voidButton, Qt::LeftButton);
    QCOMPARE(rec.last(), QStringLiteral("作废原因 不能为空！"));
    QCOMPARE(d.focusWidget(), d.reasonEdit);

    // No (the default) changes nothing.
    typeText(d.reasonEdit, QStringLiteral("年数录错"));
    QCOMPARE(d.reasonEdit->text(), QStringLiteral("年数录错"));
    rec.answers = {false};
    QTest::mouseClick(d.voidButton, Qt::LeftButton);
    QCOMPARE(rec.entries.last().caption, QStringLiteral("作废"));
    QVERIFY(rec.last().contains(QStringLiteral("2027-04-10 退回到 2024-04-10")));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM UVoid")), 0);

    rec.answers = {true};
    QTest::mouseClick(d.voidButton, Qt::LeftButton);
    QCOMPARE(rec.last(), QStringLiteral("收据 2410100002 已作废，该户到期日期已退回到 2024-04-10！"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT Reason FROM UVoid")), QStringLiteral("年数录错"));
    QCOMPARE(d.todayRows->rowCount(), 1);
    QVERIFY(d.numberEdit->text().isEmpty());
    QVERIFY(!d.voidButton->isEnabled());
}

void TestVoid::dialogShowsRefusal()
{
    Payment(Area, QStringLiteral("1-101")).years(1).save();
    Payment(Area, QStringLiteral("1-101")).years(1).save();
    MessageRecorder rec;
    VoidDialog d;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    // The receipt number typed, Enter shows the payment.
    QTest::keyClicks(d.numberEdit, QStringLiteral("2410100001"));
    QTest::keyClick(d.numberEdit, Qt::Key_Return);
    QCOMPARE(d.paymentLabels[0]->text(), QStringLiteral("2410100001"));
    QVERIFY2(d.refusalLabel->text().contains(QStringLiteral("请先作废其后的收据 2410100002")), qPrintable(d.refusalLabel->text()));
    QVERIFY(!d.voidButton->isEnabled());
    d.numberEdit->clear();
    QTest::keyClicks(d.numberEdit, QStringLiteral("99"));
    QTest::keyClick(d.numberEdit, Qt::Key_Return);
    QCOMPARE(rec.last(), QStringLiteral("收据单号 99 不存在，请重新录入！"));
    QVERIFY(d.paymentLabels[0]->text().isEmpty());
}

void TestVoid::voidQuery()
{
    Payment(Area, QStringLiteral("1-101")).years(1).save();
    Payment(Area, QStringLiteral("1-102")).years(2).save();
    PaymentVoid::run(QStringLiteral("2410100001"), QStringLiteral("错收"));
    PaymentVoid::run(QStringLiteral("2410100002"), QStringLiteral("多收"));
    MessageRecorder rec;
    VoidQueryWindow w;
    w.runQuery();
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(w.listModel->rowCount(), 2);
    QCOMPARE(w.listModel->value(0, QStringLiteral("单号")), QStringLiteral("2410100002"));
    QCOMPARE(w.listModel->value(0, QStringLiteral("作废原因")), QStringLiteral("多收"));
    QVERIFY(w.waitForFigures());
    QCOMPARE(w.countLabel->text(), QStringLiteral("记录：2"));
    QCOMPARE(w.firstSumLabel->text(), QStringLiteral("作废金额：6000"));
    QVERIFY(w.excelButton->isEnabled());
    // "Excel": the listed voids and their total, as the charge query exports its payments.
    RecordingOpener opener;
    w.exportToExcel();
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(opener.opened.size(), 1);
    const XlsxProbe x(opener.opened.first());
    QVERIFY2(x.error.isEmpty(), qPrintable(x.error));
    QCOMPARE(x.text(QStringLiteral("A1")), QStringLiteral("澄岳供热有限公司作废报表"));
    QCOMPARE(x.text(QStringLiteral("B3")), QStringLiteral("2410100002"));
    QCOMPARE(x.text(QStringLiteral("E3")), QStringLiteral("多收"));
    QCOMPARE(x.text(QStringLiteral("A5")), QStringLiteral("合计"));
    QCOMPARE(x.text(QStringLiteral("J5")), QStringLiteral("6000"));
    QFile::remove(opener.opened.first());
    w.edit(1)->setText(QStringLiteral("0001"));
    w.runQuery();
    QCOMPARE(w.listModel->rowCount(), 1);
    QVERIFY(w.waitForFigures());
    QCOMPARE(w.firstSumLabel->text(), QStringLiteral("作废金额：2000"));
    // The date range is the date of the void.
    w.checkBox(1)->setChecked(false);
    w.checkBox(2)->setChecked(true);
    w.runQuery();
    QCOMPARE(w.listModel->rowCount(), 2);
}

void TestVoid::adminCommand()
{
    Payment(Area, QStringLiteral("1-101")).years(1).save();
    Payment(Area, QStringLiteral("1-101")).years(1).save();
    dataModule().closeConnection();
    QString out, err;
    QCOMPARE(runAdmin({QStringLiteral("void"), QStringLiteral("--db"), m_db->path(), QStringLiteral("2410100001"),
                       QStringLiteral("--reason"), QStringLiteral("错收")},
                      &out, &err),
             1);
    QCOMPARE(err.trimmed(), QStringLiteral("收据 2410100001 不是该户最近的一笔收费，请先作废其后的收据 2410100002（截止日期 2026-04-10）"));
    QCOMPARE(runAdmin({QStringLiteral("void"), QStringLiteral("--db"), m_db->path(), QStringLiteral("2410100002")}, &out, &err), 1);
    QCOMPARE(err.trimmed(), QStringLiteral("作废原因 不能为空！"));
    QCOMPARE(runAdmin({QStringLiteral("void"), QStringLiteral("--db"), m_db->path(), QStringLiteral("2410100002"),
                       QStringLiteral("--reason"), QStringLiteral("错收"), QStringLiteral("--operator"), QStringLiteral("nobody")},
                      &out, &err),
             1);
    QCOMPARE(err.trimmed(), QStringLiteral("操作员 “nobody” 不存在"));
    QCOMPARE(runAdmin({QStringLiteral("void"), QStringLiteral("--db"), m_db->path(), QStringLiteral("2410100002"),
                       QStringLiteral("--reason"), QStringLiteral("错收")},
                      &out, &err),
             0);
    QCOMPARE(out.trimmed(), QStringLiteral("收据 2410100002 已作废：幸福小区 1-101 张三，金额 2000 元；到期日期 2026-04-10 → 2025-04-10"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT UName || ' ' || Reason FROM UVoid")), QStringLiteral("管理员 错收"));
}

QTEST_MAIN(TestVoid)
#include "tst_void.moc"
