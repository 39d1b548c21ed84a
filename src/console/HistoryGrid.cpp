#include "console/HistoryGrid.h"

#include "console/HistoryModel.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>

namespace granovia {

namespace {

constexpr int TitleInset = 2;
// The triangle's half height and its width, in pixels.
constexpr int MarkerHalfHeight = 3;
constexpr int MarkerWidth = 3;
constexpr int FixedLineDarkness = 130;
const QColor FixedLine = skin::FixedBackground.darker(FixedLineDarkness);

// Right and bottom edges, so that neighbouring cells share one line.
void paintFixedCell(QPainter *painter, const QRect &cell)
{
    painter->fillRect(cell, skin::FixedBackground);
    painter->fillRect(QRect(cell.right(), cell.top(), 1, cell.height()), FixedLine);
    painter->fillRect(QRect(cell.left(), cell.bottom(), cell.width(), 1), FixedLine);
}

class HistoryTitleRow final : public QHeaderView {
public:
    explicit HistoryTitleRow(QWidget *parent)
        : QHeaderView(Qt::Horizontal, parent)
    {
        setFont(skin::font(skin::Pt8));
        setSectionsMovable(true);
        setHighlightSections(false);
        setMinimumSectionSize(HistoryGrid::MinimumColumnWidth);
    }

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override
    {
        const QString title = model() ? model()->headerData(logicalIndex, Qt::Horizontal).toString() : QString();
        painter->setFont(font());
        paintHistoryTitle(painter, rect, title);
    }
};

class HistoryRowIndicator final : public QHeaderView {
public:
    explicit HistoryRowIndicator(QAbstractItemView *view)
        : QHeaderView(Qt::Vertical, view)
        , m_view(view)
    {
        setFixedWidth(HistoryGrid::IndicatorWidth);
        setMinimumSectionSize(HistoryGrid::RowHeight);
        setDefaultSectionSize(HistoryGrid::RowHeight);
        setSectionResizeMode(QHeaderView::Fixed);
    }

    // The column has its fixed width: measuring the sections' contents,
    // as a header does for its size hint, would cost every change of rows.
    QSize sizeHint() const override { return {HistoryGrid::IndicatorWidth, length()}; }

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override
    {
        paintRowIndicator(painter, rect, logicalIndex == m_view->currentIndex().row());
    }

private:
    const QAbstractItemView *m_view;
};

} // namespace

void paintHistoryTitle(QPainter *painter, const QRect &cell, const QString &title)
{
    painter->save();
    paintFixedCell(painter, cell);
    painter->setPen(skin::FixedText);
    painter->drawText(cell.adjusted(TitleInset, 0, -TitleInset, 0), Qt::AlignLeft | Qt::AlignVCenter, title);
    painter->restore();
}

void paintRowIndicator(QPainter *painter, const QRect &cell, bool current)
{
    painter->save();
    paintFixedCell(painter, cell);
    if (current) {
        const QPoint centre = cell.center();
        const QPoint tip(centre.x() + MarkerWidth / 2, centre.y());
        const QPoint top(tip.x() - MarkerWidth, centre.y() - MarkerHalfHeight);
        const QPoint bottom(tip.x() - MarkerWidth, centre.y() + MarkerHalfHeight);
        painter->setPen(skin::FixedText);
        painter->setBrush(skin::FixedText);
        painter->drawPolygon(QPolygon{top, tip, bottom});
    }
    painter->restore();
}

void markHistoryCell(QStyleOptionViewItem &option, bool current, bool cancelled)
{
    option.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    option.palette.setColor(QPalette::Text, cancelled ? skin::CancelledText : skin::Text);
    // Narrow columns such as ZE and DO clip their text instead of eliding it.
    option.textElideMode = Qt::ElideNone;
    if (current)
        option.backgroundBrush = skin::CurrentHistoryCell;
}

void HistoryCellDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const auto *view = qobject_cast<const QAbstractItemView *>(option->widget);
    markHistoryCell(*option, view && view->currentIndex() == index,
                    index.data(HistoryModel::CancelledRole).toBool());
}

void HistoryCellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const auto *view = qobject_cast<const QAbstractItemView *>(option.widget);
    const Look look{index.data().toString(),
                    option.rect.width(),
                    option.rect.height(),
                    int(index.data(Qt::TextAlignmentRole).value<Qt::Alignment>()),
                    view && view->currentIndex() == index,
                    index.data(HistoryModel::CancelledRole).toBool(),
                    painter->device()->devicePixelRatioF()};
    auto found = m_looks.constFind(look);
    if (found == m_looks.constEnd()) {
        if (m_looks.size() >= MaxLooks)
            m_looks.clear();
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        found = m_looks.insert(look, drawn(cell, look.ratio));
    }
    painter->drawPixmap(option.rect.topLeft(), *found);
    skin::paintGridLines(painter, option.rect);
    if (option.state.testFlag(QStyle::State_HasFocus))
        skin::paintFocusFrame(painter, option.rect);
}

