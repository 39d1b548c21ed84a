// The console's widgets and where they sit. Sizes are in pixels, never scaled.
#include "console/HistoryGrid.h"
#include "console/OverviewDrawing.h"
#include "console/TForm1.h"
#include "ui/Skin.h"

#include <algorithm>

#include <QMouseEvent>
#include <QScreen>
#include <QSplitter>
#include <QVBoxLayout>

namespace granovia {

namespace {

// Where a board terminal parks the console: below the screen.
constexpr int ParkedTop = 5000;
constexpr int RightPaneWidth = 260;
constexpr int DetailSplitPosition = 400;
constexpr int PanelSplitPosition = 200;
const QRect ClearButtonPlace(220, 2, 15, 15);
const QRect RemovalButtonPlace(104, 150, 80, 30);
const QRect ArrowButtonPlace(190, 150, 30, 30);
const QSize QuitButtonSize(119, 27);
constexpr int QuitButtonRightGap = 24;
constexpr int QuitButtonBottomGap = 8;
constexpr int StripButtonGap = 6;
constexpr int PanelAValueWidth = 141;
constexpr int PanelBValueWidth = 142;
// What a grid keeps beside its two columns (lines and scroll bar).
constexpr int GridColumnMargin = 25;

// The overview: the title strip over the two grids side by side. Each grid
// is half the pane less 1 px wide, set from the pane's width every time it
// changes, so that no grid holds a width of its own that would keep the
// splitter from giving the right pane its share.
class OverviewPane final : public QWidget {
public:
    ui::TitleStrip *strip = nullptr;
    std::array<OverviewGrid *, 2> grids{};

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QWidget::resizeEvent(event);
        strip->setGeometry(0, 0, width(), ui::TitleStrip::Height);
        const int gridWidth = std::max(0, width() / 2 - 1);
        const int gridHeight = std::max(0, height() - ui::TitleStrip::Height);
        for (size_t i = 0; i < grids.size(); ++i) {
            grids[i]->setGeometry(int(i) * gridWidth, ui::TitleStrip::Height, gridWidth, gridHeight);
            grids[i]->setDataColumnWidth(gridWidth - OverviewGrid::LabelColumnWidth - GridColumnMargin);
        }
    }
};

QVBoxLayout *stack(QWidget *pane)
{
    auto *layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

QSplitter *splitter(Qt::Orientation orientation)
{
    auto *split = new QSplitter(orientation);
    split->setHandleWidth(TForm1::SplitterBarWidth);
    split->setChildrenCollapsible(false);
    return split;
}

void lockBar(QSplitter *split, int firstPaneSize, int total)
{
    split->setSizes({firstPaneSize, std::max(0, total - firstPaneSize - TForm1::SplitterBarWidth)});
    split->handle(1)->setEnabled(false);
}

} // namespace

void BottomStrip::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    emit doubleClicked();
}

void BottomStrip::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The quit button keeps its distances to the right and bottom edges,
    // and the reports button stands left of it.
    const QRect quit(width() - QuitButtonRightGap - QuitButtonSize.width(),
                     height() - QuitButtonBottomGap - QuitButtonSize.height(), QuitButtonSize.width(),
                     QuitButtonSize.height());
    if (quitButton)
        quitButton->setGeometry(quit);
    if (reportsButton)
        reportsButton->setGeometry(quit.translated(-(QuitButtonSize.width() + StripButtonGap), 0));
}

