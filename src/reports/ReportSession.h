#pragma once

#include "store/Connection.h"
#include "store/DbError.h"

#include <QMutex>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

namespace granovia::reports {

// The report was stopped: nothing more is shown or written.
class ReportStopped final : public AppError {
public:
    ReportStopped();
};

// The reports' own session with the database. A report's statement is not
// held to the operator's wait for movements: it may run as long as it
// needs, up to the administrator's limit (ReportLimit). A report that is
// stopped, or that the limit gives up, has its statement ended on the
// server as well, by KILL QUERY sent on a session of its own.
class ReportSession final {
public:
    // A report that took this long on a journal without the recommended
    // indexes leaves the advice to make them.
    static constexpr std::chrono::seconds SlowAfter{2};
    // A stop repeats its KILL QUERY this often while the report still runs,
    // so that a statement started just after one is ended too.
    static constexpr std::chrono::milliseconds KillRepeat{200};

    ReportSession(ConnectionSettings settings, std::chrono::seconds limit);
    ~ReportSession();
    Q_DISABLE_COPY_MOVE(ReportSession)

    // Runs work(connection) on the calling thread, on the session (opened
    // at its first use); one run at a time. Throws ReportStopped when
    // stopped, AppError when the limit gave up, DbError.
    template <typename Work>
    std::invoke_result_t<Work, Connection &> run(Work &&work)
    {
        std::optional<std::invoke_result_t<Work, Connection &>> result;
        runErased([&](Connection &connection) { result.emplace(work(connection)); });
        return std::move(*result);
    }

    // From any thread, returning at once: ends the run under way, and its
    // statement on the server.
    void stop();
    // Forgets an earlier stop, so that the next run runs.
    void resume();
    bool isStopped() const;
    // Told once per session, after the first slow run on a journal that
    // lacks recommended indexes: what the administrator should run.
    // Empty otherwise, and on every later call.
    QString takeAdvice();

    std::chrono::seconds limit() const { return m_limit; }

private:
    struct Shared;
    void runErased(const std::function<void(Connection &)> &work);
    void adviseIfSlow(std::chrono::steady_clock::duration took);

    std::shared_ptr<Shared> m_shared;
    Connection m_connection;
    std::chrono::seconds m_limit;
    QMutex m_adviceLock;
    QString m_advice;
    bool m_adviceChecked = false;
};

} // namespace granovia::reports
