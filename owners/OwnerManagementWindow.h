#pragma once
#include "owners/OwnerBrowseWindow.h"

class QAction;

// "业主管理": the owner list with a pop-up menu to change the selected owner in the
// modify dialog or to mark the owner deleted.
class OwnerManagementWindow : public OwnerBrowseWindow {
    Q_OBJECT
public:
    explicit OwnerManagementWindow(QWidget *parent = nullptr);

    QAction *modifyAction; // "修改 &M"
    QAction *deleteAction; // "删除 &D"

public slots:
    // Opens the modify dialog on the current row; a save there refreshes this window.
    void modifyOwner();
    // Asks, then marks the current row's house deleted and refreshes.
    void deleteOwner();
};
