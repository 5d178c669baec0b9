#pragma once
#include "widgets/BrowseWindow.h"

class DatePicker;
class LookupCombo;
class QCheckBox;
class QLineEdit;

// The charge lists (charge management and charge query): the eight charge criteria in
// three rows with the payment-date range, the charge columns with their widths, newest
// first, and the footer "收款金额：".
class ChargeBrowseWindow : public BrowseWindow {
    Q_OBJECT
public:
    QCheckBox *receiptNumberCheck, *chargeDateCheck, *areaCheck, *roomCheck, *ownerCheck, *paymentMethodCheck, *payeeCheck, *remarkCheck;
    QLineEdit *receiptNumberEdit;  // 单号
    DatePicker *fromPicker;        // 收费日期 from
    DatePicker *toPicker;          // 收费日期 to
    LookupCombo *areaBox;          // 小区名称
    QLineEdit *roomEdit;           // 房号
    QLineEdit *ownerEdit;          // 业主名称
    LookupCombo *paymentMethodBox; // 收款方式
    LookupCombo *payeeBox;         // 收款人
    QLineEdit *remarkEdit;         // 备注

protected:
    ChargeBrowseWindow(const QString &caption, bool excel, QWidget *parent);
    QString listSql() const override;
    QString totalsSql() const override;
    QString countSql(const QString &list) const override;
    QVector<ListKey> listOrder() const override;
};
