#pragma once
#include <QString>
#include <QVector>

#include <memory>

class Database;
class Statement;

// The books that cannot be altered unnoticed: the change record (ULog) is a chain, each
// record carrying in theHash a link over the link before it and its own content, and every
// payment and void is stated (receipt number and amount) by a record of that chain. A
// payment, void or record altered behind the program's back then either breaks the chain
// or disagrees with it; the database's triggers refuse such changes in the first place
// (SchemaTables::guardsAddedIn), so only someone who removes them can make one.
//
// The link of a record is the SHA-256 (64 lower-case hex digits) of the UTF-8 bytes of
//   <the previous record's link, empty for the first record>
//   then for each of ID, theTime, UName, theDate, theAction, theTable, RowID, AName, HNum,
//   theChange in this order: "N;" for NULL, else "<byte count>:<the value as text>;"
// where a whole number is written in decimal without sign for positive values. The
// previous record is the one with the next lower ID.
//
// What an upgraded database's chain proves: the 4 -> 5 upgrade links every record that was
// there, as it was found, and adds the records the payments and voids of earlier versions
// lacked (made by 系统升级). The chain therefore says nothing about changes made before
// the upgrade, only that nothing was changed, removed or slipped in since.
namespace Books {

// The operator name of the records the upgrade adds.
inline const char UpgradeOperator[] = "系统升级";
// The action of a reprint's record.
inline const char ReceiptReprinted[] = "补打收据";

// The link of a record after `previous`, over its fields in the order above (a null
// QString is NULL).
QString link(const QString &previous, const QStringList &fields);

// Stores the link of the record just written with this ID, after the newest record before
// it. Runs inside the writing transaction, which holds the writers' lock: records are
// linked one after another.
void linkRecord(Database &db, qint64 id);

// Records written in bulk (the demo data), each linked after the one before; inside one
// transaction, which holds the writers' lock.
class RecordWriter {
public:
    explicit RecordWriter(Database &db);
    ~RecordWriter();
    void add(const QString &time, const QString &user, const QString &date, const QString &action, const QString &table,
             qint64 rowId, const QString &area, const QString &room, const QString &change);

private:
    Database &m_db;
    std::unique_ptr<Statement> m_insert;
};

// The upgrade to the books' version: the missing records of payments and voids, then the
// links of every record in ID order. Runs before the triggers exist.
void seal(Database &db);

// One thing found altered.
struct Fault {
    QString table;   // ULog, UCharge or UVoid
    QString id;      // the row's ID
    QString receipt; // the receipt number concerned, where known
    QString what;    // what disagrees
    QString text() const;
};

// The whole chain, then every payment and every void against its record; faults in that
// order, the first altered record first.
QVector<Fault> verify(Database &db);
// The newest `records` links of the chain only (the start-up check).
QVector<Fault> verifyRecent(Database &db, int records);

// The day close's 校验码: the SHA-256 of the links of the records of the payments, voids and
// reprints (theTable UCharge) under the charging dates from..to (yyyy-MM-dd), in ID order,
// one a line; its first 16 hex digits in upper case as "XXXX-XXXX-XXXX-XXXX".
QString dayCode(Database &db, const QString &from, const QString &to);
// Whether a code as typed (any case, with or without separators) is that code.
bool sameCode(const QString &typed, const QString &code);

} // namespace Books
