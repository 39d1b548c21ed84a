#pragma once

#include "movements/PanelRules.h"

#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <array>

namespace granovia {

// A detail panel: eight labelled rows with the values of the selected silo.
// The movements read their lot data, quantity and remaining capacity here.
namespace detail {
constexpr int LabelColumn = 0;
constexpr int ValueColumn = 1;
const QStringList &rowLabels();
} // namespace detail

// `fill` is the cell's background: the console's, or the mark of a changed value.
void paintDetailCell(QPainter *painter, const QRect &cell, const QString &text, int column, const QColor &fill);

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
    // How long a value changed elsewhere stays marked.
    static constexpr int MarkChangedMs = 2500;

    DetailGrid(int valueColumnWidth, QWidget *parent = nullptr);

    QString value(int row) const;
    void setValue(int row, const QString &text);
    // The values of a newly selected silo.
    void setValues(const PanelValues &values);
    void clearValues();
    // Puts values in and marks those that differ from the shown ones for a
    // moment, so that the operator sees what changed.
    void setValuesMarked(const PanelValues &values);
    bool isMarked(int row) const;

    // The quantity to move as the operator lowered it.
    void setLoweredQuantity(const QString &text);
    bool quantityLowered() const { return m_quantityLowered; }
    // Whether a look at the database changed the quantity since the operator
    // last saw it named; seen() says that the operator has.
    bool quantityChangedUnseen() const { return m_quantityChangedUnseen; }
    void quantitySeen() { m_quantityChangedUnseen = false; }

protected:
    void focusInEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void unmarkAll();

    QTimer m_unmark;
    bool m_quantityLowered = false;
    bool m_quantityChangedUnseen = false;
};

} // namespace granovia
