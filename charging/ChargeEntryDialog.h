#pragma once
#include "data/Database.h"

#include <QDialog>

class LookupCombo;
class GbkLineEdit;
class DatePicker;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

// Charge entry: find a house by area and room number, propose the period and amount for
// a number of years, store the payment and print its receipt.
class TfrmUCharge_In : public QDialog {
    Q_OBJECT
public:
    explicit TfrmUCharge_In(QWidget *parent = nullptr);

    // The ID of the looked-up house; empty while no house is loaded.
    QString HouseId;
    // The look-up's query object.
    Rows ADOQuery1;

    QGroupBox *GroupBox1;
    DatePicker *DateTimePicker1;    // 收费日期
    LookupCombo *DBLookupComboBox1; // 小区名称
    GbkLineEdit *Edit1;             // 房号 to look up
    QLabel *Label4;

    QGroupBox *GroupBox2;           // the looked-up house, shown only
    GbkLineEdit *Edit2, *Edit3, *Edit4, *Edit5, *Edit6, *Edit7, *Edit8, *Edit9, *Edit10;

    QGroupBox *GroupBox3;
    GbkLineEdit *Edit11;            // 收费年数
    DatePicker *DateTimePicker2;    // 起始日期
    DatePicker *DateTimePicker3;    // 截至日期
    GbkLineEdit *Edit12;            // 收款金额
    LookupCombo *DBLookupComboBox2; // 收款方式
    LookupCombo *DBLookupComboBox3; // 收款人
    GbkLineEdit *Edit13;            // 备注 of the charge
    QCheckBox *CheckBox1;           // 连续新增
    QPushButton *BitBtn1;           // 保存
    QPushButton *BitBtn2;           // 退出
    QPushButton *Button1;           // 收款金额取整

    // True while a period picker shows no date (a house without a usable paid-up date).
    bool periodUnset(const DatePicker *picker) const;

public slots:
    void FormCreate();
    void FormShow();
    // The house look-up; only Enter (13) starts it.
    void Edit1KeyPress(int key);
    // The years computation: amount and period for the years in Edit11.
    void Edit11Change();
    // Rounds the amount to whole yuan.
    void Button1Click();
    QString myNum();
    void BitBtn1Click();
    void myNew();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void clearPeriod();
    bool m_shown = false;
};
