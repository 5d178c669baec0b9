#pragma once
#include <QDialog>

class LookupCombo;
class GbkLineEdit;
class DatePicker;
class QPushButton;
class QLabel;

// The login window: the only visible window until an operator logs in.
class TfrmLogin : public QDialog {
    Q_OBJECT
public:
    explicit TfrmLogin(QWidget *parent = nullptr);

    LookupCombo *DBLookupComboBox1;
    GbkLineEdit *Edit1;
    DatePicker *DateTimePicker1;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;
    QLabel *WebBanner;

signals:
    // A login succeeded; the window has hidden itself.
    void loggedIn();

public slots:
    void FormShow();
    void DBLookupComboBox1Click();
    void BitBtn1Click();
    void reject() override;
    // The start-up check found the file damaged.
    void showDamage(const QString &message);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    bool m_loggedIn = false;
    bool m_shown = false;
};
