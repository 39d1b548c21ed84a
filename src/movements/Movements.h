#pragma once

#include "movements/Statements.h"
#include "store/Connection.h"

#include <functional>

// Transfers and removals as units of work: all their statements in one
// transaction, committed at the end and rolled back on any error.
namespace granovia::movement {

enum class Outcome { Done, NoCapacity };

// A target may take up to this much more than its remaining capacity.
constexpr long double CapacityTolerance = 2;
// A deadlock or lock wait time-out restarts the whole movement this often.
constexpr int MaxAttempts = 3;

// The capacity test: q > r + 2, in extended precision.
bool exceedsCapacity(long double quantity, long double remaining);

// Called with the number of each statement just before it is sent, and with
// CommitStep just before the COMMIT; tests use it to make a step fail.
using StatementHook = std::function<void(int statement)>;
constexpr int CommitStep = 0;

// Locks source and target, tests the quantity again against the target's
// fresh capacity (another workstation may have filled it meanwhile), then
// sends the six statements. NoCapacity leaves the database untouched.
Outcome executeTransfer(Connection &connection, const TransferOrder &order, long double quantity,
                        const StatementHook &beforeStatement = {});

// Sends the three statements of a removal.
void executeRemoval(Connection &connection, const RemovalOrder &order, const StatementHook &beforeStatement = {});

} // namespace granovia::movement
