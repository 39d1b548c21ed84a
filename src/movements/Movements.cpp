#include "movements/Movements.h"

#include "store/DbError.h"
#include "store/Schema.h"
#include "store/WaitBudget.h"

namespace granovia::movement {

namespace {

// True when the movement's own journal line is there: its transaction committed.
template <typename CountLines>
bool committed(Connection &connection, const CountLines &countLines)
{
    try {
        Result lines = connection.query(countLines());
        lines.next();
        return lines.toInt(QStringLiteral("n")) > 0;
    } catch (const DbError &error) {
        // Neither booked again nor reported as not done: the operator must look.
        throw DbError(DbError::OutcomeUnknown, error.serverMessage());
    }
}

// Runs a movement's unit of work again after a deadlock, a lock wait time-out
// or a session lost before its COMMIT, all of which the server rolled back; at
// most MaxAttempts times, and only while the action's wait budget lasts. A
// COMMIT whose answer was lost is settled by the movement's journal line, so
// that no movement is ever booked twice.
template <typename CountLines, typename Work>
Outcome withRetry(Connection &connection, const CountLines &countLines, Work work)
{
    const WaitBudget budget;
    for (int attempt = 1;; ++attempt) {
        try {
            return work();
        } catch (const DbError &error) {
            const bool commitUnanswered = error.code() == DbError::CommitUnanswered;
            if (commitUnanswered && committed(connection, countLines))
                return Outcome::Done;
            const bool rolledBack = commitUnanswered || error.isTransient() || error.isConnectionLost();
            if (!rolledBack || attempt == MaxAttempts || WaitBudget::current().left() <= std::chrono::nanoseconds::zero())
                throw;
        }
    }
}

void send(Connection &connection, const StatementHook &hook, int number, const QString &statement)
{
    if (hook)
        hook(number);
    connection.execute(statement);
}

long double lockedRemainingCapacity(Connection &connection, const TransferOrder &order)
{
    namespace c = schema::ppsila;
    Result rows = connection.query(lockRows({order.sourceId, order.targetId}));
    while (rows.next()) {
        if (rows.toInt(c::Id) == order.targetId)
            return static_cast<long double>(rows.toDouble(c::Kapacita)) - rows.toDouble(c::Stav);
    }
    return 0; // a target without a row takes nothing
}

// The source's filling date; the zero time when it has none.
QString sourceFillingDate(Connection &connection, const TransferOrder &order)
{
    Result source = connection.query(selectSourceRow(order));
    if (!source.next() || source.isNull(schema::ppsila::Navoz))
        return ZeroTimestamp;
    return source.toText(schema::ppsila::Navoz);
}

} // namespace

bool exceedsCapacity(long double quantity, long double remaining)
{
    return quantity > remaining + CapacityTolerance;
}

Outcome executeTransfer(Connection &connection, const TransferOrder &order, long double quantity,
                        const StatementHook &hook)
{
    const Escape escape = connection.escaper();
    return withRetry(connection, [&] { return countJournalLines(order, escape); }, [&] {
        Transaction transaction(connection);
        if (exceedsCapacity(quantity, lockedRemainingCapacity(connection, order)))
            return Outcome::NoCapacity;
        send(connection, hook, 1, journalTransfer(order, escape));
        if (hook)
            hook(2);
        const QString fillingDate = sourceFillingDate(connection, order);
        send(connection, hook, 3, fillTargetDate(order, fillingDate, escape));
        send(connection, hook, 4, addToTarget(order, escape));
        send(connection, hook, 5, takeFromSilo(order.sourceId, order.quantityText, order.timestamp, escape));
        send(connection, hook, 6, clearIfEmpty(order.sourceId));
        if (hook)
            hook(CommitStep);
        transaction.commit();
        return Outcome::Done;
    });
}

void executeRemoval(Connection &connection, const RemovalOrder &order, const StatementHook &hook)
{
    const Escape escape = connection.escaper();
    withRetry(connection, [&] { return countJournalLines(order, escape); }, [&] {
        Transaction transaction(connection);
        connection.query(lockRows({order.siloId}));
        send(connection, hook, 1, journalRemoval(order, escape));
        send(connection, hook, 2, takeFromSilo(order.siloId, order.quantityText, order.timestamp, escape));
        send(connection, hook, 3, clearIfEmpty(order.siloId));
        if (hook)
            hook(CommitStep);
        transaction.commit();
        return Outcome::Done;
    });
}

} // namespace granovia::movement
