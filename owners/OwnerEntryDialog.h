#pragma once
#include "owners/OwnerDialog.h"

class QCheckBox;

// "业主录入": adds houses one after the other, prefilled with the operator's default area
// and purpose, the purpose's price and the default paid-up date.
class OwnerEntryDialog : public OwnerDialog {
    Q_OBJECT
public:
    explicit OwnerEntryDialog(QWidget *parent = nullptr);

    QCheckBox *continuousEntryCheck; // 连续新增, ticked on opening

public slots:
    // The operator's defaults and their price; tells about period settings that form no date.
    void showDefaults();
    // Checks, refuses a room number taken in the area, inserts; then clears for the next
    // house ("连续新增") or reports and closes.
    void save() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool m_shown = false;
};
