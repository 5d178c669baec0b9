#include "app/MainWindow.h"
#include "data/Roles.h"
#include "charging/DayCloseWindow.h"
#include "data/Backup.h"
#include "charging/ChargeEntryDialog.h"
#include "charging/ChargeManagementWindow.h"
#include "charging/ChargeQueryWindow.h"
#include "charging/VoidDialog.h"
#include "charging/VoidQueryWindow.h"
#include "data/Schema.h"
#include "data/DataModule.h"
#include "operators/ChangeLogWindow.h"
#include "operators/Login.h"
#include "operators/ChangePasswordDialog.h"
#include "operators/DefaultsDialog.h"
#include "operators/OperatorsDialog.h"
#include "owners/OwnerImportDialog.h"
#include "owners/OwnerEntryDialog.h"
#include "owners/OwnerManagementWindow.h"
#include "owners/OwnerQueryWindow.h"
#include "owners/ArrearsReminderWindow.h"
#include "reference/ReferenceListDialog.h"
#include "reference/UnitSettingsDialog.h"
#include "reference/BillingRulesDialog.h"
#include "reference/SeasonPricesDialog.h"
#include "report/UiReportPreview.h"
#include "statistics/SeasonStatisticsWindow.h"
#include "widgets/DialogRunner.h"
#include "widgets/Guard.h"
#include "widgets/LongAction.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QWindowStateChangeEvent>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

namespace {

// The area for child windows, with the background picture scaled to fill it.
class BackgroundMdiArea : public QMdiArea {
public:
    explicit BackgroundMdiArea(QWidget *parent)
        : QMdiArea(parent)
    {
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QMdiArea::resizeEvent(event);
        // Decoded when the main window first shows (after the login), not at start-up,
        // where decoding and converting the picture would delay the login window.
        if (!m_loaded) {
            m_loaded = true;
            m_image.load(QStringLiteral(":/images/background.jpg"));
        }
        if (!m_image.isNull())
            setBackground(QBrush(QPixmap::fromImage(m_image.scaled(viewport()->size(), Qt::KeepAspectRatioByExpanding,
                                                                    Qt::SmoothTransformation))));
    }

private:
    QImage m_image;
    bool m_loaded = false;
};

// The tool-bar pictures: a coloured tile with the button's first character.
QIcon toolIcon(const QString &glyph, const QColor &colour)
{
    QPixmap pm(48, 48);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(colour);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(2, 2, 44, 44), 9, 9);
    p.setPen(Qt::white);
    QFont f(QStringLiteral("WenQuanYi Micro Hei"));
    f.setPixelSize(26);
    f.setBold(true);
    p.setFont(f);
    p.drawText(pm.rect(), Qt::AlignCenter, glyph);
    return QIcon(pm);
}

} // namespace

static void initResources()
{
    // The pictures live in the screens library, which is linked statically.
    Q_INIT_RESOURCE(resources);
}

