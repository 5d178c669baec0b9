// Roles: each role against each guarded action, through the logic and through the admin
// tool; the approval of voids; the last 管理员; the charging date at login; an older
// database whose operators all become 管理员.
#include "charging/DayClose.h"
#include "charging/PaymentVoid.h"
#include "charging/VoidDialog.h"
#include "data/Backup.h"
#include "data/DataModule.h"
#include "data/Roles.h"
#include "data/Schema.h"
#include "db/DbError.h"
#include "operators/Accounts.h"
#include "operators/Login.h"
#include "output/PrintModule.h"
#include "owners/OwnerEntry.h"
#include "owners/OwnerImport.h"
#include "reference/RefLists.h"
#include "reference/UnitSettings.h"
#include "report/ReportPresenter.h"
#include "tests/report/ReportProbe.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"
#include "widgets/GbkLineEdit.h"

#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

class TestRoles : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void logicObeysRole_data();
    void logicObeysRole();
    void adminToolObeysRole_data();
    void adminToolObeysRole();
    void voidApproval_data();
    void voidApproval();
    void voidDialogAsksTheApprover();
    void lastAdminStays();
    void roleChangeRecorded();
    void chargeDateAtLogin_data();
    void chargeDateAtLogin();
    void olderDatabaseEveryoneAdmin();

private:
    std::unique_ptr<TestDb> m_db;
    QString m_number; // a payment the 管理员 took today
};

namespace {
const QString Area = QStringLiteral("幸福小区");
const QString Password = QStringLiteral("580913");
// One operator of each role, and a second 管理员.
const char *const Cashier = "甲收费";
const char *const Viewer = "乙查询";
const char *const SecondAdmin = "丙管理";

QString actorOf(const QString &role)
{
    if (role == QStringLiteral("管理员"))
        return QString::fromUtf8(SecondAdmin);
    return QString::fromUtf8(role == QStringLiteral("收费员") ? Cashier : Viewer);
}

bool isRoleRefusal(const QString &message) { return message.contains(QStringLiteral("无权")); }

// What each role may do, as the office was promised it (not read from the rules).
struct Expected {
    const char *action;
    const char *roles; // the roles that may
};
const Expected kLogic[] = {
    {"charge", "管理员 收费员"},         {"reprint", "管理员 收费员"},
    {"void", "管理员 收费员"},           {"own day close", "管理员 收费员"},
    {"all day close", "管理员"},         {"owner add", "管理员"},
    {"owner modify", "管理员"},          {"owner delete", "管理员"},
    {"owner import", "管理员"},          {"area add", "管理员"},
    {"price delete", "管理员"},          {"operator add", "管理员"},
    {"role", "管理员"},                  {"unit settings", "管理员"},
    {"charging date setting", "管理员"}, {"defaults", "管理员"},
    {"own password", "管理员 收费员 查询员"}, {"other's password", "管理员"},
    {"restore", "管理员"},
};

Sheet oneOwner()
{
    Sheet s;
    s.headings = OwnerImport::headings();
    s.addRow({QStringLiteral("9-901"), QStringLiteral("80"), QStringLiteral("住宅"), QStringLiteral("20"), QStringLiteral("2024-04-10"),
              QStringLiteral("王五"), {}, {}},
             2);
    return s;
}

// Runs one action of the table as the logged-in operator.
void act(const QString &action, const QString &number, const QString &dir)
{
    const QDate today = QDate::currentDate();
    const House house{Area, QStringLiteral("8-801"), QStringLiteral("100"), QStringLiteral("住宅"), QStringLiteral("20"),
                      QStringLiteral("2024-04-10"), QStringLiteral("张三"), {}, {}};
    const QString houseId = dataModule().db().scalar(QStringLiteral("SELECT ID FROM UHouse WHERE theNum = '1-101'"));
    if (action == QLatin1String("charge")) {
        Payment(Area, QStringLiteral("2-201")).save();
    } else if (action == QLatin1String("reprint")) {
        CapturePresenter presenter;
        report::setPresenter(&presenter);
        const auto reset = qScopeGuard([] { report::setPresenter(nullptr); });
        printModule().printReceipt(number);
    } else if (action == QLatin1String("void")) {
        PaymentVoid::run(number, QStringLiteral("录错"), {QStringLiteral("管理员"), Password});
    } else if (action == QLatin1String("own day close")) {
        DayClose::build({today, today, CurrentUserName});
    } else if (action == QLatin1String("all day close")) {
        DayClose::build({today, today, {}});
    } else if (action == QLatin1String("owner add")) {
        OwnerEntry::add(house);
    } else if (action == QLatin1String("owner modify")) {
        const House opened = OwnerEntry::load(houseId);
        House changed = opened;
        changed.owner = QStringLiteral("李四");
        OwnerEntry::update(houseId, changed, opened);
    } else if (action == QLatin1String("owner delete")) {
        OwnerEntry::markDeleted(houseId);
    } else if (action == QLatin1String("owner import")) {
        OwnerImport::run(oneOwner(), Area);
    } else if (action == QLatin1String("area add")) {
        RefLists::add(RefLists::areas(), QStringLiteral("新区"), {});
    } else if (action == QLatin1String("price delete")) {
        RefLists::remove(RefLists::prices(), dataModule().db().scalar(QStringLiteral("SELECT ID FROM SPrice")));
    } else if (action == QLatin1String("operator add")) {
        RefLists::add(Accounts::users(), QStringLiteral("新人"), {}, QStringLiteral("收费员"));
    } else if (action == QLatin1String("role")) {
        Accounts::setRole(QString::fromUtf8(Viewer), QStringLiteral("收费员"));
    } else if (action == QLatin1String("unit settings")) {
        UnitSettings::save(QStringLiteral("澄岳供热"), {});
    } else if (action == QLatin1String("charging date setting")) {
        UnitSettings::setAnyDate(true);
    } else if (action == QLatin1String("defaults")) {
        Accounts::saveDefaults(CurrentUserId, QStringLiteral("现金"), QStringLiteral("住宅"), Area);
    } else if (action == QLatin1String("own password")) {
        Accounts::setPassword(CurrentUserName, QStringLiteral("new1"));
    } else if (action == QLatin1String("other's password")) {
        Accounts::setPassword(QStringLiteral("管理员"), QStringLiteral("new1"));
    } else if (action == QLatin1String("restore")) {
        // No copy there: a 管理员 gets as far as the copy's check.
        Backup::restore(dataModule().databasePath(), dir + QStringLiteral("/none.edb"));
    } else {
        QFAIL(qPrintable(action));
    }
}
} // namespace

