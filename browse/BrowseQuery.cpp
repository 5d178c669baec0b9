#include "browse/BrowseQuery.h"
#include "browse/QueryModel.h"

BrowseQuery::~BrowseQuery()
{
    m_model.close();
}

Database &BrowseQuery::reader(Database &shared)
{
    if (!m_reader || m_readerPath != shared.path()) {
        m_model.close();
        m_reader.reset();
        m_reader = shared.openReader();
        m_readerPath = shared.path();
    }
    return *m_reader;
}

void BrowseQuery::openList(Database &shared, const QString &list)
{
    m_model.open(reader(shared), list);
}

void BrowseQuery::openKeyed(Database &shared, const KeyedList &list)
{
    m_model.openKeyed(reader(shared), list);
}

void BrowseQuery::openKeyed(Database &shared, const KeyedList &list, QueryModel::FirstPage first)
{
    m_model.openKeyed(reader(shared), list, std::move(first));
}

void BrowseQuery::closeList()
{
    m_model.close();
}

QString BrowseQuery::count(Database &shared, const QString &countStatement) const
{
    return shared.scalar(countStatement);
}

Rows BrowseQuery::totals(Database &shared, const QString &totalsStatement) const
{
    return shared.select(totalsStatement);
}
