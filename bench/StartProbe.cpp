// Linked into a copy of the program and into a bare Qt Widgets window for the start-up
// benchmark: when the first top-level window has painted, writes "shown" to standard
// output and ends the process at once. Both executables start and finish the same way,
// so the parent times them from process start to the first painted window.
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

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
                std::fputs("shown\n", stdout);
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
