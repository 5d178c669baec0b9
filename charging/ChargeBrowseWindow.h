#pragma once
#include "widgets/BrowseWindow.h"

class DatePicker;
class LookupCombo;
class QCheckBox;
class QLineEdit;

// The charge lists (charge management and charge query): the eight charge criteria in
// three rows with the payment-date range, the charge columns with their widths, newest
// first, and the footer "收款金额：".
class TfrmUCharge_Browse : public BrowseWindow {
    Q_OBJECT
public:
    QCheckBox *CheckBox1, *CheckBox2, *CheckBox3, *CheckBox4, *CheckBox5, *CheckBox6, *CheckBox7, *CheckBox8;
    QLineEdit *Edit1;               // 单号
    DatePicker *DateTimePicker1;    // 收费日期 from
    DatePicker *DateTimePicker2;    // 收费日期 to
    LookupCombo *DBLookupComboBox1; // 小区名称
    QLineEdit *Edit2;               // 房号
    QLineEdit *Edit3;               // 业主名称
    LookupCombo *DBLookupComboBox2; // 收款方式
    LookupCombo *DBLookupComboBox3; // 收款人
    QLineEdit *Edit4;               // 备注

public slots:
    // Each ticks its criterion's box (the inputs are connected to the same effect).
    void Edit1Change();
    void DateTimePicker1Change();
    void DateTimePicker2Change();
    void DBLookupComboBox1Click();
    void Edit2Change();
    void Edit3Change();
    void DBLookupComboBox2Click();
    void DBLookupComboBox3Click();
    void Edit4Change();

protected:
    TfrmUCharge_Browse(const QString &caption, bool excel, QWidget *parent);
    QString listSql() const override;
    QString totalsSql() const override;
    QString countSql(const QString &list) const override;
    QVector<ListKey> listOrder() const override;
};
