#pragma once
#include <QList>
#include <QString>
#include <QVector>

// The record of who changed what in money-relevant data (ULog): houses added, modified,
// deleted or imported, payments stored or voided, operators and reference lists added or
// deleted. Each record is written by the change itself, inside the change's transaction,
// so that a change is never stored without its record nor a record without its change.
// The program never changes or deletes a record.
namespace ChangeLog {

// The actions, as the records and the window's filter name them.
inline const char HouseAdded[] = "新增业主";
inline const char HouseModified[] = "修改业主";
inline const char HouseDeleted[] = "删除业主";
inline const char HousesImported[] = "导入业主";
inline const char PaymentStored[] = "收费";
inline const char PaymentVoided[] = "作废收费";

struct Change {
    QString action;   // one of the above, or "新增单价", "删除操作员", ...
    QString table;    // the table changed: "UHouse", "UCharge", "SPrice", ...
    QString rowId;    // the ID of the row changed; empty for an import
    QString area;     // the house's area and room, where the change concerns a house
    QString room;
    QString change;   // what changed, in words
};

// Stores one record stamped with the computer's date and time, the login's operator and
// charging date, linked into the chain of records (Books). Does not touch SqlText. Run it
// inside the change's transaction: it holds the writers' lock, so the records are linked
// one after another.
void record(const Change &change);

// One field of a house or payment, before and after.
struct FieldChange {
    QString field; // "到期日期"
    QString before;
    QString after;
};
// "到期日期：2024-10-10 → 2025-10-10；面积：90 → 95" for the fields whose values differ;
// empty when none does.
QString describe(const QVector<FieldChange> &fields);

// The statements of the 操作记录 window: the records narrowed by conditions, newest first,
// and their count.
QString list(const QString &conditions);
QString count(const QString &conditions);

} // namespace ChangeLog
