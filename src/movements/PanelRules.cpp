#include "movements/PanelRules.h"

#include "config/NumberFormat.h"
#include "store/Schema.h"
#include "store/Stock.h"

namespace granovia {

PanelValues panelValuesOf(const Result &row)
{
    namespace c = schema::ppsila;
    const double stav = row.toDouble(c::Stav);
    return {
        row.toText(c::Partie),
        row.toText(c::NazDru),
        row.toText(c::NazOdru),
        row.toText(c::Stupen),
        stock::isNone(stav) ? QString() : numbers::general(stav),
        numbers::dateTimeText(row.toDateTime(c::Navoz)),
        numbers::dateTimeText(row.toDateTime(c::Ppohyb)),
        numbers::general(row.toDouble(c::Kapacita) - stav),
    };
}

PanelChoice choosePanel(const QString &panelALot, const QString &panelBLot, double q, const QString &lot)
{
    const bool hasStock = !stock::isNone(q);
    if (!panelALot.isEmpty()) {
        if (hasStock && lot != panelALot)
            return PanelChoice::Ignore;
    } else if (!panelBLot.isEmpty() && hasStock && lot != panelBLot) {
        return PanelChoice::Ignore;
    }
    if (hasStock && lot == panelBLot)
        return PanelChoice::Ignore;
    return panelALot.isEmpty() ? PanelChoice::A : PanelChoice::B;
}

PolledQuantity quantityAfterPoll(const QString &shown, bool lowered, const QString &freshStock)
{
    if (!lowered)
        return {freshStock, false};
    const std::optional<double> kept = numbers::parse(shown);
    const double stock = numbers::parse(freshStock).value_or(0);
    if (kept && *kept <= stock)
        return {shown, false};
    return {freshStock, true};
}

} // namespace granovia
