#include "operators/Login.h"
#include "data/Dates.h"
#include "data/Sql.h"
#include "data/TfrmDM.h"

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

bool tryLogin(const QString &name, const QString &password, const QDate &chargeDate)
{
    SqlText = QStringLiteral("SELECT ID, theName, theMT, theHT, theAN ");
    SqlText += QStringLiteral("FROM SUser ");
    SqlText += QStringLiteral("WHERE (theName = '") + Sql::esc(name) + QStringLiteral("') ");
    SqlText += QStringLiteral("AND (thePass = '") + Sql::esc(password) + QStringLiteral("') ");
    const Rows rows = frmDM().query(SqlText);
    if (rows.rowCount() != 1)
        return false;
    CurrentUserName = rows.value(QStringLiteral("theName"));
    CurrentUserId = rows.value(QStringLiteral("ID"));
    ChargeDate = Dates::format(chargeDate);
    DefaultPaymentMethod = rows.value(QStringLiteral("theMT"));
    DefaultHouseType = rows.value(QStringLiteral("theHT"));
    DefaultAreaName = rows.value(QStringLiteral("theAN"));
    return true;
}

void readUnit()
{
    SqlText = QStringLiteral("SELECT * FROM SDept WHERE (ID = 1)");
    const Rows rows = frmDM().query(SqlText);
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
