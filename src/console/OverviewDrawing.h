#pragma once

#include <QString>

// The arithmetic and texts of the overview rows, apart from any painting.
namespace granovia::overview {

constexpr int SilosPerGrid = 50;
// What a data cell shows while the silos have not been read.
inline const QString NotLoadedText = QStringLiteral("nenačteno");
constexpr int SecondGridBase = 50;

// "SILO: " and the last two digits of the silo number: silo 100 is SILO: 00.
QString siloLabel(int silo);
// Fill percentage rounded to a whole number, followed by " %".
QString percentText(long double percent);
// Bar length in pixels: the column width / 100 × percent, truncated, and
// kept within the cell: 0 to the whole column, whatever the data say.
int barLength(int columnWidth, long double percent);
// Species and variety; "merkantil" for a filled silo without a variety.
QString speciesText(const QString &druh, const QString &odruda, long double percent);
// Stock in tonnes with three decimals.
QString stockText(long double stav);

} // namespace granovia::overview
