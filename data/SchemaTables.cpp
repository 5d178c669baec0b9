#include "data/SchemaTables.h"
#include "db/CaseFold.h"
#include "db/ServerColumns.h"

#include <QtGlobal>

namespace SchemaTables {

namespace {

using K = Kind;

// From this version on, a table and its indexes are made only where missing on a server
// too: a server database put back to an earlier version's number (a restore of its rows
// into the tables of a newer program) still holds them, and the step must pass over them.
constexpr int MadeWhereMissing = 7;

// A column written on the line of the one before it.
Column besides(Column c)
{
    c.sameLine = true;
    return c;
}

// Texts of people and places compare without letter case, as the statements expect of "=",
// LIKE and ORDER BY; the receipt's captions (SZD) are printed as stored. Number columns
// refuse a text that is not a number. Every table's ID is the row's own number, except the
// single rows of SDept and SZD, which the program numbers itself.
const std::vector<Table> &tables()
{
    // Made on first use: the description is read while other files' statics are made.
    static const std::vector<Table> kTables = {
    // An operator's role (管理员, 收费员, 查询员) says what they may do; every operator of an
    // earlier program, and one added without a role, may do everything.
    {"SUser", 1,
     {{"ID", K::Id}, {"theName", K::FoldedText}, {"thePass", K::FoldedText}, {"Remark", K::FoldedText},
      {"theMT", K::FoldedText}, {"theHT", K::FoldedText}, {"theAN", K::FoldedText},
      {.name = "theRole", .kind = K::FoldedText, .since = 5, .initial = "'管理员'"}},
     {{"SUser_theName", {"theName"}}}},
    {"SArea", 1, {{"ID", K::Id}, {"theName", K::FoldedText}, {"Remark", K::FoldedText}}, {}},
    {"SMType", 1, {{"ID", K::Id}, {"theName", K::FoldedText}, {"Remark", K::FoldedText}}, {}},
    {"SPrice", 1,
     {{"ID", K::Id}, {"theName", K::FoldedText}, {"thePrice", K::Real, "单价"}, {"Remark", K::FoldedText}},
     {}},
    {"SDept", 1,
     {{"ID", K::Integer, nullptr, true}, {"theName", K::FoldedText}, {"F1", K::FoldedText},
      {"theBM", K::Integer, "月份"}, {"theBD", K::Integer, "日期"}, {"theEM", K::Integer, "月份"},
      {"theED", K::Integer, "日期"},
      // Office settings: reprints marked 补打 with their print time (1) or identical to the
      // original (0); every operator may choose another charging date than today (1) or
      // only a 管理员 (0).
      {.name = "ReprintMark", .kind = K::Integer, .since = 5, .initial = "0"},
      {.name = "AnyDate", .kind = K::Integer, .since = 5, .initial = "0"}},
     {}},
    {"SZD", 1,
     {{"theID", K::Integer, nullptr, true},
      {"F01", K::Text}, besides({"F02", K::Text}), besides({"F03", K::Text}),
      besides({"F04", K::Text}), besides({"F05", K::Text}),
      besides({"F06", K::Text}), besides({"F07", K::Text}),
      besides({"F08", K::Text}),
      {"F09", K::Text}, besides({"F10", K::Text}), besides({"F11", K::Text}),
      besides({"F12", K::Text}), besides({"F13", K::Text}),
      besides({"F14", K::Text}), besides({"F15", K::Text}),
      besides({"F16", K::Text}), besides({"F17", K::Text})},
     {}},
    // Where the screens search: a live house by area and room (charge look-up, duplicate
    // checks, the owner list's order) and the houses by the end of their paid period.
    {"UHouse", 1,
     {{"ID", K::Id}, {"AName", K::FoldedText}, {"theNum", K::FoldedText}, {"theArea", K::Real, "面积"},
      {"HType", K::FoldedText}, {"thePrice", K::Real, "单价"}, {"EndDate", K::FoldedText},
      {"theName", K::FoldedText}, {"thePhone", K::FoldedText}, {"Remark", K::FoldedText},
      {"theDel", K::FoldedText}, {"theDate", K::FoldedText}, {"UName", K::FoldedText}},
     {{"UHouse_Area_Num", {"AName", "theNum", "theDel"}, 0, true}, {"UHouse_EndDate", {"EndDate"}},
      // A click on any heading of the house lists reads its first page off an index.
      {"UHouse_theNum", {"theNum"}, 7, true}, {"UHouse_theArea", {"theArea"}, 7, true},
      {"UHouse_HType", {"HType"}, 7, true}, {"UHouse_thePrice", {"thePrice"}, 7, true},
      {"UHouse_theName", {"theName"}, 7, true}, {"UHouse_thePhone", {"thePhone"}, 7, true},
      {"UHouse_Remark", {"Remark"}, 7, true}}},
    // Payments by payment date (the date range filter), by receipt number (printing), by
    // charging date (receipt numbering) and by house (the void's "latest payment" check).
    {"UCharge", 1,
     {{"ID", K::Id}, {"HID", K::Integer, "房屋编号"}, {"theNum", K::FoldedText}, {"myDate", K::FoldedText},
      {"AName", K::FoldedText}, {"HNum", K::FoldedText}, {"HArea", K::Real, "面积"}, {"HPrice", K::Real, "单价"},
      {"HName", K::FoldedText}, {"theCount", K::Integer, "收费年数"}, {"QSDate", K::FoldedText},
      {"JZDate", K::FoldedText}, {"theMoney", K::Real, "收款金额"}, {"theDX", K::FoldedText},
      {"MType", K::FoldedText}, {"theSKR", K::FoldedText}, {"Remark", K::FoldedText}, {"theDel", K::FoldedText},
      {"theDate", K::FoldedText}, {"UName", K::FoldedText}},
     {{"UCharge_theDate", {"theDate"}}, {"UCharge_theNum", {"theNum"}}, {"UCharge_myDate", {"myDate"}},
      {"UCharge_HID", {"HID"}, 3},
      // A click on any heading of the payment lists reads its first page off an index:
      // every column the lists show, ID breaking ties as it does in the lists' order.
      {"UCharge_AName", {"AName"}, 6, true}, {"UCharge_HNum", {"HNum"}, 6, true},
      {"UCharge_HArea", {"HArea"}, 6, true}, {"UCharge_HPrice", {"HPrice"}, 6, true},
      {"UCharge_HName", {"HName"}, 6, true}, {"UCharge_theCount", {"theCount"}, 6, true},
      {"UCharge_QSDate", {"QSDate"}, 6, true}, {"UCharge_JZDate", {"JZDate"}, 6, true},
      {"UCharge_theMoney", {"theMoney"}, 6, true}, {"UCharge_MType", {"MType"}, 6, true},
      {"UCharge_theSKR", {"theSKR"}, 6, true}, {"UCharge_Remark", {"Remark"}, 6, true}}},
    // The office's own accounts beside the payments: the voids of payments (UVoid) and the
    // record of changes to money-relevant data (ULog). Rows are only ever inserted.
    {"UVoid", 3,
     {{"ID", K::Id}, {"CID", K::Integer}, {"HID", K::Integer}, {"theNum", K::FoldedText},
      {"myDate", K::FoldedText}, {"AName", K::FoldedText}, {"HNum", K::FoldedText}, {"HName", K::FoldedText},
      {"theMoney", K::Real, "收款金额", false, true}, {"MType", K::FoldedText}, {"theSKR", K::FoldedText},
      {"OldEndDate", K::FoldedText}, {"NewEndDate", K::FoldedText}, {"Reason", K::FoldedText},
      {"theTime", K::FoldedText}, {"theDate", K::FoldedText}, {"UName", K::FoldedText},
      // The operator who approved the void; UName asked for it.
      {.name = "Approver", .kind = K::FoldedText, .since = 5}},
     {{"UVoid_theDate", {"theDate"}}, {"UVoid_theNum", {"theNum"}}}},
    {"ULog", 3,
     {{"ID", K::Id}, {"theTime", K::FoldedText}, {"UName", K::FoldedText}, {"theDate", K::FoldedText},
      {"theAction", K::FoldedText}, {"theTable", K::FoldedText}, {"RowID", K::Integer}, {"AName", K::FoldedText},
      {"HNum", K::FoldedText}, {"theChange", K::FoldedText},
      // The record's link in the chain over every record before it (SHA-256, hex).
      {.name = "theHash", .kind = K::Text, .since = 5}},
     {{"ULog_theTime", {"theTime"}}, {"ULog_RowID", {"RowID"}, 5}}},
    // Receipt numbers of a charging date that a restore took back: they were issued from
    // the replaced database, so its numbering goes on after them (ReceiptNumbers).
    {"UNumSkip", 4, {{"theDate", K::FoldedText, nullptr, true}, {"theSkip", K::Integer}}, {}},
    // The live payments counted by payment date, area and payment method (DayFigures): their
    // number, their amounts in whole fen, and the number of those whose amount is no whole
    // number of fen (left out of theFen). Kept by every write of a payment, in its transaction;
    // without a number of its own, so that writing it leaves the payment's number the last
    // one the database gave.
    {"UDayFigure", 6,
     {{"myDate", K::FoldedText}, {"AName", K::FoldedText}, {"MType", K::FoldedText},
      {"theCount", K::Integer}, {"theFen", K::Integer}, {"theOdd", K::Integer}},
     {{.name = "UDayFigure_Day", .columns = {"myDate", "AName", "MType"}, .unique = true},
      {.name = "UDayFigure_Area", .columns = {"AName", "myDate"}, .since = 7}}},
    // The same payments counted by payment date and method alone (DayFigures): a list's
    // footer without an area criterion reads a few rows a day, at any size of the district.
    {"UDayTotal", 7,
     {{"myDate", K::FoldedText}, {"MType", K::FoldedText}, {"theCount", K::Integer}, {"theFen", K::Integer},
      {"theOdd", K::Integer}},
     {{.name = "UDayTotal_Day", .columns = {"myDate", "MType"}, .unique = true}}},
    // The live houses counted by area and paid-up date (HouseFigures): their number, their
    // floor area in hundredths of a square metre, their yearly fee in ten-thousandths of a
    // yuan, and the number of those whose figures do not fit these units (left out of both).
    // Kept by every write of a house, in its transaction.
    {"UHouseFigure", 6,
     {{"AName", K::FoldedText}, {"EndDate", K::FoldedText}, {"theCount", K::Integer}, {"theCenti", K::Integer},
      {"theFee", K::Integer}, {"theOdd", K::Integer}},
     {{.name = "UHouseFigure_Group", .columns = {"AName", "EndDate"}, .unique = true}}},
    // The office's billing rules. A season's price of a house purpose (SSeasonPrice), used
    // for that season in place of the house's stored price. The rules themselves (SRule),
    // one row per setting, a rule missing or "0" being off: 报停 (a season suspended for
    // a base percentage of the fee), the early-payment discount and the late charge.
    {"SSeasonPrice", 7,
     {{"ID", K::Id}, {"HType", K::FoldedText}, {"theYear", K::Integer, "采暖季"}, {"thePrice", K::Real, "单价"},
      {"Remark", K::FoldedText}},
     {{.name = "SSeasonPrice_Key", .columns = {"HType", "theYear"}, .unique = true}}},
    {"SRule", 7, {{"theName", K::FoldedText, nullptr, true}, {"theValue", K::Text}}, {}},
    // A house's season suspended (报停): the percentage of the fee it pays as it was when
    // applied for, who applied and why; a cancelled one is kept, theDel '是', with who
    // cancelled it and when.
    {"USuspend", 7,
     {{"ID", K::Id}, {"HID", K::Integer, "房屋编号"}, {"theYear", K::Integer, "采暖季"}, {"AName", K::FoldedText},
      {"HNum", K::FoldedText}, {"thePercent", K::Real, "百分比"}, {"Reason", K::FoldedText},
      {"theDate", K::FoldedText}, {"theTime", K::FoldedText}, {"UName", K::FoldedText}, {"theDel", K::FoldedText},
      {"DelTime", K::FoldedText}, {"DelUName", K::FoldedText}},
     {{"USuspend_House", {"HID", "theYear"}}, {"USuspend_Year", {"theYear"}}}},
    // The parts of a payment that the rules made (UChargeItem): the fee of each season (年费,
    // 基本热费), the discount (优惠), the late charge (违约金) and an amount typed over the
    // proposal (调整); they add up to the payment's theMoney. A payment no rule touched has
    // none: it is one yearly fee, as always. Voided with their payment (its theDel).
    {"UChargeItem", 7,
     {{"ID", K::Id}, {"CID", K::Integer}, {"theKind", K::FoldedText}, {"theYear", K::Integer},
      {"thePrice", K::Real, "单价"}, {"thePercent", K::Real, "百分比"},
      // The server names a refused number by its column alone: the payments' word for it.
      {"theMoney", K::Real, "收款金额"}},
     {{"UChargeItem_CID", {"CID"}}}},
    };
    return kTables;
}

// The rows kept as they were written: never deleted, and changed only in the one way the
// program changes them (from and to as SQL; a null `from` is NULL, a null `to` any value
// but NULL). Every other column stays as it is. A later version that adds a column to one
// of these tables makes its triggers again.
struct Guard {
    const char *table;
    const char *message;
    const char *column = nullptr; // the column the program may change; null: none
    const char *from = nullptr;
    const char *to = nullptr;
    int since = 5;
};
const Guard kGuards[] = {
    {"UCharge", "收费记录不能修改或删除", "theDel", "'否'", "'是'"}, // a void
    {"UVoid", "作废记录不能修改或删除"},
    {"ULog", "操作记录不能修改或删除", "theHash"}, // the record's link, stored once
};

const Table &tableNamed(const char *name)
{
    for (const Table &t : tables())
        if (qstrcmp(t.name, name) == 0)
            return t;
    qFatal("SchemaTables: no table %s", name);
}

const Column &columnOf(const Table &table, const char *name)
{
    for (const Column &c : table.columns)
        if (qstrcmp(c.name, name) == 0)
            return c;
    qFatal("SchemaTables: %s has no column %s", table.name, name);
}

bool isFolded(const Column &c)
{
    return c.kind == Kind::FoldedText;
}

QString fileType(const Column &c)
{
    const QString name = QString::fromLatin1(c.name);
    switch (c.kind) {
    case Kind::Id:
        return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    case Kind::FoldedText:
        return QStringLiteral("TEXT COLLATE ") + QLatin1String(CaseFold::CollationName);
    case Kind::Text:
        return QStringLiteral("TEXT");
    case Kind::Integer:
    case Kind::Real: {
        QString type = c.kind == Kind::Integer ? QStringLiteral("INTEGER") : QStringLiteral("REAL");
        // cy_isnumber is registered by the data layer on every connection; the constraint's
        // name is the message the operator reads.
        if (c.label && !c.serverCheckOnly)
            type += QStringLiteral(" CONSTRAINT \"%1 不是有效的数字\" CHECK (cy_isnumber(%2))").arg(QString::fromUtf8(c.label), name);
        return type;
    }
    }
    return {};
}

// Text compared without case is citext ("=", LIKE, ORDER BY and the indexes). Number
// columns are double precision: the server itself refuses a text that is not a number, and
// the checks refuse what it would take besides (Infinity, NaN), each named
// "<column>_number" so that the engine can name the column in the operator's words.
QString serverType(const Column &c)
{
    const QString name = QString::fromLatin1(c.name);
    switch (c.kind) {
    case Kind::Id:
        return QStringLiteral("bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
    case Kind::FoldedText:
        return QStringLiteral("citext");
    case Kind::Text:
        return QStringLiteral("text");
    case Kind::Integer:
    case Kind::Real:
        if (c.label)
            return QStringLiteral("double precision CONSTRAINT %1_number CHECK (%2 NOT IN ('Infinity', '-Infinity', 'NaN'))")
                .arg(name.toLower(), name);
        return QStringLiteral("bigint");
    }
    return {};
}

QString createTable(Engine engine, const Table &t)
{
    QString out = QStringLiteral("CREATE TABLE ");
    if ((engine == Engine::File && t.since > 1) || t.since >= MadeWhereMissing)
        out += QStringLiteral("IF NOT EXISTS ");
    out += QString::fromLatin1(t.name) + QStringLiteral(" (");
    bool firstColumn = true;
    for (const Column &c : t.columns) {
        if (c.since > t.since)
            continue;
        if (!firstColumn)
            out += c.sameLine ? QStringLiteral(", ") : QStringLiteral(",");
        if (!c.sameLine)
            out += QStringLiteral("\n  ");
        out += QString::fromLatin1(c.name) + QLatin1Char(' ') + (engine == Engine::File ? fileType(c) : serverType(c));
        if (c.primaryKey)
            out += QStringLiteral(" PRIMARY KEY");
        firstColumn = false;
    }
    return out + QStringLiteral("\n);\n");
}

// A file's indexes name the collation of each text column, as an upgraded file has them.
QString createIndex(Engine engine, const Table &t, const Index &x)
{
    QStringList keys;
    for (const char *name : x.columns) {
        QString key = QString::fromLatin1(name);
        if (engine == Engine::File && isFolded(columnOf(t, name)))
            key += QStringLiteral(" COLLATE ") + QLatin1String(CaseFold::CollationName);
        keys << key;
    }
    if (engine == Engine::Server && x.serverEndsInId)
        keys << QStringLiteral("ID");
    // An index added to an older table, and on a file everything added after version 1,
    // is made only where it is missing.
    const bool ifMissing = x.since > t.since || (engine == Engine::File && t.since > 1) || t.since >= MadeWhereMissing;
    return QStringLiteral("CREATE %1INDEX %2%3 ON %4 (%5);\n")
        .arg(x.unique ? QStringLiteral("UNIQUE ") : QString(), ifMissing ? QStringLiteral("IF NOT EXISTS ") : QString(), QString::fromLatin1(x.name),
             QString::fromLatin1(t.name), keys.join(QStringLiteral(", ")));
}

int sinceOf(const Table &t, const Index &x)
{
    return x.since ? x.since : t.since;
}

} // namespace

const std::vector<Table> &all()
{
    return tables();
}

QStringList namesOf(int version)
{
    QStringList names;
    for (const Table &t : tables())
        if (t.since <= version)
            names << QString::fromLatin1(t.name);
    return names;
}

QString tablesAddedIn(Engine engine, int version)
{
    QString out;
    for (const Table &t : tables())
        if (t.since == version)
            out += createTable(engine, t);
    for (const Table &t : tables())
        if (t.since == version)
            for (const Index &x : t.indexes)
                if (sinceOf(t, x) == version)
                    out += createIndex(engine, t, x);
    return out;
}

QString indexesAddedIn(Engine engine, int version)
{
    QString out;
    for (const Table &t : tables())
        if (t.since < version)
            for (const Index &x : t.indexes)
                if (sinceOf(t, x) == version)
                    out += createIndex(engine, t, x);
    return out;
}

QString columnsAddedIn(Engine engine, int version)
{
    QString out;
    for (const Table &t : tables())
        for (const Column &c : t.columns)
            if (c.since > t.since && c.since == version) {
                out += QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                           .arg(QString::fromLatin1(t.name), QString::fromLatin1(c.name),
                                engine == Engine::File ? fileType(c) : serverType(c));
                if (c.initial)
                    out += QStringLiteral(" DEFAULT ") + QString::fromUtf8(c.initial);
                out += QStringLiteral(";\n");
            }
    return out;
}

QString guardsAddedIn(Engine engine, int version)
{
    const bool file = engine == Engine::File;
    QString out;
    for (const Guard &g : kGuards) {
        if (g.since != version)
            continue;
        const Table &t = tableNamed(g.table);
        const QString table = QString::fromLatin1(g.table);
        const QString message = QString::fromUtf8(g.message);
        // The change the program makes: the one column as allowed, every other one the same
        // to the byte (the stored text, not its folded comparison).
        QStringList same;
        if (g.column) {
            const QString column = QString::fromLatin1(g.column);
            const auto value = [&](const char *side) {
                return QStringLiteral("%1.%2%3").arg(QLatin1String(side), column, file ? QString() : QStringLiteral("::text"));
            };
            same << (g.from ? value("OLD") + QStringLiteral(" = ") + QString::fromUtf8(g.from) : value("OLD") + QStringLiteral(" IS NULL"));
            same << (g.to ? value("NEW") + QStringLiteral(" = ") + QString::fromUtf8(g.to) : value("NEW") + QStringLiteral(" IS NOT NULL"));
        }
        for (const Column &c : t.columns) {
            if (c.since > version || (g.column && qstrcmp(c.name, g.column) == 0))
                continue;
            const QString name = QString::fromLatin1(c.name);
            same << (file ? QStringLiteral("NEW.%1 IS OLD.%1 COLLATE BINARY").arg(name)
                          : QStringLiteral("NEW.%1::text IS NOT DISTINCT FROM OLD.%1::text").arg(name));
        }
        const QString allowed = same.join(QStringLiteral(" AND "));
        if (file) {
            const QString refuse = QStringLiteral(" BEGIN SELECT RAISE(ABORT, '%1'); END;\n").arg(message);
            out += QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1_keep_update BEFORE UPDATE ON %1 FOR EACH ROW").arg(table)
                + (g.column ? QStringLiteral(" WHEN NOT (%1)").arg(allowed) : QString()) + refuse;
            out += QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1_keep_delete BEFORE DELETE ON %1 FOR EACH ROW").arg(table) + refuse;
        } else {
            const QString refuse = QStringLiteral(" EXECUTE FUNCTION cy_keep_books('%1');\n").arg(message);
            out += QStringLiteral("CREATE TRIGGER %1_keep_update BEFORE UPDATE ON %1 FOR EACH ROW").arg(table)
                + (g.column ? QStringLiteral(" WHEN (NOT (%1))").arg(allowed) : QString()) + refuse;
            out += QStringLiteral("CREATE TRIGGER %1_keep_delete BEFORE DELETE ON %1 FOR EACH ROW").arg(table) + refuse;
            // Emptying a table passes by the rows' triggers.
            out += QStringLiteral("CREATE TRIGGER %1_keep_truncate BEFORE TRUNCATE ON %1 FOR EACH STATEMENT").arg(table) + refuse;
        }
    }
    if (!out.isEmpty() && !file)
        out.prepend(QStringLiteral("CREATE FUNCTION cy_keep_books() RETURNS trigger LANGUAGE plpgsql AS $$\n"
                                   "BEGIN\n  RAISE EXCEPTION '%', TG_ARGV[0];\nEND\n$$;\n"));
    return out;
}

ServerColumns serverColumns()
{
    ServerColumns names;
    for (const Table &t : tables())
        for (const Column &c : t.columns) {
            const QString name = QString::fromLatin1(c.name);
            names.spelling.insert(name.toLower(), name);
            if (c.label)
                names.numberLabels.insert(name.toLower(), QString::fromUtf8(c.label));
        }
    return names;
}

} // namespace SchemaTables
