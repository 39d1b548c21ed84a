#include "movements/Reversal.h"

#include "movements/UnitOfWork.h"
#include "store/Schema.h"
#include "core/SiloLabel.h"
#include "store/SiloSnapshot.h"
#include "store/Stock.h"

#include <QLocale>

namespace granovia::movement {

using namespace unit;

namespace {

namespace j = schema::ppsilap;

using journal::JournalLine;

const QString DocumentLabel = QStringLiteral("Číslo dokladu");

ReversalResult refusal(ReversalOutcome outcome, int silo = 0, const LockedSilo *row = nullptr)
{
    ReversalResult result{outcome, silo, 0, {}, {}};
    if (row) {
        result.stock = row->stav;
        result.lot = row->lot.partie;
    }
    return result;
}

// The lowest row id of a silo number, as everything that moves a silo uses.
std::optional<qint64> rowOfSilo(Connection &connection, int silo)
{
    Result rows = connection.query(selectSiloByNumber(silo));
    if (!rows.next())
        return std::nullopt;
    return rows.toInt(schema::ppsila::Id);
}

std::optional<JournalLine> lineOf(Connection &connection, const QString &statement)
{
    Result result = connection.query(statement);
    return result.next() ? std::optional(journal::readLine(result)) : std::nullopt;
}

// Why a line cannot be reversed, whatever the silos hold; nothing when it
// can. Only a line with a mark costs a read: that of the line it names.
std::optional<ReversalOutcome> refusedAsLine(Connection &connection, const JournalLine &line)
{
    if (const std::optional<qint64> marked = journal::markedLineOf(line)) {
        const std::optional<JournalLine> named = lineOf(connection, selectJournalLine(*marked));
        if (named && journal::reverses(line, *named))
            return ReversalOutcome::IsReversal;
    }
    if (!journal::canBeReversed(line))
        return ReversalOutcome::NotReversible;
    return std::nullopt;
}

// A reversal of the line is booked; the lines that only carry its mark are none.
bool isReversed(Connection &connection, const JournalLine &line)
{
    Result marked = connection.query(journal::markedLinesStatement(line.id, connection.escaper()));
    while (marked.next()) {
        if (journal::reverses(journal::readLine(marked), line))
            return true;
    }
    return false;
}

// The rows of a line's silos; a removal has no target (0).
struct LineRows {
    qint64 source = 0;
    qint64 target = 0;
    QList<qint64> keys() const { return target ? QList<qint64>{source, target} : QList<qint64>{source}; }
    QList<qint32> changed() const
    {
        QList<qint32> ids;
        for (qint64 id : keys())
            ids.append(qint32(id));
        return ids;
    }
};

// Finds the rows of the line's silos; the silo without a row, if any.
std::optional<int> findRows(Connection &connection, const LineSilos &silos, LineRows &rows)
{
    const std::optional<qint64> source = rowOfSilo(connection, silos.source);
    if (!source)
        return silos.source;
    rows.source = *source;
    if (!silos.target)
        return std::nullopt;
    const std::optional<qint64> target = rowOfSilo(connection, *silos.target);
    if (!target)
        return silos.target;
    rows.target = *target;
    return std::nullopt;
}

// The silo whose row is gone, or no longer has its number, since the rows
// were found (or whose number the line no longer names); nothing when none.
std::optional<int> changedRow(const QHash<qint64, LockedSilo> &locked, const LineRows &rows, const LineSilos &silos)
{
    const auto holds = [&](qint64 id, int silo) { return id && locked.contains(id) && locked[id].silo == silo; };
    if (!holds(rows.source, silos.source))
        return silos.source;
    if (silos.target && !holds(rows.target, *silos.target))
        return silos.target;
    return std::nullopt;
}

// A silo row of the reversal, locked, and its key.
struct SiloSide {
    qint64 id = 0;
    const LockedSilo &row;
};

// One try of a reversal, once the line and the rows of its silos are locked
// and the journal holds no reversal of the line.
class ReversalTry final {
public:
    ReversalTry(Connection &connection, const StatementHook &hook, Progress &progress, const TextColumns &columns,
                qint64 lineId, const QString &timestamp)
        : m_connection(connection)
        , m_hook(hook)
        , m_progress(progress)
        , m_columns(columns)
        , m_lineId(lineId)
        , m_timestamp(timestamp)
        , m_escape(connection.escaper())
    {
    }

    // The seed goes from the silo that received it (target) back to the
    // silo it left (source), as a transfer does, the target's lot data with it.
    ReversalResult reverseTransfer(MovementLock &lock, const JournalLine &line, const LineSilos &silos,
                                   const SiloSide &source, const SiloSide &target)
    {
        const std::optional<QString> taken = takenQuantity(target.row.stav, line.mnozstvi, quantityText(line));
        if (!taken || target.row.lot.partie != line.lot.partie)
            return refusal(ReversalOutcome::SeedGone, *silos.target, &target.row);
        if (const std::optional<ReversalResult> refused = refusedInto(line, silos.source, source.row))
            return *refused;
        const TransferOrder back{silolabel::digits(*silos.target), silolabel::digits(silos.source), *taken,
                                 target.row.lot, target.id, source.id, m_timestamp};
        requireJournalFits(back.sourceNumber, back.lot);
        requireFit(m_columns, {j::Table, j::Silob, SiloLabel, back.targetNumber});
        requireLotFits(m_columns, schema::ppsila::Table, back.lot);
        send(m_connection, m_hook, m_progress, reversalstep::Journal,
             journalTransferReversal(back, m_lineId, m_escape));
        m_progress.journalCheck = countJournalLine(m_connection.lastInsertId(), back.timestamp, m_escape);
        sendTransferSteps(m_connection, m_hook, m_progress, back, m_escape);
        commit(lock, m_hook);
        return {};
    }

