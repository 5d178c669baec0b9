#include "data/Schema.h"
#include "data/BoundWrite.h"
#include "db/Database.h"
#include "data/Books.h"
#include "data/DayFigures.h"
#include "data/HouseFigures.h"
#include "data/PasswordHash.h"
#include "data/SchemaTables.h"
#include "db/ServerColumns.h"
#include "db/Sql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

namespace Schema {

namespace {

std::function<void()> &interruption()
{
    static std::function<void()> hook;
    return hook;
}

// 1 -> 2: text columns declared "COLLATE NOCASE" (the engine's a–z only) take the
// program's own collation. Only the declared collation changes, not a stored byte, so the
// tables' statements are rewritten in place; their indexes are made again in the new
// order. The connection keeps the old column collations in memory until it is opened
// again, so the indexes name theirs explicitly.
void foldTextColumns(Database &db)
{
    const QString from = QStringLiteral("COLLATE NOCASE");
    const QString to = QStringLiteral("COLLATE ") + QString::fromLatin1(TextCollation);
    const Rows tables = db.select(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND instr(sql, %1) > 0")
                                      .arg(Sql::quote(from)));
    QStringList rebuilt;
    for (int t = 0; t < tables.rowCount(); ++t) {
        const QString table = tables.at(t, 0);
        const Rows indexes = db.select(QStringLiteral("PRAGMA index_list(%1)").arg(Sql::quote(table)));
        for (int i = 0; i < indexes.rowCount(); ++i) {
            const QString index = indexes.at(i, QStringLiteral("name"));
            if (indexes.at(i, QStringLiteral("origin")) != QLatin1String("c"))
                throw DbError(QStringLiteral("索引 %1 不是本程序建立的，无法自动升级").arg(index), QString(), 1);
            if (indexes.at(i, QStringLiteral("partial")) == QLatin1String("1"))
                throw DbError(QStringLiteral("索引 %1 带有条件，无法自动升级").arg(index), QString(), 1);
            QStringList keys;
            const Rows columns = db.select(QStringLiteral("PRAGMA index_xinfo(%1)").arg(Sql::quote(index)));
            for (int c = 0; c < columns.rowCount(); ++c) {
                if (columns.at(c, QStringLiteral("key")) != QLatin1String("1"))
                    continue;
                if (columns.at(c, QStringLiteral("cid")).toInt() < 0)
                    throw DbError(QStringLiteral("索引 %1 含有表达式，无法自动升级").arg(index), QString(), 1);
                QString key = columns.at(c, QStringLiteral("name"));
                const QString collation = columns.at(c, QStringLiteral("coll"));
                if (collation.compare(QLatin1String("NOCASE"), Qt::CaseInsensitive) == 0)
                    key += QLatin1Char(' ') + to;
                else if (collation.compare(QLatin1String("BINARY"), Qt::CaseInsensitive) != 0)
                    key += QStringLiteral(" COLLATE ") + collation;
                if (columns.at(c, QStringLiteral("desc")) == QLatin1String("1"))
                    key += QStringLiteral(" DESC");
                keys << key;
            }
            const bool unique = indexes.at(i, QStringLiteral("unique")) == QLatin1String("1");
            db.exec(QStringLiteral("DROP INDEX %1").arg(index));
            rebuilt << QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
                           .arg(unique ? QStringLiteral("UNIQUE ") : QString(), index, table, keys.join(QStringLiteral(", ")));
        }
    }
    const int cookie = db.scalar(QStringLiteral("PRAGMA schema_version")).toInt();
    db.exec(QStringLiteral("PRAGMA writable_schema = ON"));
    try {
        db.exec(QStringLiteral("UPDATE sqlite_master SET sql = replace(sql, %1, %2) WHERE type = 'table' AND instr(sql, %1) > 0")
                    .arg(Sql::quote(from), Sql::quote(to)));
        db.exec(QStringLiteral("PRAGMA writable_schema = OFF"));
    } catch (...) {
        db.exec(QStringLiteral("PRAGMA writable_schema = OFF"));
        throw;
    }
    // Other connections read the tables again when the schema's number moves.
    db.exec(QStringLiteral("PRAGMA schema_version = %1").arg(cookie + 1));
    for (const QString &statement : rebuilt)
        db.exec(statement);
}

using SchemaTables::Engine;

// What a version brought, on an engine: its tables, columns and indexes, then the triggers
// that guard the rows.
void addVersion(Database &db, Engine engine, int version, void (*beforeGuards)(Database &) = nullptr)
{
    const QString statements = SchemaTables::tablesAddedIn(engine, version) + SchemaTables::columnsAddedIn(engine, version)
        + SchemaTables::indexesAddedIn(engine, version);
    if (!statements.isEmpty())
        db.exec(statements);
    if (beforeGuards)
        beforeGuards(db);
    const QString guards = SchemaTables::guardsAddedIn(engine, version);
    if (!guards.isEmpty())
        db.exec(guards);
    if (version == DayFigures::Since)
        db.exec(DayFigures::keepers(engine == Engine::Server, false));
    if (version == DayFigures::TotalsSince) {
        // The day's triggers made again, keeping the totals too, and the totals counted.
        db.exec(DayFigures::dropKeepers(engine == Engine::Server));
        db.exec(DayFigures::keepers(engine == Engine::Server));
        DayFigures::rebuildTotals(db);
    }
    if (version == HouseFigures::Since)
        db.exec(HouseFigures::keepers(engine == Engine::Server));
}

// 2 -> 3: the voids and the change record, and payments by house (the void's "latest
// payment" check).
void addAccountTables(Database &db)
{
    db.exec(SchemaTables::tablesAddedIn(Engine::File, 3));
    // A file of tables that are not the program's has no payments to index; it is told
    // as such by whoever reads it, not by the upgrade.
    if (db.count(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'UCharge'")) > 0)
        db.exec(SchemaTables::indexesAddedIn(Engine::File, 3));
}

// 3 -> 4: the receipt numbers a restore took back.
void addNumberTable(Database &db)
{
    addVersion(db, Engine::File, 4);
}

// 4 -> 5: the cash controls: operators' roles, the void's approver, the change record's
// chain, the office's settings for reprints and the charging date. The books are sealed
// (the records earlier versions did not write, the chain over every record) before the
// triggers forbid changing the records.
void addCashControls(Database &db)
{
    addVersion(db, Engine::File, 5, &Books::seal);
}

// The figures kept beside the payments and the houses, counted from the live rows.
void countFigures(Database &db)
{
    DayFigures::rebuild(db);
    HouseFigures::rebuild(db);
}

// 5 -> 6: the payments' figures by day, area and method and the houses' by area and
// paid-up date, counted from the live rows, and the indexes a click on a payment list's
// heading reads its first page off.
void addDayFigures(Database &db)
{
    addVersion(db, Engine::File, 6, &countFigures);
}

// 6 -> 7: the billing rules' tables, empty: every rule is off until the office sets it;
// the days' totals (by payment date and method) beside the day's figures, the day's
// figures by area, and an index for every column of the house lists.
void addBillingRulesAndTotals(Database &db)
{
    addVersion(db, Engine::File, 7);
}

struct Step {
    int from;
    void (*apply)(Database &);
};
// Each step brings a file of version `from` to from + 1.
const Step kSteps[] = {
    {1, foldTextColumns},
    {2, addAccountTables},
    {3, addNumberTable},
    {4, addCashControls},
    {5, addDayFigures},
    {6, addBillingRulesAndTotals},
};
static_assert(std::size(kSteps) == Version - 1, "one upgrade step for every version after 1");

// The file's version; a file of the program's tables without a number is of version 1
// (the first numbered form is the form they had). One without them (empty, or someone
// else's tables) has nothing to upgrade and is left untouched for the caller to judge.
int fileVersion(Database &db)
{
    const int v = db.scalar(QStringLiteral("PRAGMA user_version")).toInt();
    if (v != 0)
        return v;
    return db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'UCharge'")).toInt() > 0 ? 1 : 0;
}

// What a server database has beside the tables: its version, and the SQL functions the
// statements call as the file's engine provides them. DateDiff takes the same arguments as
// the file's.
const char *const kServerFunctions = R"SQL(
-- The form of the schema, for later versions of the program to upgrade.
CREATE TABLE cy_schema (version integer NOT NULL);
CREATE FUNCTION cy_make_date(y int, m int, d int) RETURNS date LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
  SELECT CASE WHEN y < 1 OR m < 1 OR m > 12 OR d < 1 THEN NULL
    WHEN d <= CASE WHEN m = 2 THEN CASE WHEN (y % 4 = 0 AND y % 100 <> 0) OR y % 400 = 0 THEN 29 ELSE 28 END
                   WHEN m IN (4, 6, 9, 11) THEN 30 ELSE 31 END
    THEN make_date(y, m, d) END
$$;
-- A text in the form y-m-d that is a real date, else null (as the file's date reading).
-- Written as one expression so that the server inlines it into the statements.
CREATE FUNCTION cy_date(t text) RETURNS date LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
  SELECT CASE WHEN t ~ '^\s*\d{4}-\d{1,2}-\d{1,2}\s*$' THEN cy_make_date(
      split_part(btrim(t), '-', 1)::int, split_part(btrim(t), '-', 2)::int, split_part(btrim(t), '-', 3)::int) END
$$;
CREATE FUNCTION cy_unsupported_interval(i text) RETURNS bigint LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
  RAISE EXCEPTION 'DateDiff: unsupported interval';
END
$$;
-- DateDiff('yyyy', a, b): calendar-year boundaries from a to b; 'm' months, 'd' days.
CREATE FUNCTION DateDiff(i text, a text, b text) RETURNS bigint LANGUAGE sql IMMUTABLE AS $$
  SELECT CASE lower(i)
    WHEN 'yyyy' THEN (extract(year FROM cy_date(b)) - extract(year FROM cy_date(a)))::bigint
    WHEN 'm' THEN ((extract(year FROM cy_date(b)) - extract(year FROM cy_date(a))) * 12
                   + extract(month FROM cy_date(b)) - extract(month FROM cy_date(a)))::bigint
    WHEN 'd' THEN (cy_date(b) - cy_date(a))::bigint
    ELSE cy_unsupported_interval(i) END
$$;
)SQL";

// Each step brings a server database of version `from` to from + 1. Servers were first
// made at version 2 (their text columns always compared every letter without case).
void addServerAccountTables(Database &db)
{
    addVersion(db, Engine::Server, 3);
}
void addServerNumberTable(Database &db)
{
    addVersion(db, Engine::Server, 4);
}
void addServerCashControls(Database &db)
{
    addVersion(db, Engine::Server, 5, &Books::seal);
}
void addServerDayFigures(Database &db)
{
    addVersion(db, Engine::Server, 6, &countFigures);
}
void addServerBillingRulesAndTotals(Database &db)
{
    addVersion(db, Engine::Server, 7);
}
const Step kServerSteps[] = {
    {2, addServerAccountTables},
    {3, addServerNumberTable},
    {4, addServerCashControls},
    {5, addServerDayFigures},
    {6, addServerBillingRulesAndTotals},
};
static_assert(std::size(kServerSteps) == Version - 2, "one server upgrade step for every version after 2");

// A server database keeps its version in cy_schema. The server's tables and their
// definitions change inside a transaction like rows, so a step and its new number are
// stored together or not at all; the writers' lock makes a second desk opening at the
// same time wait for the first one's upgrade and then find nothing left to do.
bool upgradeServerStep(Database &db)
{
    const QString shown = Database::shownLocation(db.path());
    int version = db.schemaVersion();
    if (version == 0 || version == Version)
        return false;
    if (version > Version)
        throw DbError(QStringLiteral("数据库 %1 是较新版本的程序建立的（结构版本 %2，本程序为 %3），请使用新版本的程序打开")
                          .arg(shown)
                          .arg(version)
                          .arg(Version),
                      QString());
    try {
        Transaction tx(db);
        version = db.schemaVersion();
        if (version == Version)
            return false;
        for (const Step &step : kServerSteps) {
            if (step.from != version)
                continue;
            step.apply(db);
            if (interruption())
                interruption()();
            db.setSchemaVersion(version + 1);
            tx.commit();
            return true;
        }
    } catch (const DbError &e) {
        throw DbError(QStringLiteral("无法升级数据库 %1（数据库保持原样）：%2").arg(shown, e.message()), e.statement(), e.code(),
                      e.detail());
    }
    throw DbError(QStringLiteral("数据库 %1 的结构版本 %2 无法升级").arg(shown).arg(version), QString());
}

} // namespace

QStringList tablesOf(int version)
{
    return SchemaTables::namesOf(version);
}

bool upgradeStep(Database &db)
{
    if (db.isServer())
        return upgradeServerStep(db);
    int version = fileVersion(db);
    if (version == 0 || version == Version)
        return false;
    if (version > Version)
        throw DbError(QStringLiteral("数据库文件 %1 是较新版本的程序建立的（结构版本 %2，本程序为 %3），请使用新版本的程序打开")
                          .arg(QDir::toNativeSeparators(db.path()))
                          .arg(version)
                          .arg(Version),
                      QString());
    Transaction tx(db);
    // Another copy of the program may have upgraded the file while this one waited.
    version = fileVersion(db);
    if (version == Version)
        return false;
    for (const Step &step : kSteps) {
        if (step.from != version)
            continue;
        step.apply(db);
        if (interruption())
            interruption()();
        db.exec(QStringLiteral("PRAGMA user_version = %1").arg(version + 1));
        tx.commit();
        return true;
    }
    throw DbError(QStringLiteral("数据库文件 %1 的结构版本 %2 无法升级").arg(QDir::toNativeSeparators(db.path())).arg(version),
                  QString());
}

void setUpgradeInterruption(std::function<void()> hook)
{
    interruption() = std::move(hook);
}

namespace {
// The connection and its engines know nothing of the program's tables: they are told here,
// once for the process, how a database of an earlier program is upgraded when it is
// opened and how the server's names of the columns are spelled.
const bool kEnginesTold = [] {
    Database::setUpgradeStep(&upgradeStep);
    ServerColumns::set(SchemaTables::serverColumns());
    return true;
}();
} // namespace


static void insertSeedRows(Database &db, const QString &operatorName)
{
    db.exec(QStringLiteral("INSERT INTO SDept (ID, theName, F1, theBM, theBD, theEM, theED) "
                           "VALUES (1, '澄岳供热有限公司', '供热费收款收据', 10, 10, 4, 10)"));
    db.exec(QStringLiteral(
        "INSERT INTO SZD (theID, F01, F02, F03, F04, F05, F06, F07, F08, F09, F10, "
        "F11, F12, F13, F14, F15, F16, F17) VALUES (1, "
        "'单位盖章：', '经办人：', '收款人：', '交款人：', '第一联交款人收执', "
        "'房号：', '期间', '金额', '大写：', '备注：', "
        "'自', '至', '单价：', '年数：', '面积：', '平方米', '元/平方米')"));
    BoundWrite::run(db, QStringLiteral("INSERT INTO SUser (theName, thePass, Remark) VALUES (?, ?, '')"),
                    {operatorName, PasswordHash::make(QString::fromUtf8(InitialPassword))});
}

void createTables(Database &db, const QString &operatorName)
{
    if (db.isServer()) {
        if (!db.tables().isEmpty())
            throw DbError(QStringLiteral("数据库 %1 中已经有表，不会覆盖（请换一个空的数据库）")
                              .arg(Database::shownLocation(db.path())), QString());
        db.exec(QStringLiteral("CREATE EXTENSION IF NOT EXISTS citext"));
        for (int v = 1; v <= Version; ++v)
            addVersion(db, Engine::Server, v);
        db.exec(QString::fromUtf8(kServerFunctions));
        db.exec(QStringLiteral("INSERT INTO cy_schema (version) VALUES (0)"));
    } else {
        for (int v = 1; v <= Version; ++v)
            addVersion(db, Engine::File, v);
    }
    insertSeedRows(db, operatorName);
    db.setSchemaVersion(Version);
}

void initialize(Database &db, const QString &operatorName)
{
    Transaction tx(db);
    createTables(db, operatorName);
    tx.commit();
}

void createServer(const QString &url, const QString &operatorName)
{
    Database db;
    db.open(url, QString());
    initialize(db, operatorName);
}

void create(const QString &location, const QString &operatorName)
{
    if (Database::isServerUrl(location))
        createServer(location, operatorName);
    else
        createFile(location, operatorName);
}

void createFile(const QString &path, const QString &operatorName, int mode)
{
    const QFileInfo fi(path);
    if (fi.exists() || fi.isSymLink())
        throw DbError(QStringLiteral("数据库文件已经存在（或是一个链接），不会覆盖：%1").arg(QDir::toNativeSeparators(fi.absoluteFilePath())), QString());
    QDir().mkpath(fi.absolutePath());
    Database db;
    db.create(fi.absoluteFilePath(), QString::fromUtf8(DatabaseKey), mode);
    try {
        initialize(db, operatorName);
    } catch (...) {
        db.close();
        // Only the file this call made is removed, never one that was there before.
        QFile::remove(fi.absoluteFilePath());
        QFile::remove(fi.absoluteFilePath() + QStringLiteral("-wal"));
        QFile::remove(fi.absoluteFilePath() + QStringLiteral("-shm"));
        throw;
    }
}

QString locationBeside(const QString &folder)
{
    const QDir dir(folder);
    const QString ini = dir.filePath(QStringLiteral("chengyue.ini"));
    if (QFileInfo::exists(ini)) {
        const QSettings settings(ini, QSettings::IniFormat);
        // A URL naming several hosts holds commas, which the settings reader splits.
        const QVariant v = settings.value(QStringLiteral("database/url"));
        const QString url = (v.typeId() == QMetaType::QStringList ? v.toStringList().join(QLatin1Char(',')) : v.toString()).trimmed();
        if (!url.isEmpty())
            return url;
    }
    return dir.filePath(QStringLiteral("Data/db.edb"));
}

bool createOnFirstStart(const QString &path)
{
    if (Database::isServerUrl(path))
        return false;
    const QFileInfo fi(path);
    const QString note = fi.absoluteDir().filePath(QStringLiteral("first-start"));
    if (!QFileInfo::exists(note))
        return false;
    if (fi.isSymLink())
        throw DbError(QStringLiteral("数据库文件的位置上有一个链接（%1 → %2），程序不会通过它创建数据库，请删除该链接后重新启动程序")
                          .arg(QDir::toNativeSeparators(fi.absoluteFilePath()), QDir::toNativeSeparators(fi.symLinkTarget())),
                      QString());
    if (fi.exists()) {
        // Installed again over a folder in use: the note must not outlive the file it
        // was meant for, or a lost file would later be replaced by an empty one.
        QFile::remove(note);
        return false;
    }
    // The program's users share the file through their group; the engine gives its
    // journal files the same permissions.
    createFile(path, QString::fromUtf8(DefaultOperator), 0660);
    QFile::remove(note);
    return true;
}

} // namespace Schema
