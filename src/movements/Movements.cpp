#include "movements/Movements.h"

#include "app/NumberFormat.h"
#include "store/DbError.h"
#include "store/Schema.h"
#include "store/Stock.h"
#include "store/WaitBudget.h"

#include <QHash>
#include <QLocale>
#include <QRandomGenerator>
#include <limits>
#include <optional>
#include <thread>

namespace granovia::movement {

namespace {

const QString NotWritten = QStringLiteral("Pohyb nebyl zapsán.");
const QString LotLabel = QStringLiteral("Partie");
const QString SpeciesLabel = QStringLiteral("Druh");
const QString VarietyLabel = QStringLiteral("Odrůda");
const QString GradeLabel = QStringLiteral("Stupeň");
const QString SiloLabel = QStringLiteral("Číslo sila");
// The pause before another try after a collision, drawn from this range.
constexpr std::pair<int, int> RetryPauseMs{20, 120};

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
bool earlierTryCommitted(Connection &connection, const Progress &progress)
{
    if (progress.unsettled.isEmpty())
        return false;
    Result lines = connection.query(progress.unsettled);
    lines.next();
    return lines.toInt(QStringLiteral("n")) > 0;
}

// Two movements that collided, on one server or on two nodes of a cluster,
// would collide again if both tried again at once: the next try waits a
// moment of its own first, out of the action's budget.
void pauseBeforeRetry()
{
    const std::chrono::nanoseconds pause = std::min<std::chrono::nanoseconds>(
        std::chrono::milliseconds(QRandomGenerator::global()->bounded(RetryPauseMs.first, RetryPauseMs.second)),
        WaitBudget::current().left());
    std::this_thread::sleep_for(pause);
    WaitBudget::current().spend(pause);
}

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
Outcome withRetry(Locking locking, Work work)
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

// A statement cut off on its way may have been carried out; one that the
// server refused was not.
void send(Connection &connection, const StatementHook &hook, Progress &progress, int number, const QString &statement)
{
    if (hook)
        hook(number);
    try {
        connection.execute(statement);
    } catch (const DbError &error) {
        progress.written = progress.written || error.isConnectionLost() || error.code() == DbError::TimeLimitReached;
        throw;
    }
    progress.written = true;
}

// Keeps other workstations out of the movement's silos until it is done: a
// transaction holding row locks, or locks on both tables where the tables
// have no transactions (starting a transaction would release those).
class MovementLock final {
public:
    MovementLock(Connection &connection, Locking locking)
        : m_connection(connection)
    {
        if (locking == Locking::Rows) {
            m_transaction.emplace(connection);
        } else {
            connection.execute(lockTables());
            connection.setHoldingTableLocks(true);
        }
    }
    ~MovementLock()
    {
        if (m_transaction)
            return;
        m_connection.setHoldingTableLocks(false);
        if (!m_connection.isOpen())
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
    QString partie;
};

// The movement's rows, locked, by their keys; a key without a row is missing.
QHash<qint64, LockedSilo> lockedSilos(Connection &connection, const QList<qint64> &ids)
{
    namespace c = schema::ppsila;
    QHash<qint64, LockedSilo> silos;
    Result rows = connection.query(lockRows(ids));
    while (rows.next())
        silos.insert(rows.toInt(c::Id), {rows.toDouble(c::Stav), rows.toDouble(c::Kapacita), rows.toText(c::Partie)});
    return silos;
}

// Ends a movement whose statements are all sent; the hook hears of the
// COMMIT as of every statement.
Outcome commit(MovementLock &lock, const StatementHook &hook)
{
    if (hook)
        hook(CommitStep);
    lock.commit();
    return Outcome::Done;
}

// Another workstation may have emptied a silo and filled it with another lot
// since it was selected: the seed leaves under the lot it was selected with,
// and a target that holds stock takes only its own lot.
bool lotsAsSelected(const LockedSilo &source, const LockedSilo *target, const QString &lot)
{
    return source.partie == lot && (!target || stock::isNone(target->stav) || target->partie == lot);
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

// One text a movement writes, and where.
struct WrittenText {
    const QString &table;
    const QString &column;
    const QString &label; // as the operator reads it
    const QString &text;
};

void requireFit(const TextColumns &columns, const WrittenText &written)
{
    const std::optional<TextColumn> column = columns.find(written.table, written.column);
    if (!column)
        return;
    const QString where = written.table == schema::ppsilap::Table ? QStringLiteral("historie pohybů")
                                                                    : QStringLiteral("tabulka sil");
    const QString name = written.table + u'.' + written.column;
    switch (fitOf(*column, written.text)) {
    case TextFit::Fits:
        return;
    case TextFit::TooLong:
        throw TextDoesNotFit(QStringLiteral("%1 „%2“ je delší, než pojme %3 (sloupec %4, nejvýše %5 znaků)!\n%6")
                                 .arg(written.label, written.text, where, name)
                                 .arg(column->maxLength)
                                 .arg(NotWritten));
    case TextFit::CharactersLost:
        throw TextDoesNotFit(QStringLiteral("%1 „%2“ obsahuje znaky, které %3 neuloží (sloupec %4 v kódování %5)!\n%6")
                                 .arg(written.label, written.text, where, name, column->charset, NotWritten));
    }
}

// The lot data as the journal line, and a transfer's target, store them.
void requireLotFits(const TextColumns &columns, const QString &table, const Lot &lot)
{
    namespace c = schema::ppsila;
    requireFit(columns, {table, c::Partie, LotLabel, lot.partie});
    requireFit(columns, {table, c::NazDru, SpeciesLabel, lot.druh});
    requireFit(columns, {table, c::NazOdru, VarietyLabel, lot.odruda});
    requireFit(columns, {table, c::Stupen, GradeLabel, lot.stupen});
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
        progress.journalCheck = countJournalLines(moved, connection.lastInsertId(), escape);
        if (hook)
            hook(transferstep::ReadSource);
        const QString fillingDate = sourceFillingDate(connection, moved);
        send(connection, hook, progress, transferstep::FillTargetDate, fillTargetDate(moved, fillingDate, escape));
        send(connection, hook, progress, transferstep::AddToTarget, addToTarget(moved, escape));
        send(connection, hook, progress, transferstep::TakeFromSource,
             takeFromSilo(moved.sourceId, moved.quantityText, moved.timestamp, escape));
        send(connection, hook, progress, transferstep::ClearSource, clearIfEmpty(moved.sourceId));
        return commit(lock, hook);
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
        progress.journalCheck = countJournalLines(moved, connection.lastInsertId(), escape);
        send(connection, hook, progress, removalstep::Take,
             takeFromSilo(moved.siloId, moved.quantityText, moved.timestamp, escape));
        send(connection, hook, progress, removalstep::Clear, clearIfEmpty(moved.siloId));
        return commit(lock, hook);
    });
}

} // namespace granovia::movement
