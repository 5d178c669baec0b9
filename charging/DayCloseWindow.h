#pragma once
#include "charging/DayClose.h"

#include <QWidget>

class DatePicker;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class RowsModel;

// "收费日报": the day's close for a charging date or a range, one operator or all: the
// payment lines by operator and method, the voids, the totals with the net in capital
// numerals. It opens on the charging date's close. "打印" (Ctrl+P) shows it in the print
// preview, "Excel" (Ctrl+E) exports it, F5 runs "查询".
class DayCloseWindow : public QWidget {
    Q_OBJECT
public:
    explicit DayCloseWindow(QWidget *parent = nullptr);

    DatePicker *fromPicker;   // 收费日期, default the charging date
    DatePicker *toPicker;     // 至, default the charging date
    QComboBox *operatorBox;   // "全部" or one operator
    QPushButton *queryButton; // 查询
    QPushButton *printButton; // 打印
    QPushButton *excelButton; // Excel
    QPushButton *closeButton; // 退出
    QTableView *grid;
    RowsModel *rows;
    QLabel *totalsLabel;
    QLabel *wordsLabel;

    // The close as last shown.
    const DayClose::Report &shown() const { return m_report; }

public slots:
    // Builds the close for the chosen dates and operator and shows it.
    void runQuery();
    // Shows the close in the print preview (through the print module's presenter).
    void printReport();
    // Sends the close to a workbook.
    void exportToExcel();
    void closeWindow();

private:
    DayClose::Criteria criteria() const;
    bool refresh();
    DayClose::Report m_report;
};
