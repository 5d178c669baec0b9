#pragma once
#include "owners/OwnerBrowseWindow.h"

// "业主查询": the owner list with the "Excel" button for the spreadsheet export.
class OwnerQueryWindow : public OwnerBrowseWindow {
    Q_OBJECT
public:
    explicit OwnerQueryWindow(QWidget *parent = nullptr);
};
