#pragma once
#include <QRegularExpression>
#include <QString>

// What the kept figures (DayFigures, HouseFigures) share: the recount's walk over the kept
// and the counted groups, and the test that a list's conditions are only the clauses the
// figures can answer.
namespace KeptFigures {

// Calls compare(named, kept, counted) once for every key of either map, both ordered by the
// same key: a group missing on one side is a default-made one there.
template <typename Map, typename Compare>
void walkSideBySide(const Map &kept, const Map &counted, Compare compare)
{
    using Group = typename Map::mapped_type;
    auto k = kept.cbegin(), c = counted.cbegin();
    while (k != kept.cend() || c != counted.cend()) {
        if (c == counted.cend() || (k != kept.cend() && k.key() < c.key())) {
            compare(*k, *k, Group{});
            ++k;
        } else if (k == kept.cend() || c.key() < k.key()) {
            compare(*c, Group{}, *c);
            ++c;
        } else {
            compare(*k, *k, *c);
            ++k;
            ++c;
        }
    }
}

// True when conditions is nothing but a run of clauses that `clause` (anchored with \G)
// matches one after the other, as the criteria write them.
inline bool onlyClauses(const QString &conditions, const QRegularExpression &clause)
{
    qsizetype at = 0;
    while (at < conditions.size()) {
        const QRegularExpressionMatch m = clause.match(conditions, at);
        if (!m.hasMatch())
            return false;
        at = m.capturedEnd();
    }
    return true;
}

} // namespace KeptFigures
