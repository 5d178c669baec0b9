#pragma once
#include <QString>

class Database;

namespace Schema {

inline constexpr int Version = 1;
inline const char DatabaseKey[] = "kqt472";
inline const char InitialPassword[] = "580913";
inline const char DefaultOperator[] = "管理员";

// Creates the eight tables, their indexes and the single rows of SDept and SZD, and the
// first operator (its initial password stored as a hash), in one transaction on a new, empty database.
void initialize(Database &db, const QString &operatorName = QString::fromUtf8(DefaultOperator));

// Creates a new database file at path with the program's key and initialises it.
// Refuses an existing file (DbError) and never touches it.
void createFile(const QString &path, const QString &operatorName = QString::fromUtf8(DefaultOperator));

// On a new installation the Data folder holds the note "first-start": then, and only
// then, a missing database file is created (and the note removed). Returns true when it
// created the file. Anywhere else a missing file stays an error for the login to report.
bool createOnFirstStart(const QString &path);

} // namespace Schema
