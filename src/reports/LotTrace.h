#pragma once

#include "journal/JournalLine.h"

#include <QList>
#include <QString>

namespace granovia {
class Connection;
}

namespace granovia::reports {

using journal::JournalLine;

// A silo that holds the lot now.
struct LotHolder {
    int silo = 0;
    double stav = 0;
    double kapacita = 0;
    QString druh;
    QString odruda;
    QString stupen;
    QString navoz; // as the server wrote it
    // The silo number has more rows; this, the lowest id, counts.
    bool severalRows = false;
};

// A lot's path through the silos: every journal line of it in time order,
// where it lies now, and what came in from outside, left the silos and is
// in store now.
struct LotTrace {
    QString lot;
    QList<JournalLine> lines;
    QList<LotHolder> holders;
    double cameIn = 0;
    double left = 0;
    double inStore = 0;
};

// Read in one read-only snapshot. Throws DbError.
LotTrace traceLot(Connection &connection, const QString &lot);

} // namespace granovia::reports
