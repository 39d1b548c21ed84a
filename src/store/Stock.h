#pragma once

#include <cmath>

// Stock in tonnes as the system shows it. Movements compute in floating
// point, and other modules write what they like: a remainder too small for
// the three decimals of the overview is no stock.
namespace granovia::stock {

// Half a kilogram: the least stock that shows as 0,001 t.
constexpr double Negligible = 0.0005;

// Whether a stock shows as none (NULL reads as 0, and so counts as none).
inline bool isNone(double stav)
{
    return std::fabs(stav) < Negligible;
}

} // namespace granovia::stock