void TForm1::buildLayout()
{
    skin::applyPalette(this);
    setFont(skin::font(skin::Pt8));
    suiForm1 = new ui::SkinnedFrame(this, ui::FrameStyle::mainWindow());

    splitMain = splitter(Qt::Horizontal);
    splitRight = splitter(Qt::Vertical);
    splitDetail = splitter(Qt::Vertical);
    splitMain->addWidget(buildOverviewPane());
    splitMain->addWidget(splitRight);
    splitRight->addWidget(splitDetail);
    splitRight->addWidget(buildHistoryPane());
    splitDetail->addWidget(buildDetailPane(suiImagePanel2, popis1, suiButton1, PanelAValueWidth));
    splitDetail->addWidget(buildDetailPane(suiImagePanel3, popis2, suiButton2, PanelBValueWidth));
    popis1->setAccessibleName(QStringLiteral("silo A"));
    popis2->setAccessibleName(QStringLiteral("silo B"));
    for (QSplitter *split : {splitMain, splitRight, splitDetail})
        split->installEventFilter(this);
    suiImagePanel2->setText(QStringLiteral("SILO (A)"));
    suiImagePanel3->setText(QStringLiteral("SILO (B)"));

    QWidget *paneA = splitDetail->widget(0);
    QWidget *paneB = splitDetail->widget(1);
    suiButton4 = new ui::SuiButton(QStringLiteral("mimo SILO"), skin::Pt8, false, paneA);
    suiButton5 = new ui::SuiButton(QStringLiteral("mimo SILO"), skin::Pt8, false, paneB);
    suiButton4->Tag = MovementActions::RemovalFromA;
    suiButton5->Tag = MovementActions::RemovalFromB;
    suiArrowButton2 = new ui::SuiArrowButton(Qt::DownArrow, QStringLiteral("přesun z A do B"), paneA);
    suiArrowButton1 = new ui::SuiArrowButton(Qt::UpArrow, QStringLiteral("přesun z B do A"), paneB);
    for (QWidget *button : {static_cast<QWidget *>(suiButton4), static_cast<QWidget *>(suiButton5)})
        button->setGeometry(RemovalButtonPlace);
    for (QWidget *button : {static_cast<QWidget *>(suiArrowButton1), static_cast<QWidget *>(suiArrowButton2)})
        button->setGeometry(ArrowButtonPlace);

    suiImagePanel1 = new BottomStrip(this);
    suiImagePanel1->setFixedHeight(BottomStrip::Height);
    suiButton3 = new ui::SuiButton(QStringLiteral("ukončit program"), skin::Pt8, false, suiImagePanel1);
    suiButton3->setKeysOnlyWhenTabbedTo(true);
    suiImagePanel1->quitButton = suiButton3;
    reportsButton = new ui::SuiButton(QStringLiteral("historie a sestavy"), skin::Pt8, false, suiImagePanel1);
    suiImagePanel1->reportsButton = reportsButton;

    // The split area and the strip keep the console's own background; the
    // frame around them has the skin's.
    splitMain->setAutoFillBackground(true);
    suiImagePanel1->setAutoFillBackground(true);
    suiForm1->clientLayout()->addWidget(splitMain, 1);
    suiForm1->clientLayout()->addWidget(suiImagePanel1);
    // Only widgets of one window can be ordered.
    setKeyboardOrder();
    nameParts();
}

// Each part carries its name, for the tools that look at the window.
void TForm1::nameParts()
{
    const QList<std::pair<QObject *, const char *>> parts{
        {suiForm1, "suiForm1"},         {suiImagePanel1, "suiImagePanel1"}, {suiImagePanel2, "suiImagePanel2"},
        {suiImagePanel3, "suiImagePanel3"}, {suiImagePanel4, "suiImagePanel4"}, {suiImagePanel5, "suiImagePanel5"},
        {splitMain, "splitMain"},       {splitRight, "splitRight"},         {splitDetail, "splitDetail"},
        {prehled, "prehled"},           {prehled2, "prehled2"},             {popis1, "popis1"},
        {popis2, "popis2"},             {suiDBGrid1, "suiDBGrid1"},         {suiButton1, "suiButton1"},
        {suiButton2, "suiButton2"},     {suiButton3, "suiButton3"},         {suiButton4, "suiButton4"},
        {suiButton5, "suiButton5"},     {reportsButton, "reportsButton"},   {suiArrowButton1, "suiArrowButton1"},
        {suiArrowButton2, "suiArrowButton2"},
    };
    for (const auto &[part, name] : parts)
        part->setObjectName(QLatin1String(name));
}

