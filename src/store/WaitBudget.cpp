#include "store/WaitBudget.h"

#include <QThread>

namespace granovia {

namespace {

thread_local WaitBudget *running = nullptr;

int loopLevel()
{
    return QThread::currentThread()->loopLevel();
}

} // namespace

WaitBudget::WaitBudget(Start start)
    : m_loopLevel(loopLevel())
{
    if (start == Start::JoinRunning && running && running->m_loopLevel == m_loopLevel) {
        m_joined = true;
        return;
    }
    m_previous = running;
    running = this;
}

WaitBudget::~WaitBudget()
{
    if (!m_joined)
        running = m_previous;
}

WaitBudget &WaitBudget::current()
{
    return *running;
}

void WaitBudget::spend(std::chrono::nanoseconds elapsed)
{
    m_left = std::max(std::chrono::nanoseconds::zero(), m_left - elapsed);
}

} // namespace granovia
