#pragma once
#include <QPointer>

class QWidget;

// Windows that come and go by themselves (the lock-wait window, a progress window) are
// hidden and deleted whenever their wait or their work ends. A window parented to one would
// be deleted with it, under the operator's hands (a receipt preview still open), so they
// are marked, and no dialog is ever parented to them: it goes to the window they were opened
// over instead.
void markTransient(QWidget *window);
bool isTransient(const QWidget *widget);

// The parent for a new dialog: asker when it is given, else the window of the innermost
// AskingWindow, else the active window; a transient window gives way to the window it was
// opened over (its parent). nullptr when nothing is left.
QWidget *dialogParent(QWidget *asker = nullptr);

// While it lives, the dialogs opened by code that does not know its window (the receipt
// preview behind the print module) belong to this one: the screen that asked.
class AskingWindow {
public:
    explicit AskingWindow(QWidget *window);
    ~AskingWindow();
    AskingWindow(const AskingWindow &) = delete;
    AskingWindow &operator=(const AskingWindow &) = delete;

private:
    QPointer<QWidget> m_previous;
};
