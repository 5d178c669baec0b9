#include "data/DataModule.h"
#include "data/PasswordHash.h"
#include "operators/Accounts.h"
#include "operators/ChangePasswordDialog.h"
#include "operators/DefaultsDialog.h"
#include "operators/Login.h"
#include "operators/OperatorsDialog.h"
#include "reference/UnitSettingsDialog.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestSupport.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/LookupCombo.h"
#include "widgets/RowsModel.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QTest>

class TestAccounts : public QObject {
    Q_OBJECT
private slots:
    void userDialogShape();
    void addOperator();
    void newOperatorLogsInWithInitialPassword();
    void loggedInOperatorIsNotDeleted();
    void deleteOtherOperator();

    void passwordBoxes();
    void passwordChecks_data();
    void passwordChecks();
    void passwordChanged_data();
    void passwordChanged();
    void passwordRefusedStatement();

    void defaultsPreselectedAfterNextLogin();
    void defaultsAllEmpty();
    void defaultsOfOneOperatorOnly();
    void defaultsExitSavesNothing();
    void defaultsRefusedStatement();
    void saveOfNoRowIsNoSuccess_data();
    void saveOfNoRowIsNoSuccess();
};

namespace {

int rowOf(OperatorsDialog &w, const QString &name)
{
    const Rows &rows = w.listRows->rows();
    for (int r = 0; r < rows.rowCount(); ++r)
        if (rows.at(r, QStringLiteral("用户名")) == name)
            return r;
    return -1;
}

void selectRow(OperatorsDialog &w, int row)
{
    w.listGrid->setCurrentIndex(w.listGrid->model()->index(row, 0));
}

} // namespace

void TestAccounts::userDialogShape()
{
    TestDb db;
    MessageRecorder rec;
    db.login();
    OperatorsDialog w;
    showAndWait(&w);
    QCOMPARE(w.windowTitle(), QStringLiteral("用户设置"));
    QCOMPARE(w.size(), QSize(500, 430));
    QCOMPARE(w.listGroup->title(), QStringLiteral("用户列表信息"));
    QCOMPARE(w.entryGroup->title(), QStringLiteral("用户信息"));
    QCOMPARE(w.initialPasswordLabel->text(), QStringLiteral("新增的用户初始密码为：580913"));
    QCOMPARE(w.deleteAction->text(), QStringLiteral("删除 &D"));
    QCOMPARE(w.nameEdit->byteLimit(), 12);
    QCOMPARE(w.remarkEdit->byteLimit(), 50);
    QVERIFY(w.priceEdit == nullptr);
    QAbstractItemModel *m = w.listGrid->model();
    QCOMPARE(m->columnCount(), 4);
    QCOMPARE(m->headerData(0, Qt::Horizontal).toString(), QStringLiteral("用户名"));
    QCOMPARE(m->headerData(1, Qt::Horizontal).toString(), QStringLiteral("角色"));
    QCOMPARE(m->headerData(2, Qt::Horizontal).toString(), QStringLiteral("备注"));
    QCOMPARE(m->index(0, 1).data().toString(), QStringLiteral("管理员"));
    QCOMPARE(w.listGrid->columnWidth(2), 210);
    QVERIFY(w.listGrid->isColumnHidden(3));
    // Every operator is listed, the hidden column holding the row's key.
    QCOMPARE(m->rowCount(), db.count(QStringLiteral("SELECT ID FROM SUser")));
    QCOMPARE(m->index(0, 0).data().toString(), QStringLiteral("管理员"));
    QCOMPARE(m->index(0, 3).data().toString(), db.scalar(QStringLiteral("SELECT ID FROM SUser WHERE theName = '管理员'")));
    QCOMPARE(focusIn(&w), w.nameEdit);
}

