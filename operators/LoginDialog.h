#pragma once
#include <QDialog>

class LookupCombo;
class GbkLineEdit;
class DatePicker;
class QPushButton;
class QLabel;

// The login window: the only visible window until an operator logs in.
class LoginDialog : public QDialog {
    Q_OBJECT
public:
    explicit LoginDialog(QWidget *parent = nullptr);

    LookupCombo *operatorBox;
    GbkLineEdit *passwordEdit;
    DatePicker *chargeDatePicker;
    QPushButton *loginButton;
    QPushButton *closeButton;
    // 重试: shown while the operators could not be read (the server did not answer, the
    // file was missing); reads them again.
    QPushButton *retryButton;
    QLabel *banner;

    // The program's start: shows the window and opens the database only after the window
    // has been drawn, so that the key derivation and the first statement do not hold up
    // the first sight of the program. show() opens it before the window is drawn.
    void showBeforeOpening();
    // True once the window has read its operators (or reported why it could not).
    bool isOpened() const { return m_opened; }
    // The longest a start waits for the first paint before opening the database.
    static constexpr int OpenWithoutPaintMs = 200;

signals:
    // A login succeeded; the window has hidden itself.
    void loggedIn();
    // After showBeforeOpening: the database was opened and the operators listed (or the
    // error shown).
    void opened();

public slots:
    void openDatabase();
    void focusPassword();
    void logIn();
    void retryListing();
    void reject() override;
    // The start-up check found the file damaged.
    void showDamage(const QString &message);

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void openNow();
    // Reads the operators into the list; false (the error shown, 重试 offered) when the
    // database could not be read.
    bool listOperators();

    bool m_loggedIn = false;
    bool m_shown = false;
    bool m_openAfterPaint = false;
    bool m_openScheduled = false;
    bool m_opened = false;
};
