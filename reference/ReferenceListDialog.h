#pragma once
#include "reference/RefLists.h"

#include "widgets/FixedDialog.h"

class GbkLineEdit;
class QAction;
class QGridLayout;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QTableView;
class RowsModel;

// A modal dialog that lists one name table in a grid, adds a row after a check by name
// and deletes the current row from the grid's pop-up menu. The lists differ only in
// their ListConfig; the classes below give each its name.
class ReferenceListDialog : public FixedDialog {
    Q_OBJECT
public:
    ReferenceListDialog(const RefLists::ListConfig &config, QWidget *parent = nullptr);

    const RefLists::ListConfig &config() const { return m_config; }

    QGroupBox *listGroup;
    QTableView *listGrid;
    RowsModel *listRows;
    QMenu *gridMenu;
    QAction *deleteAction;
    QGroupBox *entryGroup;
    GbkLineEdit *nameEdit;         // name
    GbkLineEdit *priceEdit = nullptr; // price, only in the price list
    GbkLineEdit *remarkEdit;         // remark
    QPushButton *saveButton;
    // "修改", only in the price list: the chosen row's price becomes the one typed.
    QPushButton *modifyButton = nullptr;
    QPushButton *closeButton;

public slots:
    void loadList();
    void onFirstShow() override;
    // Re-reads the list and puts the grid back on its first row. Throws on a database
    // failure: the handlers that call it show the error.
    void refreshList();
    void addEntry();
    void deleteCurrent();
    // "修改": the price typed for the chosen purpose, after a question; then, when live
    // houses of that purpose have another price, whether they are to take the new one.
    void modifyCurrent();

protected:
    // Asked for the chosen row before the delete question; false ends the delete quietly
    // (the reason already told).
    virtual bool mayDelete(int row);
    // The third value of a new row in a list without a price (the operators' role).
    virtual QString thirdValue() const { return {}; }
    // The grid's current row, the first when none is marked.
    int currentRow() const;
    QGridLayout *entryLayout;

private:
    const RefLists::ListConfig &m_config;
};

class AreasDialog : public ReferenceListDialog {
    Q_OBJECT
public:
    explicit AreasDialog(QWidget *parent = nullptr) : ReferenceListDialog(RefLists::areas(), parent) {}
};

class PaymentMethodsDialog : public ReferenceListDialog {
    Q_OBJECT
public:
    explicit PaymentMethodsDialog(QWidget *parent = nullptr) : ReferenceListDialog(RefLists::methods(), parent) {}
};

class UnitPricesDialog : public ReferenceListDialog {
    Q_OBJECT
public:
    explicit UnitPricesDialog(QWidget *parent = nullptr) : ReferenceListDialog(RefLists::prices(), parent) {}
};
