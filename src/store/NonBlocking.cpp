#include "store/NonBlocking.h"

#include <poll.h>

namespace granovia::nonblocking {

int waitForSocket(MYSQL *handle, int status, Clock::time_point until)
{
    pollfd socket{mysql_get_socket(handle), 0, 0};
    socket.events = short(((status & MYSQL_WAIT_READ) ? POLLIN : 0) | ((status & MYSQL_WAIT_WRITE) ? POLLOUT : 0)
                          | ((status & MYSQL_WAIT_EXCEPT) ? POLLPRI : 0));
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
    if (wait.count() <= 0 || poll(&socket, 1, int(wait.count())) <= 0)
        return 0;
    // An error or a hang-up is for the library to read and report.
    const bool broken = socket.revents & (POLLERR | POLLHUP | POLLNVAL);
    return ((socket.revents & POLLIN) || broken ? MYSQL_WAIT_READ : 0)
        | ((socket.revents & POLLOUT) || broken ? MYSQL_WAIT_WRITE : 0)
        | ((socket.revents & POLLPRI) ? MYSQL_WAIT_EXCEPT : 0);
}

BusySignal::~BusySignal()
{
    if (m_shown)
        m_indicator(false);
}

Clock::time_point BusySignal::update(Clock::time_point begin, Clock::time_point until)
{
    if (m_shown || !m_indicator)
        return until;
    const Clock::time_point showAt = begin + BusyAfter;
    if (Clock::now() < showAt)
        return std::min(until, showAt);
    m_shown = true;
    m_indicator(true);
    return until;
}

} // namespace granovia::nonblocking
