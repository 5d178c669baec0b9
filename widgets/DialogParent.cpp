#include "widgets/DialogParent.h"

#include <QApplication>
#include <QWidget>

namespace {

constexpr char TransientProperty[] = "cyTransientWindow";

QPointer<QWidget> &asking()
{
    static QPointer<QWidget> window;
    return window;
}

} // namespace

void markTransient(QWidget *window) { window->setProperty(TransientProperty, true); }

bool isTransient(const QWidget *widget)
{
    return widget && widget->window()->property(TransientProperty).toBool();
}

QWidget *dialogParent(QWidget *asker)
{
    QWidget *w = asker ? asker : asking() ? asking().data() : QApplication::activeWindow();
    while (w && isTransient(w))
        w = w->window()->parentWidget();
    return w;
}

AskingWindow::AskingWindow(QWidget *window) : m_previous(asking()) { asking() = window; }

AskingWindow::~AskingWindow() { asking() = m_previous; }
