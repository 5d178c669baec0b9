#pragma once
#include "db/Database.h"

#include <QAbstractTableModel>

// A read-only grid model over a small result read completely into memory (the lists of
// the settings dialogs). Titles are the result's column names or aliases.
class RowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RowsModel(QObject *parent = nullptr);

    // Replaces the whole result; views return to no current row.
    void setRows(const Rows &rows);
    const Rows &rows() const { return m_rows; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    Rows m_rows;
};
