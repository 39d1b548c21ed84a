#include "movements/UnitOfWork.h"

#include "store/Schema.h"
#include "store/Stock.h"

#include <QLocale>
#include <QRandomGenerator>
#include <thread>

namespace granovia::movement::unit {

namespace {

const QString NotWritten = QStringLiteral("Pohyb nebyl zapsán.");
const QString LotLabel = QStringLiteral("Partie");
const QString SpeciesLabel = QStringLiteral("Druh");
const QString VarietyLabel = QStringLiteral("Odrůda");
const QString GradeLabel = QStringLiteral("Stupeň");
// The pause before another try after a collision, drawn from this range.
constexpr std::pair<int, int> RetryPauseMs{20, 120};

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

bool earlierTryCommitted(Connection &connection, const Progress &progress)
{
    if (progress.unsettled.isEmpty())
        return false;
    Result lines = connection.query(progress.unsettled);
    lines.next();
    return lines.toInt(QStringLiteral("n")) > 0;
}

void pauseBeforeRetry()
{
    const std::chrono::nanoseconds pause = std::min<std::chrono::nanoseconds>(
        std::chrono::milliseconds(QRandomGenerator::global()->bounded(RetryPauseMs.first, RetryPauseMs.second)),
        WaitBudget::current().left());
    std::this_thread::sleep_for(pause);
    WaitBudget::current().spend(pause);
}

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

MovementLock::MovementLock(Connection &connection, Locking locking)
    : m_connection(connection)
{
    if (locking == Locking::Rows) {
        m_transaction.emplace(connection);
    } else {
        connection.execute(lockTables());
        connection.setHoldingTableLocks(true);
    }
}

MovementLock::~MovementLock()
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

void MovementLock::commit()
{
    if (m_transaction)
        m_transaction->commit();
}

QHash<qint64, LockedSilo> lockedSilos(Connection &connection, const QList<qint64> &ids)
{
    namespace c = schema::ppsila;
    QHash<qint64, LockedSilo> silos;
    Result rows = connection.query(lockRows(ids));
    while (rows.next()) {
        const Lot lot{rows.toText(c::Partie), rows.toText(c::NazDru), rows.toText(c::NazOdru), rows.toText(c::Stupen)};
        silos.insert(rows.toInt(c::Id), {rows.toInt(c::Silo), rows.toDouble(c::Stav), rows.toDouble(c::Kapacita), lot});
    }
    return silos;
}

void commit(MovementLock &lock, const StatementHook &hook)
{
    if (hook)
        hook(CommitStep);
    lock.commit();
}

std::optional<QString> takenQuantity(double stock, long double quantity, const QString &quantityText)
{
    const long double rest = stock - quantity;
    if (stock < stock::Negligible || rest <= -stock::Negligible)
        return std::nullopt;
    if (rest < stock::Negligible)
        return QString::number(stock, 'g', QLocale::FloatingPointShortest);
    return quantityText;
}

void sendTransferSteps(Connection &connection, const StatementHook &hook, Progress &progress,
                       const TransferOrder &moved, const Escape &escape)
{
    if (hook)
        hook(transferstep::ReadSource);
    const QString fillingDate = sourceFillingDate(connection, moved);
    send(connection, hook, progress, transferstep::FillTargetDate,
         fillDateIfEmpty(moved.targetId, fillingDate, escape));
    send(connection, hook, progress, transferstep::AddToTarget,
         addToSilo(moved.targetId, moved.quantityText, moved.lot, moved.timestamp, escape));
    send(connection, hook, progress, transferstep::TakeFromSource,
         takeFromSilo(moved.sourceId, moved.quantityText, moved.timestamp, escape));
    send(connection, hook, progress, transferstep::ClearSource, clearIfEmpty(moved.sourceId));
}

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

void requireLotFits(const TextColumns &columns, const QString &table, const Lot &lot)
{
    namespace c = schema::ppsila;
    requireFit(columns, {table, c::Partie, LotLabel, lot.partie});
    requireFit(columns, {table, c::NazDru, SpeciesLabel, lot.druh});
    requireFit(columns, {table, c::NazOdru, VarietyLabel, lot.odruda});
    requireFit(columns, {table, c::Stupen, GradeLabel, lot.stupen});
}

} // namespace granovia::movement::unit
