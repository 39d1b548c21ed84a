#include "movements/Movements.h"

#include "app/NumberFormat.h"
#include "store/DbError.h"
#include "store/Schema.h"
#include "store/Stock.h"

#include <QHash>
#include <QLocale>
#include <limits>
#include <optional>

namespace granovia::movement {

namespace {

template <typename Work>
auto withRetry(Work work)
{
    for (int attempt = 1;; ++attempt) {
        try {
            return work();
        } catch (const DbError &error) {
            if (!error.isTransient() || attempt == MaxAttempts)
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

// Keeps other workstations out of the movement's silos until it is done: a
// transaction holding row locks, or locks on both tables where the tables
// have no transactions (starting a transaction would release those).
class MovementLock final {
public:
    MovementLock(Connection &connection, Locking locking)
        : m_connection(connection)
    {
        if (locking == Locking::Rows)
            m_transaction.emplace(connection);
        else
            connection.execute(LockTables);
    }
    ~MovementLock()
    {
        if (m_transaction || !m_connection.isOpen())
            return;
        try {
            m_connection.execute(UnlockTables);
        } catch (const DbError &) {
            // The session is gone, and its table locks with it.
        }
    }
    Q_DISABLE_COPY_MOVE(MovementLock)

    void commit()
    {
        if (m_transaction)
            m_transaction->commit();
    }

private:
    Connection &m_connection;
    std::optional<Transaction> m_transaction;
};

struct LockedSilo {
    double stav = 0; // NULL reads as 0
    double kapacita = 0;
};

// The movement's rows, locked, by their keys; a key without a row is missing.
QHash<qint64, LockedSilo> lockedSilos(Connection &connection, const QList<qint64> &ids)
{
    namespace c = schema::ppsila;
    QHash<qint64, LockedSilo> silos;
    Result rows = connection.query(lockRows(ids));
    while (rows.next())
        silos.insert(rows.toInt(c::Id), {rows.toDouble(c::Stav), rows.toDouble(c::Kapacita)});
    return silos;
}

// The quantity text of what leaves the source: as ordered, or the whole
// stored stock, to the last bit, when less than a negligible remainder would
// stay. Nothing when the source no longer holds the quantity.
std::optional<QString> takenQuantity(double stock, long double quantity, const QString &quantityText)
{
    const long double rest = stock - quantity;
    if (stock < stock::Negligible || rest <= -stock::Negligible)
        return std::nullopt;
    if (rest < stock::Negligible)
        return QString::number(stock, 'g', QLocale::FloatingPointShortest);
    return quantityText;
}

// The source's filling date; the zero time when it has none, or one that is
// no real time (the zero date, a day 0).
QString sourceFillingDate(Connection &connection, const TransferOrder &order)
{
    Result source = connection.query(selectSourceRow(order));
    source.next();
    const std::optional<QDateTime> navoz = parseTimestamp(source.toText(schema::ppsila::Navoz));
    return navoz ? formatTimestamp(*navoz) : ZeroTimestamp;
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
    Result tables = connection.query(TransactionSupport);
    while (tables.next()) {
        if (tables.toText(QStringLiteral("transactions")) != QStringLiteral("YES"))
            return Locking::Tables;
    }
    return Locking::Rows;
}

Outcome executeTransfer(Connection &connection, const TransferOrder &order, long double quantity, Locking locking,
                        const StatementHook &hook)
{
    const Escape escape = connection.escaper();
    return withRetry([&] {
        MovementLock lock(connection, locking);
        const QHash<qint64, LockedSilo> silos = lockedSilos(connection, {order.sourceId, order.targetId});
        if (!silos.contains(order.sourceId) || !silos.contains(order.targetId))
            return Outcome::MissingRow;
        const std::optional<QString> taken = takenQuantity(silos[order.sourceId].stav, quantity, order.quantityText);
        if (!taken)
            return Outcome::StockChanged;
        const LockedSilo target = silos[order.targetId];
        // The same test as on the panel's text, so that unchanged values pass here too.
        if (exceedsCapacity(quantity, remainingAsShown(target.kapacita, target.stav)))
            return Outcome::NoCapacity;
        TransferOrder moved = order;
        moved.quantityText = *taken;
        send(connection, hook, 1, journalTransfer(moved, escape));
        if (hook)
            hook(2);
        const QString fillingDate = sourceFillingDate(connection, moved);
        send(connection, hook, 3, fillTargetDate(moved, fillingDate, escape));
        send(connection, hook, 4, addToTarget(moved, escape));
        send(connection, hook, 5, takeFromSilo(moved.sourceId, moved.quantityText, moved.timestamp, escape));
        send(connection, hook, 6, clearIfEmpty(moved.sourceId));
        lock.commit();
        return Outcome::Done;
    });
}

Outcome executeRemoval(Connection &connection, const RemovalOrder &order, long double quantity, Locking locking,
                       const StatementHook &hook)
{
    const Escape escape = connection.escaper();
    return withRetry([&] {
        MovementLock lock(connection, locking);
        const QHash<qint64, LockedSilo> silos = lockedSilos(connection, {order.siloId});
        if (!silos.contains(order.siloId))
            return Outcome::MissingRow;
        const std::optional<QString> taken = takenQuantity(silos[order.siloId].stav, quantity, order.quantityText);
        if (!taken)
            return Outcome::StockChanged;
        RemovalOrder moved = order;
        moved.quantityText = *taken;
        send(connection, hook, 1, journalRemoval(moved, escape));
        send(connection, hook, 2, takeFromSilo(moved.siloId, moved.quantityText, moved.timestamp, escape));
        send(connection, hook, 3, clearIfEmpty(moved.siloId));
        lock.commit();
        return Outcome::Done;
    });
}

} // namespace granovia::movement
