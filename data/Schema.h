#pragma once
#include <QString>

class Database;

namespace Schema {

// 1: the eight tables of the program; 2: the voids (UVoid) and the change record (ULog).
inline constexpr int Version = 2;
inline const char DatabaseKey[] = "kqt472";
inline const char InitialPassword[] = "580913";
inline const char DefaultOperator[] = "管理员";

// Creates the eight tables, their indexes and the single rows of SDept and SZD, and the
// first operator, in one transaction on a new, empty database.
void initialize(Database &db, const QString &operatorName = QString::fromUtf8(DefaultOperator));

// Brings a file made by an earlier version of the program to this one (the tables it
// lacks are created), in one transaction. Returns true when it changed the file. Called
// by the data module whenever it opens the connection.
bool upgrade(Database &db);

// Creates a new database file at path with the program's key and initialises it.
// Refuses an existing file (DbError) and never touches it.
void createFile(const QString &path, const QString &operatorName = QString::fromUtf8(DefaultOperator));

// On a new installation the Data folder holds the note "first-start": then, and only
// then, a missing database file is created (and the note removed). Returns true when it
// created the file. Anywhere else a missing file stays an error for the login to report.
bool createOnFirstStart(const QString &path);

} // namespace Schema