QString programDatabasePath()
{
    return Schema::locationBeside(QCoreApplication::applicationDirPath());
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    initResources();
    setWindowTitle(appTitle());
    resize(RestoredSize);

    mdiArea = new BackgroundMdiArea(this);
    setCentralWidget(mdiArea);

    struct Item {
        const char *caption;
        void (MainWindow::*handler)();
    };
    auto addMenu = [this](const QString &title, std::initializer_list<Item> items) {
        QMenu *menu = menuBar()->addMenu(title);
        for (const Item &it : items) {
            if (!it.caption) {
                menu->addSeparator();
                continue;
            }
            QAction *a = menu->addAction(QString::fromUtf8(it.caption));
            if (it.handler)
                connect(a, &QAction::triggered, this, it.handler);
        }
    };
    addMenu(QStringLiteral("文件【&F】"), {{"使用单位", &MainWindow::openUnitSettings},
                                          {"用户设置", &MainWindow::openOperators},
                                          {"修改密码", &MainWindow::openChangePassword},
                                          {"操作记录", &MainWindow::openChangeLog},
                                          {nullptr, nullptr},
                                          {"备份数据", &MainWindow::backUpNow},
                                          {"恢复数据", &MainWindow::restoreBackup},
                                          {nullptr, nullptr},
                                          {"退出", &MainWindow::exitProgram}});
    addMenu(QStringLiteral("收费【&I】"), {{"收费录入", &MainWindow::openChargeEntry},
                                          {"收费管理", &MainWindow::openChargeManagement},
                                          {"收费查询", &MainWindow::openChargeQuery},
                                          {nullptr, nullptr},
                                          {"收费作废", &MainWindow::openVoid},
                                          {"作废查询", &MainWindow::openVoidQuery},
                                          {"收费日报", &MainWindow::openDayClose}});
    addMenu(QStringLiteral("提醒【&M】"), {{"欠费提醒", &MainWindow::openArrearsReminder},
                                          {"收费统计", &MainWindow::openSeasonStatistics}});
    addMenu(QStringLiteral("基础信息【&B】"), {{"收款方式", &MainWindow::openPaymentMethods},
                                              {"单价设置", &MainWindow::openUnitPrices},
                                              {"小区设置", &MainWindow::openAreas},
                                              {"默认项设置", &MainWindow::openDefaults},
                                              {nullptr, nullptr},
                                              {"业主录入", &MainWindow::openOwnerEntry},
                                              {"业主导入", &MainWindow::openOwnerImport},
                                              {"业主管理", &MainWindow::openOwnerManagement},
                                              {"业主查询", &MainWindow::openOwnerQuery},
                                              {nullptr, nullptr},
                                              {"采暖季单价", &MainWindow::openSeasonPrices},
                                              {"收费规则", &MainWindow::openBillingRules}});
    addMenu(QStringLiteral("帮助【&H】"), {{"帮助 &H", &MainWindow::openHelp},
                                          {nullptr, nullptr},
                                          {"关于 &A", nullptr}});

    toolBar = addToolBar(QStringLiteral("工具栏"));
    toolBar->setMovable(false);
    toolBar->setFixedHeight(76);
    toolBar->setIconSize(QSize(40, 40));
    toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    QFont tf(QStringLiteral("Arial"));
    tf.setPixelSize(14);
    toolBar->setFont(tf);
    auto *sep = new QWidget(toolBar);
    sep->setFixedWidth(2);
    toolBar->addWidget(sep);
    struct Tool {
        const char *caption;
        const char *glyph;
        QColor colour;
        void (MainWindow::*handler)();
    };
    const Tool tools[] = {
        {"收费录入", "收", QColor(200, 60, 40), &MainWindow::openChargeEntry},
        {"收费查询", "查", QColor(40, 120, 200), &MainWindow::openChargeQuery},
        {"欠费提醒", "欠", QColor(220, 130, 20), &MainWindow::openArrearsReminder},
        {"业主录入", "录", QColor(50, 150, 80), &MainWindow::openOwnerEntry},
        {"业主查询", "业", QColor(90, 90, 180), &MainWindow::openOwnerQuery},
        {"帮助", "?", QColor(110, 110, 110), &MainWindow::openHelp},
        {"退出", "退", QColor(150, 40, 40), &MainWindow::exitProgram},
    };
    for (const Tool &t : tools) {
        QAction *a = toolBar->addAction(toolIcon(QString::fromUtf8(t.glyph), t.colour), QString::fromUtf8(t.caption));
        a->setObjectName(QStringLiteral("tool_") + QString::fromUtf8(t.caption));
        connect(a, &QAction::triggered, this, t.handler);
        if (auto *b = qobject_cast<QToolButton *>(toolBar->widgetForAction(a))) {
            b->setFixedSize(70, 70);
            b->setAutoRaise(true);
        }
    }

    const int widths[5] = {160, 120, 120, 120, 0};
    const char *texts[5] = {AppTitle, "当前登录用户：", "", "当前收费日期：", ""};
    for (int i = 0; i < 5; ++i) {
        statusPanels[i] = new QLabel(QString::fromUtf8(texts[i]), this);
        statusPanels[i]->setAlignment((i == 1 || i == 3 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        statusPanels[i]->setFrameShape(QFrame::Panel);
        statusPanels[i]->setFrameShadow(QFrame::Sunken);
        if (widths[i])
            statusPanels[i]->setFixedWidth(widths[i]);
        statusBar()->addWidget(statusPanels[i], widths[i] ? 0 : 1);
    }
    backupStatus = new QLabel(this);
    statusBar()->addPermanentWidget(backupStatus);
}

MainWindow::~MainWindow()
{
    // The day's copy finishes before the program goes: a copy cut off is no copy.
    if (m_dailyBackup)
        m_dailyBackup->wait();
}

void MainWindow::connectDatabase()
{
    connectProgramDatabase(this);
}

void MainWindow::connectProgramDatabase(QWidget *parent)
{
    // The database file beside the program (or the office's server named beside it),
    // opened on the first statement of the run.
    dataModule().setConnection(programDatabasePath(), QString::fromUtf8(Schema::DatabaseKey));
    // A new installation makes its empty database on the first start.
    guard(parent, [] { Schema::createOnFirstStart(programDatabasePath()); });
}

QIcon MainWindow::programIcon()
{
    initResources();
    // Read with its format named: a picture of unknown kind would make Qt load every
    // image plugin to find out.
    return QIcon(QPixmap(QStringLiteral(":/images/icon.png"), "PNG"));
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        showLoginState();
    }
}

void MainWindow::showLoginState()
{
    statusPanels[2]->setText(CurrentUserName);
    statusPanels[4]->setText(ChargeDate);
    guard(this, [] { Login::readUnit(); });
    offerByRole();
}

void MainWindow::offerByRole()
{
    using A = Roles::Action;
    struct Entry {
        const char *caption;
        A action;
    };
    static const Entry entries[] = {
        {"使用单位", A::UnitSettings}, {"用户设置", A::Operators},   {"修改密码", A::OwnPassword},
        {"备份数据", A::Backup},       {"恢复数据", A::Backup},      {"收费录入", A::Charge},
        {"收费作废", A::Void},         {"收费日报", A::OwnDayClose}, {"收款方式", A::ReferenceLists},
        {"单价设置", A::ReferenceLists}, {"小区设置", A::ReferenceLists}, {"默认项设置", A::Defaults},
        {"业主录入", A::Owners},       {"业主导入", A::Owners},      {"业主管理", A::Owners},
        {"采暖季单价", A::ReferenceLists}, {"收费规则", A::UnitSettings},
    };
    // The logic refuses what a role may not do; the window does not offer it.
    QString role;
    try {
        role = Roles::current();
    } catch (const AppError &) {
    }
    for (const Entry &e : entries) {
        const bool may = Roles::may(role, e.action);
        const QString caption = QString::fromUtf8(e.caption);
        if (QAction *a = action(caption))
            a->setEnabled(may);
        if (QAction *t = findChild<QAction *>(QStringLiteral("tool_") + caption))
            t->setEnabled(may);
    }
}

void MainWindow::showMaximizedOn(QScreen *screen)
{
    // Filling the screen first: where no window manager maximises, this is what shows.
    if (screen)
        setGeometry(screen->availableGeometry());
    showMaximized();
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const auto *change = static_cast<QWindowStateChangeEvent *>(event);
    const Qt::WindowStates full = Qt::WindowMaximized | Qt::WindowFullScreen;
    if ((change->oldState() & full) && windowState() == Qt::WindowNoState) {
        // The size kept for "restore" would be the whole screen, with the title bar
        // out of reach: restore to the program's own size, centred.
        QRect r(QPoint(), RestoredSize);
        if (QScreen *s = screen())
            r.moveCenter(s->availableGeometry().center());
        setGeometry(r);
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Every way of closing the main window asks first.
    const bool yes = messages().question(this, QStringLiteral("确认退出"),
                                         QStringLiteral("确认要退出 %1 吗？  ^_^  ").arg(appTitle()), true);
    if (!yes) {
        event->ignore();
        return;
    }
    event->accept();
    quitProgram();
}

QMdiSubWindow *MainWindow::addChild(QWidget *screen)
{
    screen->setAttribute(Qt::WA_DeleteOnClose);
    QMdiSubWindow *sub = mdiArea->addSubWindow(screen);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->showMaximized();
    return sub;
}

QAction *MainWindow::action(const QString &caption) const
{
    const auto actions = findChildren<QAction *>();
    for (QAction *a : actions) {
        QString t = a->text();
        t.remove(QLatin1Char('&'));
        QString c = caption;
        c.remove(QLatin1Char('&'));
        if (t == c && a->objectName().isEmpty())
            return a;
    }
    return nullptr;
}

void MainWindow::runDialog(QDialog *dialog)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    runModal(dialog); // exec(), or the test's script
}

void MainWindow::exitProgram() { close(); }

QString MainWindow::manualPath()
{
    const QString path = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("README.md"));
    return QFileInfo::exists(path) ? path : QString();
}

