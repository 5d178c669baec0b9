#pragma once
#include <QMainWindow>

#include <functional>

class QMdiArea;
class QLabel;
class QToolBar;
class QMdiSubWindow;
class QThread;
class QScreen;

// The frame of the program: menu, tool bar, the area for the browse screens and the
// status bar. Every screen is opened from here; each choice makes a new instance.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    QMdiArea *mdiArea;
    QToolBar *toolBar;
    QLabel *statusPanels[5];
    QLabel *backupStatus; // the day's automatic backup, at the right of the status bar

    // Picks the copy to restore, starting in the backup folder; "" when cancelled. Tests
    // put their own here; nullptr restores the file dialog.
    using BackupChooser = std::function<QString(QWidget *parent, const QString &folder)>;
    static void setBackupChooser(BackupChooser chooser);

    // The first login of a day copies the database in the background (nothing happens
    // when today's copy exists). True while that copy is being made.
    void startDailyBackup();
    bool dailyBackupRunning() const;

    // Shows a browse screen as a maximised child window released when closed.
    QMdiSubWindow *addChild(QWidget *screen);
    // The start after the login: maximised on that screen; "restore" gives RestoredSize
    // centred on it, also where no window manager keeps a size of its own to restore.
    void showMaximizedOn(QScreen *screen);
    static constexpr QSize RestoredSize{1000, 618};
    // Finds a menu action by its caption (without "&"), for tests and the tool bar.
    QAction *action(const QString &caption) const;

    // Points the data module at the program's database (the file beside the program or
    // the server named beside it) and makes the file on a new installation's first start.
    // Nothing is opened: the login window's first statement opens it. Errors go to the
    // error box. The program calls it before the login window; the main window itself is
    // built only after the login.
    static void connectProgramDatabase(QWidget *parent = nullptr);
    // The program's icon (read from the resources the first time).
    static QIcon programIcon();
    // The manual installed beside the program (README.md); empty when it is not there.
    static QString manualPath();

public slots:
    void connectDatabase();
    void showLoginState();
    // Enables the menu entries and tool-bar buttons the logged-in operator's role allows.
    void offerByRole();
    void openUnitSettings();    // 使用单位
    void openOperators();       // 用户设置
    void openChangePassword();  // 修改密码
    void exitProgram();         // 退出
    void backUpNow();     // 备份数据
    void restoreBackup(); // 恢复数据
    void openChargeEntry();      // 收费录入
    void openChargeManagement(); // 收费管理
    void openChargeQuery();      // 收费查询
    void openArrearsReminder();  // 欠费提醒
    void openSeasonStatistics(); // 收费统计
    void openPaymentMethods();  // 收款方式
    void openUnitPrices();      // 单价设置
    void openAreas();           // 小区设置
    void openDefaults();        // 默认项设置
    void openOwnerEntry();      // 业主录入
    void openOwnerImport();     // 业主导入
    void openOwnerManagement(); // 业主管理
    void openOwnerQuery();      // 业主查询
    void openSeasonPrices();    // 采暖季单价
    void openBillingRules();    // 收费规则
    void openHelp();            // 帮助: the home page; without a browser, where the manual is
    void openVoid();      // 收费作废
    void openVoidQuery(); // 作废查询
    void openDayClose();  // 收费日报
    void openChangeLog(); // 操作记录

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Runs a modal dialog made by the factory; the dialog is released when it closes.
    void runDialog(QDialog *dialog);
    bool m_shown = false;
    bool m_longAction = false; // a backup or restore runs (its progress window answers)
    QThread *m_dailyBackup = nullptr;
};

// The program's database: Data/db.edb beside the program file, or the server that
// chengyue.ini beside it names.
QString programDatabasePath();
