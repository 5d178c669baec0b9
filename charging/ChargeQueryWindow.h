#pragma once
#include "charging/ChargeBrowseWindow.h"

// "收费查询": the charge list with the "Excel" button for the spreadsheet export.
class ChargeQueryWindow : public ChargeBrowseWindow {
    Q_OBJECT
public:
    explicit ChargeQueryWindow(QWidget *parent = nullptr);

public slots:
    // "Excel": the listed payments and their total to a new workbook "收费报表".
    void exportToExcel() override;
};
