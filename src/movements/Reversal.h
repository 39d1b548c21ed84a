#pragma once

#include "journal/Reversals.h"
#include "movements/Movements.h"

#include <QList>
#include <optional>

// The reversal of a wrong movement: a booked movement is never changed or
// deleted; a counter-movement that points at it cancels it. The reversal of
// a transfer S -> T moves the seed from T back to S; that of a removal out
// of S brings the seed back into S. Each is journalled as a line of its kind
// carrying the reversed line's mark (journal/Reversals.h).
namespace granovia::movement {

// Where the seed of a reversible line went and came from: the silo it left,
// and for a transfer the silo it went to.
struct LineSilos {
    int source = 0;
    std::optional<int> target;
};
LineSilos silosOf(const journal::JournalLine &line);

enum class ReversalOutcome {
    Done,
    LineGone,        // the journal line no longer exists
    IsReversal,      // the line is itself a reversal
    NotReversible,   // neither a transfer nor a removal
    AlreadyReversed, // a reversal of the line is booked
    MissingRow,      // a silo's row no longer exists
    SeedGone,        // the silo that received the seed no longer holds it
    OtherLot,        // the silo the seed goes back to holds another lot
    NoCapacity,      // the silo the seed goes back to has no room for it
};

struct ReversalResult {
    ReversalOutcome outcome = ReversalOutcome::Done;
    // The silo that a refusal is about, and what it holds now.
    int silo = 0;
    double stock = 0;
    QString lot;
    // The rows of the silos that the reversal changed (Done).
    QList<qint32> siloIds;
};

// The steps of a reversal, told to its hook, are those of a transfer from
// the silo that received the seed; a removal's reversal has no source.
namespace reversalstep {
constexpr int Journal = transferstep::Journal;
constexpr int FillTargetDate = transferstep::FillTargetDate;
constexpr int AddToTarget = transferstep::AddToTarget;
} // namespace reversalstep

// Reverses the journal line lineId in one unit of work with the locks,
// re-tests, retries and settlement of a transfer. The line itself is locked
// first, and the journal is asked for a reversal of it only under that lock,
// so that of two workstations reversing one line at once one books it and
// the other is refused. The silos are those of the line's numbers, by the
// lowest row id of each. Anything but Done leaves the database untouched;
// a text that the columns would not hold exactly throws TextDoesNotFit
// before anything is written.
ReversalResult executeReversal(Connection &connection, qint64 lineId, const QString &timestamp,
                               const MovementTables &tables = {}, const StatementHook &beforeStatement = {});

} // namespace granovia::movement
