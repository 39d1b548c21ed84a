#pragma once

#include "console/ColumnLayout.h"

#include <QHash>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QTableView>

class QPainter;

namespace granovia {

class HistoryModel;

// A cell of the title row: the column's title on the fixed colours.
void paintHistoryTitle(QPainter *painter, const QRect &cell, const QString &title);
// A cell of the indicator column; the current line's carries a triangle.
void paintRowIndicator(QPainter *painter, const QRect &cell, bool current);
// The current cell is yellow and keeps the normal text colour; selection and
// focus draw nothing, so the operator sees one marked cell.
void markHistoryCell(QStyleOptionViewItem &option, bool current);

// Draws each cell as the style does, once per look: a new line shifts every
// visible line, and the style's text layout for all of them would cost more
// than the rest of a movement's refresh.
class HistoryCellDelegate final : public QStyledItemDelegate {
public:
    // Looks kept at most; a view shows a few hundred cells.
    static constexpr qsizetype MaxLooks = 4096;

    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    // Everything a cell's look depends on: font and colours are the skin's.
    struct Look {
        QString text;
        int width = 0;
        int height = 0;
        int alignment = 0;
        bool current = false;
        qreal ratio = 1;
        friend bool operator==(const Look &, const Look &) = default;
        friend size_t qHash(const Look &look, size_t seed = 0)
        {
            return qHashMulti(seed, look.text, look.width, look.height, look.alignment, look.current, look.ratio);
        }
    };
    QPixmap drawn(QStyleOptionViewItem cell, qreal ratio) const;

    mutable QHash<Look, QPixmap> m_looks;
};

// The movement history grid (`suiDBGrid1`): read-only, a title row and an
// indicator column on the fixed colours; the operator may resize and drag
// columns, and the column set as left is kept in the layout file.
class HistoryGrid final : public QTableView {
    Q_OBJECT
public:
    static constexpr int IndicatorWidth = 11;
    static constexpr int RowHeight = 15;
    // Lets the operator narrow a column as far as the default ZE and DO.
    static constexpr int MinimumColumnWidth = 4;

    explicit HistoryGrid(QWidget *parent = nullptr);

    // Shows the model with the columns it holds, laid out in their order.
    void setHistoryModel(HistoryModel *model);
    HistoryModel *historyModel() const { return m_model; }
    // In visual order, with the current widths and visibility.
    QList<HistoryColumn> columnSet() const;
    // Gives the model these columns and lays them out in this order.
    void applyColumnSet(const QList<HistoryColumn> &columns);
    // Makes the newest line current, in the current column, as a re-query does.
    void showNewestLine();

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    void layoutColumns(const QList<HistoryColumn> &columns);
    void showFirstLine();
    int firstVisibleColumn() const;

    HistoryModel *m_model = nullptr;
    // The current column before a reset, kept for the first line after it.
    int m_currentColumn = 0;
};

} // namespace granovia
