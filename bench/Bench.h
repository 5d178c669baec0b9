#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <algorithm>
#include <functional>

// Small tools of the benchmark program: timing, medians, memory, the result table.
namespace Bench {

template <class F>
double timeMs(F &&f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

inline double median(QVector<double> v)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    const qsizetype n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline double maxOf(const QVector<double> &v)
{
    return v.isEmpty() ? 0 : *std::max_element(v.begin(), v.end());
}

// VmRSS or VmHWM of this process from /proc/self/status, in MiB; -1 when unreadable.
double procStatusMiB(const char *field);
inline double residentMiB() { return procStatusMiB("VmRSS"); }
inline double peakResidentMiB() { return procStatusMiB("VmHWM"); }

// "12.3 ms", "1.84 s"
QString ms(double v);
QString ratio(double program, double floor);

// The longest time the event loop does not answer while an action runs: a timer ticks
// every few milliseconds in this process and the largest gap between two ticks, less the
// interval, is the longest pause the operator would see. Whatever the action does on the
// window's thread without turning the loop (a statement, a sort, a batch) shows here.
class PauseProbe : public QObject {
public:
    static constexpr int IntervalMs = 5;
    PauseProbe();
    ~PauseProbe() override;
    void start();
    // Stops ticking and counts the gap since the last tick.
    void stop();
    double longest() const { return m_longest; }
    // When the longest pause began, in milliseconds after start().
    double longestAt() const { return m_longestAt; }

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void tick();
    QElapsedTimer m_since, m_started;
    double m_longest = 0, m_longestAt = 0;
    int m_timer = 0;
};

// Runs the action on the window's thread, then the event loop until done() holds (or
// timeoutMs passes: throws). Returns the milliseconds from the action's start until
// done; *pause (if given) receives the longest pause meanwhile.
double runUntil(const std::function<void()> &action, const std::function<bool()> &done, double *pause = nullptr,
                int timeoutMs = 1800000);

// The floor an operation is compared with: the engine's own client interface on the same
// data, running the same statements, with nothing of the program in between.
class Floor {
public:
    virtual ~Floor() = default;
    virtual QString name() const = 0;
    // Runs a statement to its end, reading every column of every row as text. Returns the rows.
    virtual long long readAll(const QString &sql) = 0;
    // The first n rows of a statement, every column read as text.
    virtual long long readFirst(const QString &sql, long long n) = 0;
    // First column of the first row as text.
    virtual QString scalar(const QString &sql) = 0;
    // Runs a statement without a result.
    virtual void exec(const QString &sql) = 0;
    // Opens a write transaction holding what the program holds to number a day's receipts.
    virtual void beginReceipt(const QString &chargeDate) = 0;
};

enum class Verdict { Meets, Misses, NotMeasured };

struct Row {
    QString operation;
    QString program;   // the program's figure (median, or the longest pause, or memory)
    QString floor;     // the bare engine's or the peer's figure in the same run
    QString ratio;     // program / floor
    QString pause;     // the longest event-loop pause during the action
    QString goal;
    Verdict verdict = Verdict::NotMeasured;
    QString note;      // why a row is not measured, or what the floor is
};

// Prints the rows as a Markdown table, then the notes.
void printTable(const QVector<Row> &rows, const QStringList &details, const QString &heading);

} // namespace Bench
