#include "data/PasswordHash.h"
#include "db/PgClientLoader.h"
#include "data/Schema.h"
#include "operators/Accounts.h"
#include "data/DataModule.h"
#include "operators/Login.h"
#include "operators/LoginDialog.h"
#include "tests/support/TestSupport.h"
#include "widgets/DatePicker.h"
#include "widgets/GbkLineEdit.h"
#include "widgets/LookupCombo.h"

#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QTest>
#include <QUrl>

#include <functional>

class TestLogin : public QObject {
    Q_OBJECT
private slots:
    void emptyNameIsRefused();
    void chargeDateWithinOneCentury_data();
    void chargeDateWithinOneCentury();
    void wrongPassword_data();
    void wrongPassword();
    void successFillsLoginState();
    void passwordIgnoresLetterCase();
    void hashedPasswordLetterCase_data();
    void hashedPasswordLetterCase();
    void clearPasswordUpgradedAtLogin();
    void enterInPasswordBoxPressesLogin();
    void passwordShowsAt();
    void closingEndsProgram();
    void missingFileGivesClearErrorAndEmptyList();
    void wrongKeyGivesClearError();
    void startDrawsWindowBeforeOpening_data();
    void startDrawsWindowBeforeOpening();
    void operatorsListedInOneOrder();
    void retryListsOperatorsOnceTheDatabaseAnswers();
    void centredOnTheScreen_data();
    void centredOnTheScreen();
};

namespace {
struct LoginFixture {
    TestDb db;
    MessageRecorder rec;
    QuitRecorder quit;
    LoginDialog w;
    LoginFixture()
    {
        db.exec(QStringLiteral("UPDATE SUser SET thePass = 'secret', theMT = '现金', theHT = '住宅', theAN = '东区'"));
        db.exec(QStringLiteral("INSERT INTO SUser (theName, thePass) VALUES ('张三', '580913')"));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
    }
};
} // namespace

void TestLogin::emptyNameIsRefused()
{
    LoginFixture f;
    QCOMPARE(f.w.operatorBox->count(), 2);
    f.w.passwordEdit->setText(QStringLiteral("secret"));
    f.w.logIn();
    QCOMPARE(f.rec.texts(), QStringList{QStringLiteral("用户名 不能为空！")});
    QCOMPARE(f.w.focusWidget(), f.w.operatorBox);
    QVERIFY(CurrentUserName.isEmpty());
}

void TestLogin::wrongPassword_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("wrong") << "secreT1";
    QTest::newRow("empty") << "";
    QTest::newRow("quote bypass") << "' OR ''='";
    QTest::newRow("quote bypass 2") << "x') OR ('1'='1";
    QTest::newRow("comment") << "'--";
}

void TestLogin::wrongPassword()
{
    QFETCH(QString, password);
    LoginFixture f;
    f.w.operatorBox->setKeyValue(QStringLiteral("管理员"));
    f.w.passwordEdit->setText(password);
    f.w.logIn();
    QCOMPARE(f.rec.texts(), QStringList{QStringLiteral("密码错误，请重新录入！")});
    QCOMPARE(f.w.passwordEdit->text(), password);
    QCOMPARE(f.w.focusWidget(), f.w.passwordEdit);
    QVERIFY(f.w.isVisible());
    QVERIFY(CurrentUserName.isEmpty());
    QCOMPARE(f.quit.count, 0);
}