void MainWindow::openHelp()
{
    const QString page = QString::fromUtf8(HomePage);
    if (web().open(QUrl(page)))
        return;
    // A desk without a browser reads the manual that comes with the program.
    QString text = QStringLiteral("无法打开帮助网页 %1，请确认是否安装了浏览器。").arg(page);
    const QString manual = manualPath();
    if (!manual.isEmpty())
        text += QStringLiteral("\n使用说明在本机：%1").arg(QDir::toNativeSeparators(manual));
    showInfo(this, text);
}

// The menu entries and the windows they open.
void MainWindow::openUnitSettings() { runDialog(new UnitSettingsDialog(this)); }
void MainWindow::openSeasonPrices() { runDialog(new SeasonPricesDialog(this)); }
void MainWindow::openBillingRules() { runDialog(new BillingRulesDialog(this)); }
void MainWindow::openOperators() { runDialog(new OperatorsDialog(this)); }
void MainWindow::openChangePassword() { runDialog(new ChangePasswordDialog(this)); }
void MainWindow::openChargeEntry()
{
    ensurePrintPreview(); // every save shows its receipt
    runDialog(new ChargeEntryDialog(this));
}
void MainWindow::openChargeManagement() { addChild(new ChargeManagementWindow); }
void MainWindow::openChargeQuery() { addChild(new ChargeQueryWindow); }
void MainWindow::openArrearsReminder() { addChild(new ArrearsReminderWindow); }
void MainWindow::openSeasonStatistics()
{
    ensurePrintPreview(); // "打印" shows the page in the preview
    addChild(new SeasonStatisticsWindow);
}
void MainWindow::openPaymentMethods() { runDialog(new PaymentMethodsDialog(this)); }
void MainWindow::openUnitPrices() { runDialog(new UnitPricesDialog(this)); }
void MainWindow::openAreas() { runDialog(new AreasDialog(this)); }
void MainWindow::openDefaults() { runDialog(new DefaultsDialog(this)); }
void MainWindow::openOwnerEntry() { runDialog(new OwnerEntryDialog(this)); }
void MainWindow::openOwnerImport() { runDialog(new OwnerImportDialog(this)); }
void MainWindow::openOwnerManagement() { addChild(new OwnerManagementWindow); }
void MainWindow::openOwnerQuery() { addChild(new OwnerQueryWindow); }
void MainWindow::openVoid() { runDialog(new VoidDialog(this)); }
void MainWindow::openVoidQuery() { addChild(new VoidQueryWindow); }
void MainWindow::openDayClose()
{
    ensurePrintPreview(); // "打印" shows the close in the preview
    addChild(new DayCloseWindow);
}
void MainWindow::openChangeLog() { addChild(new ChangeLogWindow); }