void TestAccounts::addOperator()
{
    TestDb db;
    MessageRecorder rec;
    db.login();
    OperatorsDialog w;
    showAndWait(&w);

    w.remarkEdit->setText(QStringLiteral("白班"));
    w.addEntry();
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("用户名 不能为空！")});
    QCOMPARE(focusIn(&w), w.nameEdit);

    rec.clear();
    w.nameEdit->setText(QStringLiteral("Zhang"));
    w.addEntry();
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("用户名 保存成功！")});
    QCOMPARE(db.scalar(QStringLiteral("SELECT Remark || '|' || IFNULL(theMT, 'null') FROM SUser "
                                      "WHERE theName = 'Zhang'")),
             QStringLiteral("白班|null"));
    // The initial password is stored as a hash of its own (salted: not the first operator's).
    const QString stored = db.scalar(QStringLiteral("SELECT thePass FROM SUser WHERE theName = 'Zhang'"));
    QVERIFY(PasswordHash::isHash(stored));
    QVERIFY(PasswordHash::matches(stored, QStringLiteral("580913")));
    QVERIFY(stored != db.scalar(QStringLiteral("SELECT thePass FROM SUser WHERE theName = '管理员'")));
    QCOMPARE(w.nameEdit->text(), QString());
    QCOMPARE(w.remarkEdit->text(), QString());
    QCOMPARE(focusIn(&w), w.nameEdit);
    QCOMPARE(w.listGrid->model()->rowCount(), 2);
    QCOMPARE(w.listGrid->currentIndex().row(), 0);

    rec.clear();
    w.nameEdit->setText(QStringLiteral("zHANG"));
    w.closeButton->setFocus();
    w.addEntry();
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("用户名 已存在，请重新录入！")});
    QCOMPARE(focusIn(&w), w.nameEdit);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SUser")), 2);
}

void TestAccounts::newOperatorLogsInWithInitialPassword()
{
    TestDb db;
    MessageRecorder rec;
    db.login();
    db.exec(QStringLiteral("UPDATE SUser SET theMT = '现金', theHT = '住宅', theAN = '东区'"));
    {
        OperatorsDialog w;
        w.nameEdit->setText(QStringLiteral("李四"));
        w.addEntry();
    }
    resetLoginState();
    QVERIFY(Login::tryLogin(QStringLiteral("李四"), QStringLiteral("580913"), QDate(2024, 11, 1)));
    QCOMPARE(CurrentUserName, QStringLiteral("李四"));
    QCOMPARE(DefaultPaymentMethod, QString());
    QCOMPARE(DefaultHouseType, QString());
    QCOMPARE(DefaultAreaName, QString());
}

void TestAccounts::loggedInOperatorIsNotDeleted()
{
    TestDb db;
    MessageRecorder rec;
    db.exec(QStringLiteral("UPDATE SUser SET theName = 'Boss'"));
    db.login(QDate(2024, 10, 10), QStringLiteral("Boss"));
    // Another row whose name differs only in letter case, put in outside the dialog.
    db.exec(QStringLiteral("INSERT INTO SUser (theName, thePass) VALUES ('BOSS', 'x')"));
    OperatorsDialog w;
    showAndWait(&w);

    selectRow(w, rowOf(w, QStringLiteral("Boss")));
    w.deleteCurrent();
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("不能删除当前登录的用户！")});
    QCOMPARE(rec.entries.first().kind, QStringLiteral("info"));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SUser")), 2);

    // The comparison is exact: the other spelling is another operator and may go.
    rec.clear();
    rec.answers = {true};
    selectRow(w, rowOf(w, QStringLiteral("BOSS")));
    w.deleteCurrent();
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(rec.entries.first().kind, QStringLiteral("question"));
    QCOMPARE(db.scalar(QStringLiteral("SELECT group_concat(theName) FROM SUser")), QStringLiteral("Boss"));
}

