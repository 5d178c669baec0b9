#pragma once
#include "widgets/FixedDialog.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

// 采暖季单价: a house purpose's price for one season (a price-bureau decision), charged for
// that season in place of the house's stored price. Listed, added, changed and removed here.
class SeasonPricesDialog : public FixedDialog {
    Q_OBJECT
public:
    explicit SeasonPricesDialog(QWidget *parent = nullptr);

    QTableWidget *grid;    // 房屋用途, 采暖季, 单价
    QComboBox *purposeBox; // the purposes of 单价设置
    QSpinBox *seasonSpin;  // the season's first year
    QLineEdit *priceEdit;
    QPushButton *saveButton;   // 保存: adds or changes
    QPushButton *removeButton; // 删除
    QPushButton *closeButton;

public slots:
    void onFirstShow() override;
    void refresh();
    void save();
    void remove();
    // The row's values in the boxes.
    void pick(int row);
};
