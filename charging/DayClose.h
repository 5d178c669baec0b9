#pragma once
#include "db/Database.h"

#include <QDate>
#include <QString>
#include <QVector>

// The day's close (收费日报): what the operators took under a charging date (or a range of
// them), by operator and payment method, with the voids made in the same days, for the
// cashier to hand over with the cash.
//
// A payment counts on the charging date it was numbered under (theDate), whatever became
// of it later: a close printed once stays true. A void counts on the charging date under
// which it was made and is taken off: 实收 = 收款 − 作废. A payment belongs to the operator
// logged in when it was stored (UName); a void to the cashier whose receipt it voided, who
// took the cash, whoever asked for the void and approved it.
namespace DayClose {

struct Criteria {
    QDate from;
    QDate to;
    QString operatorName; // empty: all operators
};

// One operator and payment method.
struct Line {
    QString operatorName;
    QString method;
    int count = 0;
    QString firstNumber; // the earliest receipt number of the group
    QString lastNumber;  // the latest
    // The group's receipt numbers as runs of consecutive numbers, broken wherever a number
    // went to another group or was never stored: "2410100001–2410100007, 2410100010".
    QString runs;
    QString amount;      // plain number text
};

struct Void {
    QString time;          // when it was voided
    QString operatorName;  // the cashier who took the payment voided
    QString requester;     // who voided it
    QString approver;      // who approved the void
    QString number;        // the receipt voided
    QString paymentDate;
    QString area, room, owner;
    QString method;
    QString amount;
    QString reason;
};

// A receipt printed again under the charging dates.
struct Reprint {
    QString time;         // when
    QString operatorName; // who
    QString number;       // the receipt
    QString times;        // the how-many-th reprint it was
};

struct Report {
    Criteria criteria;
    QVector<Line> lines;
    QVector<Void> voids;
    int paymentCount = 0;
    QString paymentTotal = QStringLiteral("0");
    int voidCount = 0;
    QString voidTotal = QStringLiteral("0");
    QString net = QStringLiteral("0");  // paymentTotal − voidTotal
    QString netInWords;                 // capital numerals, "负" in front of a negative net
    QVector<Reprint> reprints;
    // The books' 校验码 of the charging dates (Books::dayCode): what the paper close is
    // later checked against ("chengyue-admin check --date D --code C"); it covers every
    // operator's payments, voids and reprints of the dates.
    QString code;

    // "2024-10-10", or "2024-10-01 至 2024-10-10".
    QString periodText() const;
    // The operator, or "全部".
    QString operatorText() const;
};

// The receipt numbers (all of one group) as runs, in the order they were given.
QString runsOf(QList<QPair<QString, QString>> dateAndNumber);

// Builds the close. Throws AppError for a range whose end comes before its start, and when
// the logged-in operator may not see this close (a 收费员 sees only their own).
Report build(const Criteria &criteria);

// The close as one list (the payment lines, then the voids with negative amounts, then
// the reprints without amount) with
// the columns 类别, 收费员, 收款方式, 笔数, 起始单号, 结束单号, 金额, 说明, and its totals row
// ("金额": the net); for the grid and the workbook.
Rows asRows(const Report &report);
Rows totalsRow(const Report &report);

// The close as plain text, for the admin tool.
QString asText(const Report &report);

} // namespace DayClose
