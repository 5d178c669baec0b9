#pragma once
#include "data/BoundWrite.h"
#include "db/Database.h"

#include <QList>
#include <QString>

// The small name lists kept in their own dialogs (areas, payment methods, house purposes
// with prices, and operators): one pattern, described per list by a ListConfig.
namespace RefLists {

struct ListConfig {
    QString table;         // "SArea"
    QString caption;       // window caption
    QString listGroup;     // title of the group around the grid
    QString entryGroup;    // title of the group around the entry boxes
    QString nameLabel;     // label of the name box
    QString nameField;     // the name's word in messages: "小区名称"
    QString listStatement; // the grid's query; its last column is the hidden ID
    QList<int> widths;     // per column: a width in pixels, 0 the default, -1 hidden
    QString savedMessage;  // after a successful add
    bool hasPrice = false; // a price box between name and remark
    // The add statement for a name, remark and price typed by the operator.
    BoundWrite::Bound (*insertStatement)(const QString &name, const QString &remark, const QString &price) = nullptr;
    // Why the row with that ID may not be deleted, or empty when it may.
    QString (*deleteRefusal)(const QString &id) = nullptr;
};

const ListConfig &areas();   // SArea, "小区设置"
const ListConfig &methods(); // SMType, "收款方式设置"
const ListConfig &prices();  // SPrice, "单价设置"

// Runs the list query.
Rows list(const ListConfig &config);
// True when a row of that name exists; the database ignores letter case.
bool exists(const ListConfig &config, const QString &name);
// Adds a row unless one of that name exists (then false, nothing written); the check and
// the insert hold the write lock together, so two copies of the program cannot both add
// the name. A price that is not a number is refused by the database (DbError).
bool add(const ListConfig &config, const QString &name, const QString &remark, const QString &price = {});
// Why the row may not be deleted ("该小区下还有 N 户业主，不能删除！"), or empty.
QString deleteRefusal(const ListConfig &config, const QString &id);
// Removes the row with that ID for good, unless deleteRefusal says no (AppError, nothing
// removed). id must be the ID text read from the list.
void remove(const ListConfig &config, const QString &id);

// A new price for a house purpose (the price list's row with that ID): a positive number
// in the program's number form, else AppError and nothing stored. The houses keep the
// price stored with each of them; recorded "修改单价" with the price before and after.
struct PriceChange {
    QString purpose;
    QString before;
    QString after;
};
PriceChange changePrice(const QString &id, const QString &price);
// How many live houses of the row's purpose have a stored price other than the row's: the
// houses applyPrice would change.
int housesToReprice(const QString &id);
// Gives the live houses of the row's purpose the row's price, in one transaction, recorded
// "应用单价" with the prices before, the price after and the count. Deleted houses keep
// theirs. Returns how many houses changed.
int applyPrice(const QString &id);

// The messages of the name check.
QString emptyNameMessage(const ListConfig &config);
QString duplicateMessage(const ListConfig &config);

} // namespace RefLists
