#pragma once
#include "browse/ListKeys.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <map>
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
//
// A keyed list (openKeyed) holds a window of pages instead: it reads a page of rows by the
// keys of the row it starts at, keeps the first keys of every page it has seen, and lets
// the least recently used pages go, so memory stays flat however far the operator
// scrolls. Once the keys of every page are known (setPageStarts, read in the background)
// the model has every row of the list and the view can jump straight to the end.
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
    // Opens a keyed list on db (which must outlive the list) and reads its first page.
    void openKeyed(Database &db, const KeyedList &list);

    struct Page {
        QByteArray text;               // every cell's UTF-8 text back to back
        std::vector<quint32> cellEnd;  // each cell's end in text
        int rows = 0;
        quint64 used = 0;              // for letting the least recently used go
    };
    // The first page of a keyed list, read apart from any model.
    struct FirstPage {
        QStringList columns;
        std::vector<int> keyColumns;
        Page page;
        QVariantList first, last;      // the keys of its first and last rows
    };
    // Reads the first page of a keyed list on db. Touches no model, so it may run on
    // another thread, on a connection nothing else uses meanwhile: ordering a long list by
    // a column without an index, or criteria that few rows meet, make the engine go
    // through the whole list before the first row. Throws DbError, or AppError when the
    // list lacks a key column.
    static FirstPage readFirstPage(Database &db, const KeyedList &list);
    // Opens a keyed list on db with its first page already read (by readFirstPage on db).
    void openKeyed(Database &db, const KeyedList &list, FirstPage first);
    const KeyedList &keyedList() const { return m_list; }
    // The first keys of every page of the keyed list and its length, from a reading of
    // its keys alone; the list then holds that many rows. A list of millions of rows grows
    // to its length in steps, one turn of the event loop each, so that the grid's row
    // header (an entry per row, made on the window's thread) never holds the window long.
    void setPageStarts(const std::vector<QVariantList> &starts, qint64 rows);
    // True while the list still grows to the length its keys gave.
    bool growing() const { return m_growing; }
    // Pages kept in memory at most.
    static constexpr int MaxPages = 12;
    int pagesHeld() const { return int(m_pages.size()); }
    // Empties the model and releases the cursor.
    void close();
    bool isOpen() const { return m_open; }
    // The statement of the open query; empty when closed.
    QString statement() const { return m_open ? m_sql : QString(); }
    // The statement that reads every row in the grid's order from the first.
    QString orderedStatement() const;

    const QStringList &columns() const { return m_columns; }
    // The column of that name regardless of letter case, or -1.
    int columnIndex(const QString &name) const;
    // A fetched row's value as text; throws AppError for an unknown column or row.
    QString value(int row, const QString &name) const;
    QString text(int row, int column) const;
    // True once every row of the result has been read (a keyed list: once its length is known).
    bool atEnd() const { return m_keyed ? m_complete : !m_cursor; }
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
    void growTo(int total, quint64 growth);
    // The page holding row of a keyed list, read when absent; nullptr when it cannot be read.
    const Page *pageFor(int row) const;
    int readFrontier();
    Page readInto(Cursor &cursor, QVariantList *firstKey, QVariantList *lastKey) const;
    static Page readPage(Cursor &cursor, int columns, const std::vector<int> &keyColumns, QVariantList *firstKey,
                         QVariantList *lastKey);
    void letPagesGo(int keep) const;
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

    // The keyed list.
    bool m_keyed = false;
    KeyedList m_list;
    Database *m_db = nullptr;
    std::vector<int> m_keyColumns;
    mutable std::map<int, Page> m_pages;
    mutable quint64 m_useClock = 0;
    mutable bool m_pageFailed = false;
    std::vector<QVariantList> m_pageStarts; // first keys of pages 0, 1, ...
    QVariantList m_frontier;                // keys of the last row read forwards
    bool m_complete = false;
    // Rows announced to the view at a time when the keys arrive; a new list stops the growth.
    static constexpr int RowsAStep = 1 << 20;
    quint64 m_growth = 0;
    bool m_growing = false;
};
