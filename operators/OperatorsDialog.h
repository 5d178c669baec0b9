#pragma once
#include "reference/ReferenceListDialog.h"

class QLabel;

// The operator accounts: the name list pattern over SUser, new operators starting with the
// initial password, and the logged-in operator kept from deletion.
class OperatorsDialog : public ReferenceListDialog {
    Q_OBJECT
public:
    explicit OperatorsDialog(QWidget *parent = nullptr);

    QLabel *initialPasswordLabel;

protected:
    bool mayDelete(int row) override;
};
