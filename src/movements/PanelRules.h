#pragma once

#include "store/Connection.h"

#include <QString>
#include <array>

// What a detail panel shows of a silo, and the lot rules that decide where a
// selected silo goes. The console's panels and the board's info dialog show
// the same eight values; the board offers only what the console will take.
namespace granovia {

namespace detail {
constexpr int RowCount = 8;
constexpr int LotRow = 0;
constexpr int SpeciesRow = 1;
constexpr int VarietyRow = 2;
constexpr int GradeRow = 3;
constexpr int QuantityRow = 4;
constexpr int FilledRow = 5;
constexpr int MovedRow = 6;
constexpr int RemainingRow = 7;
} // namespace detail

using PanelValues = std::array<QString, detail::RowCount>;

// The panel's values from a ppsila row (all empty, remaining 0, without a
// row). A stock that shows as none leaves the quantity empty.
PanelValues panelValuesOf(const Result &row);

enum class PanelChoice { Ignore, A, B };
// Where a clicked silo goes, by the lot rules: a silo with stock q and lot
// only joins a panel of the same lot; a silo without stock goes anywhere.
PanelChoice choosePanel(const QString &panelALot, const QString &panelBLot, double q, const QString &lot);

} // namespace granovia
