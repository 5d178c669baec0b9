#include "bench/Bench.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <QTimerEvent>
#include <stdexcept>
#include <cstdio>

namespace Bench {

double procStatusMiB(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(key)) {
            const QByteArray kb = line.mid(key.size()).trimmed().split(' ').value(0);
            return kb.toDouble() / 1024.0;
        }
    }
    return -1;
}

PauseProbe::PauseProbe() = default;

PauseProbe::~PauseProbe()
{
    if (m_timer)
        killTimer(m_timer);
}

void PauseProbe::start()
{
    if (m_timer)
        killTimer(m_timer);
    m_longest = 0;
    m_longestAt = 0;
    m_since.start();
    m_started.start();
    m_timer = startTimer(IntervalMs, Qt::PreciseTimer);
}

void PauseProbe::tick()
{
    const double gap = double(m_since.nsecsElapsed()) / 1e6 - IntervalMs;
    if (gap > m_longest) {
        m_longest = gap;
        m_longestAt = double(m_started.nsecsElapsed()) / 1e6 - gap - IntervalMs;
    }
    m_since.restart();
}

void PauseProbe::stop()
{
    if (!m_timer)
        return;
    tick();
    killTimer(m_timer);
    m_timer = 0;
}

void PauseProbe::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_timer)
        tick();
}

double runUntil(const std::function<void()> &action, const std::function<bool()> &done, double *pause, int timeoutMs)
{
    PauseProbe probe;
    QElapsedTimer t;
    probe.start();
    t.start();
    action();
    // The probe's own ticks wake the loop at least every few milliseconds.
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            throw std::runtime_error("the action did not finish in time");
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double elapsed = double(t.nsecsElapsed()) / 1e6;
    probe.stop();
    if (pause)
        *pause = probe.longest();
    if (qEnvironmentVariableIsSet("BENCH_PAUSES"))
        QTextStream(stderr) << "longest pause " << probe.longest() << " ms at " << probe.longestAt() << " ms of "
                            << elapsed << " ms\n";
    return elapsed;
}

QString ms(double v)
{
    if (v >= 1000)
        return QString::number(v / 1000, 'f', 2) + QStringLiteral(" s");
    if (v >= 100)
        return QString::number(v, 'f', 0) + QStringLiteral(" ms");
    if (v >= 10)
        return QString::number(v, 'f', 1) + QStringLiteral(" ms");
    return QString::number(v, 'f', 2) + QStringLiteral(" ms");
}

QString ratio(double program, double floor)
{
    if (floor <= 0)
        return QStringLiteral("—");
    return QString::number(program / floor, 'f', 2) + QStringLiteral("×");
}

void printTable(const QVector<Row> &rows, const QStringList &details, const QString &heading)
{
    QTextStream out(stdout);
    out << heading << "\n\n";
    out << "| operation | program | floor (same run) | ratio | longest pause | must reach | result |\n";
    out << "|---|---|---|---|---|---|---|\n";
    for (const Row &r : rows) {
        QString verdict;
        switch (r.verdict) {
        case Verdict::Meets:
            verdict = QStringLiteral("meets");
            break;
        case Verdict::Misses:
            verdict = QStringLiteral("**misses**");
            break;
        case Verdict::NotMeasured:
            verdict = QStringLiteral("not measured");
            break;
        }
        out << "| " << r.operation << " | " << (r.program.isEmpty() ? QStringLiteral("—") : r.program) << " | "
            << (r.floor.isEmpty() ? QStringLiteral("—") : r.floor) << " | "
            << (r.ratio.isEmpty() ? QStringLiteral("—") : r.ratio) << " | "
            << (r.pause.isEmpty() ? QStringLiteral("—") : r.pause) << " | " << r.goal << " | " << verdict << " |\n";
    }
    out << "\n";
    for (const Row &r : rows)
        if (!r.note.isEmpty())
            out << "- " << r.operation << ": " << r.note << "\n";
    for (const QString &d : details)
        out << "- " << d << "\n";
    out.flush();
}

} // namespace Bench
