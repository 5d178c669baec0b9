#include "data/Schema.h"
#include "db/Database.h"
#include "data/PasswordHash.h"
#include "db/Sql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QStringList>

namespace Schema {

namespace {

// Text columns compare without letter case (CaseFold), as the statements expect of "=",
// LIKE and ORDER BY; the indexes name their collation as an upgraded file has it.
// Number columns refuse a text that is not a number (cy_isnumber is registered by the
// data layer on every connection).
const char *const kTables = R"SQL(
CREATE TABLE SUser (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  theName TEXT COLLATE CASEFOLD,
  thePass TEXT COLLATE CASEFOLD,
  Remark TEXT COLLATE CASEFOLD,
  theMT TEXT COLLATE CASEFOLD,
  theHT TEXT COLLATE CASEFOLD,
  theAN TEXT COLLATE CASEFOLD
);
CREATE TABLE SArea (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  theName TEXT COLLATE CASEFOLD,
  Remark TEXT COLLATE CASEFOLD
);
CREATE TABLE SMType (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  theName TEXT COLLATE CASEFOLD,
  Remark TEXT COLLATE CASEFOLD
);
CREATE TABLE SPrice (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  theName TEXT COLLATE CASEFOLD,
  thePrice REAL CONSTRAINT "单价 不是有效的数字" CHECK (cy_isnumber(thePrice)),
  Remark TEXT COLLATE CASEFOLD
);
CREATE TABLE SDept (
  ID INTEGER PRIMARY KEY,
  theName TEXT COLLATE CASEFOLD,
  F1 TEXT COLLATE CASEFOLD,
  theBM INTEGER CONSTRAINT "月份 不是有效的数字" CHECK (cy_isnumber(theBM)),
  theBD INTEGER CONSTRAINT "日期 不是有效的数字" CHECK (cy_isnumber(theBD)),
  theEM INTEGER CONSTRAINT "月份 不是有效的数字" CHECK (cy_isnumber(theEM)),
  theED INTEGER CONSTRAINT "日期 不是有效的数字" CHECK (cy_isnumber(theED))
);
CREATE TABLE SZD (
  theID INTEGER PRIMARY KEY,
  F01 TEXT, F02 TEXT, F03 TEXT, F04 TEXT, F05 TEXT, F06 TEXT, F07 TEXT, F08 TEXT,
  F09 TEXT, F10 TEXT, F11 TEXT, F12 TEXT, F13 TEXT, F14 TEXT, F15 TEXT, F16 TEXT, F17 TEXT
);
CREATE TABLE UHouse (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  AName TEXT COLLATE CASEFOLD,
  theNum TEXT COLLATE CASEFOLD,
  theArea REAL CONSTRAINT "面积 不是有效的数字" CHECK (cy_isnumber(theArea)),
  HType TEXT COLLATE CASEFOLD,
  thePrice REAL CONSTRAINT "单价 不是有效的数字" CHECK (cy_isnumber(thePrice)),
  EndDate TEXT COLLATE CASEFOLD,
  theName TEXT COLLATE CASEFOLD,
  thePhone TEXT COLLATE CASEFOLD,
  Remark TEXT COLLATE CASEFOLD,
  theDel TEXT COLLATE CASEFOLD,
  theDate TEXT COLLATE CASEFOLD,
  UName TEXT COLLATE CASEFOLD
);
CREATE TABLE UCharge (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  HID INTEGER CONSTRAINT "房屋编号 不是有效的数字" CHECK (cy_isnumber(HID)),
  theNum TEXT COLLATE CASEFOLD,
  myDate TEXT COLLATE CASEFOLD,
  AName TEXT COLLATE CASEFOLD,
  HNum TEXT COLLATE CASEFOLD,
  HArea REAL CONSTRAINT "面积 不是有效的数字" CHECK (cy_isnumber(HArea)),
  HPrice REAL CONSTRAINT "单价 不是有效的数字" CHECK (cy_isnumber(HPrice)),
  HName TEXT COLLATE CASEFOLD,
  theCount INTEGER CONSTRAINT "收费年数 不是有效的数字" CHECK (cy_isnumber(theCount)),
  QSDate TEXT COLLATE CASEFOLD,
  JZDate TEXT COLLATE CASEFOLD,
  theMoney REAL CONSTRAINT "收款金额 不是有效的数字" CHECK (cy_isnumber(theMoney)),
  theDX TEXT COLLATE CASEFOLD,
  MType TEXT COLLATE CASEFOLD,
  theSKR TEXT COLLATE CASEFOLD,
  Remark TEXT COLLATE CASEFOLD,
  theDel TEXT COLLATE CASEFOLD,
  theDate TEXT COLLATE CASEFOLD,
  UName TEXT COLLATE CASEFOLD
);
-- Where the screens search: a live house by area and room (charge look-up, duplicate
-- checks, the owner list's order), payments by charging date (receipt numbering),
-- by receipt number (printing) and by payment date (the date range filter).
CREATE INDEX UHouse_Area_Num ON UHouse (AName COLLATE CASEFOLD, theNum COLLATE CASEFOLD, theDel COLLATE CASEFOLD);
CREATE INDEX UHouse_EndDate ON UHouse (EndDate COLLATE CASEFOLD);
CREATE INDEX UCharge_theDate ON UCharge (theDate COLLATE CASEFOLD);
CREATE INDEX UCharge_theNum ON UCharge (theNum COLLATE CASEFOLD);
CREATE INDEX UCharge_myDate ON UCharge (myDate COLLATE CASEFOLD);
CREATE INDEX SUser_theName ON SUser (theName COLLATE CASEFOLD);
)SQL";

// The office's own accounts beside the payments: the voids of payments (UVoid) and the
// record of changes to money-relevant data (ULog). Rows are only ever inserted. A new file
// gets them with the other tables; a file of version 2 gains them in the step to 3.
const char *const kAccountTables = R"SQL(
CREATE TABLE IF NOT EXISTS UVoid (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  CID INTEGER,
  HID INTEGER,
  theNum TEXT COLLATE CASEFOLD,
  myDate TEXT COLLATE CASEFOLD,
  AName TEXT COLLATE CASEFOLD,
  HNum TEXT COLLATE CASEFOLD,
  HName TEXT COLLATE CASEFOLD,
  theMoney REAL,
  MType TEXT COLLATE CASEFOLD,
  theSKR TEXT COLLATE CASEFOLD,
  OldEndDate TEXT COLLATE CASEFOLD,
  NewEndDate TEXT COLLATE CASEFOLD,
  Reason TEXT COLLATE CASEFOLD,
  theTime TEXT COLLATE CASEFOLD,
  theDate TEXT COLLATE CASEFOLD,
  UName TEXT COLLATE CASEFOLD
);
CREATE INDEX IF NOT EXISTS UVoid_theDate ON UVoid (theDate COLLATE CASEFOLD);
CREATE INDEX IF NOT EXISTS UVoid_theNum ON UVoid (theNum COLLATE CASEFOLD);
CREATE TABLE IF NOT EXISTS ULog (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  theTime TEXT COLLATE CASEFOLD,
  UName TEXT COLLATE CASEFOLD,
  theDate TEXT COLLATE CASEFOLD,
  theAction TEXT COLLATE CASEFOLD,
  theTable TEXT COLLATE CASEFOLD,
  RowID INTEGER,
  AName TEXT COLLATE CASEFOLD,
  HNum TEXT COLLATE CASEFOLD,
  theChange TEXT COLLATE CASEFOLD
);
CREATE INDEX IF NOT EXISTS ULog_theTime ON ULog (theTime COLLATE CASEFOLD);
)SQL";

// Receipt numbers of a charging date that a restore took back: they were issued from the
// replaced database, so its numbering goes on after them (ReceiptNumbers). Written by a
// restore only; a file of version 3 gains the table in the step to 4.
const char *const kNumberTable = R"SQL(
CREATE TABLE IF NOT EXISTS UNumSkip (
  theDate TEXT COLLATE CASEFOLD PRIMARY KEY,
  theSkip INTEGER
);
)SQL";

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

