#pragma once
#include "widgets/FixedDialog.h"

class LookupCombo;
class QGroupBox;
class QPushButton;

// The logged-in operator's default payment method, house purpose and area. Saving ends
// the program: the defaults are read at login.
class TfrmSMRX : public FixedDialog {
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
    void FormShow() override;
    void BitBtn1Click();

};
