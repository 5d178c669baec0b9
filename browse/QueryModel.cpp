#include "browse/QueryModel.h"
#include "data/Database.h"

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
    while (m_cursor)
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
    return !parent.isValid() && m_cursor != nullptr;
}

void QueryModel::fetchMore(const QModelIndex &parent)
{
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