void TestLogin::successFillsLoginState()
{
    LoginFixture f;
    QSignalSpy spy(&f.w, &LoginDialog::loggedIn);
    f.w.operatorBox->setKeyValue(QStringLiteral("管理员"));
    f.w.passwordEdit->setText(QStringLiteral("secret"));
    f.w.chargeDatePicker->setDate(QDate(2024, 10, 8));
    f.w.logIn();
    QCOMPARE(f.rec.entries.size(), 0);
    QCOMPARE(spy.count(), 1);
    QVERIFY(!f.w.isVisible());
    QCOMPARE(CurrentUserName, QStringLiteral("管理员"));
    QCOMPARE(CurrentUserId, QStringLiteral("1"));
    QCOMPARE(ChargeDate, QStringLiteral("2024-10-08"));
    QCOMPARE(DefaultPaymentMethod, QStringLiteral("现金"));
    QCOMPARE(DefaultHouseType, QStringLiteral("住宅"));
    QCOMPARE(DefaultAreaName, QStringLiteral("东区"));
    QCOMPARE(f.quit.count, 0); // hiding the window does not end the program

    // An operator whose defaults were never set logs in with empty defaults.
    resetLoginState();
    LoginDialog again;
    again.show();
    again.operatorBox->setKeyValue(QStringLiteral("张三"));
    again.passwordEdit->setText(QStringLiteral("580913"));
    again.logIn();
    QCOMPARE(CurrentUserName, QStringLiteral("张三"));
    QCOMPARE(DefaultPaymentMethod, QString());
    QCOMPARE(DefaultAreaName, QString());
}

void TestLogin::passwordIgnoresLetterCase()
{
    LoginFixture f;
    f.w.operatorBox->setKeyValue(QStringLiteral("管理员"));
    f.w.passwordEdit->setText(QStringLiteral("SECRET"));
    f.w.logIn();
    QCOMPARE(CurrentUserName, QStringLiteral("管理员"));
}

void TestLogin::hashedPasswordLetterCase_data()
{
    QTest::addColumn<QString>("set");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("opens");
    QTest::newRow("ASCII, same") << "Secret1" << "Secret1" << true;
    QTest::newRow("ASCII, capitals") << "secret1" << "SECRET1" << true;
    QTest::newRow("ASCII, mixed") << "SeCrEt1" << "sEcReT1" << true;
    QTest::newRow("full-width, capitals") << "ｍｉｍａ" << "ＭＩＭＡ" << true;
    QTest::newRow("full-width, mixed") << "Ａｂ密码" << "ａＢ密码" << true;
    QTest::newRow("full-width is not ASCII") << "ＡＢＣ" << "abc" << false;
    QTest::newRow("one letter more") << "secret1" << "secret12" << false;
    QTest::newRow("empty against set") << "secret1" << "" << false;
}

void TestLogin::hashedPasswordLetterCase()
{
    QFETCH(QString, set);
    QFETCH(QString, typed);
    QFETCH(bool, opens);
    LoginFixture f;
    Accounts::setPassword(QStringLiteral("张三"), set);
    const QString stored = f.db.scalar(QStringLiteral("SELECT thePass FROM SUser WHERE theName = '张三'"));
    QVERIFY(PasswordHash::isHash(stored));
    QVERIFY(!stored.contains(set));
    f.w.operatorBox->setKeyValue(QStringLiteral("张三"));
    f.w.passwordEdit->setText(typed);
    f.w.logIn();
    if (opens) {
        QCOMPARE(f.rec.entries.size(), 0);
        QCOMPARE(CurrentUserName, QStringLiteral("张三"));
        QVERIFY(!f.w.isVisible());
    } else {
        // The same message and focus as ever.
        QCOMPARE(f.rec.texts(), QStringList{QStringLiteral("密码错误，请重新录入！")});
        QCOMPARE(f.w.focusWidget(), f.w.passwordEdit);
        QCOMPARE(f.w.passwordEdit->text(), typed);
        QVERIFY(CurrentUserName.isEmpty());
    }
}

