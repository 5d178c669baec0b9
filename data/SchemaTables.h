#pragma once
#include <QString>
#include <QStringList>
#include <vector>

struct ServerColumns;

// The program's tables, each described once: its columns, their kinds and the operator's
// words for the number columns, and its indexes. The statements that make them on a file
// and on a server are written from this description, as are the server engine's column
// spellings and number labels. Schema (versions, upgrade steps, new databases) builds on it.
namespace SchemaTables {

enum class Kind {
    Id,         // the row's number, given by the database (file: AUTOINCREMENT, server: identity)
    FoldedText, // text compared without letter case (file: the collation CASEFOLD, server: citext)
    Text,       // text compared as stored
    Integer,
    Real,
};

struct Column {
    const char *name; // as the program's statements spell it
    Kind kind;
    // The operator's word for a number column: a value that is no number is refused with
    // "<label> 不是有效的数字". Null for every other column.
    const char *label = nullptr;
    bool primaryKey = false;
    // A number column whose check only the server has (a file's table was first made
    // without it, and files keep the form they were made with).
    bool serverCheckOnly = false;
    // Written on the line of the column before it (a row of like columns).
    bool sameLine = false;
    // The version that added it, when later than its table's: it is added to the table by
    // that version's step (ALTER TABLE), on a new database as on an upgraded one.
    int since = 0;
    // The value an added column has in the rows already there and in a row inserted
    // without it, as SQL ("'管理员'", "0"); null for none.
    const char *initial = nullptr;
};

struct Index {
    const char *name;
    std::vector<const char *> columns;
    // The version that added it, when later than its table's.
    int since = 0;
    // On the server the index ends in the row's ID, as every index of a file ends in its
    // row's ID: a list ordered by these columns and ID reads its pages off the index.
    bool serverEndsInId = false;
    // No two rows with the same keys (as the columns compare them).
    bool unique = false;
};

struct Table {
    const char *name;
    int since; // the schema version that added it
    std::vector<Column> columns;
    std::vector<Index> indexes;
};

enum class Engine { File, Server };

// Every table, in the order they are made.
const std::vector<Table> &all();

// The tables of a database of that schema version.
QStringList namesOf(int version);

// The statements that add what version `version` brought: its tables with their indexes,
// then its indexes on older tables. On a file a table or index added after version 1 is
// made "IF NOT EXISTS", as it always was. A new database runs these for every version up to
// the current one (a server from its first version on, with the earlier ones together).
QString tablesAddedIn(Engine engine, int version);
QString indexesAddedIn(Engine engine, int version);
// The statements that add the columns version `version` brought to older tables.
QString columnsAddedIn(Engine engine, int version);
// The triggers version `version` brought: the rows of payments, voids and the change record
// are refused any change or deletion but the program's own (a void, a record's link), with
// the message the operator reads ("收费记录不能修改或删除"); on the server through the
// function cy_keep_books, made with them.
QString guardsAddedIn(Engine engine, int version);

// What the server engine needs to know of the columns.
ServerColumns serverColumns();

} // namespace SchemaTables
