#include "console/OverviewDrawing.h"

#include "config/NumberFormat.h"
#include "core/SiloLabel.h"

#include <algorithm>
#include <cmath>

namespace granovia::overview {

namespace {

constexpr long double PercentBase = 100.0L;
constexpr int StockDecimals = 3;

} // namespace

QString siloLabel(int silo)
{
    return silolabel::label(silo);
}

QString percentText(long double percent)
{
    return numbers::fixed(percent, 0) + QStringLiteral(" %");
}

int barLength(int columnWidth, long double percent)
{
    const long double length = std::trunc(columnWidth / PercentBase * percent);
    // NaN compares false both ways and draws nothing.
    if (!(length > 0))
        return 0;
    return int(std::min<long double>(length, columnWidth));
}

QString speciesText(const QString &druh, const QString &odruda, long double percent)
{
    QString text = odruda;
    if (text.isEmpty() && percent != 0)
        text = QStringLiteral("merkantil");
    if (!text.isEmpty())
        text = druh + QStringLiteral(", ") + text;
    return text;
}

QString stockText(long double stav)
{
    return numbers::fixed(stav, StockDecimals);
}

} // namespace granovia::overview
