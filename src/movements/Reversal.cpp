#include "movements/Reversal.h"

#include "movements/UnitOfWork.h"
#include "store/Schema.h"
#include "core/SiloLabel.h"
#include "store/SiloSnapshot.h"
#include "store/Stock.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace granovia::movement {

using namespace unit;

namespace {

namespace j = schema::ppsilap;

const QString ReversalPrefix = QStringLiteral("ST ");
const QString DocumentLabel = QStringLiteral("Číslo dokladu");

// The server compares texts with their trailing blanks ignored.
bool blank(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c == u' '; });
}

std::optional<QString> textOrNull(const Result &row, const QString &field)
{
    return row.isNull(field) ? std::nullopt : std::optional<QString>(row.toText(field));
}

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

// Why a line cannot be reversed, whatever the silos hold; nothing when it can.
std::optional<ReversalOutcome> refusedAsLine(const JournalEntry &line)
{
    if (kindOf(line) == EntryKind::Reversal)
        return ReversalOutcome::IsReversal;
    if (!isReversible(line))
        return ReversalOutcome::NotReversible;
    return std::nullopt;
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
    ReversalResult reverseTransfer(MovementLock &lock, const JournalEntry &line, const LineSilos &silos,
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
        m_progress.journalCheck = countJournalLines(back, m_connection.lastInsertId(), m_escape);
        sendTransferSteps(m_connection, m_hook, m_progress, back, m_escape);
        commit(lock, m_hook);
        return {};
    }

    // The seed comes back into the silo it left, with the line's lot data;
    // an empty silo is filled as of the reversal's time.
    ReversalResult reverseRemoval(MovementLock &lock, const JournalEntry &line, const LineSilos &silos,
                                  const SiloSide &source)
    {
        if (const std::optional<ReversalResult> refused = refusedInto(line, silos.source, source.row))
            return *refused;
        const RemovalOrder back{silolabel::digits(silos.source), quantityText(line), line.lot, source.id, m_timestamp};
        requireJournalFits(back.siloNumber, back.lot);
        requireLotFits(m_columns, schema::ppsila::Table, back.lot);
        send(m_connection, m_hook, m_progress, reversalstep::Journal, journalRemovalReversal(back, m_lineId, m_escape));
        m_progress.journalCheck = countJournalLines(back, m_connection.lastInsertId(), m_escape);
        send(m_connection, m_hook, m_progress, reversalstep::FillTargetDate,
             fillDateIfEmpty(source.id, m_timestamp, m_escape));
        send(m_connection, m_hook, m_progress, reversalstep::AddToTarget,
             addToSilo(source.id, back.quantityText, back.lot, m_timestamp, m_escape));
        commit(lock, m_hook);
        return {};
    }

private:
    static QString quantityText(const JournalEntry &line)
    {
        return QString::number(line.mnozstvi, 'g', QLocale::FloatingPointShortest);
    }

    // The silo the seed goes back to takes it as a transfer's target would:
    // empty or of the same lot, and with room for it.
    static std::optional<ReversalResult> refusedInto(const JournalEntry &line, int silo, const LockedSilo &row)
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
        requireFit(m_columns, {j::Table, j::Cislopp, DocumentLabel, reversalMark(m_lineId)});
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

JournalEntry journalEntryOf(const Result &row)
{
    return {row.toInt(j::Id),
            row.toText(j::Silo),
            textOrNull(row, j::Silob),
            textOrNull(row, j::Cislopp),
            row.toDouble(j::Mnozstvi),
            {row.toText(j::Partie), row.toText(j::NazDru), row.toText(j::NazOdru), row.toText(j::Stupen)}};
}

EntryKind kindOf(const JournalEntry &entry)
{
    if (entry.cislopp && entry.cislopp->startsWith(ReversalPrefix, Qt::CaseInsensitive))
        return EntryKind::Reversal;
    if (!entry.silob)
        return EntryKind::Other;
    if (!blank(*entry.silob))
        return EntryKind::Transfer;
    return entry.cislopp && blank(*entry.cislopp) ? EntryKind::Removal : EntryKind::Other;
}

std::optional<qint64> reversedLineOf(const JournalEntry &entry)
{
    if (kindOf(entry) != EntryKind::Reversal)
        return std::nullopt;
    bool ok = false;
    const qint64 id = entry.cislopp->mid(ReversalPrefix.size()).trimmed().toLongLong(&ok);
    return ok ? std::optional<qint64>(id) : std::nullopt;
}

bool isReversible(const JournalEntry &entry)
{
    const EntryKind kind = kindOf(entry);
    if ((kind != EntryKind::Transfer && kind != EntryKind::Removal) || !std::isfinite(entry.mnozstvi)
        || entry.mnozstvi <= 0)
        return false;
    const std::optional<int> source = silolabel::siloOfJournalText(entry.silo);
    if (!source)
        return false;
    if (kind == EntryKind::Removal)
        return true;
    const std::optional<int> target = silolabel::siloOfJournalText(*entry.silob);
    return target && *target != *source;
}

LineSilos silosOf(const JournalEntry &entry)
{
    LineSilos silos{silolabel::siloOfJournalText(entry.silo).value_or(0), std::nullopt};
    if (kindOf(entry) == EntryKind::Transfer)
        silos.target = silolabel::siloOfJournalText(*entry.silob);
    return silos;
}

ReversalResult executeReversal(Connection &connection, qint64 lineId, const QString &timestamp,
                               const MovementTables &tables, const StatementHook &hook)
{
    return withRetry(tables.locking, [&](Progress &progress) -> ReversalResult {
        // Which silos the line names, and their rows, are read before the
        // locks: within them, every read that must see others' work comes
        // after the locking reads, and so sees all that they committed.
        Result seen = connection.query(selectJournalLine(lineId));
        if (!seen.next())
            return refusal(ReversalOutcome::LineGone);
        if (const std::optional<ReversalOutcome> refused = refusedAsLine(journalEntryOf(seen)))
            return refusal(*refused);
        const LineSilos silos = silosOf(journalEntryOf(seen));
        LineRows ids;
        if (const std::optional<int> missing = findRows(connection, silos, ids))
            return refusal(ReversalOutcome::MissingRow, *missing);

        MovementLock lock(connection, tables.locking);
        Result locked = connection.query(lockJournalLine(lineId));
        if (!locked.next())
            return refusal(ReversalOutcome::LineGone);
        const JournalEntry line = journalEntryOf(locked);
        const QHash<qint64, LockedSilo> rows = lockedSilos(connection, ids.keys());
        const ReversalResult done{ReversalOutcome::Done, 0, 0, {}, ids.changed()};
        if (earlierTryCommitted(connection, progress))
            return done;
        if (const std::optional<ReversalOutcome> refused = refusedAsLine(line))
            return refusal(*refused);
        Result reversals = connection.query(countReversals(lineId, connection.escaper()));
        reversals.next();
        if (reversals.toInt(QStringLiteral("n")) > 0)
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
