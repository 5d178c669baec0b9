#include "widgets/LongAction.h"
#include "widgets/Seams.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <exception>
#include <memory>

LongAction::LongAction(QWidget *parent, const QString &label, qint64 total)
    : m_dialog(new QProgressDialog(label, QStringLiteral("取消"), 0, 0, parent))
{
    m_dialog->setWindowTitle(appTitle());
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    // Shown by the timer below, not by the dialog's own guess from the first steps.
    m_dialog->setMinimumDuration(INT_MAX);
    QTimer::singleShot(500, m_dialog, [d = m_dialog] { d->show(); });
    setTotal(total);
    m_sinceEvents.start();
}

LongAction::~LongAction()
{
    m_dialog->hide();
    m_dialog->deleteLater();
}

void LongAction::setLabel(const QString &label)
{
    m_dialog->setLabelText(label);
}

void LongAction::setTotal(qint64 total)
{
    m_total = total;
    // The bar counts in thousandths so that totals beyond an int fit.
    m_dialog->setMaximum(total > 0 ? 1000 : 0);
}

bool LongAction::step(qint64 done)
{
    if (m_sinceEvents.elapsed() >= EventIntervalMs) {
        if (m_total > 0)
            m_dialog->setValue(int(qMin<qint64>(1000, done * 1000 / m_total)));
        QCoreApplication::processEvents();
        m_sinceEvents.restart();
    }
    return !m_dialog->wasCanceled();
}

bool LongAction::cancelled() const
{
    return m_dialog->wasCanceled();
}

bool LongAction::waitUntil(const std::function<bool()> &ready)
{
    while (!ready()) {
        if (m_dialog->wasCanceled())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void LongAction::runOffThread(const std::function<void()> &work, const Follow &follow)
{
    std::exception_ptr failure;
    std::unique_ptr<QThread> thread(QThread::create([&work, &failure] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    const auto show = [&] {
        if (follow.label) {
            const QString label = follow.label();
            if (!label.isEmpty() && label != m_dialog->labelText())
                setLabel(label);
        }
        const qint64 total = follow.total ? follow.total() : 0;
        if (total != m_total)
            setTotal(total);
        if (total > 0 && follow.done)
            m_dialog->setValue(int(qMin<qint64>(1000, follow.done() * 1000 / total)));
        const bool stoppable = !follow.stoppable || follow.stoppable();
        if (stoppable != m_cancelShown) {
            m_cancelShown = stoppable;
            m_dialog->setCancelButtonText(stoppable ? QStringLiteral("取消") : QString());
        }
        if (m_dialog->wasCanceled() && follow.stop)
            follow.stop();
    };
    QTimer tick;
    tick.setInterval(EventIntervalMs);
    QObject::connect(&tick, &QTimer::timeout, &loop, show);
    // 取消 is passed on at once, not only at the next tick.
    QObject::connect(m_dialog, &QProgressDialog::canceled, &loop, show);
    tick.start();
    thread->start();
    loop.exec();
    while (!thread->wait(EventIntervalMs)) {
        if (follow.stop)
            follow.stop();
    }
    if (failure)
        std::rethrow_exception(failure);
}
