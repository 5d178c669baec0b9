#include "app/MainWindow.h"
#include "charging/ChargeLogic.h"
#include "data/Backup.h"
#include "data/DataModule.h"
#include "tests/support/Doubles.h"
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QDialog>
#include <QGuiApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTimer>
#include <QTest>
#include <QToolBar>

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void firstShowFillsStatusBarAndUnit();
    void exitQuestion_data();
    void exitQuestion();
    void menusAndToolBar();
    void offeredByRole_data();
    void offeredByRole();
    void helpOpensHomePage();
    void dailyBackupInBackground();
    void backupAndRestoreFromMenu();
    void cancelledBackupLeavesNothing();
    void quickBackupAndRestoreShowNoProgressOverTheirBoxes();
    void databaseBesideProgram();
    void adminFindsDatabaseFromAnotherDirectory();
    void restoreGivesProgramSizeCentred();
    void escClosesChildWindow();
    void dialogsCentredOnTheMainWindow_data();
    void dialogsCentredOnTheMainWindow();
};

void TestMainWindow::firstShowFillsStatusBarAndUnit()
{
    TestDb db;
    db.exec(QStringLiteral("UPDATE SDept SET theName = '热力公司', theEM = 3, theED = 15"));
    db.login(QDate(2024, 10, 10));
    UnitName.clear();
    MainWindow w;
    w.connectDatabase();
    dataModule().setConnection(db.path(), QStringLiteral("kqt472")); // connectDatabase points at the program's own file
    w.show();
    QCOMPARE(w.statusPanels[0]->text(), QStringLiteral("澄岳供热收费管理软件"));
    QCOMPARE(w.statusPanels[1]->text(), QStringLiteral("当前登录用户："));
    QCOMPARE(w.statusPanels[2]->text(), QStringLiteral("管理员"));
    QCOMPARE(w.statusPanels[3]->text(), QStringLiteral("当前收费日期："));
    QCOMPARE(w.statusPanels[4]->text(), QStringLiteral("2024-10-10"));
    QCOMPARE(UnitName, QStringLiteral("热力公司"));
    QCOMPARE(PeriodBeginMonth, QStringLiteral("10"));
    QCOMPARE(PeriodEndMonth, QStringLiteral("3"));
    QCOMPARE(PeriodEndDay, QStringLiteral("15"));
    QCOMPARE(w.windowTitle(), QStringLiteral("澄岳供热收费管理软件"));
}

void TestMainWindow::exitQuestion_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QString>("how");
    QTest::newRow("No, menu") << false << "menu";
    QTest::newRow("Yes, menu") << true << "menu";
    QTest::newRow("No, tool bar") << false << "tool";
    QTest::newRow("Yes, close box") << true << "close";
}

void TestMainWindow::exitQuestion()
{
    QFETCH(bool, answer);
    QFETCH(QString, how);
    TestDb db;
    db.login();
    MessageRecorder rec;
    QuitRecorder quit;
    rec.answers << answer;
    MainWindow w;
    dataModule().setConnection(db.path(), QStringLiteral("kqt472"));
    w.show();
    auto *child = new QWidget;
    w.addChild(child);
    if (how == QLatin1String("menu"))
        w.action(QStringLiteral("退出"))->trigger();
    else if (how == QLatin1String("tool"))
        w.findChild<QAction *>(QStringLiteral("tool_退出"))->trigger();
    else
        w.close();
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(rec.entries.first().caption, QStringLiteral("确认退出"));
    QCOMPARE(rec.entries.first().text, QStringLiteral("确认要退出 澄岳供热收费管理软件 吗？  ^_^  "));
    QCOMPARE(quit.count, answer ? 1 : 0);
    QCOMPARE(w.isVisible(), !answer);
    if (!answer)
        QCOMPARE(w.mdiArea->subWindowList().size(), 1);
}

void TestMainWindow::menusAndToolBar()
{
    MainWindow w;
    QStringList menus;
    for (QAction *a : w.menuBar()->actions())
        menus << a->text();
    QCOMPARE(menus, (QStringList{"文件【&F】", "收费【&I】", "提醒【&M】", "基础信息【&B】", "帮助【&H】"}));
    QStringList tools;
    for (QAction *a : w.toolBar->actions())
        if (!a->text().isEmpty() && !a->objectName().isEmpty())
            tools << a->text();
    QCOMPARE(tools, (QStringList{"收费录入", "收费查询", "欠费提醒", "业主录入", "业主查询", "帮助", "退出"}));
    for (const char *item : {"使用单位", "用户设置", "修改密码", "收费录入", "收费管理", "收费查询", "欠费提醒",
                             "收款方式", "单价设置", "小区设置", "默认项设置", "业主录入", "业主导入", "业主管理",
                             "业主查询", "帮助 &H", "关于 &A"})
        QVERIFY2(w.action(QString::fromUtf8(item)), item);
    // "关于 &A" does nothing.
    MessageRecorder rec;
    w.action(QStringLiteral("关于 &A"))->trigger();
    QCOMPARE(rec.entries.size(), 0);
}

