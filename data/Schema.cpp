#include "data/Schema.h"
#include "data/Database.h"
#include "data/Sql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Schema {

namespace {

// Text columns compare without letter case, as the statements expect of "=" and LIKE.
// Number columns refuse a text that is not a number (cy_isnumber is registered by the
// data layer on every connection).
const char *const kTables = R"SQL(
CREATE TABLE SUser (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  theName TEXT COLLATE NOCASE,
  thePass TEXT COLLATE NOCASE,
  Remark TEXT COLLATE NOCASE,
  theMT TEXT COLLATE NOCASE,
  theHT TEXT COLLATE NOCASE,
  theAN TEXT COLLATE NOCASE
);
CREATE TABLE SArea (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  theName TEXT COLLATE NOCASE,
  Remark TEXT COLLATE NOCASE
);
CREATE TABLE SMType (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  theName TEXT COLLATE NOCASE,
  Remark TEXT COLLATE NOCASE
);
CREATE TABLE SPrice (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  theName TEXT COLLATE NOCASE,
  thePrice REAL CONSTRAINT "单价 不是有效的数字" CHECK (cy_isnumber(thePrice)),
  Remark TEXT COLLATE NOCASE
);
CREATE TABLE SDept (
  ID INTEGER PRIMARY KEY,
  theName TEXT COLLATE NOCASE,
  F1 TEXT COLLATE NOCASE,
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
  AName TEXT COLLATE NOCASE,
  theNum TEXT COLLATE NOCASE,
  theArea REAL CONSTRAINT "面积 不是有效的数字" CHECK (cy_isnumber(theArea)),
  HType TEXT COLLATE NOCASE,
  thePrice REAL CONSTRAINT "单价 不是有效的数字" CHECK (cy_isnumber(thePrice)),
  EndDate TEXT COLLATE NOCASE,
  theName TEXT COLLATE NOCASE,
  thePhone TEXT COLLATE NOCASE,
  Remark TEXT COLLATE NOCASE,
  theDel TEXT COLLATE NOCASE,
  theDate TEXT COLLATE NOCASE,
  UName TEXT COLLATE NOCASE
);
CREATE TABLE UCharge (
  ID INTEGER PRIMARY KEY AUTOINCREMENT,
  HID INTEGER CONSTRAINT "房屋编号 不是有效的数字" CHECK (cy_isnumber(HID)),
  theNum TEXT COLLATE NOCASE,
  myDate TEXT COLLATE NOCASE,
  AName TEXT COLLATE NOCASE,
  HNum TEXT COLLATE NOCASE,
  HArea REAL CONSTRAINT "面积 不是有效的数字" CHECK (cy_isnumber(HArea)),
  HPrice REAL CONSTRAINT "单价 不是有效的数字" CHECK (cy_isnumber(HPrice)),
  HName TEXT COLLATE NOCASE,
  theCount INTEGER CONSTRAINT "收费年数 不是有效的数字" CHECK (cy_isnumber(theCount)),
  QSDate TEXT COLLATE NOCASE,
  JZDate TEXT COLLATE NOCASE,
  theMoney REAL CONSTRAINT "收款金额 不是有效的数字" CHECK (cy_isnumber(theMoney)),
  theDX TEXT COLLATE NOCASE,
  MType TEXT COLLATE NOCASE,
  theSKR TEXT COLLATE NOCASE,
  Remark TEXT COLLATE NOCASE,
  theDel TEXT COLLATE NOCASE,
  theDate TEXT COLLATE NOCASE,
  UName TEXT COLLATE NOCASE
);
-- Where the screens search: a live house by area and room (charge look-up, duplicate
-- checks, the owner list's order), payments by charging date (receipt numbering),
-- by receipt number (printing) and by payment date (the date range filter).
CREATE INDEX UHouse_Area_Num ON UHouse (AName, theNum, theDel);
CREATE INDEX UHouse_EndDate ON UHouse (EndDate);
CREATE INDEX UCharge_theDate ON UCharge (theDate);
CREATE INDEX UCharge_theNum ON UCharge (theNum);
CREATE INDEX UCharge_myDate ON UCharge (myDate);
CREATE INDEX SUser_theName ON SUser (theName);
)SQL";

} // namespace

void initialize(Database &db, const QString &operatorName)
{
    Transaction tx(db);
    db.exec(QString::fromUtf8(kTables));
    db.exec(QStringLiteral("INSERT INTO SDept (ID, theName, F1, theBM, theBD, theEM, theED) "
                           "VALUES (1, '澄岳供热有限公司', '供热费收款收据', 10, 10, 4, 10)"));
    db.exec(QStringLiteral(
        "INSERT INTO SZD (theID, F01, F02, F03, F04, F05, F06, F07, F08, F09, F10, "
        "F11, F12, F13, F14, F15, F16, F17) VALUES (1, "
        "'单位盖章：', '经办人：', '收款人：', '交款人：', '第一联交款人收执', "
        "'房号：', '期间', '金额', '大写：', '备注：', "
        "'自', '至', '单价：', '年数：', '面积：', '平方米', '元/平方米')"));
    db.exec(QStringLiteral("INSERT INTO SUser (theName, thePass, Remark) VALUES (%1, %2, '')")
                .arg(Sql::quote(operatorName), Sql::quote(QString::fromUtf8(InitialPassword))));
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
