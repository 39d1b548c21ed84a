// The console's widgets and where they sit. Sizes are in pixels, never scaled.
#include "console/HistoryGrid.h"
#include "console/OverviewDrawing.h"
#include "console/TForm1.h"
#include "ui/Skin.h"

#include <QMenu>
#include <QMouseEvent>
#include <QSplitter>
#include <QVBoxLayout>

namespace granovia {

namespace {

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
    suiButton4->Tag = RemovalFromA;
    suiButton5->Tag = RemovalFromB;
    suiArrowButton2 = new ui::SuiArrowButton(Qt::DownArrow, QStringLiteral("přesun z A do B"), paneA);
    suiArrowButton1 = new ui::SuiArrowButton(Qt::UpArrow, QStringLiteral("přesun z B do A"), paneB);
    for (QWidget *button : {static_cast<QWidget *>(suiButton4), static_cast<QWidget *>(suiButton5)})
        button->setGeometry(RemovalButtonPlace);
    for (QWidget *button : {static_cast<QWidget *>(suiArrowButton1), static_cast<QWidget *>(suiArrowButton2)})
        button->setGeometry(ArrowButtonPlace);

    suiImagePanel1 = new BottomStrip(this);
    suiImagePanel1->setFixedHeight(BottomStrip::Height);
    suiButton3 = new ui::SuiButton(QStringLiteral("ukončit program"), skin::Pt8, false, suiImagePanel1);
    suiImagePanel1->quitButton = suiButton3;
    suiButton6 = new ui::SuiButton(QStringLiteral("historie a sestavy"), skin::Pt8, false, suiImagePanel1);
    suiImagePanel1->reportsButton = suiButton6;

    // The split area and the strip keep the console's own background; the
    // frame around them has the skin's.
    splitMain->setAutoFillBackground(true);
    suiImagePanel1->setAutoFillBackground(true);
    suiForm1->clientLayout()->addWidget(splitMain, 1);
    suiForm1->clientLayout()->addWidget(suiImagePanel1);
    // Only widgets of one window can be ordered.
    setKeyboardOrder();
}

// Tab follows the screen: the overviews, panel A with its quantity, its
// buttons and its X, then panel B likewise, the history, and the strip.
void TForm1::setKeyboardOrder()
{
    const QList<QWidget *> order{prehled,  prehled2,        popis1,     suiButton4, suiArrowButton2,
                                 suiButton1, popis2,        suiButton5, suiArrowButton1, suiButton2,
                                 suiDBGrid1, suiButton6,    suiButton3};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
}

QWidget *TForm1::buildOverviewPane()
{
    auto *pane = new OverviewPane;
    suiImagePanel5 = new ui::TitleStrip(QStringLiteral("PŘEHLED"), pane);
    m_prehledModel = new OverviewModel(snapshot, 0, this);
    m_prehled2Model = new OverviewModel(snapshot, overview::SecondGridBase, this);
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
    suiDBGrid1->setHistoryModel(&history);
    PopupMenu1 = new QMenu(suiDBGrid1);
    PopupMenu1->setFont(skin::font(skin::Pt8));
    skin::applyMenuPalette(PopupMenu1);
    Stornovatpohyb1 = PopupMenu1->addAction(QStringLiteral("Stornovat pohyb"));
    layout->addWidget(suiImagePanel4);
    layout->addWidget(suiDBGrid1, 1);
    return pane;
}

} // namespace granovia