void TestMainWindow::offeredByRole_data()
{
    QTest::addColumn<QString>("role");
    QTest::addColumn<QStringList>("offered");    // of the entries below
    const QStringList all{"使用单位", "用户设置", "修改密码", "备份数据", "恢复数据", "收费录入", "收费管理", "收费查询",
                          "收费作废", "作废查询", "收费日报", "欠费提醒", "收费统计", "收款方式", "默认项设置",
                          "业主录入", "业主导入", "业主管理", "业主查询", "操作记录"};
    QTest::newRow("管理员") << "管理员" << all;
    QTest::newRow("收费员") << "收费员"
                            << QStringList{"修改密码", "收费录入", "收费管理", "收费查询", "收费作废", "作废查询", "收费日报",
                                           "欠费提醒", "收费统计", "业主查询", "操作记录"};
    QTest::newRow("查询员") << "查询员"
                            << QStringList{"修改密码", "收费管理", "收费查询", "作废查询", "欠费提醒", "收费统计", "业主查询",
                                           "操作记录"};
}

void TestMainWindow::offeredByRole()
{
    QFETCH(QString, role);
    QFETCH(QStringList, offered);
    TestDb db;
    db.exec(QStringLiteral("INSERT INTO SUser (theName, thePass, theRole) VALUES ('某人', '580913', '%1')").arg(role));
    db.login(QDate::currentDate(), QStringLiteral("某人"));
    MainWindow w;
    w.show();
    for (const char *item : {"使用单位", "用户设置", "修改密码", "备份数据", "恢复数据", "收费录入", "收费管理", "收费查询",
                             "收费作废", "作废查询", "收费日报", "欠费提醒", "收费统计", "收款方式", "默认项设置",
                             "业主录入", "业主导入", "业主管理", "业主查询", "操作记录"}) {
        const QString caption = QString::fromUtf8(item);
        QCOMPARE(w.action(caption)->isEnabled(), offered.contains(caption));
        if (QAction *tool = w.findChild<QAction *>(QStringLiteral("tool_") + caption))
            QCOMPARE(tool->isEnabled(), offered.contains(caption));
    }
}

void TestMainWindow::dailyBackupInBackground()
{
    TestDb db;
    db.login();
    MessageRecorder rec;
    Backup::setClock([] { return QDateTime(QDate(2026, 12, 1), QTime(7, 45, 0)); });
    MainWindow w;
    dataModule().setConnection(db.path(), QStringLiteral("kqt472"));
    w.show();
    w.startDailyBackup();
    QVERIFY(w.dailyBackupRunning());
    QCOMPARE(w.backupStatus->text(), QStringLiteral("正在备份今天的数据…"));
    // The operator works on meanwhile.
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM SUser")), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!w.dailyBackupRunning(), 30000);
    QCOMPARE(w.backupStatus->text(), QStringLiteral("今天的数据已备份：db-20261201-074500.edb"));
    QCOMPARE(rec.entries.size(), 0);
    // A second login the same day takes none.
    w.startDailyBackup();
    QVERIFY(!w.dailyBackupRunning());
    // A copy that cannot be written is told once; work goes on.
    Backup::setClock([] { return QDateTime(QDate(2026, 12, 2), QTime(7, 45, 0)); });
    QFile blocker(QDir(Backup::folderFor(db.path())).filePath(QStringLiteral("db-20261202-074500.edb.part")));
    QVERIFY(QDir().mkpath(blocker.fileName())); // a folder where the working file would go
    w.startDailyBackup();
    QTRY_VERIFY_WITH_TIMEOUT(!w.dailyBackupRunning(), 30000);
    QCOMPARE(rec.errors(), 1);
    QVERIFY2(rec.last().startsWith(QStringLiteral("今天的自动备份没有完成")), qPrintable(rec.last()));
    QCOMPARE(w.backupStatus->text(), QStringLiteral("今天的自动备份没有完成"));
    Backup::setClock(nullptr);
}

