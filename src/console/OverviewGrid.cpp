#include "console/OverviewGrid.h"

#include "console/OverviewDrawing.h"
#include "ui/Skin.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>

namespace granovia {

namespace {

constexpr int LabelTextInset = 2;
constexpr int PercentRightGap = 1;
constexpr int PercentTop = 1;
constexpr int SpeciesRightGap = 5;
constexpr int StockLeft = 2;
const QColor BarFill{238, 238, 238};
const QColor BarOutline{255, 196, 196};

// The rectangle's right and bottom edges just outside the cell.
int outerRight(const QRect &cell) { return cell.left() + cell.width(); }
int outerBottom(const QRect &cell) { return cell.top() + cell.height(); }

void paintBar(QPainter *painter, const QRect &cell, int length)
{
    if (length == 0)
        return;
    const QRect bar(cell.left(), cell.top(), length, cell.height());
    painter->fillRect(bar, BarFill);
    painter->setPen(BarOutline);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(bar.adjusted(0, 0, -1, -1));
}

} // namespace

OverviewModel::OverviewModel(const SiloSnapshot &snapshot, int siloBase, QObject *parent)
    : QAbstractTableModel(parent)
    , m_snapshot(snapshot)
    , m_siloBase(siloBase)
{
}

void OverviewModel::setRowCount(int rows)
{
    beginResetModel();
    m_labels.resize(rows);
    endResetModel();
}

void OverviewModel::setLabel(int row, const QString &label)
{
    m_labels[row] = label;
    emit dataChanged(index(row, LabelColumn), index(row, LabelColumn));
}

void OverviewModel::refresh()
{
    if (!m_labels.isEmpty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, DataColumn));
}

void OverviewModel::refreshSilo(int silo)
{
    const int row = silo - 1 - m_siloBase;
    if (row >= 0 && row < rowCount())
        emit dataChanged(index(row, LabelColumn), index(row, DataColumn));
}

int OverviewModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_labels.size());
}

int OverviewModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : DataColumn + 1;
}

QString OverviewModel::dataText(int silo) const
{
    if (!m_snapshot.loaded)
        return overview::NotLoadedText;
    const auto s = size_t(silo);
    const QString species = overview::speciesText(m_snapshot.sila_druh[s], m_snapshot.sila_odruda[s],
                                                  m_snapshot.sila_procent[s]);
    if (m_snapshot.sila_stav[s] == 0)
        return species;
    return (overview::stockText(m_snapshot.sila_stav[s]) + QLatin1Char(' ') + species).trimmed();
}

QVariant OverviewModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
        return {};
    const int silo = siloOf(index.row());
    if (index.column() == DataColumn)
        return dataText(silo);
    const long double percent = m_snapshot.sila_procent[size_t(silo)];
    if (role == Qt::AccessibleTextRole && percent != 0)
        return m_labels.at(index.row()) + QLatin1Char(' ') + overview::percentText(percent);
    return m_labels.at(index.row());
}

