#pragma once
#include "browse/ListKeys.h"
#include "browse/QueryModel.h"
#include "db/Database.h"

#include <QString>
#include <memory>

// The statements behind a browse window's "查询": the list into the grid's model, the
// exact row count and the footer's totals.
//
// The list keeps its statement open while the grid reads rows as they are shown. On the
// program's shared connection that open statement would hold one read snapshot for every
// other statement of the program: they would not see what another copy of the program
// stores meanwhile, and their writes would fail at once as "database is locked". So the
// list reads through a reader connection that the shared connection hands out, opened at
// the first list and kept while the database file stays the same. The browse windows
// count and total on a third connection, in the background (ListFigures).
class BrowseQuery {
public:
    explicit BrowseQuery(QueryModel &model) : m_model(model) {}
    // The list's statement goes before the connection it runs on.
    ~BrowseQuery();
    BrowseQuery(const BrowseQuery &) = delete;
    BrowseQuery &operator=(const BrowseQuery &) = delete;

    // Opens the list in the model. A refused statement leaves the model closed and empty
    // and throws the DbError.
    void openList(Database &shared, const QString &list);
    // Opens a keyed list (read page by page by its keys) on the reader connection.
    void openKeyed(Database &shared, const KeyedList &list);
    // The same with its first page already read on the reader connection.
    void openKeyed(Database &shared, const KeyedList &list, QueryModel::FirstPage first);
    // Closes the list, so that the reader connection is free for another thread.
    void closeList();
    // The reader connection of the list (opened when needed).
    Database &reader(Database &shared);
    // The number of rows of the whole list, by its count statement.
    QString count(Database &shared, const QString &countStatement) const;
    // The totals row (none when the statement yields none).
    Rows totals(Database &shared, const QString &totalsStatement) const;

private:
    QueryModel &m_model;
    std::unique_ptr<Database> m_reader;
    QString m_readerPath;
};
