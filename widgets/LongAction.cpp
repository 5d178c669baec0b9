#include "widgets/LongAction.h"
#include "widgets/DialogParent.h"
#include "widgets/Seams.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <exception>
#include <memory>

// The progress window shows only when its action says so. QProgressDialog would otherwise
// show itself from its own timer or from setValue's guess of the time left, also once the
// work is over (a quick action's window over its result message).
class ActionWindow : public QProgressDialog {
public:
    using QProgressDialog::QProgressDialog;
    bool mayShow = false;
    void setVisible(bool visible) override
    {
        if (visible && !mayShow)
            return;
        QProgressDialog::setVisible(visible);
    }
};

struct LongAction::Working {
    explicit Working(LongAction &a) : action(a)
    {
        ++action.m_working;
        action.showIfDue();
    }
    ~Working() { --action.m_working; }
    Working(const Working &) = delete;
    Working &operator=(const Working &) = delete;
    LongAction &action;
};

LongAction::LongAction(QWidget *parent, const QString &label, qint64 total)
    : m_dialog(new ActionWindow(label, QStringLiteral("取消"), 0, 0, dialogParent(parent)))
    , m_showTimer(new QTimer(m_dialog))
{
    markTransient(m_dialog);
    m_dialog->setWindowTitle(appTitle());
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    // The dialog's own timer is not used (see ActionWindow); this one wakes a waiting loop.
    m_dialog->setMinimumDuration(INT_MAX);
    m_showTimer->setSingleShot(true);
    QObject::connect(m_showTimer, &QTimer::timeout, m_dialog, [this] {
        m_due = true; // a timer may fire a little early: its time has come all the same
        showIfDue();
    });
    m_showTimer->start(ShowAfterMs);
    setTotal(total);
    m_sinceStart.start();
    m_sinceEvents.start();
}

LongAction::~LongAction()
{
    finish();
    // Deleted later: the destructor may run while one of the window's own signals is
    // being delivered.
    m_dialog->deleteLater();
}

void LongAction::finish()
{
    m_over = true;
    m_showTimer->stop();
    m_dialog->hide();
}

void LongAction::showIfDue()
{
    // Only inside the action's own work: a message box shown by the caller meanwhile runs
    // this timer too, and the window must not come up over it.
    if (m_over || m_shown || m_working == 0 || m_dialog->wasCanceled())
        return;
    if (!m_due && m_sinceStart.elapsed() < ShowAfterMs)
        return;
    m_shown = true;
    m_dialog->mayShow = true;
    m_dialog->show();
    m_dialog->mayShow = false;
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
        const Working working(*this);
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
    const Working working(*this);
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
        showIfDue();
    };
    QTimer tick;
    tick.setInterval(EventIntervalMs);
    QObject::connect(&tick, &QTimer::timeout, &loop, show);
    // 取消 is passed on at once, not only at the next tick.
    QObject::connect(m_dialog, &QProgressDialog::canceled, &loop, show);
    tick.start();
    {
        const Working working(*this);
        thread->start();
        loop.exec();
    }
    while (!thread->wait(EventIntervalMs)) {
        if (follow.stop)
            follow.stop();
    }
    finish();
    if (failure)
        std::rethrow_exception(failure);
}
