#pragma once
#include <QString>
#include <QVector>

class LookupList;
class DataModule;

// One filter of a browse screen: a check box captioned `caption` followed by its input,
// and the clause that the ticked box adds to conditions. The kind of input decides the form
// of the clause: a lookup list compares for equality with the name it shows, an edit box
// matches any part of the text, a pair of date pickers gives a range with both ends.
struct BrowseCriterion {
    enum Input { Lookup, Text, DateRange };
    Input input = Text;
    QString caption;                                    // blanks kept as given
    QString column;                                     // the column compared
    LookupList *(DataModule::*filler)() = nullptr;      // Lookup: the data module's filler
    int row = 0;                                        // row inside "查询条件", from 0
};

// A criterion's input when "查询" is pressed: the tick, the text (or from-date) and, for a
// date range, the to-date, both as "yyyy-mm-dd".
struct BrowseValue {
    bool ticked = false;
    QString text;
    QString to;
};

namespace Browse {

// The escape character of a text criterion's LIKE: written out, since the file's LIKE
// has none and the server's is the backslash by default.
constexpr char LikeEscape = '!';

// The clause of one ticked criterion, its values with their quotes doubled:
//   Lookup    "AND (AName = 'x') "
//   Text      "AND (theNum LIKE '%x%' ESCAPE '!') " ("%" and "_" in x act as wildcards,
//             a "!" in x is written "!!" and matches itself)
//   DateRange " AND (myDate Between 'a' AND 'b') "
QString clause(const BrowseCriterion &criterion, const QString &text, const QString &to = {});

// conditions: start (the arrears reminder's date clause, otherwise empty) followed by the
// clauses of the ticked criteria in the order of the table.
QString where(const QVector<BrowseCriterion> &criteria, const QVector<BrowseValue> &values,
              const QString &start = {});

// Counts the whole result of a list statement, however many rows the grid has fetched.
QString countStatement(const QString &list);

} // namespace Browse
