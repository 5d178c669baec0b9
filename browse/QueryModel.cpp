#include "browse/QueryModel.h"
#include "db/Database.h"

#include <QMetaObject>
#include <QTimer>
#include <climits>

QueryModel::QueryModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

QueryModel::~QueryModel() = default;

void QueryModel::open(Database &db, const QString &sql)
{
    beginResetModel();
    // The old cursor goes first, so that only one statement of this list is ever open.
    clearState();
    m_sql = sql;
    try {
        m_cursor = db.cursor(sql);
        m_columns = m_cursor->columns();
        m_open = true;
        readRows(BatchSize);
    } catch (...) {
        clearState();
        endResetModel();
        throw;
    }
    endResetModel();
}

void QueryModel::openKeyed(Database &db, const KeyedList &list)
{
    // The old list's statements go before the new one runs on the same connection.
    close();
    openKeyed(db, list, readFirstPage(db, list));
}

QueryModel::FirstPage QueryModel::readFirstPage(Database &db, const KeyedList &list)
{
    FirstPage f;
    auto cursor = db.cursor(list.page({}, true, BatchSize));
    f.columns = cursor->columns();
    for (const ListKey &k : list.keys) {
        int c = -1;
        for (int i = 0; i < f.columns.size() && c < 0; ++i)
            if (f.columns.at(i).compare(k.column, Qt::CaseInsensitive) == 0)
                c = i;
        if (c < 0)
            throw AppError(QStringLiteral("列表中没有排序字段“%1”").arg(k.column));
        f.keyColumns.push_back(c);
    }
    f.page = readPage(*cursor, int(f.columns.size()), f.keyColumns, &f.first, &f.last);
    return f;
}

void QueryModel::openKeyed(Database &db, const KeyedList &list, FirstPage first)
{
    beginResetModel();
    clearState();
    m_keyed = true;
    m_list = list;
    m_db = &db;
    m_sql = list.ordered();
    m_columns = std::move(first.columns);
    m_keyColumns = std::move(first.keyColumns);
    m_open = true;
    Page page = std::move(first.page);
    page.used = ++m_useClock;
    m_rows = page.rows;
    if (page.rows > 0) {
        m_pageStarts.push_back(first.first);
        m_frontier = first.last;
        m_pages.emplace(0, std::move(page));
    }
    m_complete = m_rows < BatchSize;
    endResetModel();
}

QueryModel::Page QueryModel::readPage(Cursor &cursor, int cols, const std::vector<int> &keyColumns, QVariantList *first,
                                      QVariantList *last)
{
    Page page;
    QVariantList keys;
    while (page.rows < BatchSize && cursor.next()) {
        // Only the first and the last row's keys are kept: the last is written in place.
        if (last || (page.rows == 0 && first)) {
            QVariantList &into = last ? *last : keys;
            into.resize(qsizetype(keyColumns.size()));
            for (size_t k = 0; k < keyColumns.size(); ++k)
                into[qsizetype(k)] = cursor.value(keyColumns[k]);
            if (page.rows == 0 && first)
                *first = into;
        }
        for (int c = 0; c < cols; ++c) {
            cursor.appendText(page.text, c);
            page.cellEnd.push_back(quint32(page.text.size()));
        }
        ++page.rows;
    }
    return page;
}

QueryModel::Page QueryModel::readInto(Cursor &cursor, QVariantList *first, QVariantList *last) const
{
    Page page = readPage(cursor, int(m_columns.size()), m_keyColumns, first, last);
    page.used = ++m_useClock;
    return page;
}

int QueryModel::readFrontier()
{
    auto cursor = m_db->cursor(m_list.page(m_frontier, false, BatchSize));
    QVariantList first, last;
    Page page = readInto(*cursor, &first, &last);
    const int n = page.rows;
    if (n < BatchSize)
        m_complete = true;
    if (n > 0) {
        const int p = int(m_pageStarts.size());
        m_pageStarts.push_back(first);
        m_frontier = last;
        m_pages[p] = std::move(page);
        letPagesGo(p);
    }
    return n;
}

