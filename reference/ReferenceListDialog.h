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
class TfrmRefList : public FixedDialog {
    Q_OBJECT
public:
    TfrmRefList(const RefLists::ListConfig &config, QWidget *parent = nullptr);

    const RefLists::ListConfig &config() const { return m_config; }

    QGroupBox *GroupBox1;
    QTableView *DBGrid1;
    RowsModel *DataSource1;
    QMenu *PopupMenu1;
    QAction *D1;
    QGroupBox *GroupBox2;
    GbkLineEdit *Edit1;         // name
    GbkLineEdit *Edit3 = nullptr; // price, only in the price list
    GbkLineEdit *Edit2;         // remark
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;

public slots:
    void FormCreate();
    void FormShow() override;
    // Re-reads the list and puts the grid back on its first row. Throws on a database
    // failure: the handlers that call it show the error.
    void myRef();
    void BitBtn1Click();
    void D1Click();

protected:
    // Asked for the chosen row before the delete question; false ends the delete quietly
    // (the reason already told).
    virtual bool mayDelete(int row);
    // The grid's current row, the first when none is marked.
    int currentRow() const;
    QGridLayout *EntryLayout;

private:
    const RefLists::ListConfig &m_config;
};

class TfrmSArea : public TfrmRefList {
    Q_OBJECT
public:
    explicit TfrmSArea(QWidget *parent = nullptr) : TfrmRefList(RefLists::areas(), parent) {}
};

class TfrmMType : public TfrmRefList {
    Q_OBJECT
public:
    explicit TfrmMType(QWidget *parent = nullptr) : TfrmRefList(RefLists::methods(), parent) {}
};

class TfrmSPrice : public TfrmRefList {
    Q_OBJECT
public:
    explicit TfrmSPrice(QWidget *parent = nullptr) : TfrmRefList(RefLists::prices(), parent) {}
};