// 2 -> 3: the voids and the change record.
// A house's payments, for the void's "latest payment" check.
const char *const kPaymentsByHouse = "CREATE INDEX IF NOT EXISTS UCharge_HID ON UCharge (HID)";

void addAccountTables(Database &db)
{
    db.exec(QString::fromUtf8(kAccountTables));
    // A file of tables that are not the program's has no payments to index; it is told
    // as such by whoever reads it, not by the upgrade.
    if (db.count(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'UCharge'")) > 0)
        db.exec(QString::fromLatin1(kPaymentsByHouse));
}

// 3 -> 4: the receipt numbers a restore took back.
void addNumberTable(Database &db)
{
    db.exec(QString::fromUtf8(kNumberTable));
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

// The same tables on a PostgreSQL server. Text columns are citext, which compares
// without letter case in "=", LIKE, ORDER BY and the indexes. Number columns are double
// precision: the server itself refuses a text that is not a number, and the CHECKs refuse
// what it would take besides (Infinity, NaN), each named "<column>_number" so that the data
// layer can name the column in the operator's words (serverNumberLabel). IDs are identity
// columns. DateDiff is an SQL function of the same arguments as the file's. The houses'
// index ends in ID, as every index of the file ends in its row's ID: the owner list,
// ordered by area, room and ID, then reads its pages off the index without a sort.
const char *const kServerTables = R"SQL(
CREATE EXTENSION IF NOT EXISTS citext;
CREATE TABLE SUser (
  ID bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
  theName citext,
  thePass citext,
  Remark citext,
  theMT citext,
  theHT citext,
  theAN citext
);
CREATE TABLE SArea (
  ID bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
  theName citext,
  Remark citext
);
CREATE TABLE SMType (
  ID bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
  theName citext,
  Remark citext
);
CREATE TABLE SPrice (
  ID bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
  theName citext,
  thePrice double precision CONSTRAINT theprice_number CHECK (thePrice NOT IN ('Infinity', '-Infinity', 'NaN')),
  Remark citext
);
CREATE TABLE SDept (
  ID bigint PRIMARY KEY,
  theName citext,
  F1 citext,
  theBM double precision CONSTRAINT thebm_number CHECK (theBM NOT IN ('Infinity', '-Infinity', 'NaN')),
  theBD double precision CONSTRAINT thebd_number CHECK (theBD NOT IN ('Infinity', '-Infinity', 'NaN')),
  theEM double precision CONSTRAINT theem_number CHECK (theEM NOT IN ('Infinity', '-Infinity', 'NaN')),
  theED double precision CONSTRAINT theed_number CHECK (theED NOT IN ('Infinity', '-Infinity', 'NaN'))
);
CREATE TABLE SZD (
  theID bigint PRIMARY KEY,
  F01 text, F02 text, F03 text, F04 text, F05 text, F06 text, F07 text, F08 text,
  F09 text, F10 text, F11 text, F12 text, F13 text, F14 text, F15 text, F16 text, F17 text
);
CREATE TABLE UHouse (
  ID bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
  AName citext,
  theNum citext,
  theArea double precision CONSTRAINT thearea_number CHECK (theArea NOT IN ('Infinity', '-Infinity', 'NaN')),
  HType citext,
  thePrice double precision CONSTRAINT theprice_number CHECK (thePrice NOT IN ('Infinity', '-Infinity', 'NaN')),
  EndDate citext,
  theName citext,
  thePhone citext,
  Remark citext,
  theDel citext,
  theDate citext,
  UName citext
);
CREATE TABLE UCharge (
  ID bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
  HID double precision CONSTRAINT hid_number CHECK (HID NOT IN ('Infinity', '-Infinity', 'NaN')),
  theNum citext,
  myDate citext,
  AName citext,
  HNum citext,
  HArea double precision CONSTRAINT harea_number CHECK (HArea NOT IN ('Infinity', '-Infinity', 'NaN')),
  HPrice double precision CONSTRAINT hprice_number CHECK (HPrice NOT IN ('Infinity', '-Infinity', 'NaN')),
  HName citext,
  theCount double precision CONSTRAINT thecount_number CHECK (theCount NOT IN ('Infinity', '-Infinity', 'NaN')),
  QSDate citext,
  JZDate citext,
  theMoney double precision CONSTRAINT themoney_number CHECK (theMoney NOT IN ('Infinity', '-Infinity', 'NaN')),
  theDX citext,
  MType citext,
  theSKR citext,
  Remark citext,
  theDel citext,
  theDate citext,
  UName citext
);
CREATE INDEX UHouse_Area_Num ON UHouse (AName, theNum, theDel, ID);
CREATE INDEX UHouse_EndDate ON UHouse (EndDate);
CREATE INDEX UCharge_theDate ON UCharge (theDate);
CREATE INDEX UCharge_theNum ON UCharge (theNum);
CREATE INDEX UCharge_myDate ON UCharge (myDate);
CREATE INDEX SUser_theName ON SUser (theName);
)SQL";

// The voids of payments and the record of changes (as on the file from version 3): made
// with the tables, or added to a server database of version 2.
const char *const kServerAccountTables = R"SQL(
CREATE TABLE UVoid (
  ID bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
  CID bigint,
  HID bigint,
  theNum citext,
  myDate citext,
  AName citext,
  HNum citext,
  HName citext,
  theMoney double precision CONSTRAINT themoney_number CHECK (theMoney NOT IN ('Infinity', '-Infinity', 'NaN')),
  MType citext,
  theSKR citext,
  OldEndDate citext,
  NewEndDate citext,
  Reason citext,
  theTime citext,
  theDate citext,
  UName citext
);
CREATE INDEX UVoid_theDate ON UVoid (theDate);
CREATE INDEX UVoid_theNum ON UVoid (theNum);
CREATE TABLE ULog (
  ID bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
  theTime citext,
  UName citext,
  theDate citext,
  theAction citext,
  theTable citext,
  RowID bigint,
  AName citext,
  HNum citext,
  theChange citext
);
CREATE INDEX ULog_theTime ON ULog (theTime);
CREATE INDEX IF NOT EXISTS UCharge_HID ON UCharge (HID);
)SQL";

// The receipt numbers a restore took back (as on the file from version 4).
const char *const kServerNumberTable = R"SQL(
CREATE TABLE UNumSkip (
  theDate citext PRIMARY KEY,
  theSkip bigint
);
)SQL";

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

