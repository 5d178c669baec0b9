#pragma once
#include "owners/TfrmUH_Edit.h"

#include <QPointer>

class BrowseWindow;

// "业主修改": changes one house. Its opener fills the boxes from the selected row, with
// the house's stored price; picking a purpose looks the current price up.
class TfrmUH_M1 : public TfrmUH_Edit {
    Q_OBJECT
public:
    explicit TfrmUH_M1(QWidget *parent = nullptr);

    // The ID of the house being changed, as text.
    QString HouseId;
    // The management window refreshed after a save; only that one.
    QPointer<BrowseWindow> Opener;

public slots:
    // The same checks as entry, no duplicate check; writes the house, reports, refreshes
    // the opener and closes.
    void BitBtn1Click() override;
};
