#pragma once
#include "owners/OwnerEntry.h"

#include <QDialog>

class DatePicker;
class GbkLineEdit;
class LookupCombo;
class QGroupBox;
class QLabel;
class QPushButton;

// The boxes that owner entry and owner modify share: the group "业主信息" with the area
// and purpose lists, room, floor area, price, paid-up date, owner, phone and remark, in
// this tab order, with their byte limits and key filters, and the price look-up.
class OwnerDialog : public QDialog {
    Q_OBJECT
public:
    QGroupBox *ownerGroup;
    LookupCombo *areaBox;       // 小区名称
    GbkLineEdit *roomEdit;      // 房号, 12 bytes
    GbkLineEdit *floorAreaEdit; // 面积, 8 bytes, digits and "."
    LookupCombo *purposeBox;    // 房屋用途
    GbkLineEdit *priceEdit;     // 单价, 6 bytes, digits and "."
    DatePicker *paidUpPicker;   // 到期日期
    GbkLineEdit *ownerEdit;     // 业主名称, 20 bytes
    GbkLineEdit *phoneEdit;     // 手机号码, 12 bytes, digits
    GbkLineEdit *remarkEdit;    // 备注, 50 bytes
    QLabel *priceUnitLabel;     // the unit beside the price
    QPushButton *saveButton;    // 保存
    QPushButton *closeButton;   // 退出

    // The boxes as one house; the paid-up date as "yyyy-mm-dd".
    House house() const;
    // The default paid-up date that loadLists chose, and what was wrong with the period
    // settings if they formed no date (empty otherwise).
    const OwnerEntry::PeriodEnd &periodEnd() const { return m_periodEnd; }

public slots:
    // The price look-up: the purpose's current unit price into priceEdit (empty without one).
    void lookUpPrice();
    virtual void save() = 0;

protected:
    OwnerDialog(const QString &caption, const QString &priceUnit, QWidget *parent);
    // loadLists: the default paid-up date, then the two lookup lists.
    void loadLists();
    // The six emptiness checks in screen order; on the first empty box shows its message,
    // moves the focus there and returns false.
    bool checkRequired();
    QWidget *boxOf(OwnerEntry::Field field) const;
    QLayout *buttonRow() const { return m_buttons; }

private:
    OwnerEntry::PeriodEnd m_periodEnd;
    QLayout *m_buttons;
};
