#include "console/DetailPanel.h"

#include "ui/Skin.h"
#include "ui/Widgets.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>

namespace granovia {

namespace {

constexpr int TextInset = 2;

} // namespace

const QStringList &detail::rowLabels()
{
    static const QStringList labels{
        QStringLiteral("Partie"),       QStringLiteral("Druh"),   QStringLiteral("Odrůda"),
        QStringLiteral("Stupeň"),       QStringLiteral("Množství tun"), QStringLiteral("Ze dne"),
        QStringLiteral("Přesun dne"),   QStringLiteral("Zbývá tun"),
    };
    return labels;
}

void paintDetailCell(QPainter *painter, const QRect &cell, const QString &text, int column, const QColor &fill)
{
    painter->fillRect(cell, fill);
    if (text.isEmpty())
        return;
    painter->setPen(skin::Text);
    const QFont font = skin::font(skin::Pt8, column == detail::ValueColumn);
    painter->setFont(font);
    painter->setClipRect(cell);
    const skin::LaidOutText &laid = skin::laidOut(text, font);
    const int left = column == detail::ValueColumn ? cell.left() + cell.width() - TextInset - laid.advance
                                                   : cell.left() + TextInset;
    skin::drawLaidOut(painter, QPoint(left, cell.top() + TextInset + laid.ascent), laid);
}

void DetailDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    painter->save();
    skin::paintGridLines(painter, option.rect);
    const QVariant mark = index.data(Qt::BackgroundRole);
    paintDetailCell(painter, option.rect, index.data().toString(), index.column(),
                    mark.isValid() ? mark.value<QColor>() : skin::Background);
    painter->restore();
    if (option.state.testFlag(QStyle::State_HasFocus))
        skin::paintFocusFrame(painter, option.rect);
}

DetailGrid::DetailGrid(int valueColumnWidth, QWidget *parent)
    : QTableWidget(detail::RowCount, detail::ValueColumn + 1, parent)
{
    setItemDelegate(new DetailDelegate(this));
    setFrameShape(QFrame::NoFrame);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    // Tab goes on to the panel's buttons; the arrow keys move in the panel.
    setTabKeyNavigation(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    // Cells of their own sizes, each with its grid line after it.
    verticalHeader()->setMinimumSectionSize(skin::gridSection(RowHeight));
    verticalHeader()->setDefaultSectionSize(skin::gridSection(RowHeight));
    setColumnWidth(detail::LabelColumn, skin::gridSection(LabelColumnWidth));
    setColumnWidth(detail::ValueColumn, skin::gridSection(valueColumnWidth));
    setGridStyle(Qt::NoPen);
    skin::applyPalette(this);
    for (int row = 0; row < detail::RowCount; ++row) {
        setItem(row, detail::LabelColumn, new QTableWidgetItem(detail::rowLabels().at(row)));
        setItem(row, detail::ValueColumn, new QTableWidgetItem);
    }
    m_unmark.setSingleShot(true);
    m_unmark.setInterval(MarkChangedMs);
    connect(&m_unmark, &QTimer::timeout, this, &DetailGrid::unmarkAll);
}

// The keyboard's way to the quantity: the panel is entered at it, and Enter
// or F2 edits it as a double-click does.
void DetailGrid::focusInEvent(QFocusEvent *event)
{
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
        setCurrentCell(detail::QuantityRow, detail::ValueColumn);
    QTableWidget::focusInEvent(event);
}

void DetailGrid::keyPressEvent(QKeyEvent *event)
{
    if (ui::isEnterKey(event) || event->key() == Qt::Key_F2) {
        emit cellDoubleClicked(currentRow(), currentColumn());
        return;
    }
    QTableWidget::keyPressEvent(event);
}

QString DetailGrid::value(int row) const
{
    return item(row, detail::ValueColumn)->text();
}

void DetailGrid::setValue(int row, const QString &text)
{
    item(row, detail::ValueColumn)->setText(text);
}

void DetailGrid::setValues(const PanelValues &values)
{
    for (int row = 0; row < detail::RowCount; ++row)
        setValue(row, values[size_t(row)]);
    m_quantityLowered = false;
    m_quantityChangedUnseen = false;
}

void DetailGrid::clearValues()
{
    unmarkAll();
    setValues(PanelValues{});
}

void DetailGrid::setValuesMarked(const PanelValues &values)
{
    const bool lowered = m_quantityLowered;
    const bool quantityChanged = value(detail::QuantityRow) != values[detail::QuantityRow];
    for (int row = 0; row < detail::RowCount; ++row) {
        if (value(row) != values[size_t(row)])
            item(row, detail::ValueColumn)->setData(Qt::BackgroundRole, skin::ChangedValue);
    }
    const bool unseen = m_quantityChangedUnseen || quantityChanged;
    setValues(values);
    m_quantityLowered = lowered;
    m_quantityChangedUnseen = unseen;
    m_unmark.start();
}

void DetailGrid::setLoweredQuantity(const QString &text)
{
    setValue(detail::QuantityRow, text);
    m_quantityLowered = true;
    m_quantityChangedUnseen = false;
}

bool DetailGrid::isMarked(int row) const
{
    return item(row, detail::ValueColumn)->data(Qt::BackgroundRole).isValid();
}

void DetailGrid::unmarkAll()
{
    for (int row = 0; row < detail::RowCount; ++row) {
        if (isMarked(row))
            item(row, detail::ValueColumn)->setData(Qt::BackgroundRole, QVariant());
    }
}

} // namespace granovia
