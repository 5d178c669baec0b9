#pragma once
#include <QString>

class Database;

namespace Schema {

inline constexpr int Version = 1;
inline const char DatabaseKey[] = "kqt472";
inline const char InitialPassword[] = "580913";
inline const char DefaultOperator[] = "管理员";

// Creates the eight tables, their indexes and the single rows of SDept and SZD, and the
// first operator, in one transaction on a new, empty database.
void initialize(Database &db, const QString &operatorName = QString::fromUtf8(DefaultOperator));

// Creates the tables in an empty database on a server (refusing one that has tables).
void createServer(const QString &url, const QString &operatorName = QString::fromUtf8(DefaultOperator));
// A new file at a path, or the tables in an empty server database for a URL.
void create(const QString &location, const QString &operatorName = QString::fromUtf8(DefaultOperator));

// On a server: the operator's word for a number column ("thearea" -> "面积"), empty for
// any other column; and a column's name as the program's statements spell it.
QString serverNumberLabel(const QString &column);
QString serverColumnSpelling(const QString &lower);

// What initialize does, inside the caller's transaction.
void createTables(Database &db, const QString &operatorName = QString::fromUtf8(DefaultOperator));

// Creates a new database file at path with the program's key and initialises it.
// Refuses an existing file (DbError) and never touches it.
void createFile(const QString &path, const QString &operatorName = QString::fromUtf8(DefaultOperator));

// The database of the program installed in folder: the server named in the settings
// file beside the program (chengyue.ini, "[database] url=postgresql://user@host:port/db"),
// else the file Data/db.edb in that folder.
QString locationBeside(const QString &folder);

// On a new installation the Data folder holds the note "first-start": then, and only
// then, a missing database file is created (and the note removed). Returns true when it
// created the file. Anywhere else a missing file stays an error for the login to report.
bool createOnFirstStart(const QString &path);

} // namespace Schema
