#pragma once
#include "widgets/FixedDialog.h"

class GbkLineEdit;
class QGroupBox;
class QPushButton;

// The logged-in operator changes their password; the program then ends so that the next
// login uses the new one.
class TfrmCPass : public FixedDialog {
    Q_OBJECT
public:
    explicit TfrmCPass(QWidget *parent = nullptr);

    QGroupBox *GroupBox1;
    GbkLineEdit *Edit1; // old password
    GbkLineEdit *Edit2; // new password
    GbkLineEdit *Edit3; // new password again
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;

public slots:
    void FormShow() override;
    void BitBtn1Click();

};
