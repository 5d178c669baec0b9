#include "charging/PaymentVoid.h"
#include "data/BoundWrite.h"
#include "data/ChangeLog.h"
#include "data/DataModule.h"
#include "data/LiveRow.h"
#include "data/PasswordHash.h"
#include "data/Roles.h"
#include "db/Dates.h"
#include "db/DbError.h"
#include "db/Numbers.h"
#include "db/Sql.h"

#include <QDateTime>

namespace PaymentVoid {

namespace {

Payment paymentAt(const Rows &rows, int r)
{
    Payment p;
    p.id = rows.at(r, QStringLiteral("ID"));
    p.houseId = rows.at(r, QStringLiteral("HID"));
    p.number = rows.at(r, QStringLiteral("theNum"));
    p.paymentDate = rows.at(r, QStringLiteral("myDate"));
    p.area = rows.at(r, QStringLiteral("AName"));
    p.room = rows.at(r, QStringLiteral("HNum"));
    p.owner = rows.at(r, QStringLiteral("HName"));
    p.years = rows.at(r, QStringLiteral("theCount"));
    p.startDate = rows.at(r, QStringLiteral("QSDate"));
    p.endDate = rows.at(r, QStringLiteral("JZDate"));
    p.amount = rows.at(r, QStringLiteral("theMoney"));
    p.method = rows.at(r, QStringLiteral("MType"));
    p.payee = rows.at(r, QStringLiteral("theSKR"));
    p.flag = rows.at(r, QStringLiteral("theDel"));
    p.chargingDate = rows.at(r, QStringLiteral("theDate"));
    return p;
}

QString receiptText(const QString &number) { return QStringLiteral("收据 ") + number; }

// The operator who took the payment (UCharge.UName).
QString cashierOf(const Payment &p)
{
    return dataModule().db().scalar(QStringLiteral("SELECT UName FROM UCharge WHERE (ID = ") + Sql::id(p.id) + QStringLiteral(")"));
}

bool sameName(const QString &a, const QString &b) { return QString::compare(a, b, Qt::CaseInsensitive) == 0; }

// The approver's stored name once every check passed; throws AppError with the reason.
QString checkedApprover(const Approval &approval)
{
    const QString name = approval.approver.trimmed();
    if (name.isEmpty())
        throw AppError(QStringLiteral("作废须经另一位管理员批准，请选择批准人并由其输入密码！"));
    const Rows rows = BoundWrite::select(dataModule().db(), QStringLiteral("SELECT theName, thePass FROM SUser WHERE (theName = ?) ORDER BY ID"),
                                         {name});
    if (rows.isEmpty())
        throw AppError(QStringLiteral("批准人“%1”不存在，请重新选择！").arg(name));
    const QString stored = rows.at(0, 0);
    if (sameName(stored, CurrentUserName))
        throw AppError(QStringLiteral("作废不能由申请人本人批准，请另一位管理员批准！"));
    const QString role = Roles::roleOf(stored);
    if (!Roles::may(role, Roles::Action::ApproveVoid))
        throw AppError(QStringLiteral("批准人“%1”（%2）无权批准作废，请选择管理员！").arg(stored, role));
    if (!PasswordHash::matches(rows.at(0, 1), approval.password))
        throw AppError(QStringLiteral("批准人“%1”的密码不正确，请重新输入！").arg(stored));
    return stored;
}

} // namespace

bool needsApproval(const Payment &payment)
{
    const QString role = Roles::current();
    if (role != QString::fromUtf8(Roles::Admin))
        return true;
    return sameName(cashierOf(payment), CurrentUserName) && Roles::adminCount() >= 2;
}

QStringList approvers()
{
    const Rows rows = dataModule().db().select(QStringLiteral("SELECT theName FROM SUser WHERE (theRole = ")
                                               + Sql::quote(QString::fromUtf8(Roles::Admin))
                                               + QStringLiteral(" OR theRole IS NULL OR theRole = '') ORDER BY ID"));
    QStringList names;
    for (int r = 0; r < rows.rowCount(); ++r)
        if (!sameName(rows.at(r, 0), CurrentUserName))
            names << rows.at(r, 0);
    return names;
}

Payment find(const QString &number)
{
    const QString n = number.trimmed();
    if (n.isEmpty())
        throw AppError(QStringLiteral("收据单号 不能为空！"));
    const Rows rows = BoundWrite::select(dataModule().db(), QStringLiteral("SELECT * FROM UCharge WHERE (theNum = ?) ORDER BY ID"), {n});
    if (rows.isEmpty())
        throw AppError(QStringLiteral("收据单号 %1 不存在，请重新录入！").arg(n));
    if (rows.rowCount() > 1)
        throw AppError(QStringLiteral("有 %1 笔收费使用同一收据单号 %2，无法确定要作废哪一笔，请联系系统维护人员")
                           .arg(rows.rowCount())
                           .arg(n));
    return paymentAt(rows, 0);
}

Rows paymentsOf(const QString &chargingDate)
{
    return BoundWrite::select(dataModule().db(),
                              QStringLiteral("SELECT theNum AS 单号, HNum AS 房号, HName AS 业主名称, theMoney AS 收款金额, "
                                             "theSKR AS 收款人 FROM UCharge WHERE (" LIVE_ROW ") AND (theDate = ?) ORDER BY ID DESC"),
                              {chargingDate});
}

Result check(const QString &number)
{
    Result r;
    r.payment = find(number);
    const Payment &p = r.payment;
    if (p.flag != QStringLiteral("否"))
        throw AppError(receiptText(p.number) + QStringLiteral(" 已经作废，不能再次作废！"));

    Database &db = dataModule().db();
    // The IDs go in bare: they must be the whole numbers the engine gave.
    r.payment.id = QString::number(Numbers::toInt(p.id));
    r.payment.houseId = QString::number(Numbers::toInt(p.houseId));
    const Rows house = db.select(QStringLiteral("SELECT EndDate FROM UHouse WHERE (ID = ") + p.houseId + QStringLiteral(")"));
    if (house.isEmpty())
        throw AppError(receiptText(p.number) + QStringLiteral(" 所收费的房屋已不存在，无法退回到期日期，不能作废"));
    r.paidUpBefore = house.at(0, 0);

    if (r.paidUpBefore != p.endDate) {
        // A later payment of the house moved the paid-up date on: that one goes first.
        const Rows later = db.select(QStringLiteral("SELECT theNum, JZDate FROM UCharge WHERE (HID = ") + p.houseId
                                     + QStringLiteral(") AND (" LIVE_ROW ") AND (ID > ") + p.id
                                     + QStringLiteral(") ORDER BY ID DESC"));
        if (!later.isEmpty())
            throw AppError(QStringLiteral("%1 不是该户最近的一笔收费，请先作废其后的收据 %2（截止日期 %3）")
                               .arg(receiptText(p.number), later.at(0, 0), later.at(0, 1)));
        throw AppError(QStringLiteral("该户的到期日期 %1 已不是%2 的截止日期 %3（到期日期已在业主管理中修改过），不能作废")
                           .arg(r.paidUpBefore, receiptText(p.number), p.endDate));
    }
    const QDate start = Dates::tryParse(p.startDate);
    if (!start.isValid())
        throw AppError(QStringLiteral("%1 的起始日期“%2”不是有效的日期，无法退回到期日期，不能作废")
                           .arg(receiptText(p.number), p.startDate));
    r.paidUpAfter = Dates::format(start.addDays(-1));
    return r;
}

Result run(const QString &number, const QString &reason, const Approval &approval)
{
    Roles::require(Roles::Action::Void);
    if (reason.trimmed().isEmpty())
        throw AppError(QStringLiteral("作废原因 不能为空！"));
    Database &db = dataModule().db();
    // The checks and the writes hold the write lock together: a payment another copy of
    // the program takes for the same house meanwhile either comes before (and the void is
    // refused) or after (and is itself refused, the paid-up date having moved).
    Transaction tx(db);
    const Result r = check(number);
    const Payment &p = r.payment;
    // A 管理员 who may void alone is their own approver; an approval given anyway is checked.
    const QString approver = needsApproval(p) || !(approval.approver.trimmed().isEmpty() || sameName(approval.approver.trimmed(), CurrentUserName))
        ? checkedApprover(approval)
        : CurrentUserName;

    BoundWrite::run(db, QStringLiteral("UPDATE UCharge SET theDel = '是' WHERE (ID = ?) AND (" LIVE_ROW ")"),
                    {Sql::id(p.id).toLongLong()});
    if (db.changes() != 1)
        throw AppError(receiptText(p.number) + QStringLiteral(" 已经作废，不能再次作废！"));
    BoundWrite::run(db, QStringLiteral("UPDATE UHouse SET EndDate = ? WHERE (ID = ?)"), {r.paidUpAfter, Sql::id(p.houseId).toLongLong()});

    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString amount = Numbers::plain(Numbers::toDouble(p.amount.isEmpty() ? QStringLiteral("0") : p.amount));
    BoundWrite::run(db,
                    QStringLiteral("INSERT INTO UVoid (CID, HID, theNum, myDate, AName, HNum, HName, theMoney, MType, theSKR, "
                                   "OldEndDate, NewEndDate, Reason, theTime, theDate, UName, Approver) "
                                   "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                    {Sql::id(p.id).toLongLong(), Sql::id(p.houseId).toLongLong(), p.number, p.paymentDate, p.area, p.room, p.owner,
                     Numbers::toDouble(amount), p.method, p.payee, r.paidUpBefore, r.paidUpAfter, reason.trimmed(), now,
                     ChargeDate, CurrentUserName, approver});

    ChangeLog::record({QString::fromUtf8(ChangeLog::PaymentVoided), QStringLiteral("UCharge"), p.id, p.area, p.room,
                       QStringLiteral("单号 %1，金额 %2，到期日期：%3 → %4，原因：%5")
                               .arg(p.number, amount, r.paidUpBefore, r.paidUpAfter, reason.trimmed())
                           + (approver == CurrentUserName ? QString() : QStringLiteral("，批准人：") + approver)});
    tx.commit();
    return r;
}

QString list(const QString &conditions)
{
    return QStringLiteral("SELECT theNum AS 单号, theTime AS 作废时间, UName AS 作废人, Approver AS 批准人, Reason AS 作废原因, ")
        + QStringLiteral("myDate AS 收费日期, AName AS 小区名称, HNum AS 房号, HName AS 业主名称, ")
        + QStringLiteral("theMoney AS 收款金额, MType AS 收款方式, theSKR AS 收款人, ")
        + QStringLiteral("OldEndDate AS 原到期日期, NewEndDate AS 退回到期日期, ID FROM UVoid WHERE (1 = 1) ") + conditions
        + QStringLiteral("ORDER BY ID DESC ");
}

QString count(const QString &conditions)
{
    return QStringLiteral("SELECT COUNT(*) FROM UVoid WHERE (1 = 1) ") + conditions;
}

QString totals(const Database &db, const QString &conditions)
{
    return QStringLiteral("SELECT ") + db.exactSum(QStringLiteral("theMoney")) + QStringLiteral(" AS 作废金额 FROM UVoid WHERE (1 = 1) ")
        + conditions;
}

} // namespace PaymentVoid
