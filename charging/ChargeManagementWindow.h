#pragma once
#include "charging/TfrmUCharge_Browse.h"

class QAction;

// "收费管理": the charge list with a pop-up menu to print the selected payment's receipt again.
class TfrmUCharge_M : public TfrmUCharge_Browse {
    Q_OBJECT
public:
    explicit TfrmUCharge_M(QWidget *parent = nullptr);

    QAction *P1; // "打印 &P"

public slots:
    // Shows the current row's receipt again through the print module; changes nothing.
    void P1Click();
};
