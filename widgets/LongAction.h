#pragma once
#include <QElapsedTimer>
#include <QString>
#include <functional>

class QTimer;
class QWidget;
class ActionWindow;

// The progress window of a long action run on the window's thread (an export, an import,
// reading a workbook): it appears after half a second of work, keeps the program answering
// by running its events at least every 50 ms, and offers "取消". It shows only while the
// action works (in step, waitUntil, runOffThread), never once finish() has been called:
// a box the caller shows meanwhile or afterwards (the result, a question) runs its own
// events without the progress window coming up over it.
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

    // How the window follows work done on another thread; every part may be left empty.
    struct Follow {
        std::function<QString()> label;
        std::function<qint64()> done;
        std::function<qint64()> total;     // 0: no known end
        std::function<bool()> stoppable;   // false hides "取消" (the work must finish now)
        std::function<void()> stop;        // asked again and again once "取消" was pressed
    };
    // Runs work on a thread of its own while the window answers, showing its progress every
    // 50 ms, and returns when the work has ended; what the work threw is thrown here. When
    // the window's event loop is ended (the program quits), the work is stopped and waited for.
    // Ends with finish().
    void runOffThread(const std::function<void()> &work, const Follow &follow);

    // The work is over: the window goes, and never shows again. Also done on destruction.
    void finish();

    // The time between two runs of the events.
    static constexpr int EventIntervalMs = 50;

    // How long the work runs before the window shows.
    static constexpr int ShowAfterMs = 500;

private:
    // Counts the action's own work calls under way; the window shows only inside them.
    struct Working;
    void showIfDue();

    ActionWindow *m_dialog;
    QTimer *m_showTimer;
    QElapsedTimer m_sinceStart;
    QElapsedTimer m_sinceEvents;
    qint64 m_total = 0;
    int m_working = 0;
    bool m_due = false;
    bool m_shown = false;
    bool m_over = false;
    bool m_cancelShown = true;
};

// Thrown by an action's loop when the operator cancelled it; the action's caller stops
// quietly (nothing was stored, or what was stored is said by the caller).
struct ActionCancelled {};