struct NumberColumn {
    const char *column;
    const char *label;
};
// The operator's word for each number column, as the file's CHECK constraints name them.
const NumberColumn kNumberLabels[] = {
    {"theprice", "单价"}, {"thebm", "月份"}, {"thebd", "日期"}, {"theem", "月份"}, {"theed", "日期"},
    {"thearea", "面积"}, {"hid", "房屋编号"}, {"harea", "面积"}, {"hprice", "单价"},
    {"thecount", "收费年数"}, {"themoney", "收款金额"},
};

// Each step brings a server database of version `from` to from + 1. Servers were first
// made at version 2 (their text columns always compared every letter without case).
void addServerAccountTables(Database &db)
{
    db.exec(QString::fromUtf8(kServerAccountTables));
}
void addServerNumberTable(Database &db)
{
    db.exec(QString::fromUtf8(kServerNumberTable));
}
const Step kServerSteps[] = {
    {2, addServerAccountTables},
    {3, addServerNumberTable},
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
    QStringList tables{QStringLiteral("SUser"), QStringLiteral("SArea"), QStringLiteral("SMType"), QStringLiteral("SPrice"),
                       QStringLiteral("SDept"), QStringLiteral("SZD"), QStringLiteral("UHouse"), QStringLiteral("UCharge")};
    if (version >= 3)
        tables << QStringLiteral("UVoid") << QStringLiteral("ULog");
    if (version >= 4)
        tables << QStringLiteral("UNumSkip");
    return tables;
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


QString serverNumberLabel(const QString &column)
{
    const QString c = column.toLower();
    for (const NumberColumn &n : kNumberLabels)
        if (c == QLatin1String(n.column))
            return QString::fromUtf8(n.label);
    return {};
}

QString serverColumnSpelling(const QString &lower)
{
    // Every column as the program's statements spell it, read once from the file's form.
    static const QHash<QString, QString> names = [] {
        QHash<QString, QString> h;
        const QStringList lines = (QString::fromUtf8(kTables) + QString::fromUtf8(kAccountTables) + QString::fromUtf8(kNumberTable))
                                      .split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            if (!line.startsWith(QLatin1String("  ")))
                continue;
            for (const QString &part : line.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                const QString name = part.trimmed().section(QLatin1Char(' '), 0, 0);
                if (!name.isEmpty() && name.at(0).isLetter())
                    h.insert(name.toLower(), name);
            }
        }
        return h;
    }();
    return names.value(lower, lower);
}

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
    db.exec(QStringLiteral("INSERT INTO SUser (theName, thePass, Remark) VALUES (%1, %2, '')")
                .arg(Sql::quote(operatorName), Sql::quote(PasswordHash::make(QString::fromUtf8(InitialPassword)))));
}

void createTables(Database &db, const QString &operatorName)
{
    if (db.isServer()) {
        if (!db.tables().isEmpty())
            throw DbError(QStringLiteral("数据库 %1 中已经有表，不会覆盖（请换一个空的数据库）")
                              .arg(Database::shownLocation(db.path())), QString());
        db.exec(QString::fromUtf8(kServerTables));
        db.exec(QString::fromUtf8(kServerAccountTables));
        db.exec(QString::fromUtf8(kServerNumberTable));
        db.exec(QString::fromUtf8(kServerFunctions));
        db.exec(QStringLiteral("INSERT INTO cy_schema (version) VALUES (0)"));
    } else {
        db.exec(QString::fromUtf8(kTables));
        db.exec(QString::fromUtf8(kAccountTables));
        db.exec(QString::fromLatin1(kPaymentsByHouse));
        db.exec(QString::fromUtf8(kNumberTable));
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
