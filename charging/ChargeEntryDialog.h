#pragma once
#include "charging/ChargeLogic.h"
#include "db/Database.h"

#include <QDialog>

class LookupCombo;
class GbkLineEdit;
class DatePicker;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTableWidget;

// Charge entry: find a house by area and room number, propose the period and amount for
// a number of years, store the payment and print its receipt.
class ChargeEntryDialog : public QDialog {
    Q_OBJECT
public:
    explicit ChargeEntryDialog(QWidget *parent = nullptr);

    // The ID of the looked-up house; empty while no house is loaded.
    QString houseId;
    // The look-up's query object.
    Rows house;
    // Payments stored through this window since it opened.
    int savedPayments = 0;

    QGroupBox *chargeGroup;
    DatePicker *chargeDatePicker; // 收费日期
    LookupCombo *areaBox;         // 小区名称
    GbkLineEdit *roomEdit;        // 房号 to look up
    QLabel *roomHint;
    // 查找: part of an owner's name, phone or room number in any area; Enter (or F3 here
    // or in the room box) opens the pick list.
    GbkLineEdit *findEdit;
    QPushButton *findButton;      // 查找(F3)

    QGroupBox *houseGroup;           // the looked-up house, shown only
    GbkLineEdit *houseAreaEdit, *houseRoomEdit, *floorAreaEdit, *purposeEdit, *unitPriceEdit, *paidUpEdit, *ownerEdit, *phoneEdit, *houseRemarkEdit;

    QGroupBox *amountGroup;
    GbkLineEdit *yearsEdit;          // 收费年数
    DatePicker *startDatePicker;     // 起始日期
    DatePicker *endDatePicker;       // 截至日期
    GbkLineEdit *amountEdit;         // 收款金额
    LookupCombo *paymentMethodBox;   // 收款方式
    LookupCombo *payeeBox;           // 收款人
    GbkLineEdit *remarkEdit;         // 备注 of the charge
    QCheckBox *continuousEntryCheck; // 连续新增
    QPushButton *saveButton;         // 保存
    QPushButton *closeButton;        // 退出
    QPushButton *roundButton;        // 收款金额取整
    // The amount's parts where the office's rules make any (season prices, 报停, 优惠,
    // 违约金); hidden for a plain area × price × years.
    QLabel *partsLabel;
    // 免收违约金 and its reason: shown when the amount holds a late charge, usable by a 管理员.
    QCheckBox *waiveCheck;
    GbkLineEdit *waiveReasonEdit;

    // 交费记录: the loaded house's payments, newest first, voided ones too.
    QGroupBox *historyGroup;
    QTableWidget *historyGrid;

    // True while a period picker shows no date (a house without a usable paid-up date).
    bool periodUnset(const DatePicker *picker) const;

public slots:
    void loadLists();
    void showDefaults();
    // The house look-up; only Enter (13) starts it.
    void lookUpHouse(int key);
    // The years computation: amount and period for the years in yearsEdit.
    void proposeForYears();
    // Rounds the amount to whole yuan.
    void roundAmount();
    QString nextReceiptNumber();
    void save();
    void clearForNext();
    // The pick list over findEdit's text; a picked house is loaded as the look-up loads it.
    void findHouse();
    // Loads the house of that area and room as Enter in the room box does. Before the
    // window is first shown, it is loaded when it shows (after the defaults).
    void loadHouse(const QString &area, const QString &room);
    // Fills the history grid with the payments of the house of that ID (empty: clears it).
    void showHistory(const QString &houseId, const QString &caption = {});

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void clearPeriod();
    // The parts of the proposal's amount under the office's rules, and the waiver's boxes.
    void showParts(const ChargeLogic::Proposal &proposal);
    bool m_shown = false;
    QString m_pendingArea, m_pendingRoom;
};
