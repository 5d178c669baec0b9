#pragma once
#include "owners/OwnerBrowseWindow.h"

class QAction;

// "业主管理": the owner list with a pop-up menu to change the selected owner in the
// modify dialog, to mark the owner deleted, or to suspend a season (报停).
class OwnerManagementWindow : public OwnerBrowseWindow {
    Q_OBJECT
public:
    explicit OwnerManagementWindow(QWidget *parent = nullptr);

    QAction *modifyAction; // "修改 &M"
    QAction *deleteAction; // "删除 &D"
    // "报停 &T": 报停 / 取消报停 of the current house; only when the office's 报停 rule is on
    // as the window opens, else null.
    QAction *suspendAction = nullptr;

public slots:
    // Opens the modify dialog on the current row; a save there refreshes this window.
    void modifyOwner();
    // Asks, then marks the current row's house deleted and refreshes.
    void deleteOwner();
    // Opens the 报停 dialog on the current row's house.
    void suspendHouse();
};