void TestRoles::init()
{
    m_db = std::make_unique<TestDb>();
    m_db->exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('幸福小区', '')"));
    m_db->exec(QStringLiteral("INSERT INTO SPrice (theName, thePrice, Remark) VALUES ('住宅', 20, '')"));
    m_db->exec(QStringLiteral("INSERT INTO SMType (theName, Remark) VALUES ('现金', '')"));
    m_db->exec(QStringLiteral("INSERT INTO SUser (theName, thePass, theRole) VALUES ('甲收费', '580913', '收费员'), "
                              "('乙查询', '580913', '查询员'), ('丙管理', '580913', '管理员')"));
    for (const char *room : {"1-101", "2-201"})
        HouseBuilder().area(Area).room(QString::fromUtf8(room)).floorArea(QStringLiteral("100")).purpose(QStringLiteral("住宅"))
            .price(QStringLiteral("20")).paidUpTo(QStringLiteral("2024-04-10")).owner(QStringLiteral("业主")).phone({}).remark({})
            .entered(QStringLiteral("2024-01-01"), QStringLiteral("管理员")).insert(*m_db);
    m_db->login(QDate::currentDate());
    m_number = Payment(Area, QStringLiteral("1-101")).save();
}

void TestRoles::cleanup() { m_db.reset(); }

void TestRoles::logicObeysRole_data()
{
    QTest::addColumn<QString>("role");
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("allowed");
    for (const QString role : {"管理员", "收费员", "查询员"})
        for (const Expected &e : kLogic)
            QTest::addRow("%s, %s", qPrintable(role), e.action)
                << role << QString::fromUtf8(e.action) << QString::fromUtf8(e.roles).split(QLatin1Char(' ')).contains(role);
}

void TestRoles::logicObeysRole()
{
    QFETCH(QString, role);
    QFETCH(QString, action);
    QFETCH(bool, allowed);
    m_db->login(QDate::currentDate(), actorOf(role));
    QString refusal;
    try {
        act(action, m_number, m_db->dir());
    } catch (const AppError &e) {
        refusal = e.message();
    }
    if (allowed) {
        QVERIFY2(!isRoleRefusal(refusal), qPrintable(refusal));
    } else {
        QVERIFY2(isRoleRefusal(refusal), qPrintable(action + QStringLiteral(" was not refused: ") + refusal));
        QVERIFY2(refusal.startsWith(QStringLiteral("当前操作员（%1）无权").arg(role)), qPrintable(refusal));
    }
}

