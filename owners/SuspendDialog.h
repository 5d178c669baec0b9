#pragma once
#include "widgets/FixedDialog.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// 报停 / 取消报停 of one house for a season, under the office's rules (the deadline, arrears,
// a season already paid); refusals are shown as the logic words them.
class SuspendDialog : public FixedDialog {
    Q_OBJECT
public:
    explicit SuspendDialog(QWidget *parent = nullptr);

    // Loads the house of that ID: its area and room and its suspended seasons.
    void load(const QString &houseId);

    QLabel *houseLabel;
    QLabel *suspendedLabel; // the seasons suspended now
    QSpinBox *seasonSpin;   // the season's first year
    QLineEdit *reasonEdit;
    QPushButton *suspendButton; // 报停
    QPushButton *cancelButton;  // 取消报停
    QPushButton *closeButton;

public slots:
    void suspend();
    void cancelSuspension();

private:
    void showSuspended();
    QString m_houseId;
};
