#include "data/Schema.h"
#include "data/Database.h"
#include "data/PasswordHash.h"
#include "data/Sql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

struct Step {
    int from;
    void (*apply)(Database &);
};
// Each step brings a file of version `from` to from + 1.
const Step kSteps[] = {
    {1, foldTextColumns},
    {2, addAccountTables},
};
static_assert(std::size(kSteps) == Version - 1, "one upgrade step for every version after 1");

// The file's version; a file of tables without a number is of version 1 (the first
// numbered form is the form they had), one without tables has none to upgrade.
int fileVersion(Database &db)
{
    const int v = db.scalar(QStringLiteral("PRAGMA user_version")).toInt();
    if (v != 0)
        return v;
    return db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table'")).toInt() > 0 ? 1 : 0;
}

} // namespace

bool upgradeStep(Database &db)
{
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

void initialize(Database &db, const QString &operatorName)
{
    Transaction tx(db);
    db.exec(QString::fromUtf8(kTables));
    db.exec(QString::fromUtf8(kAccountTables));
    db.exec(QString::fromLatin1(kPaymentsByHouse));
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
    db.exec(QStringLiteral("PRAGMA user_version = %1").arg(Version));
    tx.commit();
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

bool createOnFirstStart(const QString &path)
{
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