Qt::ItemFlags OverviewModel::flags(const QModelIndex &index) const
{
    // The label column is fixed: it can be neither clicked nor made current.
    if (index.column() == LabelColumn)
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void paintLabelCell(QPainter *painter, const QRect &cell, const QString &label, long double percent)
{
    painter->fillRect(cell, skin::FixedBackground);
    painter->setPen(skin::FixedText);
    const skin::LaidOutText &labelText = skin::laidOut(label, skin::font(skin::Pt8));
    painter->setFont(skin::font(skin::Pt8));
    skin::drawLaidOut(painter, QPoint(cell.left() + LabelTextInset, cell.top() + LabelTextInset + labelText.ascent),
                      labelText);
    if (percent == 0)
        return;
    const QFont small = skin::font(skin::Pt6);
    const skin::LaidOutText &text = skin::laidOut(overview::percentText(percent), small);
    painter->setFont(small);
    skin::drawLaidOut(painter, QPoint(outerRight(cell) - text.advance - PercentRightGap, cell.top() + PercentTop + text.ascent),
                      text);
}

void paintDataCell(QPainter *painter, const QRect &cell, const SiloSnapshot &snapshot, int silo, bool selected)
{
    const auto s = size_t(silo);
    painter->fillRect(cell, skin::Background);
    if (!snapshot.loaded) {
        // Not read yet: no bar, no figures, nothing that could pass for an empty silo.
        painter->setFont(skin::font(skin::Pt7));
        painter->setPen(skin::NotLoadedText);
        painter->drawText(cell.adjusted(StockLeft, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, overview::NotLoadedText);
        return;
    }
    paintBar(painter, cell, overview::barLength(cell.width(), snapshot.sila_procent[s]));

    const QFont font = skin::font(skin::Pt7);
    painter->setFont(font);
    painter->setPen(selected ? skin::SelectedText : skin::Text);
    const skin::LaidOutText &species = skin::laidOut(
        overview::speciesText(snapshot.sila_druh[s], snapshot.sila_odruda[s], snapshot.sila_procent[s]), font);
    const int height = QFontMetrics(font).height();
    const int baseline = cell.top() + (outerBottom(cell) - cell.top() - height) / 2 + species.ascent;
    skin::drawLaidOut(painter, QPoint(outerRight(cell) - species.advance - SpeciesRightGap, baseline), species);
    if (snapshot.sila_stav[s] != 0)
        skin::drawLaidOut(painter, QPoint(cell.left() + StockLeft, baseline),
                          skin::laidOut(overview::stockText(snapshot.sila_stav[s]), font));
}

void OverviewDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const auto *model = static_cast<const OverviewModel *>(index.model());
    const int silo = model->siloOf(index.row());
    painter->save();
    skin::paintGridLines(painter, option.rect);
    if (index.column() == OverviewModel::LabelColumn) {
        paintLabelCell(painter, option.rect, model->label(index.row()), model->snapshot().sila_procent[size_t(silo)]);
    } else {
        paintDataCell(painter, option.rect, model->snapshot(), silo, option.state.testFlag(QStyle::State_Selected));
    }
    if (option.state.testFlag(QStyle::State_HasFocus))
        skin::paintFocusFrame(painter, option.rect);
    painter->restore();
}

OverviewGrid::OverviewGrid(OverviewModel *model, int tag, QWidget *parent)
    : QTableView(parent)
    , Tag(tag)
    , m_model(model)
{
    setModel(model);
    setItemDelegate(new OverviewDelegate(this));
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab leaves the grid; the arrow keys move its current cell.
    setTabKeyNavigation(false);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    // The grid line lies outside each cell: the cells keep their own sizes.
    verticalHeader()->setMinimumSectionSize(skin::gridSection(RowHeight));
    verticalHeader()->setDefaultSectionSize(skin::gridSection(RowHeight));
    horizontalHeader()->setMinimumSectionSize(0);
    horizontalHeader()->resizeSection(OverviewModel::LabelColumn, skin::gridSection(LabelColumnWidth));
    setGridStyle(Qt::NoPen);
    skin::applyPalette(this);
    setFont(skin::font(skin::Pt8));
}

void OverviewGrid::setDataColumnWidth(int width)
{
    horizontalHeader()->resizeSection(OverviewModel::DataColumn, skin::gridSection(std::max(0, width)));
}

int OverviewGrid::dataColumnWidth() const
{
    return columnWidth(OverviewModel::DataColumn) - skin::GridLineWidth;
}

void OverviewGrid::mousePressEvent(QMouseEvent *event)
{
    // Only the left button selects; any other press leaves the current cell.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || !index.isValid() || index.column() != OverviewModel::DataColumn) {
        event->accept();
        return;
    }
    // One selection per click, also on the cell that is current already.
    m_pressing = true;
    QTableView::mousePressEvent(event);
    m_pressing = false;
    emit cellSelected(index.column(), index.row());
}

void OverviewGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (!m_pressing && !signalsBlocked() && current.isValid() && current.column() == OverviewModel::DataColumn)
        emit cellSelected(current.column(), current.row());
}

} // namespace granovia
