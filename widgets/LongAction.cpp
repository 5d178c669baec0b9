#include "widgets/LongAction.h"
#include "widgets/Seams.h"

#include <QCoreApplication>
#include <QProgressDialog>
#include <QTimer>

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