void TestLogin::clearPasswordUpgradedAtLogin()
{
    LoginFixture f; // 管理员's password was written in clear, as an older program kept it
    QCOMPARE(f.db.scalar(QStringLiteral("SELECT thePass FROM SUser WHERE ID = 1")), QStringLiteral("secret"));
    f.w.operatorBox->setKeyValue(QStringLiteral("管理员"));
    f.w.passwordEdit->setText(QStringLiteral("wrong"));
    f.w.logIn();
    QCOMPARE(f.db.scalar(QStringLiteral("SELECT thePass FROM SUser WHERE ID = 1")), QStringLiteral("secret"));
    f.w.passwordEdit->setText(QStringLiteral("Secret"));
    f.w.logIn();
    QCOMPARE(CurrentUserName, QStringLiteral("管理员"));
    const QString stored = f.db.scalar(QStringLiteral("SELECT thePass FROM SUser WHERE ID = 1"));
    QVERIFY(PasswordHash::isHash(stored));
    // The upgraded password still opens, in any letter case; another does not.
    resetLoginState();
    QVERIFY(Login::tryLogin(QStringLiteral("管理员"), QStringLiteral("SECRET"), QDate(2024, 10, 10)));
    QVERIFY(!Login::tryLogin(QStringLiteral("管理员"), QStringLiteral("secret2"), QDate(2024, 10, 10)));
    // A file still holding clear passwords has them hashed when the program opens it.
    f.db.exec(QStringLiteral("UPDATE SUser SET thePass = '580913' WHERE theName = '张三'"));
    dataModule().closeConnection();
    QString out;
    QCOMPARE(runAdmin({"sql", "--db", f.db.path(), "SELECT thePass FROM SUser"}, &out), 0);
    QVERIFY2(!out.contains(QStringLiteral("580913")) && !out.contains(QStringLiteral("secret"), Qt::CaseInsensitive), qPrintable(out));
    QCOMPARE(out.count(QStringLiteral("pbkdf2-sha256$")), 2);
}

void TestLogin::enterInPasswordBoxPressesLogin()
{
    LoginFixture f;
    f.w.activateWindow();
    f.w.operatorBox->setKeyValue(QStringLiteral("管理员"));
    f.w.passwordEdit->setFocus();
    QTest::keyClicks(f.w.passwordEdit, QStringLiteral("secret"));
    QTest::keyClick(f.w.passwordEdit, Qt::Key_Return);
    QCOMPARE(CurrentUserName, QStringLiteral("管理员"));
}

void TestLogin::passwordShowsAt()
{
    LoginFixture f;
    QCOMPARE(f.w.passwordEdit->echoMode(), QLineEdit::Password);
    QCOMPARE(f.w.passwordEdit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, f.w.passwordEdit), int('@'));
    // At most 12 bytes.
    f.w.passwordEdit->setFocus();
    QTest::keyClicks(f.w.passwordEdit, QStringLiteral("1234567890abcdef"));
    QCOMPARE(f.w.passwordEdit->text(), QStringLiteral("1234567890ab"));
}

void TestLogin::closingEndsProgram()
{
    LoginFixture f;
    f.w.close();
    QCOMPARE(f.quit.count, 1);
    LoginFixture g;
    g.w.closeButton->click(); // "退出"
    QCOMPARE(g.quit.count, 1);
}

void TestLogin::missingFileGivesClearErrorAndEmptyList()
{
    QTemporaryDir dir;
    resetLoginState();
    const QString path = dir.filePath(QStringLiteral("Data/db.edb"));
    dataModule().setConnection(path, QString::fromUtf8(Schema::DatabaseKey));
    MessageRecorder rec;
    LoginDialog w;
    w.show();
    QCOMPARE(rec.errors(), 1);
    QVERIFY2(rec.last().contains(QStringLiteral("找不到数据库文件")) && rec.last().contains(path), qPrintable(rec.last()));
    // and how to make one
    QVERIFY2(rec.last().contains(QStringLiteral("chengyue-admin init --db")) && rec.last().contains(QStringLiteral("第一次启动")),
             qPrintable(rec.last()));
    QCOMPARE(w.operatorBox->count(), 0);
    rec.clear();
    w.passwordEdit->setText(QStringLiteral("580913"));
    w.logIn();
    QCOMPARE(rec.texts(), QStringList{QStringLiteral("用户名 不能为空！")});
}

