#pragma once
#include "widgets/BrowseWindow.h"

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

    // The setup of an owner list: caption, the owner criteria, widths ("面积" 60, "单价" 60,
    // "备注" 120, "ID" hidden) and the sum "面积：". A screen adds its own to it.
    static BrowseSetup ownerSetup(const QString &caption, bool excel);

protected:
    OwnerBrowseWindow(const BrowseSetup &setup, QWidget *parent);
    QString listSql() const override;
    QString totalsSql() const override;
    QString countSql(const QString &list) const override;
    QVector<ListKey> listOrder() const override;
};
