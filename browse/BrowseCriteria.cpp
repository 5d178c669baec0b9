#include "browse/BrowseCriteria.h"
#include "data/Sql.h"

namespace Browse {

QString clause(const BrowseCriterion &criterion, const QString &text, const QString &to)
{
    switch (criterion.input) {
    case BrowseCriterion::Lookup:
        return QStringLiteral("AND (") + criterion.column + QStringLiteral(" = '") + Sql::esc(text)
            + QStringLiteral("') ");
    case BrowseCriterion::Text: {
        // A "%" or "_" that the operator typed is looked for as itself, not as a wildcard:
        // "50%" finds "50%" and not every text with "50" in it.
        if (!text.contains(QLatin1Char('%')) && !text.contains(QLatin1Char('_')))
            return QStringLiteral("AND (") + criterion.column + QStringLiteral(" LIKE '%") + Sql::esc(text)
                + QStringLiteral("%') ");
        QString literal;
        for (const QChar c : text) {
            if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
                literal += QLatin1Char('\\');
            literal += c;
        }
        return QStringLiteral("AND (") + criterion.column + QStringLiteral(" LIKE '%") + Sql::esc(literal)
            + QStringLiteral("%' ESCAPE '\\') ");
    }
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
    return QStringLiteral("SELECT COUNT(*) FROM (") + list + QStringLiteral(")");
}

} // namespace Browse
