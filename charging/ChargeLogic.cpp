#include "charging/ChargeLogic.h"
#include "data/Roles.h"
#include "data/Capitals.h"
#include "data/BoundWrite.h"
#include "data/ChangeLog.h"
#include "data/DataModule.h"
#include "data/LiveRow.h"
#include "db/Dates.h"
#include "db/DbError.h"
#include "db/Numbers.h"
#include "data/ReceiptNumbers.h"
#include "db/Sql.h"

#include <QRegularExpression>
#include <cmath>

namespace ChargeLogic {

namespace {

// The save's two writes on the file, as "INSERT OR FAIL" / "UPDATE OR FAIL". The triggers
// that keep the day's and the houses' figures make each of them a write of several rows,
// for which the engine keeps a journal of the statement alone (every page it touches,
// encrypted once more) to undo just that statement should it be refused. A refused
// statement of a save ends the whole save, whose transaction is rolled back, so that
// journal is never needed. The statement shown (SqlText) is the plain one; the server
// keeps no such journal and is given the plain statement.
QString withoutStatementJournal(const Database &db, const QString &sql, const QString &verb)
{
    if (db.isServer() || !sql.startsWith(verb + QLatin1Char(' ')))
        return sql;
    return verb + QStringLiteral(" OR FAIL") + sql.mid(verb.size());
}

QString checkedWhole(const QString &label, const QString &text)
{
    static const QRegularExpression whole(QStringLiteral("^\\s*[+-]?\\d{1,9}\\s*$"));
    if (!whole.match(text).hasMatch())
        throw AppError(QStringLiteral("%1 “%2” 不是有效的整数").arg(label, text));
    return text;
}

QString checkedDate(const QString &label, const QString &text)
{
    const QDate d = Dates::tryParse(text);
    if (!d.isValid())
        throw AppError(QStringLiteral("%1 “%2” 不是有效的日期").arg(label, text));
    return Dates::format(d);
}

} // namespace

void checkAmount(double amount, const QString &shown)
{
    // The receipt writes the amount in capitals up to 9,999,999,999,999.99 yuan; an
    // overflowing product is no amount at all.
    if (!std::isfinite(amount) || std::fabs(amount) >= MaxAmount)
        throw AppError(QStringLiteral("收款金额超出范围（%1）：收据的大写金额最多写到万亿元，请检查面积、单价和收费年数")
                           .arg(shown));
}

QString shortFigure(const QString &text)
{
    const double v = text.toDouble();
    return std::fabs(v) >= 1e15 ? QString::number(v, 'g', 6) : text.trimmed();
}

void checkYearFee(const QString &floorArea, const QString &unitPrice)
{
    if (!Numbers::isNumber(floorArea) || !Numbers::isNumber(unitPrice))
        return;
    const double fee = Numbers::toDouble(floorArea) * Numbers::toDouble(unitPrice);
    if (!std::isfinite(fee) || std::fabs(fee) >= MaxAmount)
        throw AppError(QStringLiteral("一年的费用超出范围（面积 %1 × 单价 %2）：收据的大写金额最多写到万亿元，请检查面积和单价")
                           .arg(shortFigure(floorArea), shortFigure(unitPrice)));
}

QString nextReceiptNumber()
{
    const QDate date = Dates::parse(ChargeDate);
    // Numbers a restore took back are on printed receipts: they stay used.
    const qint64 skipped = ReceiptNumbers::skipped(dataModule().db(), ChargeDate);
    const QString sql = QStringLiteral("SELECT ID FROM UCharge WHERE (theDate = ?)");
    SqlText = BoundWrite::shown(sql, {ChargeDate});
    return receiptNumber(date, int(BoundWrite::count(dataModule().db(), sql, {ChargeDate}) + skipped + 1));
}

QString receiptNumber(const QDate &chargingDate, int sequence)
{
    QString digits = QString::number(sequence);
    if (digits.size() < 4)
        digits = QString(4 - digits.size(), QLatin1Char('0')) + digits;
    return chargingDate.toString(QStringLiteral("yyMMdd")) + digits;
}

Rows lookUpHouse(const QString &areaName, const QString &room)
{
    const QString sql = QStringLiteral("SELECT * FROM UHouse WHERE (" LIVE_ROW ") AND (AName = ?) AND (theNum = ?)");
    SqlText = BoundWrite::shown(sql, {areaName, room});
    Rows rows = BoundWrite::select(dataModule().db(), sql, {areaName, room});
    rows.first();
    return rows;
}

House houseAt(const Rows &rows)
{
    House h;
    h.id = rows.value(QStringLiteral("ID"));
    h.area = rows.value(QStringLiteral("AName"));
    h.room = rows.value(QStringLiteral("theNum"));
    h.floorArea = rows.value(QStringLiteral("theArea"));
    h.purpose = rows.value(QStringLiteral("HType"));
    h.unitPrice = rows.value(QStringLiteral("thePrice"));
    h.paidUp = rows.value(QStringLiteral("EndDate"));
    h.owner = rows.value(QStringLiteral("theName"));
    h.phone = rows.value(QStringLiteral("thePhone"));
    h.remark = rows.value(QStringLiteral("Remark"));
    return h;
}

QDate paidUpDate(const QString &paidUpText)
{
    return Dates::tryParse(paidUpText);
}

Proposal propose(const QString &yearsText, const QString &floorAreaText, const QString &unitPriceText,
                 const QString &paidUpText)
{
    QString years = yearsText;
    if (years.isEmpty() || years == QLatin1String(".") || years == QLatin1String("-"))
        years = QStringLiteral("0");
    const QString area = floorAreaText.isEmpty() ? QStringLiteral("0") : floorAreaText;
    const QString price = unitPriceText.isEmpty() ? QStringLiteral("0") : unitPriceText;

    const double amount = Numbers::roundTo(Numbers::toDouble(years) * Numbers::toDouble(area) * Numbers::toDouble(price), 2);
    checkAmount(amount, QStringLiteral("面积 %1 × 单价 %2 × %3 年").arg(shortFigure(area), shortFigure(price), years));
    Proposal p;
    p.amount = Numbers::plain(amount);
    const QDate paidUp = paidUpDate(paidUpText);
    if (paidUp.isValid()) {
        const qint64 n = Numbers::toInt(years);
        if (n < -9999 || n > 9999)
            throw AppError(QStringLiteral("收费年数 “%1” 超出范围").arg(yearsText));
        p.hasPeriod = true;
        p.start = paidUp.addDays(1);
        // addYears keeps the month and day and cuts 29 February back to the 28th.
        p.end = paidUp.addYears(int(n));
    }
    return p;
}

QString roundToYuan(const QString &amountText)
{
    const QString t = amountText.isEmpty() ? QStringLiteral("0") : amountText;
    const double amount = Numbers::roundTo(Numbers::toDouble(t), 0);
    checkAmount(amount, t);
    return Numbers::plain(amount);
}

BillingRules::Bill billFor(const QString &houseId, const QString &purpose, const QString &floorArea,
                           const QString &unitPrice, const QDate &start, const QString &years,
                           const QDate &chargingDate)
{
    if (!Numbers::isNumber(floorArea) || !Numbers::isNumber(unitPrice) || !Numbers::isNumber(years))
        return {};
    const qint64 n = Numbers::toInt(years);
    if (n <= 0 || n > 9999)
        return {};
    return BillingRules::billFor(dataModule().db(), houseId, purpose, Numbers::toDouble(floorArea),
                                 Numbers::toDouble(unitPrice), start, int(n), chargingDate);
}

BillingRules::Bill withoutLateCharge(const BillingRules::Bill &bill)
{
    BillingRules::Bill out = bill;
    out.parts.clear();
    out.totalFen = 0;
    for (const BillingRules::Part &p : bill.parts)
        if (p.kind != QString::fromUtf8(BillingRules::LateCharge)) {
            out.parts << p;
            out.totalFen += p.fen;
        }
    return out;
}

Payment paymentFor(const House &house, const QString &years, const Proposal &proposal)
{
    Payment p;
    p.houseId = house.id;
    p.chargingDate = ChargeDate;
    p.area = house.area;
    p.room = house.room;
    p.floorArea = house.floorArea;
    p.unitPrice = house.unitPrice;
    p.owner = house.owner;
    p.years = years;
    p.startDate = Dates::format(proposal.start);
    p.endDate = Dates::format(proposal.end);
    p.amount = proposal.amount;
    p.payee = CurrentUserName;
    p.lookedUpPaidUp = house.paidUp;
    if (proposal.hasPeriod) {
        const BillingRules::Bill bill = billFor(house.id, house.purpose, house.floorArea, house.unitPrice, proposal.start,
                                                years, Dates::tryParse(ChargeDate));
        if (!bill.plain)
            p.amount = bill.amount();
    }
    return p;
}

QString methodRefusal(const QString &paymentMethod)
{
    if (!paymentMethod.isEmpty() || dataModule().countRows(QStringLiteral("SELECT ID FROM SMType")) == 0)
        return {};
    return QStringLiteral("收款方式 不能为空！");
}

QString save(const Payment &payment)
{
    Roles::require(Roles::Action::Charge);
    // Every value is checked before anything is written, so a bad one stores nothing.
    const QString houseId = Sql::id(payment.houseId);
    const QString floorArea = Sql::number(payment.floorArea, QStringLiteral("面积"));
    const QString unitPrice = Sql::number(payment.unitPrice, QStringLiteral("单价"));
    const QString years = checkedWhole(QStringLiteral("收费年数"), payment.years);
    const QString amount = Sql::number(payment.amount, QStringLiteral("收款金额"));
    const QString chargingDate = checkedDate(QStringLiteral("收费日期"), payment.chargingDate);
    const QString startDate = checkedDate(QStringLiteral("起始日期"), payment.startDate);
    const QString endDate = checkedDate(QStringLiteral("截至日期"), payment.endDate);
    const double money = Numbers::toDouble(amount);
    checkAmount(money, amount);
    const QString capitals = amountInCapitals(std::fabs(money));

    // A file the start-up check found damaged takes no payment until a backup is restored:
    // what is written into it now may be lost with it.
    if (const QString damage = dataModule().refusesPayments(); !damage.isEmpty())
        throw AppError(damage);
    if (const QString refusal = methodRefusal(payment.paymentMethod); !refusal.isEmpty())
        throw AppError(refusal);

    Database &db = dataModule().db();
    // The count, the insert and the update hold the write lock together: another copy of
    // the program cannot take the same receipt number in between, and a refused update
    // leaves no charge behind.
    Transaction tx(db);
    // Desks charging under the same date number their receipts one after another.
    db.lockFor(QStringLiteral("receipt numbers ") + ChargeDate);
    // The house as it is stored now, read once under the write lock: its paid-up date, its
    // purpose (for the office's rules) and whether it is live.
    const Rows now = dataModule().query(QStringLiteral("SELECT EndDate, HType, CASE WHEN " LIVE_ROW " THEN 1 ELSE 0 END "
                                                       "FROM UHouse WHERE (ID = ")
                                        + houseId + QStringLiteral(")"));
    const bool found = !now.isEmpty();
    if (payment.lookedUpPaidUp) {
        // What the look-up showed still holds, or another copy of the program has charged
        // this house since.
        if (!found || now.at(0, 2) != QLatin1String("1"))
            throw AppError(QStringLiteral("业主信息 不存在，请重新录入房号！"));
        if (now.at(0, 0) != *payment.lookedUpPaidUp)
            throw AppError(QStringLiteral("该业主的到期日期已由 %1 变为 %2（可能刚在另一台电脑上收过费），本次收费没有保存，请重新录入房号！")
                               .arg(*payment.lookedUpPaidUp, now.at(0, 0)));
    }
    const QString paidUpBefore = payment.lookedUpPaidUp ? *payment.lookedUpPaidUp : found ? now.at(0, 0) : QString();
    // The office's rules at the payment's charging date, for the house's purpose as stored.
    BillingRules::Bill bill = billFor(houseId, found ? now.at(0, 1) : QString(), floorArea, unitPrice,
                                      Dates::parse(startDate), years, Dates::parse(chargingDate));
    QString remark = payment.remark;
    QString waived;
    if (payment.waiveLateCharge && !bill.plain) {
        const BillingRules::Bill kept = withoutLateCharge(bill);
        if (kept.totalFen != bill.totalFen) {
            Roles::require(Roles::Action::WaiveLateCharge);
            if (payment.waiveReason.trimmed().isEmpty())
                throw AppError(QStringLiteral("免收违约金 须填写原因！"));
            waived = BillingRules::Bill{false, bill.parts, bill.totalFen - kept.totalFen}.amount();
            bill = kept;
        }
    }
    if (!bill.plain) {
        const QString words = bill.words();
        if (!words.isEmpty())
            remark = remark.isEmpty() ? words : remark + QStringLiteral("；") + words;
        const qint64 typed = std::llround(Numbers::roundTo(money, 2) * 100.0);
        if (typed != bill.totalFen) {
            BillingRules::Part adjust;
            adjust.kind = QString::fromUtf8(BillingRules::Adjustment);
            adjust.year = bill.parts.isEmpty() ? 0 : bill.parts.first().year;
            adjust.fen = typed - bill.totalFen;
            bill.parts << adjust;
            bill.totalFen = typed;
        }
    }
    const QString number = nextReceiptNumber();

    const BoundWrite::Bound insert{
        QStringLiteral("INSERT INTO UCharge (HID, theNum, myDate, AName, HNum, HArea, HPrice, HName, theCount, QSDate, "
                       "JZDate, theMoney, theDX, MType, theSKR, Remark, theDel, theDate, UName) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '否', ?, ?) "),
        {houseId.toLongLong(), number, chargingDate, payment.area, payment.room, Numbers::toDouble(floorArea),
         Numbers::toDouble(unitPrice), payment.owner, Numbers::toInt(years), startDate, endDate, money, capitals,
         payment.paymentMethod, payment.payee, remark, ChargeDate, CurrentUserName}};
    SqlText = BoundWrite::shown(insert);
    BoundWrite::run(db, withoutStatementJournal(db, insert.sql, QStringLiteral("INSERT")), insert.values);
    const QString chargeId = QString::number(db.lastInsertId());
    // The parts the rules made, each one row; the payment's amount is their sum.
    for (const BillingRules::Part &part : bill.parts)
        BoundWrite::run(db,
                        QStringLiteral("INSERT INTO UChargeItem (CID, theKind, theYear, thePrice, thePercent, theMoney) "
                                       "VALUES (?, ?, ?, ?, ?, ?)"),
                        {chargeId.toLongLong(), part.kind, qint64(part.year), part.price, part.percent,
                         double(part.fen) / 100.0});

    const BoundWrite::Bound update{QStringLiteral("UPDATE UHouse SET EndDate = ? WHERE (ID = ?)"),
                                   {endDate, houseId.toLongLong()}};
    SqlText = BoundWrite::shown(update);
    BoundWrite::run(db, withoutStatementJournal(db, update.sql, QStringLiteral("UPDATE")), update.values);
    // A charge for a house that is no longer there would point at nothing.
    if (db.changes() == 0)
        throw AppError(QStringLiteral("业主信息 不存在，请重新录入房号！"));

    ChangeLog::record({QString::fromUtf8(ChangeLog::PaymentStored), QStringLiteral("UCharge"), chargeId, payment.area,
                       payment.room,
                       QStringLiteral("单号 %1，金额 %2，收费年数 %3，期间 %4 至 %5，到期日期：%6 → %7")
                           .arg(number, amount, years, startDate, endDate, paidUpBefore, endDate)
                           + (bill.plain ? QString() : QStringLiteral("，%1").arg(bill.words().isEmpty() ? QStringLiteral("按收费规则")
                                                                                                          : bill.words()))});
    if (!waived.isEmpty())
        ChangeLog::record({QStringLiteral("免收违约金"), QStringLiteral("UCharge"), chargeId, payment.area, payment.room,
                           QStringLiteral("单号 %1，免收违约金 %2元，原因：%3").arg(number, waived, payment.waiveReason.trimmed())});
    tx.commit();
    return number;
}

} // namespace ChargeLogic
