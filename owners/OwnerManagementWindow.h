#pragma once
#include "owners/TfrmUH_Browse.h"

class QAction;

// "业主管理": the owner list with a pop-up menu to change the selected owner in the
// modify dialog or to mark the owner deleted.
class TfrmUH_M : public TfrmUH_Browse {
    Q_OBJECT
public:
    explicit TfrmUH_M(QWidget *parent = nullptr);

    QAction *M1; // "修改 &M"
    QAction *D1; // "删除 &D"

public slots:
    // Opens the modify dialog on the current row; a save there refreshes this window.
    void M1Click();
    // Asks, then marks the current row's house deleted and refreshes.
    void D1Click();
};
