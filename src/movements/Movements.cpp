#include "movements/Movements.h"

#include "config/NumberFormat.h"
#include "movements/UnitOfWork.h"
#include "store/Schema.h"
#include "store/Stock.h"

#include <limits>

namespace granovia::movement {

using namespace unit;

namespace {

// Another workstation may have emptied a silo and filled it with another lot
// since it was selected: the seed leaves under the lot it was selected with,
// and a target that holds stock takes only its own lot.
bool lotsAsSelected(const LockedSilo &source, const LockedSilo *target, const QString &lot)
{
    return source.lot.partie == lot && (!target || stock::isNone(target->stav) || target->lot.partie == lot);
}

} // namespace

bool exceedsCapacity(long double quantity, long double remaining)
{
    return quantity > remaining + CapacityTolerance;
}

long double remainingAsShown(double kapacita, double stav)
{
    // A difference that is no finite number shows as no number: nothing fits.
    return numbers::parse(numbers::general(kapacita - stav)).value_or(-std::numeric_limits<long double>::infinity());
}

Locking lockingFor(Connection &connection)
{
    Result tables = connection.query(transactionSupport());
    while (tables.next()) {
        if (tables.toText(QStringLiteral("transactions")) != QStringLiteral("YES"))
            return Locking::Tables;
    }
    return Locking::Rows;
}

MovementTables describeTables(Connection &connection)
{
    return {lockingFor(connection), readTextColumns(connection)};
}

Outcome executeTransfer(Connection &connection, const TransferOrder &order, long double quantity,
                        const MovementTables &tables, const StatementHook &hook)
{
    namespace j = schema::ppsilap;
    requireFit(tables.columns, {j::Table, j::Silo, SiloLabel, order.sourceNumber});
    requireFit(tables.columns, {j::Table, j::Silob, SiloLabel, order.targetNumber});
    requireLotFits(tables.columns, j::Table, order.lot);
    requireLotFits(tables.columns, schema::ppsila::Table, order.lot);
    const Escape escape = connection.escaper();
    return withRetry(tables.locking, [&](Progress &progress) {
        MovementLock lock(connection, tables.locking);
        const QHash<qint64, LockedSilo> silos = lockedSilos(connection, {order.sourceId, order.targetId});
        if (earlierTryCommitted(connection, progress))
            return Outcome::Done;
        if (!silos.contains(order.sourceId) || !silos.contains(order.targetId))
            return Outcome::MissingRow;
        const LockedSilo target = silos[order.targetId];
        const std::optional<QString> taken = takenQuantity(silos[order.sourceId].stav, quantity, order.quantityText);
        if (!taken || !lotsAsSelected(silos[order.sourceId], &target, order.lot.partie))
            return Outcome::StockChanged;
        // The same test as on the panel's text, so that unchanged values pass here too.
        if (exceedsCapacity(quantity, remainingAsShown(target.kapacita, target.stav)))
            return Outcome::NoCapacity;
        TransferOrder moved = order;
        moved.quantityText = *taken;
        send(connection, hook, progress, transferstep::Journal, journalTransfer(moved, escape));
        progress.journalCheck = countJournalLine(connection.lastInsertId(), moved.timestamp, escape);
        sendTransferSteps(connection, hook, progress, moved, escape);
        commit(lock, hook);
        return Outcome::Done;
    });
}

Outcome executeRemoval(Connection &connection, const RemovalOrder &order, long double quantity,
                       const MovementTables &tables, const StatementHook &hook)
{
    namespace j = schema::ppsilap;
    requireFit(tables.columns, {j::Table, j::Silo, SiloLabel, order.siloNumber});
    requireLotFits(tables.columns, j::Table, order.lot);
    const Escape escape = connection.escaper();
    return withRetry(tables.locking, [&](Progress &progress) {
        MovementLock lock(connection, tables.locking);
        const QHash<qint64, LockedSilo> silos = lockedSilos(connection, {order.siloId});
        if (earlierTryCommitted(connection, progress))
            return Outcome::Done;
        if (!silos.contains(order.siloId))
            return Outcome::MissingRow;
        const std::optional<QString> taken = takenQuantity(silos[order.siloId].stav, quantity, order.quantityText);
        if (!taken || !lotsAsSelected(silos[order.siloId], nullptr, order.lot.partie))
            return Outcome::StockChanged;
        RemovalOrder moved = order;
        moved.quantityText = *taken;
        send(connection, hook, progress, removalstep::Journal, journalRemoval(moved, escape));
        progress.journalCheck = countJournalLine(connection.lastInsertId(), moved.timestamp, escape);
        send(connection, hook, progress, removalstep::Take,
             takeFromSilo(moved.siloId, moved.quantityText, moved.timestamp, escape));
        send(connection, hook, progress, removalstep::Clear, clearIfEmpty(moved.siloId));
        commit(lock, hook);
        return Outcome::Done;
    });
}

} // namespace granovia::movement