// ---------------------------------------------------------------- backups

namespace {

MainWindow::BackupChooser &backupChooser()
{
    static MainWindow::BackupChooser c;
    return c;
}

QString chooseBackup(QWidget *parent, const QString &folder)
{
    if (backupChooser())
        return backupChooser()(parent, folder);
    return QFileDialog::getOpenFileName(parent, QStringLiteral("选择要恢复的备份"), folder,
                                        QStringLiteral("数据库备份 (*.edb *.edb.*);;所有文件 (*)"));
}

struct DailyOutcome {
    QString path;
    QString error;
};

} // namespace

void MainWindow::setBackupChooser(BackupChooser chooser) { backupChooser() = std::move(chooser); }

bool MainWindow::dailyBackupRunning() const { return m_dailyBackup != nullptr; }

void MainWindow::startDailyBackup()
{
    const QString dbPath = dataModule().databasePath();
    if (m_dailyBackup || dbPath.isEmpty() || Backup::isServerDatabase(dbPath)
        || !Backup::dueToday(Backup::folderFor(dbPath)))
        return;
    backupStatus->setText(QStringLiteral("正在备份今天的数据…"));
    auto outcome = std::make_shared<DailyOutcome>();
    // Its own connections, on a thread of its own: the operator works on meanwhile.
    m_dailyBackup = QThread::create([dbPath, outcome] {
        try {
            outcome->path = Backup::takeDaily(dbPath).path;
        } catch (const AppError &e) {
            outcome->error = e.message();
        } catch (const std::exception &e) {
            outcome->error = QString::fromLocal8Bit(e.what());
        }
    });
    connect(m_dailyBackup, &QThread::finished, this, [this, outcome] {
        m_dailyBackup->deleteLater();
        m_dailyBackup = nullptr;
        if (outcome->error.isEmpty()) {
            backupStatus->setText(QStringLiteral("今天的数据已备份：%1").arg(QFileInfo(outcome->path).fileName()));
            return;
        }
        backupStatus->setText(QStringLiteral("今天的自动备份没有完成"));
        showError(this, withFullStop(QStringLiteral("今天的自动备份没有完成：%1。可以继续工作；请告诉维护人员，或用 文件 → 备份数据 再试一次")
                                         .arg(outcome->error)));
    });
    m_dailyBackup->start(QThread::LowPriority);
}

