#include "reportsui/ReportWorker.h"

#include "ui/ErrorDisplay.h"

#include <QThread>

namespace granovia::reportsui {

ReportWorker::ReportWorker(ConnectionSettings settings, std::chrono::seconds limit, QWidget *owner)
    : m_session(std::move(settings), limit)
    , m_owner(owner)
{
}

ReportWorker::~ReportWorker()
{
    if (!m_thread)
        return;
    m_session.stop();
    m_thread->wait();
    delete m_thread;
}

reports::Progress ReportWorker::progress()
{
    return [this](qint64 done, qint64 total) {
        m_done = done;
        m_total = total;
        return !m_session.isStopped();
    };
}

bool ReportWorker::startErased(std::function<void(reports::ReportSession &)> work, std::function<void()> done)
{
    if (m_thread)
        return false;
    m_session.resume();
    m_done = 0;
    m_total = 0;
    m_thread = QThread::create([this, work = std::move(work), done = std::move(done)] {
        std::exception_ptr failure;
        try {
            work(m_session);
        } catch (...) {
            failure = std::current_exception();
        }
        // Dropped when the worker is gone by then.
        QMetaObject::invokeMethod(this, [this, failure, done] { finish(failure, done); }, Qt::QueuedConnection);
    });
    m_thread->start();
    emit busyChanged(true);
    return true;
}

void ReportWorker::finish(const std::exception_ptr &failure, const std::function<void()> &done)
{
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    ui::guarded(m_owner, [&] {
        if (!failure) {
            done();
            return;
        }
        try {
            std::rethrow_exception(failure);
        } catch (const reports::ReportStopped &) {
            // The operator stopped it: nothing to tell.
        }
    });
    const QString advice = m_session.takeAdvice();
    if (!advice.isEmpty())
        emit adviceGiven(advice);
    // Unless what it showed started the next piece.
    if (!m_thread)
        emit busyChanged(false);
}

} // namespace granovia::reportsui
