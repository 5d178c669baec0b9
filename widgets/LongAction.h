#pragma once
#include <QElapsedTimer>
#include <QString>
#include <functional>

class QProgressDialog;
class QWidget;

// The progress window of a long action run on the window's thread (an export, an import,
// reading a workbook): it appears after half a second, keeps the program answering by
// running its events at least every 50 ms, and offers "取消".
class LongAction {
public:
    LongAction(QWidget *parent, const QString &label, qint64 total = 0);
    ~LongAction();
    LongAction(const LongAction &) = delete;
    LongAction &operator=(const LongAction &) = delete;

    void setLabel(const QString &label);
    // 0: no known end (a moving bar).
    void setTotal(qint64 total);
    // Reports progress and, when 50 ms have passed, runs the waiting events. False once
    // the operator has pressed "取消".
    bool step(qint64 done);
    bool cancelled() const;
    // Runs events until ready() holds or the operator cancels; true when ready.
    bool waitUntil(const std::function<bool()> &ready);

    // The time between two runs of the events.
    static constexpr int EventIntervalMs = 50;

private:
    QProgressDialog *m_dialog;
    QElapsedTimer m_sinceEvents;
    qint64 m_total = 0;
};

// Thrown by an action's loop when the operator cancelled it; the action's caller stops
// quietly (nothing was stored, or what was stored is said by the caller).
struct ActionCancelled {};
