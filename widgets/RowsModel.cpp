#include "widgets/RowsModel.h"

RowsModel::RowsModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void RowsModel::setRows(const Rows &rows)
{
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

int RowsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.rowCount();
}

int RowsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.columns().size());
}

QVariant RowsModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return m_rows.at(index.row(), index.column());
    return {};
}

QVariant RowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < m_rows.columns().size() ? QVariant(m_rows.columns().at(section)) : QVariant();
    return section + 1;
}

Qt::ItemFlags RowsModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