namespace {
// Runs the admin tool with a line on standard input; exit code, standard error in err.
int admin(const QStringList &args, const QByteArray &input, QString *err)
{
    QProcess p;
    p.start(QStringLiteral(ADMIN_TOOL_PATH), args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000))
        return -1;
    *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitCode();
}
} // namespace

void TestRoles::adminToolObeysRole_data()
{
    QTest::addColumn<QString>("role");
    QTest::addColumn<QStringList>("args"); // after --db; %OP the acting operator, %NUM the payment, %DIR a folder
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("allowedRoles");
    struct Command {
        const char *name;
        QStringList args;
        QByteArray input;
        const char *roles;
    };
    const Command commands[] = {
        {"charge", {"charge", "--area", "幸福小区", "--room", "2-201", "--years", "1", "--method", "现金", "--operator", "%OP"}, {}, "管理员 收费员"},
        {"void", {"void", "%NUM", "--reason", "录错", "--operator", "%OP", "--approver", "管理员"}, "580913\n", "管理员 收费员"},
        {"receipt", {"receipt", "%NUM", "--pdf", "%DIR/r.pdf", "--operator", "%OP"}, {}, "管理员 收费员"},
        {"dayclose", {"dayclose", "--date", "%TODAY", "--operator", "%OP"}, {}, "管理员 收费员"},
        {"import", {"import", "%DIR/owners.csv", "--area", "幸福小区", "--operator", "%OP"}, {}, "管理员"},
        {"role", {"role", "--operator", "乙查询", "--role", "收费员", "--as", "%OP"}, {}, "管理员"},
        {"backup", {"backup", "--out", "%DIR/copy.edb", "--operator", "%OP"}, {}, "管理员"},
        {"restore", {"restore", "--from", "%DIR/none.edb", "--operator", "%OP"}, {}, "管理员"},
    };
    for (const QString role : {"管理员", "收费员", "查询员"})
        for (const Command &c : commands)
            QTest::addRow("%s, %s", qPrintable(role), c.name) << role << c.args << c.input << QString::fromUtf8(c.roles);
}

void TestRoles::adminToolObeysRole()
{
    QFETCH(QString, role);
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(QString, allowedRoles);
    const QTemporaryDir dir;
    QFile csv(dir.filePath(QStringLiteral("owners.csv")));
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write(OwnerImport::headings().join(QLatin1Char(',')).toUtf8() + "\n9-901,80,住宅,20,2024-04-10,王五,,\n");
    csv.close();
    dataModule().closeConnection();
    for (QString &a : args)
        a.replace(QStringLiteral("%OP"), actorOf(role)).replace(QStringLiteral("%NUM"), m_number)
            .replace(QStringLiteral("%DIR"), dir.path()).replace(QStringLiteral("%TODAY"), QDate::currentDate().toString(Qt::ISODate));
    const QString command = args.first();
    args.insert(1, m_db->path());
    args.insert(1, QStringLiteral("--db"));
    QString err;
    const int rc = admin(args, input, &err);
    if (allowedRoles.split(QLatin1Char(' ')).contains(role)) {
        QVERIFY2(!isRoleRefusal(err), qPrintable(err));
        // The backup and restore of a server database are the server's own tools' work.
        if (!(TestDb::onServer() && (command == QLatin1String("backup") || command == QLatin1String("restore")))
            && command != QLatin1String("restore"))
            QVERIFY2(rc == 0, qPrintable(err));
    } else {
        QCOMPARE(rc, 1);
        QVERIFY2(isRoleRefusal(err) || err.contains(QStringLiteral("数据库服务器")), qPrintable(err));
        if (!isRoleRefusal(err))
            QVERIFY(TestDb::onServer());
    }
}

