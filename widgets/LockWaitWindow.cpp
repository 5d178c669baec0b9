#include "widgets/LockWaitWindow.h"
#include "db/Database.h"
#include "widgets/DialogParent.h"
#include "widgets/Seams.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

namespace {

constexpr int ShowAfterMs = 500;
constexpr int EventIntervalMs = 30;

struct LockWait {
    QPointer<QProgressDialog> dialog;
    QElapsedTimer lastCall;
    QElapsedTimer sinceEvents;
    bool gaveUp = false;
};

LockWait &state()
{
    static LockWait s;
    return s;
}

void closeWindow()
{
    LockWait &s = state();
    if (s.dialog) {
        s.dialog->hide();
        s.dialog->deleteLater();
        s.dialog = nullptr;
    }
}

bool observe(int waitedMs)
{
    if (!qApp || QThread::currentThread() != qApp->thread() || waitedMs < ShowAfterMs)
        return true;
    LockWait &s = state();
    s.lastCall.start();
    if (!s.dialog) {
        s.gaveUp = false;
        auto *d = new QProgressDialog(QStringLiteral("正在等待另一台电脑上的程序保存完毕……\n"
                                                     "（数据库正被另一个收费窗口使用）"),
                                      QStringLiteral("放弃"), 0, 0, dialogParent());
        // It goes by itself once the wait is over: nothing may be parented to it.
        markTransient(d);
        d->setWindowTitle(appTitle());
        d->setWindowModality(Qt::ApplicationModal);
        d->setAutoClose(false);
        d->setAutoReset(false);
        d->setMinimumDuration(0);
        QObject::connect(d, &QProgressDialog::canceled, d, [] { state().gaveUp = true; });
        // The engine does not say when a wait ends: the window goes once it is asked no more.
        auto *closer = new QTimer(d);
        QObject::connect(closer, &QTimer::timeout, d, [] {
            if (state().lastCall.elapsed() > 100)
                closeWindow();
        });
        closer->start(100);
        s.dialog = d;
        d->show();
        s.sinceEvents.start();
    }
    if (s.sinceEvents.elapsed() >= EventIntervalMs) {
        QCoreApplication::processEvents();
        s.sinceEvents.restart();
    }
    if (s.gaveUp) {
        closeWindow();
        return false;
    }
    return true;
}

} // namespace

void installLockWaitWindow()
{
    Database::setLockWaitObserver(observe);
}
