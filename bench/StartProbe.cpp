// Linked into a copy of the program and into a bare Qt Widgets window for the start-up
// benchmark: when the first top-level window has painted, writes "shown" and the CPU time
// used so far (ms) to standard output and ends the process at once. Both executables start and finish the same way,
// so the parent times them from process start to the first painted window.
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

namespace {

class FirstPaintProbe : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_seen && event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->isWindow()) {
            m_seen = true;
            // The window and its children are painted and flushed in this one pass; report
            // right after it.
            QTimer::singleShot(0, [] {
                rusage u{};
                getrusage(RUSAGE_SELF, &u);
                const double cpuMs = (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3
                    + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
                std::printf("shown %.3f\n", cpuMs);
                std::fflush(stdout);
                std::_Exit(0);
            });
        }
        return false;
    }

private:
    bool m_seen = false;
};

void installProbe()
{
    QCoreApplication::instance()->installEventFilter(new FirstPaintProbe(QCoreApplication::instance()));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
