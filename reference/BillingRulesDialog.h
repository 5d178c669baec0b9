#pragma once
#include "widgets/FixedDialog.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

// 收费规则: the office's billing rules, each off until its box is ticked: 报停 (the base
// fee's percentage, the application deadline, no 报停 with arrears), the early-payment
// discount (percentage, window) and the late charge (‰ a day, from, cap). A 管理员's.
class BillingRulesDialog : public FixedDialog {
    Q_OBJECT
public:
    explicit BillingRulesDialog(QWidget *parent = nullptr);

    QCheckBox *suspendCheck, *refuseArrearsCheck, *discountCheck, *lateCheck;
    QLineEdit *suspendPercentEdit, *suspendDeadlineEdit;
    QLineEdit *discountPercentEdit, *discountFromEdit, *discountToEdit;
    QLineEdit *latePermilleEdit, *lateFromEdit, *lateCapEdit;
    QPushButton *saveButton;
    QPushButton *closeButton;

public slots:
    void onFirstShow() override;
    void save();
};
