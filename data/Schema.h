#pragma once
#include "db/CaseFold.h"

#include <QString>
#include <functional>

class Database;

namespace Schema {

// The form of a database file is its schema version, kept in the file's header (the
// engine's user_version). Files of earlier programs are brought up to Version when they
// are opened, one step at a time, each step in one transaction together with its new
// number: a step that is interrupted leaves the file in the form it had.
//   1  the tables as first numbered (text compared without case for a–z only)
//   2  text compared without case for every letter (collation TextCollation)
//   3  the voids of payments (UVoid) and the record of changes (ULog)
//   4  receipt numbers taken back by a restore, which the numbering skips (UNumSkip)
//   5  cash controls: operators' roles, voids' approvers, the change record's chain, the
//      office's reprint and charging-date settings
//   6  the payments' figures by day, area and method, kept beside them (UDayFigure),
//      the houses' by area and paid-up date (UHouseFigure), and an index for every
//      column of the payment lists (a click on its heading)
//   7  the office's billing rules: season prices by house purpose (SSeasonPrice), the rules'
//      settings (SRule), seasons suspended (USuspend) and the parts of a payment
//      (UChargeItem); the payments' totals by day and method (UDayTotal), the day's figures
//      by area, and an index for every column of the house lists
// The tables themselves are described once in SchemaTables, which writes each engine's
// statements. To change the schema: change the description (the new parts with the new
// version as their `since`), raise Version and add the step from the previous version in
// Schema.cpp; the schema tests check that a file of version 1 and a server database of
// version 2 upgrade to exactly what a new one is. A server engine creates the same tables
// at Version with its own types for text compared without case, keeps its version in the
// table cy_schema and has upgrade steps of its own from version 2.
inline constexpr int Version = 7;
inline constexpr const char *TextCollation = CaseFold::CollationName;
inline const char DatabaseKey[] = "kqt472";
inline const char InitialPassword[] = "580913";
inline const char DefaultOperator[] = "管理员";

// The program's tables in a database of that schema version (1 to Version): a database
// lacking one of them is not whole, whatever the engine's own check says.
QStringList tablesOf(int version);

// Creates the eight tables, their indexes and the single rows of SDept and SZD, and the
// first operator (its initial password stored as a hash), in one transaction on a new, empty database.
void initialize(Database &db, const QString &operatorName = QString::fromUtf8(DefaultOperator));

// Creates the tables in an empty database on a server (refusing one that has tables).
void createServer(const QString &url, const QString &operatorName = QString::fromUtf8(DefaultOperator));
// A new file at a path, or the tables in an empty server database for a URL.
void create(const QString &location, const QString &operatorName = QString::fromUtf8(DefaultOperator));

// What initialize does, inside the caller's transaction.
void createTables(Database &db, const QString &operatorName = QString::fromUtf8(DefaultOperator));

// Runs the next upgrade step on a file (or server database) of an earlier version.
// Returns false when there is nothing to do (it is at Version, or holds no tables at all);
// true when a step changed it, after which a file's connection must be opened again (it
// still holds the old form in memory) and this called again. Throws DbError for a
// database made by a newer program, or when a step fails (the database then stays as it
// was).
bool upgradeStep(Database &db);

// Tests only: runs inside every upgrade step's transaction after its changes, before the
// new version is committed; throwing from it stands for the program being killed there.
void setUpgradeInterruption(std::function<void()> hook);

// Creates a new database file at path with the program's key and initialises it.
// Refuses an existing file or a link in its place (DbError) and never touches it. mode as
// for Database::create.
void createFile(const QString &path, const QString &operatorName = QString::fromUtf8(DefaultOperator), int mode = -1);

// The database of the program installed in folder: the server named in the settings
// file beside the program (chengyue.ini, "[database] url=postgresql://user@host:port/db"),
// else the file Data/db.edb in that folder.
QString locationBeside(const QString &folder);

// On a new installation the Data folder holds the note "first-start": then, and only
// then, a missing database file is created (and the note removed). Returns true when it
// created the file. Anywhere else a missing file stays an error for the login to report.
// The file is made 0660: the installation's Data folder belongs to the group of the
// program's users (setgid), so every member works on it and nobody else can. A link in
// its place is refused (DbError) and the note kept.
bool createOnFirstStart(const QString &path);

} // namespace Schema