void TestRoles::voidApproval_data()
{
    QTest::addColumn<QString>("requester");
    QTest::addColumn<QString>("approver");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("singleAdmin");   // the second 管理员 made a 收费员 first
    QTest::addColumn<QString>("outcome");    // the approver stored, or the refusal
    QTest::newRow("cashier, approved") << Cashier << "管理员" << "580913" << false << "管理员";
    QTest::newRow("cashier, no approver") << Cashier << "" << "" << false
                                          << "作废须经另一位管理员批准，请选择批准人并由其输入密码！";
    QTest::newRow("cashier approves own") << Cashier << Cashier << "580913" << false
                                          << "作废不能由申请人本人批准，请另一位管理员批准！";
    QTest::newRow("wrong password") << Cashier << "管理员" << "580914" << false << "批准人“管理员”的密码不正确，请重新输入！";
    QTest::newRow("viewer approver") << Cashier << Viewer << "580913" << false
                                     << "批准人“乙查询”（查询员）无权批准作废，请选择管理员！";
    QTest::newRow("cashier approver") << SecondAdmin << Cashier << "580913" << false
                                      << "批准人“甲收费”（收费员）无权批准作废，请选择管理员！";
    QTest::newRow("unknown approver") << Cashier << "无此人" << "580913" << false << "批准人“无此人”不存在，请重新选择！";
    QTest::newRow("admin voids own, two admins") << "管理员" << "" << "" << false
                                                 << "作废须经另一位管理员批准，请选择批准人并由其输入密码！";
    QTest::newRow("admin approves own, two admins") << "管理员" << "管理员" << "580913" << false
                                                    << "作废不能由申请人本人批准，请另一位管理员批准！";
    QTest::newRow("admin voids own, other admin approves") << "管理员" << SecondAdmin << "580913" << false << SecondAdmin;
    QTest::newRow("admin voids another's alone") << SecondAdmin << "" << "" << false << SecondAdmin;
    QTest::newRow("single admin voids own alone") << "管理员" << "" << "" << true << "管理员";
    QTest::newRow("viewer may not ask") << Viewer << "管理员" << "580913" << false << "当前操作员（查询员）无权作废收费！";
}

void TestRoles::voidApproval()
{
    QFETCH(QString, requester);
    QFETCH(QString, approver);
    QFETCH(QString, password);
    QFETCH(bool, singleAdmin);
    QFETCH(QString, outcome);
    if (singleAdmin)
        m_db->exec(QStringLiteral("UPDATE SUser SET theRole = '收费员' WHERE theName = '丙管理'"));
    m_db->login(QDate::currentDate(), requester);
    const auto voids = [&] { return m_db->count(QStringLiteral("SELECT ID FROM UVoid")); };
    const QString live = QStringLiteral("SELECT ID FROM UCharge WHERE theDel = '否'");
    const int liveBefore = m_db->count(live);
    try {
        PaymentVoid::run(m_number, QStringLiteral("录错"), {approver, password});
    } catch (const AppError &e) {
        QCOMPARE(e.message(), outcome);
        QCOMPARE(voids(), 0);
        QCOMPARE(m_db->count(live), liveBefore);
        return;
    }
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT UName || '/' || Approver FROM UVoid")), requester + QLatin1Char('/') + outcome);
    QCOMPARE(m_db->count(live), liveBefore - 1);
}

void TestRoles::voidDialogAsksTheApprover()
{
    MessageRecorder rec;
    rec.answers << true;
    m_db->login(QDate::currentDate(), QString::fromUtf8(Cashier));
    VoidDialog w;
    w.numberEdit->setText(m_number);
    w.findPayment();
    QVERIFY(w.approverBox->isEnabled());
    QStringList offered;
    for (int i = 0; i < w.approverBox->count(); ++i)
        offered << w.approverBox->itemText(i);
    QCOMPARE(offered, (QStringList{QStringLiteral("管理员"), QString::fromUtf8(SecondAdmin)}));
    w.reasonEdit->setText(QStringLiteral("录错"));
    w.approverBox->setCurrentText(QString::fromUtf8(SecondAdmin));
    w.approverPasswordEdit->setText(Password);
    w.voidPayment();
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT Approver FROM UVoid")), QString::fromUtf8(SecondAdmin));
    // A 管理员 voiding another's payment is not asked.
    m_db->login(QDate::currentDate(), QStringLiteral("管理员"));
    const QString other = Payment(Area, QStringLiteral("2-201")).save();
    m_db->login(QDate::currentDate(), QString::fromUtf8(SecondAdmin));
    w.numberEdit->setText(other);
    w.findPayment();
    QVERIFY(!w.approverBox->isEnabled());
}