void TestMainWindow::backupAndRestoreFromMenu()
{
    TestDb db;
    db.login();
    MessageRecorder rec;
    QuitRecorder quit;
    MainWindow w;
    dataModule().setConnection(db.path(), QStringLiteral("kqt472"));
    w.show();
    HouseBuilder().area(QStringLiteral("东区")).room(QStringLiteral("1-101")).insert(db);
    w.action(QStringLiteral("备份数据"))->trigger();
    QCOMPARE(rec.errors(), 0);
    QVERIFY2(rec.last().startsWith(QStringLiteral("数据已备份到 ")) && rec.last().contains(QStringLiteral("业主 1 户")),
             qPrintable(rec.last()));
    const QString copy = Backup::latest(Backup::folderFor(db.path()));
    QVERIFY(!copy.isEmpty());
    HouseBuilder().area(QStringLiteral("东区")).room(QStringLiteral("1-102")).floorArea(80).price(20)
        .paidUpTo(QStringLiteral("2024-10-10")).insert(db);
    db.exec(QStringLiteral("INSERT INTO SMType (theName, Remark) VALUES ('现金', '')"));
    // A payment after the copy: its receipt is printed, whatever is restored.
    QCOMPARE(Payment(QStringLiteral("东区"), QStringLiteral("1-102")).save(), QStringLiteral("2410100001"));

    // Restore: the copy is described with what it would take out, the question answered
    // No changes nothing.
    QString offered;
    MainWindow::setBackupChooser([&](QWidget *, const QString &folder) {
        offered = folder;
        return copy;
    });
    rec.clear();
    rec.answers << false;
    w.action(QStringLiteral("恢复数据"))->trigger();
    QCOMPARE(offered, Backup::folderFor(db.path()));
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(rec.entries.first().caption, QStringLiteral("恢复数据"));
    const QString asked = rec.entries.first().text;
    QVERIFY2(asked.contains(QStringLiteral("业主：1 户")), qPrintable(asked));
    QVERIFY2(asked.contains(QStringLiteral("最后收据号：（无）（现在的最后收据号：2410100001）")), qPrintable(asked));
    QVERIFY2(asked.contains(QStringLiteral("备份之后的1 笔收费（收据号 2410100001）不在这个备份中")), qPrintable(asked));
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UHouse")), 2);
    QCOMPARE(quit.count, 0);

    // Yes: the copy's data is back, the replaced file kept, and the program ends.
    rec.clear();
    w.action(QStringLiteral("恢复数据"))->trigger();
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(rec.entries.size(), 2);
    QVERIFY2(rec.last().startsWith(QStringLiteral("数据已恢复。原来的数据库文件保存为 ")), qPrintable(rec.last()));
    QCOMPARE(quit.count, 1);
    QCOMPARE(db.count(QStringLiteral("SELECT ID FROM UHouse")), 1);
    QCOMPARE(QDir(QFileInfo(db.path()).path()).entryList({QStringLiteral("db.edb.replaced-*")}, QDir::Files).size(), 1);
    // Started again on the restored data, the printed number is not given out again.
    db.login();
    QCOMPARE(ChargeLogic::nextReceiptNumber(), QStringLiteral("2410100002"));

    // A damaged copy is refused before anything is asked.
    QFile bad(QDir(db.dir()).filePath(QStringLiteral("bad.edb")));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray(4096, 'x'));
    bad.close();
    MainWindow::setBackupChooser([&](QWidget *, const QString &) { return bad.fileName(); });
    rec.clear();
    w.action(QStringLiteral("恢复数据"))->trigger();
    QCOMPARE(rec.errors(), 1);
    QVERIFY(rec.last().contains(QStringLiteral("不是本程序数据库的备份")));
    QCOMPARE(quit.count, 1);
    MainWindow::setBackupChooser(nullptr);
}

