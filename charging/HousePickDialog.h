#pragma once
#include "widgets/FixedDialog.h"

#include <QDate>

class QLabel;
class QLineEdit;
class QTableWidget;

// The pick list of charge entry: the live houses of every area whose owner's name, phone
// or room number contains what is typed, listed anew as it is typed. Enter in the box
// moves into the list; Enter or a double click on a row picks that house.
class HousePickDialog : public FixedDialog {
    Q_OBJECT
public:
    HousePickDialog(QWidget *parent, const QString &text, const QDate &chargingDate);

    QLineEdit *findEdit;     // part of a name, phone or room number
    QTableWidget *pickGrid;  // 小区名称, 房号, 业主名称, 联系电话, 交费截至日期, 欠费年数
    QLabel *noteLabel;       // how many, or that there are more, or none

    // The house picked, once the dialog is accepted.
    QString pickedArea, pickedRoom;

public slots:
    // Lists the houses for the text in findEdit.
    void refresh();
    // Picks the current row of the list (when there is one) and closes.
    void pickCurrent();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QDate m_chargingDate;
};