void TestRoles::lastAdminStays()
{
    // Two 管理员s: one may go; the other then stays, as a role and as a row.
    Accounts::setRole(QString::fromUtf8(SecondAdmin), QStringLiteral("查询员"));
    try {
        Accounts::setRole(QStringLiteral("管理员"), QStringLiteral("收费员"));
        QFAIL("the last 管理员 was demoted");
    } catch (const AppError &e) {
        QCOMPARE(e.message(), QStringLiteral("“管理员”是最后一个管理员，不能改为收费员！"));
    }
    const QString id = m_db->scalar(QStringLiteral("SELECT ID FROM SUser WHERE theName = '管理员'"));
    QCOMPARE(RefLists::deleteRefusal(Accounts::users(), id), QStringLiteral("这是最后一个管理员，不能删除！"));
    QVERIFY_THROWS_EXCEPTION(AppError, RefLists::remove(Accounts::users(), id));
    QCOMPARE(Roles::roleOf(QStringLiteral("管理员")), QStringLiteral("管理员"));
    // Other operators still go.
    RefLists::remove(Accounts::users(), m_db->scalar(QStringLiteral("SELECT ID FROM SUser WHERE theName = '乙查询'")));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM SUser WHERE theName = '乙查询'")), 0);
    // An unknown role is refused.
    QVERIFY_THROWS_EXCEPTION(AppError, Accounts::setRole(QString::fromUtf8(Cashier), QStringLiteral("出纳")));
}

void TestRoles::roleChangeRecorded()
{
    Accounts::setRole(QString::fromUtf8(Cashier), QStringLiteral("查询员"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT UName || '|' || theAction || '|' || theTable || '|' || theChange FROM ULog "
                                         "ORDER BY ID DESC")),
             QStringLiteral("管理员|修改角色|SUser|操作员 甲收费，角色：收费员 → 查询员"));
    QCOMPARE(Roles::roleOf(QString::fromUtf8(Cashier)), QStringLiteral("查询员"));
    // The same role again changes and records nothing.
    const int records = m_db->count(QStringLiteral("SELECT ID FROM ULog"));
    Accounts::setRole(QString::fromUtf8(Cashier), QStringLiteral("查询员"));
    QCOMPARE(m_db->count(QStringLiteral("SELECT ID FROM ULog")), records);
}

void TestRoles::chargeDateAtLogin_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("anyDate");
    QTest::addColumn<bool>("mayBackDate");
    QTest::newRow("管理员") << "管理员" << false << true;
    QTest::newRow("收费员") << Cashier << false << false;
    QTest::newRow("查询员") << Viewer << false << false;
    QTest::newRow("收费员, office allows") << Cashier << true << true;
    QTest::newRow("查询员, office allows") << Viewer << true << true;
}

void TestRoles::chargeDateAtLogin()
{
    QFETCH(QString, name);
    QFETCH(bool, anyDate);
    QFETCH(bool, mayBackDate);
    UnitSettings::setAnyDate(anyDate);
    resetLoginState();
    QCOMPARE(Login::mayChooseDate(name), mayBackDate);
    // Today is always allowed.
    QVERIFY(Login::tryLogin(name, Password, QDate::currentDate()));
    resetLoginState();
    const QDate yesterday = QDate::currentDate().addDays(-1);
    try {
        QVERIFY(Login::tryLogin(name, Password, yesterday));
        QVERIFY(mayBackDate);
        QCOMPARE(ChargeDate, yesterday.toString(Qt::ISODate));
    } catch (const AppError &e) {
        QVERIFY2(!mayBackDate, qPrintable(e.message()));
        QVERIFY2(e.message().contains(QStringLiteral("只能以今天")), qPrintable(e.message()));
        QVERIFY(CurrentUserName.isEmpty());
    }
}

void TestRoles::olderDatabaseEveryoneAdmin()
{
    if (TestDb::onServer())
        QSKIP("the file of an earlier version");
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.edb"));
    QVERIFY(QFile::copy(QStringLiteral(TEST_FIXTURES_DIR "/schema/version1.edb"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    resetLoginState();
    dataModule().closeConnection();
    dataModule().setConnection(path, QString::fromUtf8(Schema::DatabaseKey));
    QCOMPARE(dataModule().db().scalar(QStringLiteral("PRAGMA user_version")), QString::number(Schema::Version));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT theRole FROM SUser")), QStringLiteral("管理员"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT AnyDate FROM SDept")), QStringLiteral("0"));
    // An operator added as the earlier program adds one is a 管理员 too, and may do all it did.
    m_db->exec(QStringLiteral("INSERT INTO SUser (theName, thePass) VALUES ('老张', '580913')"));
    QCOMPARE(Roles::roleOf(QStringLiteral("老张")), QStringLiteral("管理员"));
    QVERIFY(Login::tryLogin(QStringLiteral("老张"), Password, QDate::currentDate().addDays(-3)));
    UnitSettings::save(QStringLiteral("澄岳供热"), {});
    QVERIFY(RefLists::add(RefLists::areas(), QStringLiteral("新区"), {}));
    Accounts::setRole(QStringLiteral("管理员"), QStringLiteral("收费员"));
    dataModule().closeConnection();
}

QTEST_MAIN(TestRoles)
#include "tst_roles.moc"