void QueryModel::letPagesGo(int keep) const
{
    while (int(m_pages.size()) > MaxPages) {
        auto oldest = m_pages.end();
        for (auto it = m_pages.begin(); it != m_pages.end(); ++it)
            if (it->first != keep && (oldest == m_pages.end() || it->second.used < oldest->second.used))
                oldest = it;
        if (oldest == m_pages.end())
            return;
        m_pages.erase(oldest);
    }
}

const QueryModel::Page *QueryModel::pageFor(int row) const
{
    const int p = row / BatchSize;
    auto it = m_pages.find(p);
    if (it != m_pages.end()) {
        it->second.used = ++m_useClock;
        return &it->second;
    }
    if (m_pageFailed || !m_db || p >= int(m_pageStarts.size()))
        return nullptr;
    try {
        auto cursor = m_db->cursor(m_list.page(m_pageStarts[size_t(p)], true, BatchSize));
        Page page = readInto(*cursor, nullptr, nullptr);
        auto inserted = m_pages.emplace(p, std::move(page)).first;
        letPagesGo(p);
        return &inserted->second;
    } catch (const AppError &e) {
        // Asked while the grid paints: the failure is told once, after the paint.
        m_pageFailed = true;
        auto *self = const_cast<QueryModel *>(this);
        const QString message = e.message(), detail = e.detail();
        QMetaObject::invokeMethod(self, [self, message, detail] { emit self->fetchFailed(message, detail); },
                                  Qt::QueuedConnection);
        return nullptr;
    }
}

void QueryModel::setPageStarts(const std::vector<QVariantList> &starts, qint64 rows)
{
    if (!m_keyed || !m_open)
        return;
    const int total = int(qMin<qint64>(rows, INT_MAX - BatchSize));
    if (total < m_rows) {
        // Rows went away since the first pages were read (another desk deleted them).
        beginRemoveRows(QModelIndex(), total, m_rows - 1);
        m_pageStarts = starts;
        m_pages.clear();
        m_rows = total;
        endRemoveRows();
    } else {
        m_pageStarts = starts;
    }
    growTo(total, ++m_growth);
}

void QueryModel::growTo(int total, quint64 growth)
{
    if (growth != m_growth || !m_open)
        return;
    const int until = total - m_rows > RowsAStep ? m_rows + RowsAStep : total;
    if (until > m_rows) {
        beginInsertRows(QModelIndex(), m_rows, until - 1);
        m_rows = until;
        endInsertRows();
    }
    m_growing = until < total;
    m_complete = !m_growing;
    if (m_growing)
        QTimer::singleShot(0, this, [this, total, growth] { growTo(total, growth); });
}

QString QueryModel::orderedStatement() const
{
    if (!m_open)
        return {};
    return m_keyed ? m_list.ordered() : m_sql;
}

void QueryModel::close()
{
    beginResetModel();
    clearState();
    // A closed list gives its memory back.
    m_text.squeeze();
    m_rowStart = {};
    m_cellEnd = {};
    m_sql.clear();
    endResetModel();
}

void QueryModel::clearState()
{
    m_cursor.reset();
    m_columns.clear();
    m_open = false;
    m_rows = 0;
    m_text.clear();
    m_rowStart.clear();
    m_cellEnd.clear();
    m_keyed = false;
    m_list = {};
    m_db = nullptr;
    m_keyColumns.clear();
    m_pages.clear();
    m_pageFailed = false;
    m_pageStarts.clear();
    m_frontier.clear();
    m_complete = false;
    m_growing = false;
    ++m_growth;
}

