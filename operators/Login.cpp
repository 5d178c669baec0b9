#include "operators/Login.h"
#include "data/BoundWrite.h"
#include "data/DataModule.h"
#include "db/Dates.h"
#include "data/PasswordHash.h"
#include "data/Roles.h"
#include "db/DbError.h"
#include "reference/UnitSettings.h"
#include "db/Sql.h"

namespace Login {

QDate firstChargeDate() { return QDate(2000, 1, 1); }
QDate lastChargeDate() { return QDate(2099, 12, 31); }

QString chargeDateRefusal(const QDate &date)
{
    if (date.isValid() && date >= firstChargeDate() && date <= lastChargeDate())
        return {};
    return QStringLiteral("收费日期 须在 %1 至 %2 之间，请重新选择！")
        .arg(Dates::format(firstChargeDate()), Dates::format(lastChargeDate()));
}

bool mayChooseDate(const QString &name)
{
    const QString role = Roles::roleOf(name);
    return role.isEmpty() || role == QString::fromUtf8(Roles::Admin) || UnitSettings::anyDate();
}

bool tryLogin(const QString &name, const QString &password, const QDate &chargeDate)
{
    // The stored passwords are hashes: the database finds the operator by name, the
    // program compares the password (letter case folded, as the database folds it).
    const QString sql = QStringLiteral("SELECT ID, theName, thePass, theMT, theHT, theAN FROM SUser "
                                       "WHERE (theName = ?) AND (thePass IS NOT NULL) ");
    SqlText = BoundWrite::shown(sql, {name});
    Rows rows = BoundWrite::select(dataModule().db(), sql, {name});
    int found = -1;
    for (int r = 0; r < rows.rowCount(); ++r) {
        if (!PasswordHash::matches(rows.at(r, QStringLiteral("thePass")), password))
            continue;
        if (found >= 0)
            return false; // two operators answer to this name and password
        found = r;
    }
    if (found < 0)
        return false;
    rows.setCurrent(found);
    if (chargeDate != QDate::currentDate() && !mayChooseDate(rows.value(QStringLiteral("theName"))))
        throw AppError(QStringLiteral("操作员“%1”（%2）只能以今天 %3 为收费日期登录，请重新选择！")
                           .arg(rows.value(QStringLiteral("theName")), Roles::roleOf(rows.value(QStringLiteral("theName"))),
                                Dates::format(QDate::currentDate())));
    CurrentUserName = rows.value(QStringLiteral("theName"));
    CurrentUserId = rows.value(QStringLiteral("ID"));
    ChargeDate = Dates::format(chargeDate);
    DefaultPaymentMethod = rows.value(QStringLiteral("theMT"));
    DefaultHouseType = rows.value(QStringLiteral("theHT"));
    DefaultAreaName = rows.value(QStringLiteral("theAN"));
    const QString stored = rows.value(QStringLiteral("thePass"));
    if (!PasswordHash::isHash(stored)) {
        // A password an older program kept in clear is stored as a hash from now on. A
        // file that cannot be written still lets the operator in; the next login tries again.
        try {
            BoundWrite::run(dataModule().db(), QStringLiteral("UPDATE SUser SET thePass = ? WHERE (ID = ?) AND (thePass = ?)"),
                            {PasswordHash::make(password), CurrentUserId.toLongLong(), stored});
        } catch (const AppError &) {
        }
    }
    return true;
}

void readUnit()
{
    SqlText = QStringLiteral("SELECT * FROM SDept WHERE (ID = 1)");
    const Rows rows = dataModule().query(SqlText);
    if (rows.isEmpty()) {
        UnitName.clear();
        PeriodBeginMonth.clear();
        PeriodBeginDay.clear();
        PeriodEndMonth.clear();
        PeriodEndDay.clear();
        return;
    }
    UnitName = rows.value(QStringLiteral("theName"));
    PeriodBeginMonth = rows.value(QStringLiteral("theBM"));
    PeriodBeginDay = rows.value(QStringLiteral("theBD"));
    PeriodEndMonth = rows.value(QStringLiteral("theEM"));
    PeriodEndDay = rows.value(QStringLiteral("theED"));
}

} // namespace Login
