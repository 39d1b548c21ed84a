#include "reports/ReportSession.h"

#include "reports/ReportIndexes.h"
#include "reports/ReportSql.h"

#include <QThread>
#include <QThreadPool>
#include <cstdio>
#include <mysqld_error.h>

namespace granovia::reports {

namespace {

using Clock = std::chrono::steady_clock;

// A stop keeps ending statements for this long at most.
constexpr int MostKills = 50;

void tellServerFailure(const DbError &error)
{
    std::fprintf(stderr, "KILL QUERY failed: %s\n", qPrintable(error.serverMessage()));
}

// Ends the statement of the session `threadId` on a session of its own.
void killQuery(Connection &killer, unsigned long threadId)
{
    try {
        killer.execute(killQueryStatement(threadId));
    } catch (const DbError &error) {
        // A statement that ended meanwhile is no failure.
        if (error.code() != ER_NO_SUCH_THREAD)
            throw;
    }
}

} // namespace

struct ReportSession::Shared {
    ConnectionSettings settings;
    std::atomic<bool> running = false;
    std::atomic<bool> stopAsked = false;
    // The session's id on the server, for KILL QUERY.
    std::atomic<unsigned long> threadId = 0;
};

ReportStopped::ReportStopped()
    : AppError(QStringLiteral("Sestava byla zrušena."))
{
}

ReportSession::ReportSession(ConnectionSettings settings, std::chrono::seconds limit)
    : m_shared(std::make_shared<Shared>())
    , m_limit(limit)
{
    m_shared->settings = std::move(settings);
    m_connection.setWaitLimit(limit);
}

ReportSession::~ReportSession() = default;

void ReportSession::runErased(const std::function<void(Connection &)> &work)
{
    // Running first: a stop either sees it and ends the statement, or was
    // asked before and is seen here.
    m_shared->running = true;
    if (m_shared->stopAsked) {
        m_shared->running = false;
        throw ReportStopped();
    }
    const Clock::time_point begin = Clock::now();
    try {
        if (!m_connection.isOpen())
            m_connection.open(m_shared->settings);
        m_shared->threadId = m_connection.threadId();
        work(m_connection);
        m_shared->running = false;
    } catch (const DbError &error) {
        m_shared->running = false;
        if (m_shared->stopAsked)
            throw ReportStopped();
        if (error.code() != DbError::TimeLimitReached)
            throw;
        // The session was abandoned; its statement still runs on the server.
        Connection killer;
        killer.open(m_shared->settings);
        killQuery(killer, m_connection.threadId());
        throw AppError(QStringLiteral("Sestava nedoběhla v povoleném čase %1 s (klíč ReportLimit) a byla ukončena.")
                           .arg(m_limit.count()));
    } catch (const std::exception &) {
        m_shared->running = false;
        // Whatever the stop broke off (a statement, a file) ends as stopped.
        if (m_shared->stopAsked)
            throw ReportStopped();
        throw;
    }
    if (m_shared->stopAsked)
        throw ReportStopped();
    adviseIfSlow(Clock::now() - begin);
}

void ReportSession::stop()
{
    if (m_shared->stopAsked.exchange(true) || !m_shared->running)
        return;
    // Its own copy of what it needs: the session may be gone before it ends.
    const std::shared_ptr<Shared> shared = m_shared;
    QThreadPool::globalInstance()->start([shared] {
        try {
            Connection killer;
            killer.open(shared->settings);
            for (int kill = 0; kill < MostKills && shared->running; ++kill) {
                killQuery(killer, shared->threadId);
                QThread::msleep(std::chrono::milliseconds(KillRepeat).count());
            }
        } catch (const DbError &error) {
            tellServerFailure(error);
        }
    });
}

void ReportSession::resume()
{
    m_shared->stopAsked = false;
}

bool ReportSession::isStopped() const
{
    return m_shared->stopAsked;
}

QString ReportSession::takeAdvice()
{
    const QMutexLocker lock(&m_adviceLock);
    return std::exchange(m_advice, QString());
}

void ReportSession::adviseIfSlow(Clock::duration took)
{
    {
        const QMutexLocker lock(&m_adviceLock);
        if (took < SlowAfter || m_adviceChecked)
            return;
        m_adviceChecked = true;
    }
    try {
        const bool missing = !missingIndexes(readJournalIndexes(m_connection)).isEmpty();
        const QMutexLocker lock(&m_adviceLock);
        if (missing)
            m_advice = createIndexesAdvice();
    } catch (const DbError &error) {
        // The advice is a courtesy; a report that ran is not failed for it.
        std::fprintf(stderr, "%s\n", qPrintable(error.serverMessage()));
    }
}

} // namespace granovia::reports
