#pragma once
#include "owners/TfrmUH_Edit.h"

class QCheckBox;

// "业主录入": adds houses one after the other, prefilled with the operator's default area
// and purpose, the purpose's price and the default paid-up date.
class TfrmUH_In : public TfrmUH_Edit {
    Q_OBJECT
public:
    explicit TfrmUH_In(QWidget *parent = nullptr);

    QCheckBox *CheckBox1; // 连续新增, ticked on opening

public slots:
    // The operator's defaults and their price; tells about period settings that form no date.
    void FormShow();
    // Checks, refuses a room number taken in the area, inserts; then clears for the next
    // house ("连续新增") or reports and closes.
    void BitBtn1Click() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool m_shown = false;
};
