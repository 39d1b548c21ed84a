#pragma once

#include "store/Connection.h"

#include <QList>
#include <QString>
#include <array>
#include <functional>

namespace granovia {

// One silo's row as the snapshot reads it.
struct SiloRow {
    qint64 id = 0;
    qint64 silo = 0;
    double stav = 0;
    double kapacita = 0;
    QString druh;
    QString odruda;
};

// The in-memory copy of ppsila that the overview draws from, one slot per
// silo number 1..200, and the ids of the silos shown in detail panels A and B.
struct SiloSnapshot {
    static constexpr int FirstSlot = 1;
    static constexpr int LastSlot = 200;
    template <typename T>
    using Slots = std::array<T, LastSlot + 1>; // index 0 unused

    Slots<qint32> sila_id{};
    Slots<long double> sila_procent{};
    Slots<long double> sila_stav{};
    Slots<QString> sila_druh;
    Slots<QString> sila_odruda;
    qint32 vyber_a = 0;
    qint32 vyber_b = 0;

    static bool hasSlot(qint64 silo) { return silo >= FirstSlot && silo <= LastSlot; }

    void reset();
    // Puts one row into its slot; a row without a slot is passed over. A stock
    // that shows as none (stock::isNone) fills the slot as an empty silo.
    void apply(const SiloRow &row);
    // Empties the slot of a silo that has no row: no id, no stock.
    void clear(int silo);
    // Puts every row of a whole read of ppsila (selectAllSilos) into its
    // slot, telling `each` of every row; once all are read, the slots of
    // silos without a row are emptied. Of two rows of one silo number the one
    // with the lower id counts, for everything that shows or moves a silo.
    void applyAll(Result &rows, const std::function<void(const Result &, const SiloRow &)> &each = {});
    // Reads every row of ppsila (applyAll). A failing statement throws
    // DbError with the earlier rows applied and no slot emptied.
    void load(Connection &connection);
    // Reads only the rows with these ids (0 stands for none) and returns the
    // silos whose slots changed. Throws DbError.
    QList<int> reloadRows(Connection &connection, const QList<qint32> &ids);
    // Silos whose slots differ between the two snapshots.
    QList<int> silosDifferingFrom(const SiloSnapshot &other) const;
};

// The row the result stands on, as the snapshot reads it.
SiloRow siloRowOf(const Result &result);

// Stock as a percentage of capacity. A silo with stock but no capacity on
// record has no meaningful fill: it shows 0 rather than an infinite value.
long double fillPercent(double stav, double kapacita);

// The connection's character set, set again at every load.
inline const QString SetNames = QStringLiteral("set names utf8mb4");
// Every row, in silo order; of one silo number the lowest id comes last.
QString selectAllSilos();
// The silo numbers that have more than one row.
QString selectDuplicateSilos();
// One silo's row, by its row key.
QString selectSiloById(qint64 id);
// The rows with these keys, in silo order as the whole table is read.
QString selectSilosByIds(const QList<qint32> &ids);
// The rows of one silo number, the lowest id first.
QString selectSiloByNumber(int silo);
// The whole table as the board reads it for its glyphs, the lowest id of a
// silo number first.
QString selectBoardSilos();
// Every silo's number, lot, stock and remaining capacity (CandidateRemainingColumn),
// from which the board offers the silos that may receive a source's seed;
// the lowest id of a silo number first.
QString selectCandidates();
inline const QString CandidateRemainingColumn = QStringLiteral("zbyva");

} // namespace granovia
