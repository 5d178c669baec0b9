#pragma once
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QVector>
#include <algorithm>

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

enum class Verdict { Meets, Misses, NotMeasured };

struct Row {
    QString operation;
    QString program;   // the program's figure (median, or the longest pause, or memory)
    QString floor;     // the bare engine's or the peer's figure in the same run
    QString ratio;     // program / floor
    QString goal;
    Verdict verdict = Verdict::NotMeasured;
    QString note;      // why a row is not measured, or what the floor is
};

// Prints the rows as a Markdown table, then the notes.
void printTable(const QVector<Row> &rows, const QStringList &details);

} // namespace Bench