void TestLogin::wrongKeyGivesClearError()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("db.edb"));
    Schema::createFile(path);
    dataModule().setConnection(path, QStringLiteral("not-the-key"));
    MessageRecorder rec;
    LoginDialog w;
    w.show();
    QCOMPARE(rec.errors(), 1);
    QVERIFY2(rec.last().contains(QStringLiteral("密码错误")), qPrintable(rec.last()));
    QCOMPARE(w.operatorBox->count(), 0);
    dataModule().closeConnection();
}

// The program's start: the window is drawn before the database is opened, then the
// operators are listed, or the error is shown as on an ordinary show.
void TestLogin::startDrawsWindowBeforeOpening_data()
{
    QTest::addColumn<bool>("fileThere");
    QTest::newRow("database file") << true;
    QTest::newRow("missing file") << false;
}

void TestLogin::startDrawsWindowBeforeOpening()
{
    QFETCH(bool, fileThere);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("db.edb"));
    if (fileThere)
        Schema::createFile(path);
    resetLoginState();
    dataModule().setConnection(path, QString::fromUtf8(Schema::DatabaseKey));
    MessageRecorder rec;
    LoginDialog w;
    QSignalSpy opened(&w, &LoginDialog::opened);
    w.showBeforeOpening();
    QVERIFY(!w.isOpened());
    QVERIFY(!dataModule().isOpen());
    QCOMPARE(rec.entries.size(), 0);
    QVERIFY(opened.wait(5000));
    QCOMPARE(opened.count(), 1);
    QVERIFY(w.isOpened());
    if (fileThere) {
        QCOMPARE(rec.entries.size(), 0);
        QCOMPARE(w.operatorBox->count(), 1);
        // A file's start never loads the server's client library.
        if (!TestDb::onServer())
            QVERIFY(!PgClientLoader::isLoaded());
    } else {
        QCOMPARE(rec.errors(), 1);
        QVERIFY2(rec.last().contains(QStringLiteral("找不到数据库文件")), qPrintable(rec.last()));
    }
    dataModule().closeConnection();
}

// Receipt numbers carry "yymmdd": the charging date stays within 2000-2099, in the login
// window's picker and in the admin tool.
void TestLogin::chargeDateWithinOneCentury_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("first day") << QDate(2000, 1, 1) << true;
    QTest::newRow("last day") << QDate(2099, 12, 31) << true;
    QTest::newRow("a slip of the keyboard") << QDate(5809, 1, 10) << false;
    QTest::newRow("the century before") << QDate(1999, 12, 31) << false;
    QTest::newRow("the century after") << QDate(2100, 1, 1) << false;
}

void TestLogin::chargeDateWithinOneCentury()
{
    QFETCH(QDate, date);
    QFETCH(bool, allowed);
    QCOMPARE(Login::chargeDateRefusal(date).isEmpty(), allowed);
    TestDb db;
    LoginDialog w;
    QCOMPARE(w.chargeDatePicker->minimumDate(), QDate(2000, 1, 1));
    QCOMPARE(w.chargeDatePicker->maximumDate(), QDate(2099, 12, 31));
    QString out, err;
    const int rc = runAdmin({"charge", "--db", db.path(), "--area", "x", "--room", "1", "--years", "1",
                             "--charge-date", date.toString(Qt::ISODate)},
                            &out, &err);
    if (allowed) {
        QVERIFY2(!err.contains(QStringLiteral("收费日期")), qPrintable(err));
    } else {
        QCOMPARE(rc, 2);
        QCOMPARE(err.trimmed(), QStringLiteral("收费日期 须在 2000-01-01 至 2099-12-31 之间，请重新选择！"));
    }
}

