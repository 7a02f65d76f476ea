#include "interchange/ZvIoBusy.h"

#include "store/ZvDb.h"

#include <QProgressDialog>

namespace zv {

namespace {
int g_busyDepth = 0;
bool g_cancelRequested = false;
} // namespace

void TIoBusyNotifier::requestCancel()
{
    if (g_busyDepth > 0) g_cancelRequested = true;
}

bool TIoBusyNotifier::cancelRequested()
{
    return g_cancelRequested;
}

bool IoBusy()
{
    return g_busyDepth > 0;
}

TIoBusyNotifier* TIoBusyNotifier::instance()
{
    static TIoBusyNotifier notifier;
    return &notifier;
}

TIoBusyScope::TIoBusyScope()
{
    if (g_busyDepth++ == 0) emit TIoBusyNotifier::instance()->busyChanged(true);
}

TIoBusyScope::~TIoBusyScope()
{
    if (--g_busyDepth == 0) {
        g_cancelRequested = false;
        emit TIoBusyNotifier::instance()->busyChanged(false);
    }
}

TIoProgress::TIoProgress(QWidget* parent, const QString& label, int total) : m_total(total)
{
    m_dialog = new QProgressDialog(label, QProgressDialog::tr("Cancel"), 0, std::max(total, 1), parent);
    m_dialog->setWindowModality(Qt::ApplicationModal);
    m_dialog->setMinimumDuration(1000);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setValue(0);
}

TIoProgress::~TIoProgress()
{
    delete m_dialog;
}

bool TIoProgress::yieldsOnNextStep() const
{
    const int next = m_done + 1;
    return (next & 0xFF) == 0 || next == m_total;
}

bool TIoProgress::step()
{
    // setValue lets events through (a modal progress dialog processes them); doing it
    // every few hundred rows keeps the cost out of the figures.
    const bool yields = yieldsOnNextStep();
    ++m_done;
    if (yields) {
        CheckDurable("the progress dialog");
        m_dialog->setValue(std::min(m_done, m_dialog->maximum()));
        if (m_dialog->wasCanceled()) m_cancelled = true;
    }
    if (g_cancelRequested) m_cancelled = true;
    return !m_cancelled;
}

void TIoProgress::setTotal(int total)
{
    m_total = total;
    m_dialog->setMaximum(std::max(total, 1));
}

void TIoProgress::suspend()
{
    if (m_dialog->wasCanceled()) m_cancelled = true;
    m_dialog->hide();
    m_dialog->reset(); // stops the timer that would show it while the question is open
}

} // namespace zv
