#include "data/ChangeLog.h"
#include "data/DataModule.h"
#include "db/Numbers.h"
#include "db/Sql.h"

#include <QDateTime>

namespace ChangeLog {

void record(const Change &c)
{
    // The row's ID goes in bare: only a whole number may.
    const QString rowId = c.rowId.isEmpty() ? QStringLiteral("NULL") : QString::number(Numbers::toInt(c.rowId));
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    dataModule().db().exec(QStringLiteral("INSERT INTO ULog (theTime, UName, theDate, theAction, theTable, RowID, AName, "
                                     "HNum, theChange) VALUES (")
                      + Sql::quote(now) + QStringLiteral(", ") + Sql::quote(CurrentUserName) + QStringLiteral(", ")
                      + Sql::quote(ChargeDate) + QStringLiteral(", ") + Sql::quote(c.action) + QStringLiteral(", ")
                      + Sql::quote(c.table) + QStringLiteral(", ") + rowId + QStringLiteral(", ") + Sql::quote(c.area)
                      + QStringLiteral(", ") + Sql::quote(c.room) + QStringLiteral(", ") + Sql::quote(c.change)
                      + QStringLiteral(")"));
}

QString describe(const QVector<FieldChange> &fields)
{
    QStringList parts;
    for (const FieldChange &f : fields)
        if (f.before != f.after)
            parts << f.field + QStringLiteral("：") + f.before + QStringLiteral(" → ") + f.after;
    return parts.join(QStringLiteral("；"));
}

QString list(const QString &conditions)
{
    return QStringLiteral("SELECT theTime AS 时间, UName AS 操作员, theDate AS 收费日期, theAction AS 操作, ")
        + QStringLiteral("AName AS 小区名称, HNum AS 房号, theChange AS 变更内容, theTable AS 数据表, RowID AS 记录号, ")
        + QStringLiteral("ID FROM ULog WHERE (1 = 1) ") + conditions + QStringLiteral("ORDER BY ID DESC ");
}

QString count(const QString &conditions)
{
    return QStringLiteral("SELECT COUNT(*) FROM ULog WHERE (1 = 1) ") + conditions;
}

} // namespace ChangeLog
