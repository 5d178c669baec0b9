#pragma once
#include "widgets/FixedDialog.h"

class GbkLineEdit;
class QGroupBox;
class QPushButton;
class RangeSpinBox;

// The using unit's name and charging period. Saving ends the program: both are read at
// start-up.
class TfrmSDept : public FixedDialog {
    Q_OBJECT
public:
    explicit TfrmSDept(QWidget *parent = nullptr);

    QGroupBox *GroupBox1;
    GbkLineEdit *Edit1;        // unit name
    RangeSpinBox *SpinEdit1;   // begin month
    RangeSpinBox *SpinEdit2;   // begin day
    RangeSpinBox *SpinEdit3;   // end month, next year
    RangeSpinBox *SpinEdit4;   // end day
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;

public slots:
    void FormShow() override;
    void BitBtn1Click();

};
