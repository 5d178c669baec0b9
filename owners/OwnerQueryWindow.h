#pragma once
#include "owners/TfrmUH_Browse.h"

// "业主查询": the owner list with the "Excel" button for the spreadsheet export.
class TfrmUH_Q : public TfrmUH_Browse {
    Q_OBJECT
public:
    explicit TfrmUH_Q(QWidget *parent = nullptr);
};
