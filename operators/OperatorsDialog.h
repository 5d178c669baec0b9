#pragma once
#include "reference/TfrmRefList.h"

class QLabel;

// The operator accounts: the name list pattern over SUser, new operators starting with the
// initial password, and the logged-in operator kept from deletion.
class TfrmUser : public TfrmRefList {
    Q_OBJECT
public:
    explicit TfrmUser(QWidget *parent = nullptr);

    QLabel *Label3;

protected:
    bool mayDelete(int row) override;
};