int QueryModel::readRows(int n)
{
    if (!m_cursor)
        return 0;
    const int cols = int(m_columns.size());
    int read = 0;
    while (read < n) {
        bool more = false;
        try {
            more = m_cursor->next();
        } catch (...) {
            m_cursor.reset();
            throw;
        }
        if (!more) {
            m_cursor.reset(); // the statement is finished: release it at once
            break;
        }
        const qint64 start = m_text.size();
        m_rowStart.push_back(start);
        for (int c = 0; c < cols; ++c) {
            m_text += m_cursor->text(c).toUtf8();
            m_cellEnd.push_back(quint32(m_text.size() - start));
        }
        ++read;
        ++m_rows;
    }
    return read;
}

int QueryModel::columnIndex(const QString &name) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString QueryModel::text(int row, int column) const
{
    if (row < 0 || row >= m_rows || column < 0 || column >= m_columns.size())
        return {};
    if (m_keyed) {
        const Page *page = pageFor(row);
        const int local = row % BatchSize;
        if (!page || local >= page->rows)
            return {};
        const size_t cell = size_t(local) * size_t(m_columns.size()) + size_t(column);
        const quint32 begin = cell == 0 ? 0 : page->cellEnd[cell - 1];
        return QString::fromUtf8(page->text.constData() + begin, page->cellEnd[cell] - begin);
    }
    const size_t cols = size_t(m_columns.size());
    const size_t cell = size_t(row) * cols + size_t(column);
    const qint64 base = m_rowStart[size_t(row)];
    const qint64 begin = base + (column == 0 ? 0 : m_cellEnd[cell - 1]);
    const qint64 end = base + m_cellEnd[cell];
    return QString::fromUtf8(m_text.constData() + begin, end - begin);
}

QString QueryModel::value(int row, const QString &name) const
{
    const int c = columnIndex(name);
    if (c < 0)
        throw AppError(QStringLiteral("找不到字段“%1”").arg(name));
    if (row < 0 || row >= m_rows)
        throw AppError(QStringLiteral("没有当前记录"));
    return text(row, c);
}

void QueryModel::fetchAll()
{
    while (canFetchMore())
        fetchMore();
}

int QueryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int QueryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant QueryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows || index.column() >= m_columns.size())
        return {};
    if (role == Qt::DisplayRole)
        return text(index.row(), index.column());
    return {};
}

QVariant QueryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal) {
        if (section >= 0 && section < m_columns.size())
            return m_columns.at(section);
        return {};
    }
    // The row indicator: no numbers, as in a list that shows one current row.
    return QString();
}

Qt::ItemFlags QueryModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

bool QueryModel::canFetchMore(const QModelIndex &parent) const
{
    if (parent.isValid())
        return false;
    return m_keyed ? m_open && !m_complete && !m_growing : m_cursor != nullptr;
}

void QueryModel::fetchMore(const QModelIndex &parent)
{
    if (m_keyed) {
        if (parent.isValid() || !canFetchMore())
            return;
        const int before = m_rows;
        int n = 0;
        try {
            n = readFrontier();
        } catch (const AppError &e) {
            m_complete = true;
            emit fetchFailed(e.message(), e.detail());
            return;
        }
        if (n > 0) {
            beginInsertRows(QModelIndex(), before, before + n - 1);
            m_rows = before + n;
            endInsertRows();
        }
        return;
    }
    if (parent.isValid() || !m_cursor)
        return;
    // Read into the store first, then announce the rows: the view sees whole batches.
    const int before = m_rows;
    QString message;
    QString detail;
    bool failed = false;
    try {
        readRows(BatchSize);
    } catch (const AppError &e) {
        failed = true;
        message = e.message();
        detail = e.detail();
    } catch (const std::exception &e) {
        failed = true;
        message = QString::fromLocal8Bit(e.what());
    }
    const int after = m_rows;
    if (after > before) {
        // The rows are stored already; announce them to the view in one step.
        m_rows = before;
        beginInsertRows(QModelIndex(), before, after - 1);
        m_rows = after;
        endInsertRows();
    }
    if (failed)
        emit fetchFailed(message, detail);
}