void TestAccounts::deleteOtherOperator()
{
    TestDb db;
    MessageRecorder rec;
    db.login();
    db.exec(QStringLiteral("INSERT INTO SUser (theName, thePass) VALUES ('王五', '580913')"));
    OperatorsDialog w;
    showAndWait(&w);
    selectRow(w, rowOf(w, QStringLiteral("王五")));

    rec.answers = {false};
    w.deleteCurrent();
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(rec.entries.first().caption, QStringLiteral("删除"));
    QCOMPARE(rec.entries.first().text, QStringLiteral("确认要删除吗？该删除将不可恢复！"));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SUser")), 2);

    rec.clear();
    rec.answers = {true};
    w.deleteCurrent();
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SUser WHERE theName = '王五'")), 0);
    QCOMPARE(w.listGrid->model()->rowCount(), 1);
    QCOMPARE(w.listGrid->currentIndex().row(), 0);
}

void TestAccounts::passwordBoxes()
{
    TestDb db;
    MessageRecorder rec;
    db.login();
    ChangePasswordDialog w;
    showAndWait(&w);
    QCOMPARE(w.windowTitle(), QStringLiteral("修改密码"));
    QCOMPARE(w.size(), QSize(300, 230));
    QCOMPARE(w.passwordGroup->title(), QStringLiteral("修改密码"));
    QCOMPARE(focusIn(&w), w.oldPasswordEdit);
    for (GbkLineEdit *e : {w.oldPasswordEdit, w.newPasswordEdit, w.confirmPasswordEdit}) {
        QCOMPARE(e->echoMode(), QLineEdit::Password);
        QCOMPARE(e->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, e), int('@'));
        QCOMPARE(e->byteLimit(), 12);
    }
}

void TestAccounts::passwordChecks_data()
{
    QTest::addColumn<QString>("oldTyped");
    QTest::addColumn<QString>("newTyped");
    QTest::addColumn<QString>("confirmTyped");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("cleared"); // which of the boxes 1, 2, 3 are emptied
    QTest::addColumn<int>("focus");
    QTest::newRow("wrong old") << "nope" << "new1" << "new1" << "原密码 错误，请重新录入！" << "1" << 1;
    QTest::newRow("empty old") << "" << "new1" << "new1" << "原密码 错误，请重新录入！" << "1" << 1;
    QTest::newRow("new equals old") << "Secret1" << "Secret1" << "Secret1"
                                    << "新密码 不能和 原密码 一致，请重新录入！" << "2" << 2;
    // The old password passes in capitals (the database compares), the typed texts are
    // then compared exactly.
    QTest::newRow("old in capitals, new equals typed") << "SECRET1" << "SECRET1" << "x"
                                                       << "新密码 不能和 原密码 一致，请重新录入！" << "2" << 2;
    QTest::newRow("confirmation differs") << "Secret1" << "new1" << "new2"
                                          << "新密码 和 确认密码 不一致，请重新录入！" << "23" << 2;
    QTest::newRow("confirmation differs in case") << "Secret1" << "new1" << "NEW1"
                                                  << "新密码 和 确认密码 不一致，请重新录入！" << "23" << 2;
}

void TestAccounts::passwordChecks()
{
    QFETCH(QString, oldTyped);
    QFETCH(QString, newTyped);
    QFETCH(QString, confirmTyped);
    QFETCH(QString, message);
    QFETCH(QString, cleared);
    QFETCH(int, focus);
    TestDb db;
    MessageRecorder rec;
    QuitRecorder quit;
    db.login();
    db.exec(QStringLiteral("UPDATE SUser SET thePass = 'Secret1'"));
    ChangePasswordDialog w;
    showAndWait(&w);
    GbkLineEdit *boxes[3] = {w.oldPasswordEdit, w.newPasswordEdit, w.confirmPasswordEdit};
    const QString typed[3] = {oldTyped, newTyped, confirmTyped};
    for (int i = 0; i < 3; ++i)
        boxes[i]->setText(typed[i]);
    w.saveButton->setFocus();

    w.save();
    QCOMPARE(rec.texts(), QStringList{message});
    for (int i = 0; i < 3; ++i)
        QCOMPARE(boxes[i]->text(), cleared.contains(QString::number(i + 1)) ? QString() : typed[i]);
    QCOMPARE(focusIn(&w), boxes[focus - 1]);
    QCOMPARE(db.scalar(QStringLiteral("SELECT thePass FROM SUser")), QStringLiteral("Secret1"));
    QCOMPARE(quit.count, 0);
    QVERIFY(w.isVisible());
}