// The copy is checked on a thread of its own: the window's timers run while the check
// waits (here, held by the test until a timer of the window's thread has fired), and 取消
// then leaves no file and the earlier copies as they were.
void TestMainWindow::cancelledBackupLeavesNothing()
{
    TestDb db;
    db.login();
    MessageRecorder rec;
    MainWindow w;
    dataModule().setConnection(db.path(), QStringLiteral("kqt472"));
    w.show();
    const QString folder = Backup::folderFor(db.path());
    Backup::setClock([] { return QDateTime(QDate(2026, 11, 30), QTime(8, 0, 0)); });
    Backup::copy(db.path(), QDir(folder).filePath(Backup::fileNameFor(Backup::now())));
    const QStringList before = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(before.size(), 1);
    Backup::setClock([] { return QDateTime(QDate(2026, 12, 1), QTime(9, 30, 0)); });

    QSemaphore checking, goOn;
    Backup::setCheckHook([&] {
        checking.release();
        goOn.acquire();
    });
    const auto restore = qScopeGuard([] {
        Backup::setCheckHook(nullptr);
        Backup::setClock(nullptr);
    });
    bool firedDuringCheck = false;
    QTimer timer;
    timer.setInterval(1);
    connect(&timer, &QTimer::timeout, &w, [&] {
        if (!checking.tryAcquire())
            return;
        firedDuringCheck = true;
        // The operator presses 取消 in the progress window.
        auto *progress = w.findChild<QProgressDialog *>();
        QVERIFY(progress);
        QPushButton *cancel = nullptr;
        for (QPushButton *b : progress->findChildren<QPushButton *>())
            if (b->text() == QStringLiteral("取消"))
                cancel = b;
        QVERIFY(cancel);
        cancel->click();
        goOn.release();
        timer.stop();
    });
    timer.start();
    w.action(QStringLiteral("备份数据"))->trigger();
    QVERIFY(firedDuringCheck);
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(rec.entries.size(), 0);
    QCOMPARE(w.backupStatus->text(), QStringLiteral("备份已取消，没有保存备份"));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), before);

    // The next copy is made as usual.
    Backup::setCheckHook(nullptr);
    w.action(QStringLiteral("备份数据"))->trigger();
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
             (QStringList{before.first(), Backup::fileNameFor(Backup::now())}));
}

// A backup or restore done within half a second never shows its progress window afterwards:
// not over the result, not over the restore question (where only its 取消 would have let
// the operator answer). Every box belongs to the main window.
void TestMainWindow::quickBackupAndRestoreShowNoProgressOverTheirBoxes()
{
    TestDb db;
    db.login();
    ReadingMessages rec;
    QuitRecorder quit;
    MainWindow w;
    dataModule().setConnection(db.path(), QStringLiteral("kqt472"));
    w.show();
    const auto click = [&w](const char *entry) { fromEventLoop([&] { w.action(QString::fromUtf8(entry))->trigger(); }); };
    click("备份数据");
    QVERIFY2(rec.last().startsWith(QStringLiteral("数据已备份到 ")), qPrintable(rec.last()));
    const QString copy = Backup::latest(Backup::folderFor(db.path()));
    MainWindow::setBackupChooser([&](QWidget *, const QString &) { return copy; });
    const auto chooser = qScopeGuard([] { MainWindow::setBackupChooser(nullptr); });
    rec.answers << false << true;
    click("恢复数据"); // checked, asked, declined
    click("恢复数据"); // checked, asked, restored
    QCOMPARE(rec.errors(), 0);
    QCOMPARE(rec.entries.size(), 4);
    QCOMPARE(rec.entries.at(1).caption, QStringLiteral("恢复数据"));
    QVERIFY2(rec.last().startsWith(QStringLiteral("数据已恢复。")), qPrintable(rec.last()));
    QCOMPARE(quit.count, 1);
    QCOMPARE(rec.progressSeen, QStringList());
    for (const QPointer<QWidget> &parent : rec.parents)
        QCOMPARE(parent.data(), &w);
}

void TestMainWindow::helpOpensHomePage()
{
    MainWindow w;
    WebRecorder web;
    MessageRecorder rec;
    w.action(QStringLiteral("帮助 &H"))->trigger();
    w.findChild<QAction *>(QStringLiteral("tool_帮助"))->trigger();
    QCOMPARE(web.opened.size(), 2);
    QCOMPARE(web.opened.first().scheme(), QStringLiteral("https"));
    QCOMPARE(rec.entries.size(), 0);

    // Without a browser the operator is told where the manual beside the program is.
    web.browser = false;
    w.action(QStringLiteral("帮助 &H"))->trigger();
    QCOMPARE(web.opened.size(), 3);
    QCOMPARE(rec.entries.size(), 1);
    QCOMPARE(rec.entries.first().kind, QStringLiteral("info"));
    const QString manual = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("README.md"));
    QVERIFY(QFileInfo(manual).size() > 0);
    QCOMPARE(rec.last(), QStringLiteral("无法打开帮助网页 %1，请确认是否安装了浏览器。\n使用说明在本机：%2")
                             .arg(web.opened.last().toString(), QDir::toNativeSeparators(manual)));
}

