#pragma once

#include "store/Connection.h"

#include <QStyledItemDelegate>
#include <QTableWidget>
#include <array>

namespace granovia {

// A detail panel: eight labelled rows with the values of the selected silo.
// The movements read their lot data, quantity and remaining capacity here.
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
constexpr int LabelColumn = 0;
constexpr int ValueColumn = 1;
const QStringList &rowLabels();
} // namespace detail

using PanelValues = std::array<QString, detail::RowCount>;

// The panel's values from a ppsila row (all empty, remaining 0, without a
// row). A stock that shows as none leaves the quantity empty.
PanelValues panelValuesOf(const Result &row);

enum class PanelChoice { Ignore, A, B };
// Where a clicked silo goes, by the lot rules: a silo with stock q and lot
// only joins a panel of the same lot; a silo without stock goes anywhere.
PanelChoice choosePanel(const QString &panelALot, const QString &panelBLot, double q, const QString &lot);

void paintDetailCell(QPainter *painter, const QRect &cell, const QString &text, int column);

class DetailDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// `popis1`, `popis2`: the grid of a detail panel.
class DetailGrid final : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int LabelColumnWidth = 80;
    static constexpr int RowHeight = 15;

    DetailGrid(int valueColumnWidth, QWidget *parent = nullptr);

    QString value(int row) const;
    void setValue(int row, const QString &text);
    void setValues(const PanelValues &values);
    void clearValues();
};

} // namespace granovia
