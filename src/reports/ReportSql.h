#pragma once

#include "store/SqlText.h"

#include <QDate>
#include <QList>
#include <QString>
#include <optional>

// The reports' statements, as pure text. Values between quotes pass through
// the connection's escaping; times are "yyyy-mm-dd hh:nn:ss". Every
// statement reads; none needs an index beyond the journal's datum key, and
// each is written so that the indexes the README recommends serve it.
namespace granovia::reports {

// What the journal view and the history report show. Lines without a silo
// belong to other modules and are never shown.
struct JournalFilter {
    // Lines in which this silo is the source or the target.
    std::optional<int> silo;
    // The lot, compared exactly (letter case and trailing blanks count);
    // empty for every lot.
    QString lot;
    // Whole days, both included.
    std::optional<QDate> from;
    std::optional<QDate> to;
    // Lines written up to the moment the report was asked for: the count,
    // the totals and the pages all read the same lines.
    std::optional<qint64> upToId;
    // The lot is the start of the names looked for, compared as exactly.
    bool lotPrefix = false;

    bool hasDates() const { return from || to; }

    friend bool operator==(const JournalFilter &, const JournalFilter &) = default;
};

// The journal texts that can name a silo: its two digits and, for other
// modules' lines, the plain number ("07" and "7"; "00" and "100").
QStringList journalTextsOf(int silo);

// The lines of the filter, as a WHERE condition (journal::JournalPager).
QString journalConditions(const JournalFilter &filter, const Escape &escape);
// One row: linecount, incoming and outgoing (sums). With a silo, what
// went into and out of that silo; without, what came into the silos from
// outside and what left them.
QString journalTotalsStatement(const JournalFilter &filter, const Escape &escape);

// The newest id of the journal (column id), for JournalFilter::upToId.
QString newestJournalIdStatement();

// Every line of one lot, in time order (undated first, then by datum and id).
QString lotLinesStatement(const QString &lot, const Escape &escape);
// The silos that hold the lot now: of two rows with one silo number, only
// the lowest id counts, whatever the other holds; SiloRowsColumn counts
// the rows of the number.
QString lotHoldersStatement(const QString &lot, const Escape &escape);

// Every silo's row as it is now, in silo order, of one number the lowest id first.
QString silosNowStatement();
// The journal after a moment, summed by silo texts and kind: silo, silob,
// the kind's code (journal::kindOfCode) and mnozstvi.
QString changesAfterStatement(const QString &moment);

// The silos whose lot data are looked for, with the journal texts naming each.
struct SiloTexts {
    int silo = 0;
    QStringList texts;
};
// For each silo, the newest line at or before the moment in which it is the
// source or the target, one for each text and column; the column forsilo
// tells which silo a row was looked for. Latest wins on the client.
QString lastLinesAtStatement(const QString &moment, const QList<SiloTexts> &silos, const Escape &escape);
// The same for the oldest line after the moment.
QString firstLinesAfterStatement(const QString &moment, const QList<SiloTexts> &silos, const Escape &escape);

// Ends the statement that the session `threadId` runs now; the session stays.
QString killQueryStatement(unsigned long threadId);
// How far the statement of the session `threadId` is, in per cent (column progress).
QString statementProgressStatement(unsigned long threadId);

inline const QString ForSiloColumn = QStringLiteral("forsilo");
inline const QString SiloRowsColumn = QStringLiteral("silorows");
inline const QString KindColumn = QStringLiteral("kind");
inline const QString LinesColumn = QStringLiteral("linecount");
inline const QString IncomingColumn = QStringLiteral("incoming");
inline const QString OutgoingColumn = QStringLiteral("outgoing");

} // namespace granovia::reports
