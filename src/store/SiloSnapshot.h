#pragma once

#include "store/Connection.h"

#include <QString>
#include <array>

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
    // Reads every row of ppsila in silo order. Slots without a row keep their
    // values; a failing statement throws DbError with the earlier rows applied.
    void load(Connection &connection);
};

// Stock as a percentage of capacity. A silo with stock but no capacity on
// record has no meaningful fill: it shows 0 rather than an infinite value.
long double fillPercent(double stav, double kapacita);

inline const QString SetNamesCp1250 = QStringLiteral("set names cp1250");
inline const QString SelectAllSilos = QStringLiteral("select * from ppsila order by silo");
// One silo's row, by its row key.
QString selectSiloById(qint64 id);

} // namespace granovia
