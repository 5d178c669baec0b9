#pragma once
#include "charging/TfrmUCharge_Browse.h"

// "收费查询": the charge list with the "Excel" button for the spreadsheet export.
class TfrmUCharge_Q : public TfrmUCharge_Browse {
    Q_OBJECT
public:
    explicit TfrmUCharge_Q(QWidget *parent = nullptr);

public slots:
    // "Excel": the listed payments and their total to a new workbook "收费报表".
    void BitBtn3Click() override;
};
