#pragma once

#include "movements/Statements.h"
#include "store/Connection.h"
#include "store/DbError.h"
#include "store/TextColumns.h"

#include <functional>

// Transfers and removals as units of work: all their statements in one
// transaction, committed at the end and rolled back on any error.
namespace granovia::movement {

enum class Outcome {
    Done,
    NoCapacity,   // the target cannot take the quantity
    MissingRow,   // the source's or the target's row no longer exists
    StockChanged, // the source holds less than the quantity now
};

// How a movement keeps other workstations out while it re-tests and writes:
// row locks in a transaction, or, on tables without transactions, locks on
// the whole tables (a failing statement then cannot be rolled back).
enum class Locking { Rows, Tables };

// The movement tables as a movement needs to know them: how it locks, and
// what their text columns hold. Nothing known of the columns: no text test.
struct MovementTables {
    MovementTables(Locking how = Locking::Rows, TextColumns texts = {})
        : locking(how)
        , columns(std::move(texts))
    {
    }
    Locking locking;
    TextColumns columns;
};

// A text of the movement that a column it is written into would not hold as
// it is: longer than the column, or with characters outside its character
// set. Nothing of the movement is written then.
class TextDoesNotFit final : public AppError {
public:
    using AppError::AppError;
};

// A target may take up to this much more than its remaining capacity.
constexpr long double CapacityTolerance = 2;
// A deadlock or lock wait time-out restarts the whole movement this often.
constexpr int MaxAttempts = 3;

// The capacity test: q > r + 2, in extended precision.
bool exceedsCapacity(long double quantity, long double remaining);
// The remaining capacity kapacita − stav as the target panel shows it, in the
// general form of 15 significant digits, read back as a number.
long double remainingAsShown(double kapacita, double stav);

// Rows when both ppsila and ppsilap support transactions, Tables otherwise.
Locking lockingFor(Connection &connection);
// The locking and the text columns of the current database. Throws DbError.
MovementTables describeTables(Connection &connection);

// Called with the number of each statement just before it is sent, and with
// CommitStep just before the COMMIT; tests use it to make a step fail.
using StatementHook = std::function<void(int statement)>;
constexpr int CommitStep = 0;
// The statements of a transfer, in their order.
namespace transferstep {
constexpr int Journal = 1;
constexpr int ReadSource = 2;
constexpr int FillTargetDate = 3;
constexpr int AddToTarget = 4;
constexpr int TakeFromSource = 5;
constexpr int ClearSource = 6;
constexpr int Count = ClearSource;
} // namespace transferstep
// The statements of a removal, in their order.
namespace removalstep {
constexpr int Journal = 1;
constexpr int Take = 2;
constexpr int Clear = 3;
constexpr int Count = Clear;
} // namespace removalstep

// Locks source and target and tests again on their fresh values: both rows
// exist, the source still holds the quantity, the target can take it. Then
// sends the six statements. Anything but Done leaves the database untouched.
// A quantity that leaves the source less than stock::Negligible moves the
// source's whole stored stock, so that the silo ends exactly empty.
// A text that the columns would not hold exactly throws TextDoesNotFit before
// anything is sent.
Outcome executeTransfer(Connection &connection, const TransferOrder &order, long double quantity,
                        const MovementTables &tables = {}, const StatementHook &beforeStatement = {});

// Locks the silo, tests its row and stock as a transfer does its source, and
// sends the three statements of a removal.
Outcome executeRemoval(Connection &connection, const RemovalOrder &order, long double quantity,
                       const MovementTables &tables = {}, const StatementHook &beforeStatement = {});

} // namespace granovia::movement
