#pragma once
#include "widgets/BrowseWindow.h"

class QAction;
class QCheckBox;
class QLineEdit;
class LookupCombo;

// The owner lists (owner management, owner query, arrears reminder): the six owner
// criteria in two rows, the owner columns with their widths and the area total.
class OwnerBrowseWindow : public BrowseWindow {
    Q_OBJECT
public:
    QCheckBox *areaCheck, *roomCheck, *purposeCheck, *ownerCheck, *phoneCheck, *remarkCheck;
    LookupCombo *areaBox;    // 小区名称
    LookupCombo *purposeBox; // 房屋用途
    QLineEdit *roomEdit;     // 房号
    QLineEdit *ownerEdit;    // 业主名称
    QLineEdit *phoneEdit;    // 手机号码
    QLineEdit *remarkEdit;   // 备注
    // "收费 &S" (Ctrl+Enter): 收费录入 with the current row's house loaded; the first entry
    // of the pop-up menu, enabled only for an operator who may take payments.
    QAction *chargeAction;

    // The setup of an owner list: caption, the owner criteria, widths ("面积" 60, "单价" 60,
    // "备注" 120, "ID" hidden) and the sum "面积：". A screen adds its own to it.
    static BrowseSetup ownerSetup(const QString &caption, bool excel);

public slots:
    // Opens 收费录入 with the current row's house loaded, as Enter in its room box loads
    // it; after a payment there the list is read again.
    void chargeHouse();

protected:
    OwnerBrowseWindow(const BrowseSetup &setup, QWidget *parent);
    QString listSql() const override;
    QString totalsSql() const override;
    QString countSql(const QString &list) const override;
    QVector<ListKey> listOrder() const override;
};