void TestAccounts::passwordChanged_data()
{
    QTest::addColumn<QString>("oldTyped");
    QTest::addColumn<QString>("newTyped");
    QTest::addColumn<bool>("storedHashed"); // the old password as an earlier change left it
    QTest::newRow("plain") << "Secret1" << "abc123" << true;
    QTest::newRow("only letter case differs") << "SECRET1" << "secret1" << true;
    QTest::newRow("quote") << "Secret1" << "a'b" << true;
    QTest::newRow("empty new") << "Secret1" << "" << true;
    QTest::newRow("old kept in clear") << "secret1" << "新密码Ｘ" << false;
}

void TestAccounts::passwordChanged()
{
    QFETCH(QString, oldTyped);
    QFETCH(QString, newTyped);
    QFETCH(bool, storedHashed);
    TestDb db;
    MessageRecorder rec;
    QuitAfterMessage quit(rec);
    db.login();
    if (storedHashed)
        Accounts::setPassword(QStringLiteral("管理员"), QStringLiteral("Secret1"));
    else
        db.exec(QStringLiteral("UPDATE SUser SET thePass = 'Secret1'"));
    db.exec(QStringLiteral("INSERT INTO SUser (theName, thePass) VALUES ('其他', 'Secret1')"));
    ChangePasswordDialog w;
    showAndWait(&w);
    w.oldPasswordEdit->setText(oldTyped);
    w.newPasswordEdit->setText(newTyped);
    w.confirmPasswordEdit->setText(newTyped);

    w.save();
    // The statement run carries the hash, never the typed text.
    if (!newTyped.isEmpty())
        QVERIFY2(!SqlText.contains(newTyped), qPrintable(SqlText));
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("密码修改成功，请重新打开软件！")});
    QCOMPARE(quit.count, 1);
    QCOMPARE(quit.textsAtQuit, rec.texts()); // the program ends after the message, asking nothing
    const QString stored = db.scalar(QStringLiteral("SELECT thePass FROM SUser WHERE theName = '管理员'"));
    QVERIFY(PasswordHash::isHash(stored));
    QVERIFY(PasswordHash::matches(stored, newTyped));
    QCOMPARE(db.scalar(QStringLiteral("SELECT thePass FROM SUser WHERE theName = '其他'")), QStringLiteral("Secret1"));
    // The new password opens the next run, the old one no longer does.
    resetLoginState();
    if (oldTyped.toCaseFolded() != newTyped.toCaseFolded())
        QVERIFY(!Login::tryLogin(QStringLiteral("管理员"), oldTyped, QDate(2024, 10, 11)));
    QVERIFY(Login::tryLogin(QStringLiteral("管理员"), newTyped, QDate(2024, 10, 11)));
}

void TestAccounts::passwordRefusedStatement()
{
    TestDb db;
    MessageRecorder rec;
    QuitRecorder quit;
    db.login();
    ChangePasswordDialog w;
    showAndWait(&w);
    db.exec(QStringLiteral("DROP TABLE SUser"));
    w.oldPasswordEdit->setText(QStringLiteral("580913"));
    w.newPasswordEdit->setText(QStringLiteral("n"));
    w.confirmPasswordEdit->setText(QStringLiteral("n"));
    w.save();
    QCOMPARE(rec.errors(), 1);
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(quit.count, 0);
    QVERIFY(w.isVisible());
}

