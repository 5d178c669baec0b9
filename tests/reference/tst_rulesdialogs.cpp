// The windows of the billing rules: 收费规则, 采暖季单价, and 报停 from 业主管理's pop-up menu.
#include "data/DataModule.h"
#include "data/OfficeRules.h"
#include "owners/OwnerManagementWindow.h"
#include "owners/SuspendDialog.h"
#include "reference/BillingRulesDialog.h"
#include "reference/SeasonPricesDialog.h"
#include "tests/support/Builders.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <memory>

class TestRulesDialogs : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void rulesDialogShowsAndStores();
    void seasonPricesListedChangedRemoved();
    void suspendFromOwnerManagement();

private:
    std::unique_ptr<TestDb> m_db;
    std::unique_ptr<MessageRecorder> m_messages;
};

void TestRulesDialogs::init()
{
    m_db = std::make_unique<TestDb>();
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('幸福小区', '')"));
    m_db->exec(QStringLiteral("INSERT INTO SPrice (theName, thePrice, Remark) VALUES ('住宅', 20, ''), ('商业', 35, '')"));
    m_db->login(QDate(2024, 9, 1));
    m_messages = std::make_unique<MessageRecorder>();
}

void TestRulesDialogs::cleanup()
{
    m_messages.reset();
    m_db.reset();
}

void TestRulesDialogs::rulesDialogShowsAndStores()
{
    BillingRulesDialog d;
    d.show();
    QVERIFY(!d.suspendCheck->isChecked() && !d.discountCheck->isChecked() && !d.lateCheck->isChecked());
    QCOMPARE(d.suspendPercentEdit->text(), QStringLiteral("30"));
    d.suspendCheck->setChecked(true);
    d.suspendDeadlineEdit->setText(QStringLiteral("11-30"));
    d.lateCheck->setChecked(true);
    d.latePermilleEdit->setText(QStringLiteral("abc"));
    d.save();
    QVERIFY2(m_messages->last().contains(QStringLiteral("不是有效的数字")), qPrintable(m_messages->last()));
    QCOMPARE(OfficeRules::settings(dataModule().db()).suspend, false); // nothing stored
    d.latePermilleEdit->setText(QStringLiteral("0.3"));
    d.save();
    QCOMPARE(m_messages->last(), QStringLiteral("收费规则 保存成功！"));
    const OfficeRules::Settings s = OfficeRules::settings(dataModule().db());
    QVERIFY(s.suspend && s.late && !s.discount);
    QCOMPARE(s.suspendDeadline, QStringLiteral("11-30"));
    QCOMPARE(s.latePermille, 0.3);

    BillingRulesDialog again;
    again.show();
    QVERIFY(again.suspendCheck->isChecked() && again.lateCheck->isChecked());
    QCOMPARE(again.latePermilleEdit->text(), QStringLiteral("0.3"));
}

void TestRulesDialogs::seasonPricesListedChangedRemoved()
{
    SeasonPricesDialog d;
    d.show();
    QCOMPARE(d.purposeBox->count(), 2);
    d.purposeBox->setCurrentText(QStringLiteral("住宅"));
    d.seasonSpin->setValue(2025);
    d.priceEdit->setText(QStringLiteral("22.5"));
    d.save();
    d.purposeBox->setCurrentText(QStringLiteral("商业"));
    d.priceEdit->setText(QStringLiteral("40"));
    d.save();
    QStringList rows;
    int home = -1;
    for (int r = 0; r < d.grid->rowCount(); ++r) {
        rows << d.grid->item(r, 0)->text() + QLatin1Char(' ') + d.grid->item(r, 1)->text() + QLatin1Char(' ') + d.grid->item(r, 2)->text();
        if (d.grid->item(r, 0)->text() == QStringLiteral("住宅"))
            home = r;
    }
    rows.sort();
    QCOMPARE(rows, (QStringList{QStringLiteral("住宅 2025—2026 22.5"), QStringLiteral("商业 2025—2026 40")}));
    // A row picked fills the boxes; a changed price replaces it.
    d.grid->setCurrentCell(home == 0 ? 1 : 0, 0);
    d.grid->setCurrentCell(home, 0);
    QCOMPARE(d.purposeBox->currentText(), QStringLiteral("住宅"));
    d.priceEdit->setText(QStringLiteral("23"));
    d.save();
    QCOMPARE(d.grid->rowCount(), 2);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT thePrice FROM SSeasonPrice WHERE HType = '住宅'")).toDouble(), 23.0);
    d.priceEdit->setText(QStringLiteral("x"));
    d.save();
    QVERIFY2(m_messages->last().contains(QStringLiteral("不是有效的数字")), qPrintable(m_messages->last()));
    d.remove();
    QCOMPARE(d.grid->rowCount(), 1);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM ULog WHERE theTable = 'SSeasonPrice'")), 4);
}

void TestRulesDialogs::suspendFromOwnerManagement()
{
    HouseBuilder().area(QStringLiteral("幸福小区")).room(QStringLiteral("1-101")).floorArea(QStringLiteral("100"))
        .price(QStringLiteral("20")).purpose(QStringLiteral("住宅")).paidUpTo(QStringLiteral("2024-04-10"))
        .owner(QStringLiteral("张三")).phone({}).remark({}).entered(QStringLiteral("2024-01-01"), QStringLiteral("管理员"))
        .insert(*m_db);
    ScriptedDialogs dialogs;
    // Without the rule the pop-up menu has no 报停.
    QVERIFY(!std::make_unique<OwnerManagementWindow>()->suspendAction);
    OfficeRules::Settings s;
    s.suspend = true;
    s.suspendDeadline = QStringLiteral("08-31");
    OfficeRules::storeSettings(s);
    auto w = std::make_unique<OwnerManagementWindow>();
    w->show();
    w->runQuery();
    QVERIFY(w->suspendAction && w->suspendAction->isEnabled());

    // After the deadline: refused in the logic's words.
    dialogs.nextAs<SuspendDialog>([&](SuspendDialog &d) {
        QCOMPARE(d.houseLabel->text(), QStringLiteral("幸福小区 1-101（到期日期 2024-04-10）"));
        QCOMPARE(d.seasonSpin->value(), 2024);
        d.suspendButton->click();
    });
    w->suspendHouse();
    QVERIFY2(m_messages->last().contains(QStringLiteral("已过截止日期")), qPrintable(m_messages->last()));

    s.suspendDeadline = QStringLiteral("09-30");
    OfficeRules::storeSettings(s);
    dialogs.nextAs<SuspendDialog>([&](SuspendDialog &d) {
        d.reasonEdit->setText(QStringLiteral("外出"));
        d.suspendButton->click();
        QCOMPARE(d.suspendedLabel->text(), QStringLiteral("2024（30%）"));
        d.cancelButton->click();
        QCOMPARE(d.suspendedLabel->text(), QStringLiteral("无"));
        d.suspendButton->click();
    });
    w->suspendHouse();
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM USuspend WHERE theDel = '否' AND Reason = '外出' AND UName = '管理员'")), 1);
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM ULog WHERE theAction IN ('报停', '取消报停')")), 3);
}

QTEST_MAIN(TestRulesDialogs)
#include "tst_rulesdialogs.moc"
