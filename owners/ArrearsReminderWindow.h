#pragma once
#include "owners/OwnerBrowseWindow.h"

#include <QDate>

class DatePicker;
class QPushButton;

// "欠费提醒": the live owners whose paid-up date lies before the reference date, with the
// years and the amount they owe at that date, drawn in red while their paid-up date lies
// before the picker's current date.
class ArrearsReminderWindow : public OwnerBrowseWindow {
    Q_OBJECT
public:
    explicit ArrearsReminderWindow(QWidget *parent = nullptr);

    DatePicker *referencePicker; // the reference date, "到期日期："
    QPushButton *noticesButton;  // "催费通知单", while a list is open

    // The reference date of the list last asked for (the picker may have moved since).
    QDate listedReference() const { return m_listedReference; }

    // The colouring: red (255, 0, 0) for a row whose paid-up date is earlier than the
    // picker's current date, asked at every repaint.
    QColor rowTextColour(int row) const override;

public slots:
    // "Excel": the listed owners with their arrears and totals to a new workbook "业主报表".
    void exportToExcel() override;
    // "催费通知单": the notices of the listed houses in arrears (ArrearsNoticesPrint).
    void printNotices();

protected:
    QString whereStart() const override;
    QString listSql() const override;
    QString totalsSql() const override;

private:
    QDate reference() const;
    // When the totals count houses whose amount no receipt can write, the list (which
    // shows no amount for them) is closed and the operator told which houses to correct.
    void refuseImpossibleAmounts(const Rows &totals);
    // The reference date of the list last asked for (the picker may have moved since).
    mutable QDate m_listedReference;
};
