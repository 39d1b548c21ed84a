#include "store/SiloSnapshot.h"

#include "store/Schema.h"
#include "store/Stock.h"

#include <QStringList>
#include <cmath>

namespace granovia {

namespace {

constexpr long double PercentFactor = 100.0L;

} // namespace

SiloRow siloRowOf(const Result &result)
{
    namespace c = schema::ppsila;
    return {result.toInt(c::Id),          result.toInt(c::Silo),         result.toDouble(c::Stav),
            result.toDouble(c::Kapacita), result.toText(c::NazDru), result.toText(c::NazOdru)};
}

long double fillPercent(double stav, double kapacita)
{
    if (kapacita == 0)
        return 0;
    const long double percent = static_cast<long double>(stav) / kapacita * PercentFactor;
    return std::isfinite(percent) ? percent : 0;
}

QString selectAllSilos()
{
    namespace c = schema::ppsila;
    return QStringLiteral("select * from %1 order by %2, %3 desc").arg(c::Table, c::Silo, c::Id);
}

QString selectDuplicateSilos()
{
    namespace c = schema::ppsila;
    return QStringLiteral("select %1 from %2 group by %1 having count(*) > 1 order by %1").arg(c::Silo, c::Table);
}

QString selectSiloById(qint64 id)
{
    namespace c = schema::ppsila;
    return QStringLiteral("select * from %1 where %2 = ").arg(c::Table, c::Id) + QString::number(id);
}

QString selectSilosByIds(const QList<qint32> &ids)
{
    namespace c = schema::ppsila;
    QStringList keys;
    for (qint32 id : ids)
        keys.append(QString::number(id));
    return QStringLiteral("select * from %1 where %2 in (%3) order by %4")
        .arg(c::Table, c::Id, keys.join(QStringLiteral(", ")), c::Silo);
}

QString selectSiloByNumber(int silo)
{
    namespace c = schema::ppsila;
    return QStringLiteral("select * from %1 where %2 = %3 order by %4").arg(c::Table, c::Silo).arg(silo).arg(c::Id);
}

QString selectBoardSilos()
{
    namespace c = schema::ppsila;
    return QStringLiteral("select * from %1 order by %2, %3").arg(c::Table, c::Silo, c::Id);
}

QString selectCandidates()
{
    namespace c = schema::ppsila;
    return QStringLiteral("select %1, %2, (%3 - %4) as %5, %4 from %6 order by %1, %7")
        .arg(c::Silo, c::Partie, c::Kapacita, c::Stav, CandidateRemainingColumn, c::Table, c::Id);
}

void SiloSnapshot::reset()
{
    sila_id.fill(0);
    sila_procent.fill(0);
    sila_stav.fill(0);
    sila_druh.fill(QString());
    sila_odruda.fill(QString());
    vyber_a = 0;
    vyber_b = 0;
}

void SiloSnapshot::apply(const SiloRow &row)
{
    if (!hasSlot(row.silo))
        return;
    const auto s = size_t(row.silo);
    const bool empty = stock::isNone(row.stav);
    sila_procent[s] = empty ? 0 : fillPercent(row.stav, row.kapacita);
    sila_odruda[s] = empty ? QString() : row.odruda;
    sila_druh[s] = empty ? QString() : row.druh;
    sila_stav[s] = empty ? 0 : row.stav;
    sila_id[s] = qint32(row.id);
}

void SiloSnapshot::clear(int silo)
{
    if (!hasSlot(silo))
        return;
    const auto s = size_t(silo);
    sila_id[s] = 0;
    sila_procent[s] = 0;
    sila_stav[s] = 0;
    sila_druh[s].clear();
    sila_odruda[s].clear();
}

void SiloSnapshot::applyAll(Result &rows, const std::function<void(const Result &, const SiloRow &)> &each)
{
    std::array<bool, LastSlot + 1> seen{};
    while (rows.next()) {
        const SiloRow row = siloRowOf(rows);
        apply(row);
        if (hasSlot(row.silo))
            seen[size_t(row.silo)] = true;
        if (each)
            each(rows, row);
    }
    for (int silo = FirstSlot; silo <= LastSlot; ++silo) {
        if (!seen[size_t(silo)])
            clear(silo);
    }
}

void SiloSnapshot::load(Connection &connection)
{
    connection.execute(SetNames);
    Result result = connection.query(selectAllSilos());
    applyAll(result);
}

QList<int> SiloSnapshot::reloadRows(Connection &connection, const QList<qint32> &ids)
{
    QList<qint32> keys;
    for (qint32 id : ids) {
        if (id != 0 && !keys.contains(id))
            keys.append(id);
    }
    if (keys.isEmpty())
        return {};
    const SiloSnapshot before = *this;
    Result result = connection.query(selectSilosByIds(keys));
    while (result.next())
        apply(siloRowOf(result));
    return silosDifferingFrom(before);
}

QList<int> SiloSnapshot::silosDifferingFrom(const SiloSnapshot &other) const
{
    QList<int> silos;
    for (int s = FirstSlot; s <= LastSlot; ++s) {
        const auto i = size_t(s);
        if (sila_id[i] != other.sila_id[i] || sila_procent[i] != other.sila_procent[i]
            || sila_stav[i] != other.sila_stav[i] || sila_druh[i] != other.sila_druh[i]
            || sila_odruda[i] != other.sila_odruda[i])
            silos.append(s);
    }
    return silos;
}

} // namespace granovia
