#include "tests/support/Doubles.h"

#include <QApplication>
#include <QPointer>

int ScriptedDialogs::run(QDialog *dialog)
{
    ++opened;
    QPointer<QDialog> d(dialog);
    dialog->show();
    QApplication::setActiveWindow(dialog);
    auto script = std::move(next);
    next = nullptr;
    if (script)
        script(dialog);
    closedItself = !d || !d->isVisible();
    if (d && d->isVisible())
        d->close();
    return d ? d->result() : QDialog::Accepted;
}

void showAndWait(QWidget *w)
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
}
