#pragma once
#include "report/Report.h"

#include <QDate>
#include <QList>
#include <QString>
#include <functional>

class Cursor;
class Database;

// "催费通知单": a printed notice for each house of the arrears reminder's list that owes
// something at the list's reference date, two to an A4 page. The figures are the list's
// own (ArrearsStatements::list): nothing is computed again here but the capitals of the
// amount, as the receipt writes them.
namespace ArrearsNotices {

// What every notice of a batch says besides the house: who sends it, where and how to
// pay, and its date.
struct Office {
    QString unitName;   // 使用单位
    QString howToPay;   // 交费地点和收款方式, one sentence
    QString date;       // the notice's date (the charging date)
};
// The office of the notices: the unit's name, the payment methods (SMType, in their order)
// and the date given.
Office office(Database &db, const QString &unitName, const QString &date);

// One house's notice, as read from a row of the list.
struct Notice {
    QString area, room, owner;
    QString paidUp;   // 到期日期 as stored: the date paid up to
    QString years;    // 欠费年数
    QString amount;   // 欠费金额 in yuan, two decimals
    QString inWords;  // the amount in capitals
};

// A batch: the rows are read once from a cursor and only each notice's figures are kept
// until the pages are laid out at the end.
struct Batch {
    QList<report::PreparedReport> pages;
    QList<Notice> notices;
    int rowsRead = 0;
    bool cancelled = false;
};

// Reads the rows of the reminder's list (columns by caption: 小区名称, 房号, 业主名称,
// 到期日期, 欠费年数, 欠费金额) to the end, a notice for every house whose amount owed is
// more than nothing (a house paid up to earlier in the reference year owes 0 and is
// listed, but gets no notice). progress(rows read) is asked after every row; false stops
// the batch, which is then marked cancelled.
Batch build(Cursor &rows, const Office &office, const QDate &reference,
            const std::function<bool(int rowsRead)> &progress = {});

// The pages of a batch: A4 portrait, two notices to a page, a dashed cutting line between.
// Each notice's boxes are named "n<slot>.<field>" (slot 0 at the top, 1 below; fields
// unit, title, greeting, area, room, owner, paidUp, years, amount, inWords, text, howToPay,
// sender, date).
QList<report::PreparedReport> pages(const QList<Notice> &notices, const Office &office, const QDate &reference);

// The record of a batch on the change record: "催费通知单", how many notices, the
// reference date and the list's criteria (in words).
inline const char NoticesIssued[] = "催费通知单";
void record(int notices, const QDate &reference, const QString &criteria);

// The admin tool's conditions for ArrearsStatements::list: every live house whose paid-up
// date lies before reference, optionally in one area.
QString conditions(const QDate &reference, const QString &area = {});

} // namespace ArrearsNotices
