#pragma once

#include "store/WaitBudget.h"

#include <QtGlobal>
#include <chrono>

// How often a running window looks at the database for what others changed,
// and what one look may cost: the console's live view and the board's glyphs.
namespace granovia::polling {

constexpr std::chrono::milliseconds Interval{500};
// After a failed look: a server that is gone is not asked twice a second.
constexpr std::chrono::milliseconds RetryInterval{15000};

// What a look may keep the window waiting on a server that stalls; past it
// the look gives up, quietly, where an operator's action would still wait.
class Budget final {
public:
    static constexpr std::chrono::milliseconds Allowed{1000};
    Budget()
        : m_budget(WaitBudget::Start::Fresh)
    {
        m_budget.spend(WaitBudget::Total - Allowed);
    }
    Q_DISABLE_COPY_MOVE(Budget)

private:
    WaitBudget m_budget;
};

} // namespace granovia::polling
