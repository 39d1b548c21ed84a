#include "store/SiloSnapshot.h"

#include "store/Schema.h"
#include "store/Stock.h"

#include <cmath>

namespace granovia {

namespace {

constexpr long double PercentFactor = 100.0L;

SiloRow readRow(const Result &result)
{
    namespace c = schema::ppsila;
    return {result.toInt(c::Id),          result.toInt(c::Silo),         result.toDouble(c::Stav),
            result.toDouble(c::Kapacita), result.toText(c::NazDru), result.toText(c::NazOdru)};
}

} // namespace

long double fillPercent(double stav, double kapacita)
{
    if (kapacita == 0)
        return 0;
    const long double percent = static_cast<long double>(stav) / kapacita * PercentFactor;
    return std::isfinite(percent) ? percent : 0;
}

QString selectSiloById(qint64 id)
{
    return QStringLiteral("select * from ppsila where id = ") + QString::number(id);
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

void SiloSnapshot::load(Connection &connection)
{
    connection.execute(SetNamesCp1250);
    Result result = connection.query(SelectAllSilos);
    while (result.next())
        apply(readRow(result));
}

} // namespace granovia