// The operators in the order the file's index of names gives them, on both engines and
// after a change (a server gives a changed row last): a cashier who picks by place picks
// the same name on every desk.
void TestLogin::operatorsListedInOneOrder()
{
    TestDb db;
    for (const char *name : {"Bob", "张三", "王会计", "alice"})
        db.exec(QStringLiteral("INSERT INTO SUser (theName, thePass) VALUES ('%1', '1')").arg(QString::fromUtf8(name)));
    db.exec(QStringLiteral("UPDATE SUser SET thePass = '2' WHERE theName IN ('Bob', '管理员')"));
    MessageRecorder rec;
    LoginDialog w;
    w.show();
    QStringList names;
    for (int i = 0; i < w.operatorBox->count(); ++i)
        names << w.operatorBox->itemText(i);
    QCOMPARE(names, (QStringList{"alice", "Bob", "张三", "王会计", "管理员"}));
    QCOMPARE(rec.entries.size(), 0);
}

// A database that does not answer at the start (a server not yet up, refusing
// connections; a file not yet there): 重试 reads the operators once it answers, without a
// restart of the program.
void TestLogin::retryListsOperatorsOnceTheDatabaseAnswers()
{
    QTemporaryDir dir;
    QString location;
    std::function<void(bool)> answering;
    if (TestDb::onServer()) {
        location = TestDb::newServerDatabase();
        Schema::createServer(location);
        const QString name = QUrl(location).path().mid(1);
        answering = [name](bool on) {
            Database admin;
            admin.open(TestDb::server(), QString());
            admin.exec(QStringLiteral("ALTER DATABASE %1 WITH ALLOW_CONNECTIONS %2").arg(name, on ? QStringLiteral("true") : QStringLiteral("false")));
        };
    } else {
        location = dir.filePath(QStringLiteral("db.edb"));
        answering = [location](bool on) {
            if (on)
                Schema::createFile(location);
        };
    }
    const auto cleanup = qScopeGuard([&] {
        dataModule().closeConnection();
        if (TestDb::onServer())
            TestDb::dropServerDatabase(location);
    });
    answering(false);
    resetLoginState();
    dataModule().setConnection(location, QString::fromUtf8(Schema::DatabaseKey));
    MessageRecorder rec;
    LoginDialog w;
    w.show();
    QCOMPARE(rec.errors(), 1);
    QCOMPARE(w.operatorBox->count(), 0);
    QVERIFY(w.retryButton->isVisible());
    QVERIFY(w.retryButton->isDefault() && !w.loginButton->isDefault());
    // Still no answer: told again, 重试 stays.
    w.retryButton->click();
    QCOMPARE(rec.errors(), 2);
    QVERIFY(w.retryButton->isVisible());

    answering(true);
    w.retryButton->click();
    QCOMPARE(rec.errors(), 2);
    QCOMPARE(w.operatorBox->count(), 1);
    QVERIFY(!w.retryButton->isVisible());
    QVERIFY(w.loginButton->isDefault());
    QSignalSpy spy(&w, &LoginDialog::loggedIn);
    w.operatorBox->setKeyValue(QStringLiteral("管理员"));
    w.passwordEdit->setText(QString::fromUtf8(Schema::InitialPassword));
    w.logIn();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(CurrentUserName, QStringLiteral("管理员"));
}

void TestLogin::centredOnTheScreen_data()
{
    QTest::addColumn<bool>("framed");
    QTest::newRow("framed when shown") << true;
    QTest::newRow("framed later or never") << false;
}

// The first window of the program sits in the middle of the screen's free area, its
// title bar and borders included, whenever the window system frames it.
void TestLogin::centredOnTheScreen()
{
    QFETCH(bool, framed);
    if (!framed && !withoutWindowFrames()) {
        QString output;
        QVERIFY2(runWithoutWindowFrames(QStringLiteral("centredOnTheScreen:framed later or never"), &output) == 0,
                 qPrintable(output));
        return;
    }
    TestDb db;
    MessageRecorder rec;
    LoginDialog w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.frameGeometry() != w.geometry(), framed);
    const QPoint off = w.frameGeometry().center() - w.screen()->availableGeometry().center();
    QVERIFY2(qAbs(off.x()) <= 1 && qAbs(off.y()) <= 1,
             qPrintable(QStringLiteral("%1 px right, %2 px down of the centre").arg(off.x()).arg(off.y())));
}

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
