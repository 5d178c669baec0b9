#pragma once
#include "reference/ReferenceListDialog.h"

class QComboBox;
class QLabel;

// The operator accounts: the name list pattern over SUser, new operators starting with the
// initial password, the logged-in operator kept from deletion, and each operator's role.
class OperatorsDialog : public ReferenceListDialog {
    Q_OBJECT
public:
    explicit OperatorsDialog(QWidget *parent = nullptr);

    QComboBox *roleBox;        // the role of a new operator, or the one 设置角色 gives
    QPushButton *roleButton;   // gives the grid's operator the chosen role
    QLabel *initialPasswordLabel;

public slots:
    void setRoleOfCurrent();

protected:
    bool mayDelete(int row) override;
    QString thirdValue() const override;
};
