#pragma once

#include "store/SiloSnapshot.h"

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>

class QPainter;

namespace granovia {

// Fifty silos of the overview: the label column written at creation, and the
// data column drawn from the snapshot. Painting never touches the database.
class OverviewModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int LabelColumn = 0;
    static constexpr int DataColumn = 1;

    OverviewModel(const SiloSnapshot &snapshot, int siloBase, QObject *parent = nullptr);

    void setRowCount(int rows);
    void setLabel(int row, const QString &label);
    QString label(int row) const { return m_labels.value(row); }
    int siloOf(int row) const { return row + 1 + m_siloBase; }
    const SiloSnapshot &snapshot() const { return m_snapshot; }
    // The snapshot was reloaded: every cell shows its new values.
    void refresh();
    // Silo's slot changed: its row shows the new values (no row here: nothing).
    void refreshSilo(int silo);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    QString dataText(int silo) const;

    const SiloSnapshot &m_snapshot;
    int m_siloBase;
    QStringList m_labels;
};

// Draws a label cell: the grid's label, and the fill percentage at its right.
void paintLabelCell(QPainter *painter, const QRect &cell, const QString &label, long double percent);
// Draws a data cell: the fill bar, the stock at the left, species and
// variety at the right; green texts for the grid's current cell.
void paintDataCell(QPainter *painter, const QRect &cell, const SiloSnapshot &snapshot, int silo, bool selected);

class OverviewDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// An overview grid (`prehled`, `prehled2`). A click on a data cell, or a move
// of the current cell with the keyboard, asks for that silo's selection.
class OverviewGrid final : public QTableView {
    Q_OBJECT
public:
    static constexpr int LabelColumnWidth = 79;
    static constexpr int RowHeight = 15;

    OverviewGrid(OverviewModel *model, int tag, QWidget *parent = nullptr);

    OverviewModel *overviewModel() const { return m_model; }
    // 2 for the grid of silos 51..100, 0 for the other.
    int Tag;
    void setDataColumnWidth(int width);
    int dataColumnWidth() const;

signals:
    void cellSelected(int column, int row);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    OverviewModel *m_model;
    bool m_pressing = false;
};

} // namespace granovia
