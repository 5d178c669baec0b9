#pragma once
#include <QDialog>

class LookupCombo;
class QGroupBox;
class QPushButton;

// The logged-in operator's default payment method, house purpose and area. Saving ends
// the program: the defaults are read at login.
class TfrmSMRX : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSMRX(QWidget *parent = nullptr);

    QGroupBox *GroupBox1;
    LookupCombo *DBLookupComboBox1; // payment method
    LookupCombo *DBLookupComboBox2; // house purpose
    LookupCombo *DBLookupComboBox3; // area
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;

public slots:
    void FormCreate();
    void FormShow();
    void BitBtn1Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool m_shown = false;
};
