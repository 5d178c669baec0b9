#pragma once
#include <QMainWindow>

class QMdiArea;
class QLabel;
class QToolBar;
class QMdiSubWindow;

// The frame of the program: menu, tool bar, the area for the browse screens and the
// status bar. Every screen is opened from here; each choice makes a new instance.
class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget *parent = nullptr);

    QMdiArea *MdiArea;
    QToolBar *ToolBar1;
    QLabel *StatusPanels[5];

    // Shows a browse screen as a maximised child window released when closed.
    QMdiSubWindow *addChild(QWidget *screen);
    // Finds a menu action by its caption (without "&"), for tests and the tool bar.
    QAction *action(const QString &caption) const;

public slots:
    void FormCreate();
    void FormShow();
    void N6Click();  // 使用单位
    void U1Click();  // 用户设置
    void N5Click();  // 修改密码
    void N8Click();  // 退出
    void N16Click(); // 收费录入
    void N19Click(); // 收费管理
    void N23Click(); // 收费查询
    void N20Click(); // 欠费提醒
    void N3Click();  // 收款方式
    void N4Click();  // 单价设置
    void N9Click();  // 小区设置
    void N25Click(); // 默认项设置
    void N11Click(); // 业主录入
    void N12Click(); // 业主导入
    void N13Click(); // 业主管理
    void N24Click(); // 业主查询
    void H2Click();  // 帮助

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Runs a modal dialog made by the factory; the dialog is released when it closes.
    void runDialog(QDialog *dialog);
    bool m_shown = false;
};

// The folder beside the program file that holds Data/db.edb.
QString programDatabasePath();
