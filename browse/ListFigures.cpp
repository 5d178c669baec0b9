#include "browse/ListFigures.h"

#include <QMetaObject>
#include <chrono>

ListFigures::ListFigures(QObject *parent)
    : QObject(parent)
{
}

ListFigures::~ListFigures()
{
    cancel();
}

void ListFigures::cancel()
{
    if (m_thread.joinable()) {
        m_cancelled = true;
        // An interrupt that arrives between two statements is lost, so it is repeated
        // until the worker has seen the flag or its statement has stopped.
        while (m_running.load()) {
            m_db->interrupt();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        m_thread.join();
    }
    ++m_generation; // whatever the old worker posted is dropped
    m_done = true;
}

void ListFigures::start(Database &shared, const Request &request)
{
    cancel();
    if (!m_db || m_path != shared.path()) {
        m_db.reset();
        m_db = shared.openReader();
        m_path = shared.path();
    }
    m_request = request;
    m_cancelled = false;
    m_done = false;
    m_running = true;
    const quint64 generation = m_generation;
    m_thread = std::thread([this, request, generation] { run(request, generation); });
}

template <typename F> void ListFigures::post(quint64 generation, F &&f)
{
    QMetaObject::invokeMethod(
        this,
        [this, generation, f = std::forward<F>(f)]() mutable {
            if (generation == m_generation)
                f();
        },
        Qt::QueuedConnection);
}

void ListFigures::run(Request request, quint64 generation)
{
    try {
        if (!request.count.isEmpty() && !m_cancelled) {
            const QString count = m_db->scalar(request.count);
            post(generation, [this, count] { emit countReady(count); });
        }
        if (!request.totals.isEmpty() && !m_cancelled) {
            const Rows totals = m_db->select(request.totals);
            post(generation, [this, totals] { emit totalsReady(totals); });
        }
        if (request.keys.isValid() && !m_cancelled) {
            auto cursor = m_db->cursor(request.keys.keysOnly());
            std::vector<QVariantList> starts;
            qint64 rows = 0;
            const int n = cursor->columnCount();
            while (!m_cancelled && cursor->next()) {
                if (rows % request.pageSize == 0) {
                    QVariantList keys;
                    for (int c = 0; c < n; ++c)
                        keys << cursor->value(c);
                    starts.push_back(keys);
                }
                ++rows;
            }
            if (!m_cancelled)
                post(generation, [this, starts = std::move(starts), rows] { emit pageStartsReady(starts, rows); });
        }
    } catch (const DbError &e) {
        if (!m_cancelled && !m_db->isInterruption(e)) {
            const QString message = e.message(), detail = e.detail();
            post(generation, [this, message, detail] {
                m_done = true;
                emit failed(message, detail);
                emit finished();
            });
        }
        m_running = false;
        return;
    } catch (const AppError &e) {
        const QString message = e.message(), detail = e.detail();
        post(generation, [this, message, detail] {
            m_done = true;
            emit failed(message, detail);
            emit finished();
        });
        m_running = false;
        return;
    }
    post(generation, [this] {
        m_done = true;
        emit finished();
    });
    m_running = false;
}
