#pragma once
#include "widgets/BrowseWindow.h"

class QCheckBox;
class QLineEdit;
class LookupCombo;

// The owner lists (owner management, owner query, arrears reminder): the six owner
// criteria in two rows, the owner columns with their widths and the area total.
class TfrmUH_Browse : public BrowseWindow {
    Q_OBJECT
public:
    QCheckBox *CheckBox1, *CheckBox2, *CheckBox3, *CheckBox4, *CheckBox5, *CheckBox6;
    LookupCombo *DBLookupComboBox1; // 小区名称
    LookupCombo *DBLookupComboBox2; // 房屋用途
    QLineEdit *Edit1;               // 房号
    QLineEdit *Edit2;               // 业主名称
    QLineEdit *Edit3;               // 手机号码
    QLineEdit *Edit4;               // 备注

    // The setup of an owner list: caption, the owner criteria, widths ("面积" 60, "单价" 60,
    // "备注" 120, "ID" hidden) and the sum "面积：". A screen adds its own to it.
    static BrowseSetup ownerSetup(const QString &caption, bool excel);

public slots:
    // Each ticks its criterion's box (the inputs are connected to the same effect).
    void DBLookupComboBox1Click();
    void Edit1Change();
    void DBLookupComboBox2Click();
    void Edit2Change();
    void Edit3Change();
    void Edit4Change();

protected:
    TfrmUH_Browse(const BrowseSetup &setup, QWidget *parent);
    QString listSql() const override;
    QString totalsSql() const override;
    QString countSql(const QString &list) const override;
    QVector<ListKey> listOrder() const override;
};