// Tab follows the screen: the overviews, panel A with its quantity, its
// buttons and its X, then panel B likewise, the history, and the strip.
void TForm1::setKeyboardOrder()
{
    const QList<QWidget *> order{prehled,  prehled2,        popis1,     suiButton4, suiArrowButton2,
                                 suiButton1, popis2,        suiButton5, suiArrowButton1, suiButton2,
                                 suiDBGrid1, reportsButton, suiButton3};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
}

QWidget *TForm1::buildOverviewPane()
{
    auto *pane = new OverviewPane;
    suiImagePanel5 = new ui::TitleStrip(QStringLiteral("PŘEHLED"), pane);
    m_prehledModel = new OverviewModel(m_snapshot, 0, this);
    m_prehled2Model = new OverviewModel(m_snapshot, overview::SecondGridBase, this);
    prehled = new OverviewGrid(m_prehledModel, 0, pane);
    prehled2 = new OverviewGrid(m_prehled2Model, SecondGridTag, pane);
    prehled->setAccessibleName(QStringLiteral("přehled sil 1 až 50"));
    prehled2->setAccessibleName(QStringLiteral("přehled sil 51 až 100"));
    pane->strip = suiImagePanel5;
    pane->grids = {prehled, prehled2};
    return pane;
}

QWidget *TForm1::buildDetailPane(ui::TitleStrip *&title, DetailGrid *&grid, ui::SuiButton *&clear, int valueWidth)
{
    auto *pane = new QWidget;
    QVBoxLayout *layout = stack(pane);
    title = new ui::TitleStrip(QString());
    grid = new DetailGrid(valueWidth);
    layout->addWidget(title);
    layout->addWidget(grid, 1);
    clear = new ui::SuiButton(QStringLiteral("X"), skin::Pt8, true, title);
    clear->setGeometry(ClearButtonPlace);
    return pane;
}

QWidget *TForm1::buildHistoryPane()
{
    auto *pane = new QWidget;
    QVBoxLayout *layout = stack(pane);
    suiImagePanel4 = new ui::TitleStrip(QStringLiteral("HISTORIE"));
    suiDBGrid1 = new HistoryGrid;
    suiDBGrid1->setAccessibleName(QStringLiteral("historie"));
    suiDBGrid1->setHistoryModel(&m_history);
    layout->addWidget(suiImagePanel4);
    layout->addWidget(suiDBGrid1, 1);
    return pane;
}

// The window is frameless, so its outer height is the screen's: the whole
// console, bottom strip and quit button included, lies on the screen. Where
// that does not fit the screen's available area (a screen narrower than the
// design, a desktop's panel), the window takes the area's width or height and
// lies wholly within it.
void TForm1::placeWindow()
{
    const QRect screenArea = screen()->geometry();
    const QRect available = screen()->availableGeometry();
    QRect place(screenArea.left() + (screenArea.width() - DesignSize.width()) / 2, screenArea.top(),
                DesignSize.width(), screenArea.height());
    if (!available.contains(place)) {
        place.setSize(place.size().boundedTo(available.size()));
        place.moveLeft(std::clamp(place.left(), available.left(), available.right() - place.width() + 1));
        place.moveTop(std::clamp(place.top(), available.top(), available.bottom() - place.height() + 1));
    }
    if (isPanelMode())
        place.moveTop(screenArea.top() + ParkedTop);
    resize(place.size());
    move(place.topLeft());
}

void TForm1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TForm1::FormResize()
{
    if (isPanelMode())
        move(x(), ParkedTop);
    placeBars();
}

// The bar stands at the window's width less 260 px, however the window was
// sized before: 590 px in a window 850 px wide. The overview grids follow the
// left pane (OverviewPane).
void TForm1::placeBars()
{
    lockBar(splitMain, width() - RightPaneWidth, splitMain->width());
    lockBar(splitRight, DetailSplitPosition, splitRight->height());
    lockBar(splitDetail, PanelSplitPosition, splitDetail->height());
}

// A split area learns its new size only after the window's resize when the
// window is being shown; the bars are placed again once it has.
bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && (watched == splitMain || watched == splitRight || watched == splitDetail))
        placeBars();
    return QWidget::eventFilter(watched, event);
}

} // namespace granovia
