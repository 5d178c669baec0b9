#include "reference/UnitSettings.h"
#include "data/Sql.h"
#include "data/TfrmDM.h"

namespace UnitSettings {

void save(const QString &name, const Period &period)
{
    SqlText = QStringLiteral("UPDATE SDept SET theName = '") + Sql::esc(name) + QStringLiteral("', ")
        + QStringLiteral("theBM = ") + QString::number(period.beginMonth) + QStringLiteral(", theBD = ")
        + QString::number(period.beginDay) + QStringLiteral(", ") + QStringLiteral("theEM = ")
        + QString::number(period.endMonth) + QStringLiteral(", theED = ") + QString::number(period.endDay)
        + QStringLiteral(" ") + QStringLiteral("WHERE (ID = 1)");
    frmDM().myESQL(SqlText);
}

} // namespace UnitSettings
