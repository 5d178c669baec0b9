#pragma once
#include "widgets/FixedDialog.h"

class GbkLineEdit;
class QGroupBox;
class QPushButton;

// The logged-in operator changes their password; the program then ends so that the next
// login uses the new one.
class ChangePasswordDialog : public FixedDialog {
    Q_OBJECT
public:
    explicit ChangePasswordDialog(QWidget *parent = nullptr);

    QGroupBox *passwordGroup;
    GbkLineEdit *oldPasswordEdit;     // old password
    GbkLineEdit *newPasswordEdit;     // new password
    GbkLineEdit *confirmPasswordEdit; // new password again
    QPushButton *saveButton;
    QPushButton *closeButton;

public slots:
    void onFirstShow() override;
    void save();

};
