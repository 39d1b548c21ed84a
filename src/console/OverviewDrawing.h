#pragma once

#include <QString>

// The arithmetic and texts of the overview rows, apart from any painting.
namespace granovia::overview {

constexpr int SilosPerGrid = 50;
constexpr int SecondGridBase = 50;

// "SILO: " and the last two digits of the silo number: silo 100 is SILO: 00.
QString siloLabel(int silo);
// Fill percentage rounded to a whole number, followed by " %".
QString percentText(long double percent);
// Bar length in pixels: the column width / 100 × percent, truncated; not
// capped at the column, but kept within what a painter can take.
int barLength(int columnWidth, long double percent);
// Species and variety; "merkantil" for a filled silo without a variety.
QString speciesText(const QString &druh, const QString &odruda, long double percent);
// Stock in tonnes with three decimals.
QString stockText(long double stav);

} // namespace granovia::overview
