#pragma once

#include "journal/JournalLine.h"
#include "store/SqlText.h"

#include <QString>
#include <QStringList>

// The statements of a transfer and of a removal, as pure text. Text values
// pass through the connection's escaping; quantities stand bare with a
// decimal point; row keys as decimal integers.
namespace granovia::movement {

// Lot data of the source at the time of the movement.
using journal::Lot;

struct TransferOrder {
    QString sourceNumber; // the two digits of the panel caption, e.g. "07"
    QString targetNumber;
    QString quantityText; // the panel's quantity with a decimal point
    Lot lot;
    qint64 sourceId = 0;
    qint64 targetId = 0;
    QString timestamp; // "yyyy-mm-dd hh:nn:ss", one value for every statement
};

struct RemovalOrder {
    QString siloNumber;
    QString quantityText;
    Lot lot;
    qint64 siloId = 0;
    QString timestamp;
};

// The silo number of a panel caption: what stands after its first ':' up to
// the next ':' or the end, trimmed ("SILO: 05" gives 05).
QString siloNumberOfCaption(const QString &caption);
// The quantity as statements write it: every ',' becomes '.'.
QString quantityTextOf(const QString &panelText);

// Every journal line this program writes names its target (silob) and its
// document number (cislopp), the empty text where there is none, so that it
// reads as the kind it is whatever the columns' defaults.
//
// A transfer's statements 1..6, in their order: journalTransfer,
// selectSourceRow, then fillDateIfEmpty and addToSilo on the target,
// takeFromSilo and clearIfEmpty on the source. A NULL stock counts as 0: the
// silo takes the filling date and adds the quantity to 0.
QString journalTransfer(const TransferOrder &order, const Escape &escape);
QString selectSourceRow(const TransferOrder &order);
QString fillDateIfEmpty(qint64 id, const QString &fillingDate, const Escape &escape);
QString addToSilo(qint64 id, const QString &quantityText, const Lot &lot, const QString &timestamp,
                  const Escape &escape);
QString takeFromSilo(qint64 id, const QString &quantityText, const QString &timestamp, const Escape &escape);
QString clearIfEmpty(qint64 id);

// A removal's statement 1; statements 2 and 3 are takeFromSilo and clearIfEmpty.
QString journalRemoval(const RemovalOrder &order, const Escape &escape);

// The journal line of a reversal: of a transfer S -> T, the transfer T -> S;
// of a removal out of S, seed coming into S from outside (no silob).
QString journalTransferReversal(const TransferOrder &order, qint64 reversedId, const Escape &escape);
QString journalRemovalReversal(const RemovalOrder &order, qint64 reversedId, const Escape &escape);
// The journal line to be reversed, as it stands and locked: two reversals
// of one line wait for each other at the lock.
QString selectJournalLine(qint64 id);
QString lockJournalLine(qint64 id);
// Counts the journal line of this very movement: the line of that id, with
// the movement's time. The line commits together with the stock changes, so
// there is one exactly when the movement's transaction committed. Nothing
// else is compared: a quantity comes back from a FLOAT or DECIMAL column
// rounded, and a text converted by its column's character set.
QString countJournalLine(qint64 journalId, const QString &timestamp, const Escape &escape);

// Locks the rows of a movement, always in the order of their keys, so that
// two movements over the same silos cannot wait for each other in a circle.
QString lockRows(const QList<qint64> &ids);

// Tables without transactions are kept to one movement at a time instead.
QString lockTables();
inline const QString UnlockTables = QStringLiteral("unlock tables");
// One row for each of the silo table and the journal that the current
// database holds, with the engine's "transactions" (YES for InnoDB).
QString transactionSupport();

} // namespace granovia::movement
