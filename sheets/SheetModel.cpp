#include "sheets/SheetModel.h"

SheetModel::SheetModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void SheetModel::setSheet(Sheet sheet)
{
    beginResetModel();
    m_sheet = std::move(sheet);
    endResetModel();
}

int SheetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_sheet.rowCount();
}

int SheetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_sheet.columnCount();
}

QVariant SheetModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return m_sheet.cell(index.row(), index.column());
    return {};
}

QVariant SheetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < m_sheet.columnCount() ? QVariant(m_sheet.headings.at(section)) : QVariant();
    // The spreadsheet's own row number, the one an import error names.
    return section >= 0 && section < m_sheet.sheetRows.size() ? QVariant(m_sheet.sheetRows.at(section)) : QVariant();
}
