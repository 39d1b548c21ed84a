#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

namespace granovia {
class Connection;
}

namespace granovia::reports {

// What a silo held at a moment, rebuilt from its row today and the journal
// lines after the moment, each undone: a transfer moves its quantity back
// into the silo it left, a removal puts it back, an intake takes it away.
struct SiloAtMoment {
    int silo = 0;
    double stav = 0;
    double kapacita = 0;
    QString partie;
    QString druh;
    QString odruda;
    QString stupen;
    // Journal lines after the moment changed this silo.
    bool changedSince = false;
    // More than one row of ppsila has this silo number; the lowest id counts,
    // as on the console, the board and in the movements.
    bool severalRows = false;
    // It held seed, but no journal line tells which lot.
    bool lotUnknown = false;

    // The journal and the silos disagree: such a stock cannot have been.
    bool isNegative() const;
    bool isOverCapacity() const;
};

struct StockAtMoment {
    QDateTime moment;
    QList<SiloAtMoment> silos; // in silo order, silos 1 to 100 that have a row
};

// Silo by silo, lot data at the moment come from the journal: the newest
// line up to the moment that touched the silo, or, when there is none, the
// first one after it that took seed out. A silo that no line after the
// moment touched holds what its row holds today. Throws DbError.
// Read in one read-only snapshot.
StockAtMoment rebuildStock(Connection &connection, const QDateTime &moment);

} // namespace granovia::reports