// The cell as the style draws it, on the base colour that the view fills
// every cell with first.
QPixmap HistoryCellDelegate::drawn(QStyleOptionViewItem cell, qreal ratio) const
{
    QPixmap look(cell.rect.size() * ratio);
    look.setDevicePixelRatio(ratio);
    look.fill(cell.palette.color(QPalette::Base));
    QPainter painter(&look);
    cell.rect.moveTopLeft(QPoint(0, 0));
    const QWidget *view = cell.widget;
    (view ? view->style() : QApplication::style())->drawControl(QStyle::CE_ItemViewItem, &cell, &painter, view);
    return look;
}

HistoryGrid::HistoryGrid(QWidget *parent)
    : QTableView(parent)
{
    setObjectName(QStringLiteral("suiDBGrid1"));
    setHorizontalHeader(new HistoryTitleRow(this));
    setVerticalHeader(new HistoryRowIndicator(this));
    setItemDelegate(new HistoryCellDelegate(this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Tab goes on to the next control; the arrow keys move among the lines.
    setTabKeyNavigation(false);
    setFrameShape(QFrame::NoFrame);
    setShowGrid(true);
    setGridStyle(Qt::NoPen);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setFont(skin::font(skin::Pt7));
    skin::applyPalette(this);
    // The headers' empty area and the corner are drawn by the style in the button colours.
    QPalette fixed = palette();
    fixed.setColor(QPalette::Button, skin::FixedBackground);
    fixed.setColor(QPalette::ButtonText, skin::FixedText);
    setPalette(fixed);
}

void HistoryGrid::setHistoryModel(HistoryModel *model)
{
    if (model == m_model)
        return;
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    setModel(model);
    m_model = model;
    if (!model)
        return;
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { m_currentColumn = currentIndex().column(); });
    connect(model, &QAbstractItemModel::modelReset, this, &HistoryGrid::showFirstLine);
    // Rows read again after a change of columns arrive after the reset.
    connect(model, &QAbstractItemModel::rowsInserted, this, [this] {
        if (!currentIndex().isValid())
            showFirstLine();
    });
    layoutColumns(model->columns());
    showFirstLine();
}

QList<HistoryColumn> HistoryGrid::columnSet() const
{
    QList<HistoryColumn> columns;
    if (!m_model)
        return columns;
    const QHeaderView *header = horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        HistoryColumn column = m_model->columns().value(logical);
        column.visible = !header->isSectionHidden(logical);
        // A hidden column shows no width; it keeps the one it was given.
        if (column.visible)
            column.width = header->sectionSize(logical);
        columns.append(column);
    }
    return columns;
}

void HistoryGrid::applyColumnSet(const QList<HistoryColumn> &columns)
{
    if (!m_model)
        return;
    m_model->setColumns(columns);
    layoutColumns(columns);
}

void HistoryGrid::layoutColumns(const QList<HistoryColumn> &columns)
{
    QHeaderView *header = horizontalHeader();
    for (int logical = 0; logical < columns.size() && logical < header->count(); ++logical) {
        const HistoryColumn &column = columns.at(logical);
        header->moveSection(header->visualIndex(logical), logical);
        // Shown first: showing a section again restores the size it had when hidden.
        header->setSectionHidden(logical, !column.visible);
        const bool defaultWidth = column.width == HistoryColumn::DefaultWidth;
        header->resizeSection(logical, defaultWidth ? header->defaultSectionSize() : column.width);
    }
}

void HistoryGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    verticalHeader()->viewport()->update();
}

void HistoryGrid::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        requestCurrentLineMenu();
        return;
    }
    // The mouse's position is the viewport's.
    const QModelIndex line = indexAt(event->pos());
    if (line.isValid())
        emit lineMenuRequested(line.row(), event->globalPos());
}

// The menu key and Shift+F10 open the menu of the current line, below it,
// on every platform; where the platform makes a menu event of the menu key
// as well, the menu is already up and takes that event.
void HistoryGrid::keyPressEvent(QKeyEvent *event)
{
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if (event->key() != Qt::Key_Menu && !shiftF10) {
        QTableView::keyPressEvent(event);
        return;
    }
    event->accept();
    requestCurrentLineMenu();
}

void HistoryGrid::requestCurrentLineMenu()
{
    const QModelIndex line = currentIndex();
    if (!line.isValid())
        return;
    const QRect cell = visualRect(line);
    emit lineMenuRequested(line.row(), viewport()->mapToGlobal(cell.bottomLeft()));
}

void HistoryGrid::showNewestLine()
{
    if (currentIndex().isValid())
        m_currentColumn = currentIndex().column();
    showFirstLine();
}

// After a re-query the newest line is current, as when the history was opened.
void HistoryGrid::showFirstLine()
{
    if (!m_model || m_model->rowCount() == 0)
        return;
    int column = m_currentColumn;
    if (column < 0 || column >= m_model->columnCount() || isColumnHidden(column))
        column = firstVisibleColumn();
    if (column >= 0)
        setCurrentIndex(m_model->index(0, column));
}

int HistoryGrid::firstVisibleColumn() const
{
    const QHeaderView *header = horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        if (!header->isSectionHidden(header->logicalIndex(visual)))
            return header->logicalIndex(visual);
    }
    return -1;
}

} // namespace granovia
