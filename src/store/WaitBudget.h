#pragma once

#include <chrono>

namespace granovia {

// How long one operator action may keep the window waiting on the database:
// its statements, reconnects and retries together. Only the waits count, not
// the time the operator spends in a dialog the action shows.
//
// A budget belongs to the thread and the event-loop level it was made on.
// A budget made where one is already running joins it, so a movement's
// retries spend from the budget of the click that ordered it; the events of
// a nested loop (a modal dialog, the silo board) are actions of their own.
class WaitBudget final {
public:
    // An operator waits ten seconds at most; about one of them is left for
    // the work around the database (painting, reading the answers).
    static constexpr std::chrono::milliseconds Total{9000};

    enum class Start { JoinRunning, Fresh };

    explicit WaitBudget(Start start = Start::JoinRunning);
    ~WaitBudget();
    WaitBudget(const WaitBudget &) = delete;
    WaitBudget &operator=(const WaitBudget &) = delete;

    // The budget the current thread's database waits spend from; only valid
    // while a WaitBudget lives on this thread.
    static WaitBudget &current();

    std::chrono::nanoseconds left() const { return m_left; }
    void spend(std::chrono::nanoseconds elapsed);

private:
    bool m_joined = false;
    WaitBudget *m_previous = nullptr;
    int m_loopLevel = 0;
    std::chrono::nanoseconds m_left = Total;
};

} // namespace granovia
