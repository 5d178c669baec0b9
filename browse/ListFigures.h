#pragma once
#include "browse/ListKeys.h"
#include "db/Database.h"

#include <QObject>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

// The figures of a browse list that need the whole list: the row count and the totals
// for the footer, and the first keys of every page of the grid. At ten times today's
// district they take seconds, so they run on a thread of their own with a connection of
// their own, and arrive as signals on the window's thread. A new request, cancel() or
// the destructor stops the running statements through the engine's interrupt.
class ListFigures : public QObject {
    Q_OBJECT
public:
    struct Request {
        QString count;   // a statement giving one number; empty: not asked
        QString totals;  // a statement giving one row; empty: not asked
        KeyedList keys;  // invalid: no page keys asked
        int pageSize = 256;
    };

    explicit ListFigures(QObject *parent = nullptr);
    ~ListFigures() override;

    // Cancels what runs and starts the request on the connection of this object (opened
    // from shared's file on first use and again when the file changes). Throws DbError
    // when that connection cannot be opened.
    void start(Database &shared, const Request &request);
    // Stops the running statements and waits for the thread; nothing more is reported.
    void cancel();
    bool isRunning() const { return m_running.load(); }
    // True once every part of the last request has been reported (or failed).
    bool isDone() const { return m_done; }
    // The path of the connection the figures run on (for tests: another copy's view).
    Database *connection() const { return m_db.get(); }
    // The statements of the last request (the benchmark runs them on the bare engine).
    const Request &lastRequest() const { return m_request; }

signals:
    void countReady(const QString &count);
    void totalsReady(const Rows &totals);
    void pageStartsReady(const std::vector<QVariantList> &starts, qint64 rows);
    // The last part of the request has arrived (or failed).
    void finished();
    void failed(const QString &message, const QString &detail);

private:
    void run(Request request, quint64 generation);
    template <typename F> void post(quint64 generation, F &&f);

    std::unique_ptr<Database> m_db;
    Request m_request;
    QString m_path;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_cancelled{false};
    quint64 m_generation = 0;
    bool m_done = true;
};
