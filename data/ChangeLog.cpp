#include "data/ChangeLog.h"
#include "data/Books.h"
#include "data/BoundWrite.h"
#include "data/DataModule.h"
#include "db/Numbers.h"

#include <QDateTime>

namespace ChangeLog {

void record(const Change &c)
{
    // The row's ID is a whole number or none.
    const QVariant rowId = c.rowId.isEmpty() ? QVariant() : QVariant(Numbers::toInt(c.rowId));
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    BoundWrite::run(dataModule().db(),
                    QStringLiteral("INSERT INTO ULog (theTime, UName, theDate, theAction, theTable, RowID, AName, HNum, "
                                   "theChange) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                    {now, CurrentUserName, ChargeDate, c.action, c.table, rowId, c.area, c.room, c.change});
    Books::linkRecord(dataModule().db(), dataModule().db().lastInsertId());
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
