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

// Creates a new database file at path with the program's key and initialises it.
// Refuses an existing file or a link in its place (DbError) and never touches it. mode as
// for Database::create.
void createFile(const QString &path, const QString &operatorName = QString::fromUtf8(DefaultOperator), int mode = -1);

// On a new installation the Data folder holds the note "first-start": then, and only
// then, a missing database file is created (and the note removed). Returns true when it
// created the file. Anywhere else a missing file stays an error for the login to report.
// The file is made 0660: the installation's Data folder belongs to the group of the
// program's users (setgid), so every member works on it and nobody else can. A link in
// its place is refused (DbError) and the note kept.
bool createOnFirstStart(const QString &path);

} // namespace Schema
