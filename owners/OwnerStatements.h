#pragma once
#include "browse/BrowseCriteria.h"
#include "browse/ListKeys.h"

#include <QString>
#include <QVector>

class Database;

// The statements of the owner lists: owner management, owner query, and (with its own
// arrears columns) the arrears reminder; the export and the admin tool build theirs here too.
namespace OwnerStatements {

// The six owner criteria in two rows of three, in the order their clauses are appended.
const QVector<BrowseCriterion> &criteria();

// The first columns of every owner list, up to the owner's phone:
// "SELECT AName AS 小区名称, theNum AS 房号, " ... "theName AS 业主名称, thePhone AS 手机号码, "
QString leadingColumns();

// The owner list of the live houses narrowed by conditions, by area name and room number.
QString list(const QString &conditions);
// The order of every owner list (the arrears reminder's too) by its captions: area,
// room, and the ID last so that two houses of one room keep one order.
QVector<ListKey> order();
// One row: "面积", the total floor area of the same houses.
QString totals(const Database &db, const QString &conditions);
// The number of houses the list holds: the same FROM and WHERE, counted without reading
// the listed columns or ordering them (the arrears list has the same FROM and WHERE too).
QString count(const QString &conditions);

// Marks one house deleted; the row stays in UHouse.
QString markDeleted(const QString &id);

} // namespace OwnerStatements
