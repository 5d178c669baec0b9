#include "tests/support/Doubles.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>

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

void fromEventLoop(const std::function<void()> &action)
{
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        action();
        loop.quit();
    });
    loop.exec();
}

QStringList visibleProgressWindows()
{
    QStringList labels;
    for (QWidget *w : QApplication::allWidgets())
        if (auto *p = qobject_cast<QProgressDialog *>(w); p && p->isVisible())
            labels << p->labelText();
    return labels;
}

void ReadingMessages::read(QWidget *parent)
{
    parents << parent;
    QEventLoop box;
    QTimer::singleShot(readMs, &box, &QEventLoop::quit);
    box.exec();
    progressSeen << visibleProgressWindows();
}

void ReadingMessages::information(QWidget *parent, const QString &text)
{
    MessageRecorder::information(parent, text);
    read(parent);
}

void ReadingMessages::error(QWidget *parent, const QString &text, const QString &detail)
{
    MessageRecorder::error(parent, text, detail);
    read(parent);
}

bool ReadingMessages::question(QWidget *parent, const QString &caption, const QString &text, bool yesIsDefault)
{
    const bool answer = MessageRecorder::question(parent, caption, text, yesIsDefault);
    read(parent);
    return answer;
}
