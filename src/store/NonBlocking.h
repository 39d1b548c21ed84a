#pragma once

#include "store/WaitBudget.h"

#include <QtGlobal>
#include <chrono>
#include <functional>
#include <mysql.h>
#include <optional>

// Drives the library's non-blocking calls: waits on the session's socket for
// what the library asks, within the running WaitBudget, and shows the busy
// indicator for a call that takes long. Used by the connection alone.
namespace granovia::nonblocking {

using Clock = std::chrono::steady_clock;
// Told true when a call has been waiting for BusyAfter, false when it ends.
using BusyIndicator = std::function<void(bool busy)>;
// A call that takes longer than this shows the busy indicator.
inline constexpr std::chrono::milliseconds BusyAfter{300};

// Waits until the socket is ready for what the library asks, or until `until`.
// Returns the events that occurred, 0 when time ran out first.
int waitForSocket(MYSQL *handle, int status, Clock::time_point until);

// Shows the busy indicator once a call has waited long enough, and takes it
// away when the call ends.
class BusySignal final {
public:
    explicit BusySignal(const BusyIndicator &indicator)
        : m_indicator(indicator)
    {
    }
    ~BusySignal();
    Q_DISABLE_COPY_MOVE(BusySignal)
    // The time until which the caller may wait before calling this again.
    Clock::time_point update(Clock::time_point begin, Clock::time_point until);

private:
    const BusyIndicator &m_indicator;
    bool m_shown = false;
};

// Drives a started non-blocking call of the library to its end, waiting on the
// socket in between, never past `until`. False when the budget ran out first
// (or the limit, for a session that has a limit of its own in place of the
// operator's budget), or `until` came: the call is then unfinished, and its
// session can only be closed.
template <typename Continue>
bool drive(MYSQL *handle, int status, Continue next, const BusyIndicator &indicator,
           std::optional<std::chrono::seconds> limit, Clock::time_point until = Clock::time_point::max())
{
    WaitBudget &budget = WaitBudget::current();
    const Clock::time_point begin = Clock::now();
    const Clock::duration allowed = limit ? std::chrono::duration_cast<Clock::duration>(*limit)
                                          : std::chrono::duration_cast<Clock::duration>(budget.left());
    const Clock::time_point deadline = std::min(begin + allowed, until);
    BusySignal busy(indicator);
    while (status != 0) {
        const Clock::time_point libraryDeadline = (status & MYSQL_WAIT_TIMEOUT)
            ? Clock::now() + std::chrono::milliseconds(mysql_get_timeout_value_ms(handle))
            : Clock::time_point::max();
        int events = 0;
        while (events == 0) {
            const Clock::time_point now = Clock::now();
            if (now >= deadline) {
                budget.spend(now - begin);
                return false;
            }
            if (now >= libraryDeadline) {
                events = MYSQL_WAIT_TIMEOUT;
                break;
            }
            events = waitForSocket(handle, status, busy.update(begin, std::min(deadline, libraryDeadline)));
        }
        status = next(events);
    }
    budget.spend(Clock::now() - begin);
    return true;
}

} // namespace granovia::nonblocking
