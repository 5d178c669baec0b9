#pragma once
#include <QAbstractTableModel>
#include <QStringList>
#include <memory>
#include <vector>

class Cursor;
class Database;

// The list query behind a browse grid: a read-only model over an open cursor that reads
// rows only as the view asks for them (canFetchMore/fetchMore), so that a list of any
// length opens at once and memory grows only with the rows shown so far. Row counts and
// sums of the whole result come from their own statements, never from this model.
//
// The open cursor belongs to the model: open() releases the previous one first, close()
// and the destructor release it.
class QueryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit QueryModel(QObject *parent = nullptr);
    ~QueryModel() override;

    // Rows read per fetch.
    static constexpr int BatchSize = 256;

    // Runs a statement and reads its first rows. A statement the engine refuses leaves
    // the model closed and empty, and the DbError goes to the caller.
    void open(Database &db, const QString &sql);
    // Empties the model and releases the cursor.
    void close();
    bool isOpen() const { return m_open; }
    // The statement of the open query; empty when closed.
    QString statement() const { return m_open ? m_sql : QString(); }

    const QStringList &columns() const { return m_columns; }
    // The column of that name regardless of letter case, or -1.
    int columnIndex(const QString &name) const;
    // A fetched row's value as text; throws AppError for an unknown column or row.
    QString value(int row, const QString &name) const;
    QString text(int row, int column) const;
    // True once every row of the result has been read.
    bool atEnd() const { return !m_cursor; }
    // Reads every remaining row (for a caller that must walk the whole list).
    void fetchAll();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool canFetchMore(const QModelIndex &parent = QModelIndex()) const override;
    void fetchMore(const QModelIndex &parent = QModelIndex()) override;

signals:
    // Reading further rows failed (the engine stopped in the middle of the result). The
    // rows read so far stay; no more are read. Views run fetchMore from the event loop,
    // so the failure is reported here rather than thrown.
    void fetchFailed(const QString &message, const QString &detail);

private:
    void clearState();
    // Reads up to n rows into the store; returns how many. Throws DbError.
    int readRows(int n);

    std::unique_ptr<Cursor> m_cursor;
    QString m_sql;
    QStringList m_columns;
    bool m_open = false;
    int m_rows = 0;
    // The fetched rows, compactly: every cell's UTF-8 text back to back, with each row's
    // start and each cell's end relative to that start.
    QByteArray m_text;
    std::vector<qint64> m_rowStart;
    std::vector<quint32> m_cellEnd;
};
