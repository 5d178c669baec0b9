#include "operators/Login.h"
#include "data/Dates.h"
#include "data/Sql.h"
#include "data/TfrmDM.h"

namespace Login {

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
