#pragma once
#include "sheets/SheetReader.h"

#include <QAbstractTableModel>

// The rows of a sheet for a read-only grid: one column per sheet column, titled by its
// heading; rows titled by their row number in the spreadsheet.
class SheetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit SheetModel(QObject *parent = nullptr);

    void setSheet(Sheet sheet);
    void clear() { setSheet(Sheet()); }
    const Sheet &sheet() const { return m_sheet; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    Sheet m_sheet;
};