namespace {

// The progress window follows a copy, check or restore through its control.
// While a copy or a restore runs, the menus, the tool bar and the open windows take no
// input: the progress window shows only after half a second, and the window answers
// (repaints, timers) meanwhile.
class FrameAtRest {
public:
    explicit FrameAtRest(MainWindow *w)
        : m_parts{w->menuBar(), w->toolBar, w->mdiArea}
    {
        for (QWidget *p : m_parts)
            p->setEnabled(false);
    }
    ~FrameAtRest()
    {
        for (QWidget *p : m_parts)
            p->setEnabled(true);
    }
    FrameAtRest(const FrameAtRest &) = delete;
    FrameAtRest &operator=(const FrameAtRest &) = delete;

private:
    QWidget *m_parts[3];
};

LongAction::Follow followOf(Backup::Control &control)
{
    LongAction::Follow f;
    f.label = [&control] { return control.stage(); };
    f.done = [&control] { return qint64(control.done()); };
    f.total = [&control] { return qint64(control.total()); };
    f.stoppable = [&control] { return control.stoppable(); };
    f.stop = [&control] { control.stop(); };
    return f;
}

} // namespace

void MainWindow::backUpNow()
{
    if (m_longAction)
        return; // the menu answers while a copy is made; one at a time
    m_longAction = true;
    const auto done = qScopeGuard([this] { m_longAction = false; });
    guard(this, [&] {
        const QString dbPath = dataModule().databasePath();
        if (Backup::isServerDatabase(dbPath)) {
            showInfo(this, Backup::serverDatabaseMessage() + QStringLiteral("。"));
            return;
        }
        const QString out = QDir(Backup::folderFor(dbPath)).filePath(Backup::fileNameFor(Backup::now()));
        // Copied and checked on a thread of its own: the check reads the whole copy again.
        Backup::Contents c;
        try {
            FrameAtRest atRest(this);
            Backup::Control control;
            LongAction action(this, QStringLiteral("正在备份数据…"));
            action.runOffThread([&] { c = Backup::copy(dbPath, out, control); }, followOf(control));
        } catch (const Backup::Cancelled &) {
            backupStatus->setText(QStringLiteral("备份已取消，没有保存备份"));
            return;
        }
        backupStatus->setText(QStringLiteral("数据已备份：%1").arg(QFileInfo(out).fileName()));
        showInfo(this, QStringLiteral("数据已备份到 %1。\n业主 %2 户，收费 %3 笔，最后收据号 %4。")
                           .arg(QDir::toNativeSeparators(out), QString::number(c.houses), QString::number(c.payments),
                                c.lastReceipt.isEmpty() ? QStringLiteral("（无）") : c.lastReceipt));
    });
}