    // The seed comes back into the silo it left, with the line's lot data;
    // an empty silo is filled as of the reversal's time.
    ReversalResult reverseRemoval(MovementLock &lock, const JournalLine &line, const LineSilos &silos,
                                  const SiloSide &source)
    {
        if (const std::optional<ReversalResult> refused = refusedInto(line, silos.source, source.row))
            return *refused;
        const RemovalOrder back{silolabel::digits(silos.source), quantityText(line), line.lot, source.id, m_timestamp};
        requireJournalFits(back.siloNumber, back.lot);
        requireLotFits(m_columns, schema::ppsila::Table, back.lot);
        send(m_connection, m_hook, m_progress, reversalstep::Journal, journalRemovalReversal(back, m_lineId, m_escape));
        m_progress.journalCheck = countJournalLine(m_connection.lastInsertId(), back.timestamp, m_escape);
        send(m_connection, m_hook, m_progress, reversalstep::FillTargetDate,
             fillDateIfEmpty(source.id, m_timestamp, m_escape));
        send(m_connection, m_hook, m_progress, reversalstep::AddToTarget,
             addToSilo(source.id, back.quantityText, back.lot, m_timestamp, m_escape));
        commit(lock, m_hook);
        return {};
    }

private:
    static QString quantityText(const JournalLine &line)
    {
        return QString::number(line.mnozstvi, 'g', QLocale::FloatingPointShortest);
    }

    // The silo the seed goes back to takes it as a transfer's target would:
    // empty or of the same lot, and with room for it.
    static std::optional<ReversalResult> refusedInto(const JournalLine &line, int silo, const LockedSilo &row)
    {
        if (!stock::isNone(row.stav) && row.lot.partie != line.lot.partie)
            return refusal(ReversalOutcome::OtherLot, silo, &row);
        if (exceedsCapacity(line.mnozstvi, remainingAsShown(row.kapacita, row.stav)))
            return refusal(ReversalOutcome::NoCapacity, silo, &row);
        return std::nullopt;
    }

    void requireJournalFits(const QString &siloNumber, const Lot &lot)
    {
        requireFit(m_columns, {j::Table, j::Silo, SiloLabel, siloNumber});
        requireFit(m_columns, {j::Table, j::Cislopp, DocumentLabel, journal::reversalMark(m_lineId)});
        requireLotFits(m_columns, j::Table, lot);
    }

    Connection &m_connection;
    const StatementHook &m_hook;
    Progress &m_progress;
    const TextColumns &m_columns;
    qint64 m_lineId;
    const QString &m_timestamp;
    Escape m_escape;
};

} // namespace

LineSilos silosOf(const JournalLine &line)
{
    LineSilos silos{line.sourceSilo().value_or(0), std::nullopt};
    if (line.kind() == journal::LineKind::Transfer)
        silos.target = line.targetSilo();
    return silos;
}

ReversalResult executeReversal(Connection &connection, qint64 lineId, const QString &timestamp,
                               const MovementTables &tables, const StatementHook &hook)
{
    return withRetry(tables.locking, [&](Progress &progress) -> ReversalResult {
        // Which silos the line names, and their rows, are read before the
        // locks: within them, every read that must see others' work comes
        // after the locking reads, and so sees all that they committed.
        const std::optional<JournalLine> seen = lineOf(connection, selectJournalLine(lineId));
        if (!seen)
            return refusal(ReversalOutcome::LineGone);
        if (const std::optional<ReversalOutcome> refused = refusedAsLine(connection, *seen))
            return refusal(*refused);
        const LineSilos silos = silosOf(*seen);
        LineRows ids;
        if (const std::optional<int> missing = findRows(connection, silos, ids))
            return refusal(ReversalOutcome::MissingRow, *missing);

        MovementLock lock(connection, tables.locking);
        const std::optional<JournalLine> locked = lineOf(connection, lockJournalLine(lineId));
        if (!locked)
            return refusal(ReversalOutcome::LineGone);
        const JournalLine &line = *locked;
        const QHash<qint64, LockedSilo> rows = lockedSilos(connection, ids.keys());
        const ReversalResult done{ReversalOutcome::Done, 0, 0, {}, ids.changed()};
        if (earlierTryCommitted(connection, progress))
            return done;
        if (const std::optional<ReversalOutcome> refused = refusedAsLine(connection, line))
            return refusal(*refused);
        if (isReversed(connection, line))
            return refusal(ReversalOutcome::AlreadyReversed);
        const LineSilos now = silosOf(line);
        if (const std::optional<int> missing = changedRow(rows, ids, now))
            return refusal(ReversalOutcome::MissingRow, *missing);

        ReversalTry reversal(connection, hook, progress, tables.columns, lineId, timestamp);
        const LockedSilo sourceRow = rows.value(ids.source);
        const LockedSilo targetRow = rows.value(ids.target);
        const SiloSide source{ids.source, sourceRow};
        const ReversalResult result = now.target
            ? reversal.reverseTransfer(lock, line, now, source, SiloSide{ids.target, targetRow})
            : reversal.reverseRemoval(lock, line, now, source);
        return result.outcome == ReversalOutcome::Done ? done : result;
    });
}

} // namespace granovia::movement
