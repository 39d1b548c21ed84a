#pragma once

#include "movements/Movements.h"
#include "store/WaitBudget.h"

#include <QHash>
#include <optional>

// What every movement's unit of work is made of: its locks, its retries, the
// settlement of a COMMIT whose answer was lost, the re-tests on the locked
// rows and the test of its texts. Used by the movements alone.
namespace granovia::movement::unit {

// What one try of a movement has sent so far.
struct Progress {
    // A statement that changes data has been sent.
    bool written = false;
    // Counts the movement's journal line, once that line has been sent.
    QString journalCheck;
    // Counts the journal line of an earlier try whose COMMIT went unanswered;
    // empty when there was none.
    QString unsettled;
};

// True when an earlier try's COMMIT, whose answer was lost, went through. Asked
// under the movement's row locks: that try's transaction held them, so it has
// ended, one way or the other, by the time this try has them.
bool earlierTryCommitted(Connection &connection, const Progress &progress);

// Two movements that collided, on one server or on two nodes of a cluster,
// would collide again if both tried again at once: the next try waits a
// moment of its own first, out of the action's budget.
void pauseBeforeRetry();

// Runs a movement's unit of work again after a deadlock, a lock wait time-out
// or a session lost before its COMMIT, all of which the server rolled back; at
// most MaxAttempts times, and only while the action's wait budget lasts. A
// COMMIT whose answer was lost is settled by the movement's journal line,
// counted by the next try under its locks, so that no movement is ever booked
// twice; a COMMIT that no try could settle is reported as of unknown outcome.
// Tables without transactions keep every statement sent: a try that failed
// after writing is never repeated, and the operator learns that the movement
// is only partly written.
template <typename Work>
auto withRetry(Locking locking, Work work) -> decltype(work(std::declval<Progress &>()))
{
    const WaitBudget budget;
    QString unsettled;
    for (int attempt = 1;; ++attempt) {
        Progress progress{false, {}, unsettled};
        try {
            return work(progress);
        } catch (const DbError &error) {
            if (locking == Locking::Tables && progress.written)
                throw DbError(DbError::PartlyWritten, error.message(), error.statement());
            const bool commitUnanswered = error.code() == DbError::CommitUnanswered;
            if (commitUnanswered)
                unsettled = progress.journalCheck;
            const bool rolledBack = commitUnanswered || error.isTransient() || error.isConnectionLost();
            const bool timeLeft = WaitBudget::current().left() > std::chrono::nanoseconds::zero();
            if (rolledBack && attempt < MaxAttempts && timeLeft) {
                if (error.isTransient())
                    pauseBeforeRetry();
                continue;
            }
            if (!unsettled.isEmpty())
                throw DbError(DbError::OutcomeUnknown, error.serverMessage(), error.statement());
            throw;
        }
    }
}

// Sends one statement of the movement, telling the hook first. A statement
// cut off on its way may have been carried out; one that the server refused
// was not.
void send(Connection &connection, const StatementHook &hook, Progress &progress, int number, const QString &statement);

// Keeps other workstations out of the movement's silos until it is done: a
// transaction holding row locks, or locks on both tables where the tables
// have no transactions (starting a transaction would release those).
class MovementLock final {
public:
    MovementLock(Connection &connection, Locking locking);
    ~MovementLock();
    Q_DISABLE_COPY_MOVE(MovementLock)

    void commit();

private:
    Connection &m_connection;
    std::optional<Transaction> m_transaction;
};

struct LockedSilo {
    qint64 silo = 0;
    double stav = 0; // NULL reads as 0
    double kapacita = 0;
    Lot lot;
};

// The movement's rows, locked, by their keys; a key without a row is missing.
QHash<qint64, LockedSilo> lockedSilos(Connection &connection, const QList<qint64> &ids);

// Ends a movement whose statements are all sent; the hook hears of the
// COMMIT as of every statement.
void commit(MovementLock &lock, const StatementHook &hook);

// The quantity text of what leaves the source: as ordered, or the whole
// stored stock, to the last bit, when less than a negligible remainder would
// stay. Nothing when the source no longer holds the quantity.
std::optional<QString> takenQuantity(double stock, long double quantity, const QString &quantityText);

// A transfer's statements 2 to 6, after its journal line: the source's
// filling date into an empty target, the stock from the source to the
// target, and the source cleared when it ends empty.
void sendTransferSteps(Connection &connection, const StatementHook &hook, Progress &progress,
                       const TransferOrder &moved, const Escape &escape);

// One text a movement writes, and where.
struct WrittenText {
    const QString &table;
    const QString &column;
    const QString &label; // as the operator reads it
    const QString &text;
};

// Throws TextDoesNotFit when the column would not hold the text exactly.
void requireFit(const TextColumns &columns, const WrittenText &written);
// The lot data as the journal line, or a silo row, stores them.
void requireLotFits(const TextColumns &columns, const QString &table, const Lot &lot);

inline const QString SiloLabel = QStringLiteral("Číslo sila");

} // namespace granovia::movement::unit
