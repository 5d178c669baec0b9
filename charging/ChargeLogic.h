#pragma once
#include "charging/BillingRules.h"
#include "db/Database.h"

#include <QDate>
#include <QString>
#include <optional>

// Taking a heating-fee payment: receipt numbers, the proposal of amount and period for a
// number of years, whole-yuan rounding and the save. Used by charge entry and by the
// admin tool; reads the login state (ChargeDate, CurrentUserName) and builds its
// statements in SqlText on the data module's connection.
namespace ChargeLogic {

// The next receipt number of the login's charging date: "yymmdd" of ChargeDate and one
// more than the count of every UCharge row stamped with that date (whatever its flag) and
// the numbers of that date a restore took back (ReceiptNumbers), padded to four digits
// (five from the ten-thousandth charge on).
QString nextReceiptNumber();
// The receipt number of the sequence-th payment stamped with that charging date.
QString receiptNumber(const QDate &chargingDate, int sequence);

// The house that the look-up shows.
struct House {
    QString id, area, room, floorArea, purpose, unitPrice, paidUp, owner, phone, remark;
};
// Runs the look-up of the live houses of that area and room number; the screen keeps
// the result in its query object. Exactly one row means the house is found.
Rows lookUpHouse(const QString &areaName, const QString &room);
// The house at the current row of a look-up result.
House houseAt(const Rows &rows);

// The proposal for a number of years. Empty, "." and "-" count as 0 years, an empty area
// or price as 0. Throws AppError when a text is no number.
struct Proposal {
    QString amount;          // rounded to two decimals, plain form ("1500", "1234.5")
    bool hasPeriod = false;  // false when the paid-up date is empty or no date
    QDate start, end;        // the day after the paid-up date; the paid-up date moved by the years
};
Proposal propose(const QString &yearsText, const QString &floorAreaText, const QString &unitPriceText,
                 const QString &paidUpText);

// The paid-up date of a house, or an invalid date when the text is empty or no date.
QDate paidUpDate(const QString &paidUpText);

// The amount rounded to whole yuan (halves to the even yuan), "0" for an empty text.
// Throws AppError when the text is no number.
QString roundToYuan(const QString &amountText);

// Amounts from 10^13 yuan on cannot be written in capitals.
inline constexpr double MaxAmount = 1e13;
// Throws AppError when amount is no finite number below MaxAmount; shown names what was
// computed or typed.
void checkAmount(double amount, const QString &shown);
// A figure for a message: the text as given, trimmed, unless it would be hundreds of
// digits long (a huge number in plain form): then in exponent form, "1e+200".
QString shortFigure(const QString &text);
// Refuses (AppError) a house whose fee for one year, area times unit price, is no finite
// amount below MaxAmount: no payment could ever be taken for it. A text that is no number
// is left to the number check of its column, which names it.
void checkYearFee(const QString &floorArea, const QString &unitPrice);

// What a save stores: the house and the texts of the entry boxes, dates as "yyyy-mm-dd".
struct Payment {
    QString houseId;       // UHouse.ID
    QString chargingDate;  // myDate: the charging date box
    QString area;          // the house's area name
    QString room;
    QString floorArea;
    QString unitPrice;
    QString owner;
    QString years;         // whole number
    QString startDate;
    QString endDate;
    QString amount;        // yuan
    QString paymentMethod;
    QString payee;
    QString remark;
    // The house's paid-up date as the look-up showed it. When set, the save refuses a
    // house whose paid-up date has moved since (another copy of the program took a payment
    // for it in the meantime), so that no period is charged twice.
    std::optional<QString> lookedUpPaidUp;
    // The late charge (违约金) left out: a 管理员's decision, with its reason on the change
    // record.
    bool waiveLateCharge = false;
    QString waiveReason;
};

// The office's rules for a house and a number of years from its period's start, at the
// charging date: plain (today's area × price × years) unless a rule, a season price or a
// suspension changes it. A payment without a start date is plain.
BillingRules::Bill billFor(const QString &houseId, const QString &purpose, const QString &floorArea,
                           const QString &unitPrice, const QDate &start, const QString &years,
                           const QDate &chargingDate);

// The bill with the late charge left out (its waiver).
BillingRules::Bill withoutLateCharge(const BillingRules::Bill &bill);

// The payment of a looked-up house for a number of years as the proposal gives it, taken
// under the login's charging date by the logged-in operator, guarded by the paid-up date
// the look-up showed; the amount is the office's rules' total where they change it. The
// caller adds the payment method and the remark.
Payment paymentFor(const House &house, const QString &years, const Proposal &proposal);

// Empty when a payment may be stored with this payment method, otherwise the refusal
// "收款方式 不能为空！": a payment names its method whenever the list of methods has any, so
// that its receipt and the day's close say how it was paid.
QString methodRefusal(const QString &paymentMethod);

// Stores the payment: in one transaction that takes the write lock first, makes the
// receipt number, inserts the UCharge row (amount in capital numerals of its absolute
// value) and moves the house's EndDate to the end date. Returns the receipt number.
// Where the office's rules change the fee (billFor at the payment's charging date), the
// parts are stored beside it (UChargeItem), an amount typed other than their total with a
// part 调整 of the difference so that the parts add up to the amount, and the remark gets
// the rules' words after the operator's. A waived late charge needs a 管理员.
// Refuses (AppError, nothing stored) a house that is gone, or whose paid-up date is no
// longer lookedUpPaidUp, and a payment without a method (methodRefusal).
// Throws AppError (nothing stored) for a value that is no number or date, DbError when
// the database refuses a statement; then nothing of the payment is stored.
QString save(const Payment &payment);

} // namespace ChargeLogic
