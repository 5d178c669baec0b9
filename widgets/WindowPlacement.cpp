#include "widgets/WindowPlacement.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QMargins>
#include <QScreen>
#include <QWidget>

namespace {

// The frame around a window's inside; none while the window system has not framed it.
QMargins frameOf(const QWidget *w)
{
    const QRect frame = w->frameGeometry();
    const QRect inside = w->geometry();
    return {inside.left() - frame.left(), inside.top() - frame.top(), frame.right() - inside.right(),
            frame.bottom() - inside.bottom()};
}

// How long after showing a change of the frame is the window system's, not the operator's.
constexpr int FramingMs = 1000;

class CentreOnShow : public QObject {
public:
    explicit CentreOnShow(QWidget *window) : QObject(window) { setObjectName(QStringLiteral("centreWhenShown")); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = static_cast<QWidget *>(watched);
        if (event->type() == QEvent::Show) {
            centreWindow(window);
            m_frame = frameOf(window);
            m_shown.start();
        } else if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && m_shown.isValid()
                   && m_shown.elapsed() < FramingMs && frameOf(window) != m_frame) {
            m_frame = frameOf(window);
            centreWindow(window);
        }
        return false;
    }

private:
    QMargins m_frame;
    QElapsedTimer m_shown;
};

} // namespace

void centreWindow(QWidget *window)
{
    QWidget *over = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    if (over && !over->isVisible())
        over = nullptr;
    QScreen *screen = over ? over->screen() : window->screen();
    const QRect free = screen ? screen->availableGeometry() : QRect();
    const QRect area = over ? over->frameGeometry() : free;
    if (!area.isValid())
        return;
    // Until the window system has framed the window, the frame of the window it belongs to
    // stands for its own.
    QMargins frame = frameOf(window);
    if (frame.isNull() && over)
        frame = frameOf(over);
    const QSize size = window->size().grownBy(frame);
    QPoint at(area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2);
    if (free.isValid()) {
        at.setX(qBound(free.left(), at.x(), qMax(free.left(), free.left() + free.width() - size.width())));
        at.setY(qBound(free.top(), at.y(), qMax(free.top(), free.top() + free.height() - size.height())));
    }
    // A window's position is its frame's.
    window->move(at);
}

void centreWhenShown(QWidget *window)
{
    if (!window->findChild<CentreOnShow *>(QStringLiteral("centreWhenShown"), Qt::FindDirectChildrenOnly))
        window->installEventFilter(new CentreOnShow(window));
}