void TestAccounts::defaultsPreselectedAfterNextLogin()
{
    TestDb db;
    MessageRecorder rec;
    QuitAfterMessage quit(rec);
    db.exec(QStringLiteral("INSERT INTO SMType (theName) VALUES ('现金')"));
    db.exec(QStringLiteral("INSERT INTO SMType (theName) VALUES ('转账')"));
    db.exec(QStringLiteral("INSERT INTO SPrice (theName, thePrice) VALUES ('住宅', 25)"));
    db.exec(QStringLiteral("INSERT INTO SPrice (theName, thePrice) VALUES ('商铺', 38)"));
    db.exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('东区')"));
    db.exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('O''Hara 苑')"));
    db.login();
    const QString id = CurrentUserId;
    {
        DefaultsDialog w;
        showAndWait(&w);
        QCOMPARE(w.windowTitle(), QStringLiteral("默认项设置"));
        QCOMPARE(w.size(), QSize(760, 160));
        QCOMPARE(w.paymentMethodBox->count(), 2);
        QCOMPARE(w.paymentMethodBox->text(), QString());
        QCOMPARE(w.purposeBox->text(), QString());
        QCOMPARE(w.areaBox->text(), QString());
        QCOMPARE(w.areaBox->currentIndex(), -1);
        w.paymentMethodBox->setKeyValue(QStringLiteral("转账"));
        w.purposeBox->setKeyValue(QStringLiteral("商铺"));
        w.areaBox->setKeyValue(QStringLiteral("O'Hara 苑"));
        w.save();
        QCOMPARE(dataModule().query(QStringLiteral("SELECT theMT, theHT, theAN FROM SUser WHERE ID = ") + id).row(0),
                 QStringList({"转账", "商铺", "O'Hara 苑"}));
        QCOMPARE(rec.texts(), QStringList{QStringLiteral("默认项 保存成功，请重新登录系统！")});
        QCOMPARE(quit.count, 1);
        QCOMPARE(quit.textsAtQuit, rec.texts());
    }
    // The login state of this run is unchanged; the next login reads the new defaults.
    QCOMPARE(DefaultPaymentMethod, QString());
    resetLoginState();
    db.login();
    QCOMPARE(DefaultPaymentMethod, QStringLiteral("转账"));
    DefaultsDialog w;
    showAndWait(&w);
    QCOMPARE(w.paymentMethodBox->currentText(), QStringLiteral("转账"));
    QCOMPARE(w.purposeBox->currentText(), QStringLiteral("商铺"));
    QCOMPARE(w.areaBox->currentText(), QStringLiteral("O'Hara 苑"));

    // A default whose row was deleted since leaves its box without a choice.
    db.exec(QStringLiteral("DELETE FROM SPrice WHERE theName = '商铺'"));
    DefaultsDialog w2;
    showAndWait(&w2);
    QCOMPARE(w2.purposeBox->currentIndex(), -1);
    QCOMPARE(w2.purposeBox->text(), QString());
    QCOMPARE(w2.paymentMethodBox->text(), QStringLiteral("转账"));
}

void TestAccounts::defaultsAllEmpty()
{
    TestDb db;
    MessageRecorder rec;
    QuitRecorder quit;
    db.exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('东区')"));
    db.exec(QStringLiteral("UPDATE SUser SET theMT = '现金', theHT = '住宅', theAN = '西区'"));
    db.login();
    DefaultsDialog w;
    showAndWait(&w);
    w.areaBox->setKeyValue(QString());
    w.save();
    QCOMPARE(quit.count, 1);
    QCOMPARE(db.scalar(QStringLiteral("SELECT theMT || '|' || theHT || '|' || theAN FROM SUser")), QStringLiteral("||"));
    resetLoginState();
    db.login();
    QCOMPARE(DefaultAreaName, QString());
}