void TestMainWindow::databaseBesideProgram()
{
    const QString before = QDir::currentPath();
    QDir::setCurrent(QDir::tempPath());
    QCOMPARE(programDatabasePath(), QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Data/db.edb")));
    QDir::setCurrent(before);
}

void TestMainWindow::adminFindsDatabaseFromAnotherDirectory()
{
    // A copy of the program folder elsewhere, started from yet another directory.
    QTemporaryDir dir;
    const QString tool = dir.filePath(QStringLiteral("chengyue-admin"));
    QVERIFY(QFile::copy(QStringLiteral(ADMIN_TOOL_PATH), tool));
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
    QString out, err;
    QCOMPARE(runAdmin({QStringLiteral("init"), QStringLiteral("--db"), dir.filePath(QStringLiteral("Data/db.edb"))}, &out, &err), 0);
    QProcess p;
    p.setWorkingDirectory(QDir::rootPath());
    p.start(tool, {QStringLiteral("sql"), QStringLiteral("SELECT theName FROM SUser")});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), QStringLiteral("theName\n管理员\n"));
}

void TestMainWindow::restoreGivesProgramSizeCentred()
{
    TestDb db;
    db.login();
    MainWindow w;
    dataModule().setConnection(db.path(), QStringLiteral("kqt472"));
    QScreen *screen = QGuiApplication::primaryScreen();
    w.showMaximizedOn(screen);
    QVERIFY(w.isMaximized());
    w.showNormal();
    QRect expected(QPoint(), QSize(1000, 618));
    expected.moveCenter(screen->availableGeometry().center());
    QTRY_COMPARE(w.geometry(), expected);
    // Maximised and restored again: the same.
    w.showMaximized();
    QTRY_VERIFY(w.isMaximized());
    w.showNormal();
    QTRY_COMPARE(w.geometry(), expected);
}

void TestMainWindow::escClosesChildWindow()
{
    TestDb db;
    db.login();
    MainWindow w;
    dataModule().setConnection(db.path(), QStringLiteral("kqt472"));
    w.show();
    for (auto open : {&MainWindow::openOwnerQuery, &MainWindow::openChargeManagement, &MainWindow::openArrearsReminder}) {
        (w.*open)();
        QCOMPARE(w.mdiArea->subWindowList().size(), 1);
        auto *box = w.mdiArea->subWindowList().first()->findChild<QLineEdit *>();
        QVERIFY(box);
        QTest::keyClick(box, Qt::Key_Escape);
        QTRY_COMPARE(w.mdiArea->subWindowList().size(), 0);
    }
}

void TestMainWindow::dialogsCentredOnTheMainWindow_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("framed"); // the windows have their frames when shown
    QTest::addColumn<bool>("fullScreen");
    QTest::newRow("settings dialog") << "使用单位" << true << false;
    QTest::newRow("settings dialog, full screen") << "使用单位" << true << true;
    QTest::newRow("settings dialog, framed later") << "使用单位" << false << false;
    QTest::newRow("entry dialog, framed later") << "业主录入" << false << false;
    QTest::newRow("password dialog, framed later") << "修改密码" << false << true;
}

// A dialog opened from the menu sits in the middle of the main window, its frame included,
// whenever the window system frames the windows.
void TestMainWindow::dialogsCentredOnTheMainWindow()
{
    QFETCH(QString, entry);
    QFETCH(bool, framed);
    QFETCH(bool, fullScreen);
    if (!framed && !withoutWindowFrames()) {
        QString output;
        QVERIFY2(runWithoutWindowFrames(QStringLiteral("dialogsCentredOnTheMainWindow:") + QString::fromUtf8(QTest::currentDataTag()),
                                        &output) == 0,
                 qPrintable(output));
        return;
    }
    TestDb db;
    db.login();
    MessageRecorder rec;
    MainWindow w;
    dataModule().setConnection(db.path(), QStringLiteral("kqt472"));
    if (fullScreen)
        w.showFullScreen();
    else
        w.showMaximizedOn(QGuiApplication::primaryScreen());
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    ScriptedDialogs dialogs;
    QRect frame, inside;
    dialogs.next = [&](QDialog *d) {
        frame = d->frameGeometry();
        inside = d->geometry();
    };
    w.action(entry)->trigger();
    QCOMPARE(dialogs.opened, 1);
    QCOMPARE(frame != inside, framed);
    const QPoint off = frame.center() - w.frameGeometry().center();
    QVERIFY2(qAbs(off.x()) <= 1 && qAbs(off.y()) <= 1,
             qPrintable(QStringLiteral("%1 px right, %2 px down of the centre").arg(off.x()).arg(off.y())));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
