#pragma once
#include "charging/ChargeBrowseWindow.h"

class QAction;

// "收费管理": the charge list with a pop-up menu to print the selected payment's receipt again.
class ChargeManagementWindow : public ChargeBrowseWindow {
    Q_OBJECT
public:
    explicit ChargeManagementWindow(QWidget *parent = nullptr);

    QAction *printAction; // "打印 &P"

public slots:
    // Shows the current row's receipt again through the print module, the reprint written
    // to the change record; the list then shows the new count.
    void reprintReceipt();

protected:
    QString listSql() const override;
};