void TestAccounts::defaultsOfOneOperatorOnly()
{
    TestDb db;
    MessageRecorder rec;
    QuitRecorder quit;
    db.exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('东区')"));
    db.exec(QStringLiteral("INSERT INTO SUser (theName, thePass, theAN) VALUES ('其他', '580913', '南区')"));
    db.login();
    DefaultsDialog w;
    showAndWait(&w);
    w.areaBox->setKeyValue(QStringLiteral("东区"));
    w.save();
    QCOMPARE(db.scalar(QStringLiteral("SELECT theAN FROM SUser WHERE theName = '其他'")), QStringLiteral("南区"));
    QCOMPARE(db.scalar(QStringLiteral("SELECT theAN FROM SUser WHERE theName = '管理员'")), QStringLiteral("东区"));
}

void TestAccounts::defaultsExitSavesNothing()
{
    TestDb db;
    MessageRecorder rec;
    QuitRecorder quit;
    db.exec(QStringLiteral("INSERT INTO SArea (theName) VALUES ('东区')"));
    db.login();
    DefaultsDialog w;
    showAndWait(&w);
    w.areaBox->setKeyValue(QStringLiteral("东区"));
    w.closeButton->click();
    QVERIFY(!w.isVisible());
    QCOMPARE(db.scalar(QStringLiteral("SELECT IFNULL(theAN, 'null') FROM SUser")), QStringLiteral("null"));
    QCOMPARE(quit.count, 0);
    QCOMPARE(rec.entries.size(), 0);
}

void TestAccounts::defaultsRefusedStatement()
{
    TestDb db;
    MessageRecorder rec;
    QuitRecorder quit;
    db.login();
    DefaultsDialog w;
    showAndWait(&w);
    db.exec(QStringLiteral("DROP TABLE SUser"));
    w.save();
    QCOMPARE(rec.errors(), 1);
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(quit.count, 0);
}

void TestAccounts::saveOfNoRowIsNoSuccess_data()
{
    QTest::addColumn<QString>("removed"); // the statement that takes the row away after the login
    QTest::addColumn<int>("save");        // 0 使用单位, 1 默认项, 2 new password
    QTest::addColumn<QString>("message");
    QTest::newRow("unit row gone") << "DELETE FROM SDept" << 0 << "数据库中没有使用单位的记录，使用单位 没有保存！";
    QTest::newRow("operator gone, defaults") << "DELETE FROM SUser" << 1 << "当前操作员已不存在（可能已被删除），默认项 没有保存！";
    QTest::newRow("operator renamed, password") << "UPDATE SUser SET theName = '新名'" << 2
                                                << "操作员“管理员”已不存在（可能已被删除或改名），密码没有修改！";
}

// Such saves once showed their success message and ended the program, saving nothing.
void TestAccounts::saveOfNoRowIsNoSuccess()
{
    QFETCH(QString, removed);
    QFETCH(int, save);
    QFETCH(QString, message);
    TestDb db;
    MessageRecorder rec;
    QuitRecorder quit;
    db.login();
    db.exec(removed);
    if (save == 0) {
        UnitSettingsDialog w;
        showAndWait(&w);
        w.unitNameEdit->setText(QStringLiteral("热力公司"));
        w.save();
        QVERIFY(w.isVisible());
    } else if (save == 1) {
        DefaultsDialog w;
        showAndWait(&w);
        w.save();
        QVERIFY(w.isVisible());
    } else {
        try {
            Accounts::setPassword(CurrentUserName, QStringLiteral("n"));
            QFAIL("no error");
        } catch (const AppError &e) {
            QCOMPARE(e.message(), message);
        }
        return;
    }
    QCOMPARE(rec.texts(), QStringList{message});
    QCOMPARE(rec.errors(), 1);
    QCOMPARE(quit.count, 0);
}

QTEST_MAIN(TestAccounts)
#include "tst_accounts.moc"
