#pragma once
#include "db/Database.h"

#include <QString>
#include <QStringList>

// Voiding a payment taken by mistake (收费作废): the payment is flagged deleted ("是"), so
// that it leaves every charge list, the house's paid-up date goes back to the day before
// the payment's period began, and the void is stored in UVoid with who, when and why.
// Receipt numbers stay taken: the numbering counts deleted payments too.
namespace PaymentVoid {

// A payment as the void dialog shows it (the UCharge row of a receipt number).
struct Payment {
    QString id, houseId, number, paymentDate, area, room, owner, years, startDate, endDate, amount,
        method, payee, flag, chargingDate;
};

// The payment with this receipt number. Throws AppError when no payment has it (or, in a
// file from the time before numbers were taken under a lock, more than one has).
Payment find(const QString &number);

// The live payments stamped with this charging date, newest first: the dialog's short list
// (单号, 房号, 业主名称, 收款金额, 收款人).
Rows paymentsOf(const QString &chargingDate);

struct Result {
    Payment payment;
    QString paidUpBefore; // the house's paid-up date before the void
    QString paidUpAfter;  // the day before the payment's period began
};

// What the void will do, checked but not stored: throws AppError with the reason a void
// is refused (the same checks the void runs under the lock).
Result check(const QString &number);

// Another operator's consent to a void: their name and the password they typed.
struct Approval {
    QString approver;
    QString password;
};

// True when the logged-in operator's void of this payment needs another operator's
// approval: always for a 收费员; for a 管理员 voiding a payment they took themselves, once
// the office has a second 管理员.
bool needsApproval(const Payment &payment);

// The operators who may approve a void of the logged-in operator (the 管理员s but them).
QStringList approvers();

// Voids the payment with this receipt number, in one transaction holding the write lock:
// only a live payment that is its house's latest (its end date is the house's paid-up
// date) and only with a reason. Where a void needs approval, the approver must be another
// 管理员 whose password is given. Stores the void (requester and approver) and its change
// record, stamped with the login state. Throws AppError (nothing stored) when refused.
Result run(const QString &number, const QString &reason, const Approval &approval = {});

// The statements of the void query (作废查询): the voids narrowed by conditions, newest first,
// their count, and one row of totals ("作废金额").
QString list(const QString &conditions);
QString count(const QString &conditions);
QString totals(const Database &db, const QString &conditions);

} // namespace PaymentVoid
