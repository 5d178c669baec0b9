#include "browse/BrowseCriteria.h"
#include "db/Sql.h"

namespace Browse {

QString clause(const BrowseCriterion &criterion, const QString &text, const QString &to)
{
    switch (criterion.input) {
    case BrowseCriterion::Lookup:
        return QStringLiteral("AND (") + criterion.column + QStringLiteral(" = '") + Sql::esc(text)
            + QStringLiteral("') ");
    case BrowseCriterion::Text:
        // "%" and "_" keep their wildcard meaning: operators type "张%3" or "1_01" on purpose.
        // Every other character, the escape character among them, matches itself: the
        // escape character is written out because the engines' defaults differ.
        return QStringLiteral("AND (") + criterion.column + QStringLiteral(" LIKE '%")
            + Sql::esc(QString(text).replace(QLatin1Char(LikeEscape), QString(2, QLatin1Char(LikeEscape))))
            + QStringLiteral("%' ESCAPE '") + QLatin1Char(LikeEscape) + QStringLiteral("') ");
    case BrowseCriterion::DateRange:
        return QStringLiteral(" AND (") + criterion.column + QStringLiteral(" Between '") + Sql::esc(text)
            + QStringLiteral("' AND '") + Sql::esc(to) + QStringLiteral("') ");
    }
    return {};
}

QString where(const QVector<BrowseCriterion> &criteria, const QVector<BrowseValue> &values, const QString &start)
{
    QString w = start;
    for (int i = 0; i < criteria.size() && i < values.size(); ++i)
        if (values.at(i).ticked)
            w += clause(criteria.at(i), values.at(i).text, values.at(i).to);
    return w;
}

QString countStatement(const QString &list)
{
    return QStringLiteral("SELECT COUNT(*) FROM (") + list + QStringLiteral(") counted");
}

} // namespace Browse