void MainWindow::restoreBackup()
{
    if (m_longAction)
        return;
    m_longAction = true;
    const auto done = qScopeGuard([this] { m_longAction = false; });
    guard(this, [&] {
        // Asked here: the restore itself runs away from the connection's thread.
        Roles::require(Roles::Action::Backup);
        const QString dbPath = dataModule().databasePath();
        if (Backup::isServerDatabase(dbPath)) {
            showInfo(this, Backup::serverDatabaseMessage() + QStringLiteral("。"));
            return;
        }
        const QString chosen = chooseBackup(this, Backup::folderFor(dbPath));
        if (chosen.isEmpty())
            return;
        // A damaged or foreign file is refused here, before anything is asked; what the
        // restore would take out of the database is found on the same thread.
        Backup::Contents c;
        Backup::Loss lost;
        try {
            FrameAtRest atRest(this);
            Backup::Control control;
            LongAction action(this, QStringLiteral("正在检查备份文件…"));
            action.runOffThread(
                [&] {
                    c = Backup::inspect(chosen, control);
                    control.setStage(QStringLiteral("正在与现在的数据比较…"));
                    lost = Backup::loss(dbPath, chosen, control);
                },
                followOf(control));
        } catch (const Backup::Cancelled &) {
            return;
        }
        const QString none = QStringLiteral("（无）");
        const QString text = QStringLiteral("备份文件：%1\n备份时间：%2\n业主：%3 户\n收费：%4 笔\n最后收据号：%5（现在的最后收据号：%6）\n\n"
                                            "%7\n\n"
                                            "恢复后，现在的数据将被这个备份替换（现在的数据库文件另存在它旁边），程序随后退出。"
                                            "请先关闭其他电脑上的收费程序。\n确认要恢复吗？")
                                 .arg(QDir::toNativeSeparators(chosen), c.taken.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                      QString::number(c.houses), QString::number(c.payments),
                                      c.lastReceipt.isEmpty() ? none : c.lastReceipt,
                                      !lost.known ? QStringLiteral("无法读出") : lost.lastReceipt.isEmpty() ? none : lost.lastReceipt,
                                      Backup::lossText(lost));
        if (!messages().question(this, QStringLiteral("恢复数据"), text, false))
            return;
        if (m_dailyBackup)
            m_dailyBackup->wait();
        dataModule().closeConnection();
        QString kept;
        try {
            FrameAtRest atRest(this);
            Backup::Control control;
            LongAction action(this, QStringLiteral("正在恢复数据…"));
            action.runOffThread([&] { kept = Backup::restore(dbPath, chosen, control); }, followOf(control));
        } catch (const Backup::Cancelled &) {
            // The database was left as it was; the next statement opens it again.
            showInfo(this, QStringLiteral("恢复已取消，数据没有改变。"));
            return;
        }
        showInfo(this, QStringLiteral("数据已恢复。原来的数据库文件保存为 %1。\n请重新打开软件！").arg(QDir::toNativeSeparators(kept)));
        // Every window and the login state were read from the replaced data.
        quitProgram();
    });
}
