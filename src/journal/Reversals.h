#pragma once

#include "journal/JournalLine.h"
#include "store/SqlText.h"

#include <QHash>
#include <QList>
#include <QSet>

namespace granovia {
class Connection;
}

// The reversal of a wrong movement and its mark. A reversal is a line of its
// usual kind whose document number (cislopp) is the mark "ST " and the id of
// the line it reverses. A mark alone proves nothing, as other modules write
// document numbers of their own: a line is the reversal of line N only when
// it carries N's mark, is newer than N, and moves N's lot and quantity back
// between the same silos (a transfer S -> T back from T to S, a removal out
// of S back into S from outside).
namespace granovia::journal {

QString reversalMark(qint64 reversedId);
// The id that a line's mark names; nothing for a line without a mark.
std::optional<qint64> markedLineOf(const JournalLine &line);
bool reverses(const JournalLine &reversal, const JournalLine &line);
// A transfer between two silos or a removal out of one, of a positive
// quantity, whose silos are silo numbers: what a reversal can move back.
// Whether it is a reversal or reversed already takes the journal to say.
bool canBeReversed(const JournalLine &line);

// The lines of these ids (lineColumns()).
QString linesStatement(const QList<qint64> &ids);
// The lines newer than lineId that carry its mark: those that may reverse it.
QString markedLinesStatement(qint64 lineId, const Escape &escape);

// Which of the lines read so far are reversed and which are reversals, for
// a face that reads the journal in pieces (the history, the web board):
// note() every line read, then resolve() once per piece.
class ReversalMarks final {
public:
    // The ids whose marks this line settles (for repainting).
    QList<qint64> note(const JournalLine &line);
    // Reads the lines that marks noted so far name and that were not noted
    // since, and settles those marks. One statement, none when nothing is
    // open. Returns the ids whose marks it settled. Throws DbError.
    QList<qint64> resolve(Connection &connection);

    bool isReversed(qint64 id) const { return m_reversed.contains(id); }
    bool isReversal(qint64 id) const { return m_reversals.contains(id); }
    // Reversed, or a reversal: the line no longer counts.
    bool isCancelled(qint64 id) const { return isReversed(id) || isReversal(id); }

private:
    // Lines carrying a mark, by the id their mark names.
    QHash<qint64, QList<JournalLine>> m_open;
    QSet<qint64> m_reversed;
    QSet<qint64> m_reversals;
};

} // namespace granovia::journal
