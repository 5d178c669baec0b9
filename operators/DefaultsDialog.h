#pragma once
#include "widgets/FixedDialog.h"

class LookupCombo;
class QGroupBox;
class QPushButton;

// The logged-in operator's default payment method, house purpose and area. Saving ends
// the program: the defaults are read at login.
class DefaultsDialog : public FixedDialog {
    Q_OBJECT
public:
    explicit DefaultsDialog(QWidget *parent = nullptr);

    QGroupBox *defaultsGroup;
    LookupCombo *paymentMethodBox; // payment method
    LookupCombo *purposeBox;       // house purpose
    LookupCombo *areaBox;          // area
    QPushButton *saveButton;
    QPushButton *closeButton;

public slots:
    void loadLists();
    void onFirstShow() override;
    void save();

};
