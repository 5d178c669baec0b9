#pragma once
#include "widgets/FixedDialog.h"

class GbkLineEdit;
class QCheckBox;
class QGroupBox;
class QPushButton;
class RangeSpinBox;

// The using unit's name and charging period. Saving ends the program: both are read at
// start-up.
class UnitSettingsDialog : public FixedDialog {
    Q_OBJECT
public:
    explicit UnitSettingsDialog(QWidget *parent = nullptr);

    QGroupBox *unitGroup;
    GbkLineEdit *unitNameEdit;      // unit name
    RangeSpinBox *beginMonthSpin;   // begin month
    RangeSpinBox *beginDaySpin;     // begin day
    RangeSpinBox *endMonthSpin;     // end month, next year
    RangeSpinBox *endDaySpin;       // end day
    QCheckBox *reprintMarkCheck;    // 补打收据注明补打
    QCheckBox *anyDateBox;          // every operator may choose the charging date
    QPushButton *saveButton;
    QPushButton *closeButton;

public slots:
    void onFirstShow() override;
    void save();

};
