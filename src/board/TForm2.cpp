// The board window: its buttons, their layout at the first paint, the fill
// glyphs, and the ways of leaving it.
#include "board/TForm2.h"

#include "board/FillGlyph.h"
#include "store/DbError.h"
#include "config/Polling.h"
#include "store/Schema.h"
#include "store/SiloSnapshot.h"
#include "ui/ErrorDisplay.h"
#include "ui/HotKey.h"
#include "ui/ScanInput.h"
#include "ui/Skin.h"
#include "ui/SkinnedFrame.h"

#include <QApplication>
#include <QCoreApplication>
#include <QScopedValueRollback>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QVBoxLayout>

namespace granovia {

namespace {

const QString BoardCaption = QStringLiteral("Granovia - přehled uloženi sil");
const QSize PlaceholderSize(10, 10);
constexpr int PlaceholderStep = 10;
constexpr int MsPerSecond = 1000;
constexpr int WaitNoticeBorder = 2;
constexpr int WaitNoticeMargin = 24;
// The classic raised face of the silo buttons.
const QString ClassicStyle = QStringLiteral("Windows");

// The bottom bar: "přesun" takes what the window has beyond the width the bar
// was drawn for, the other two keep their distance to the right edge.
class CommandBar final : public QWidget {
public:
    using QWidget::QWidget;
    QWidget *transfer = nullptr;
    QWidget *removal = nullptr;
    QWidget *reset = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QWidget::resizeEvent(event);
        const board::CommandPlaces places = board::commandPlaces(width());
        transfer->setGeometry(places.transfer);
        removal->setGeometry(places.removal);
        reset->setGeometry(places.reset);
    }
};

// Stock and capacity by silo number, from one read of the whole table; the
// first row of a silo number counts.
QHash<int, board::SiloFill> readFills(Connection &connection)
{
    namespace c = schema::ppsila;
    Result result = connection.query(selectBoardSilos());
    QHash<int, board::SiloFill> fills;
    while (result.next()) {
        const int silo = int(result.toInt(c::Silo));
        if (!fills.contains(silo))
            fills.insert(silo, {result.toDouble(c::Stav), result.toDouble(c::Kapacita)});
    }
    return fills;
}

// A silo without a row keeps the glyph it has (none at the first paint).
void paintGlyph(QPushButton *button, int silo, const QHash<int, board::SiloFill> &fills, const board::Tiles &tiles)
{
    const auto fill = fills.constFind(silo);
    if (fill == fills.constEnd())
        return;
    const int height = board::glyphHeight(button->height());
    const QImage glyph = board::fillGlyph(height, fill->stav, fill->kapacita, tiles);
    button->setIconSize(QSize(board::GlyphWidth, height));
    button->setIcon(glyph.isNull() ? QIcon() : QIcon(QPixmap::fromImage(glyph)));
}

} // namespace

// A modal child of the console, so that the window system keeps the board
// above it: wherever a window manager leaves a parked console, none of it
// shows while the board is up.
TForm2::TForm2(movement::Desk &desk, QWidget *owner, AppPaths paths)
    : QDialog(owner)
    , m_desk(desk)
    , m_consoleWatchPaused(desk)
    , m_paths(std::move(paths))
{
    FormCreate();
    m_staleMark = new ui::StaleMark(this, CommandFontPx);
    m_glyphPoll.setInterval(polling::Interval);
    connect(&m_glyphPoll, &QTimer::timeout, this, &TForm2::pollGlyphs);
    m_glyphPoll.start();
    ui::ScanInput::instance().attach(this, [this](const QString &code) { scanned(code); });
}

TForm2::~TForm2() = default;

void TForm2::showBoard(movement::Desk &desk, QWidget *owner)
{
    TForm2 board(desk, owner);
    board.exec();
}

void TForm2::FormCreate()
{
    setWindowTitle(BoardCaption);
    auto *frame = new ui::SkinnedFrame(this, ui::FrameStyle::bare(Qt::black));
    m_buttonStyle = QStyleFactory::create(ClassicStyle);
    if (m_buttonStyle)
        m_buttonStyle->setParent(this);

    btny = new QWidget(frame->client());
    createCommandBar();
    frame->clientLayout()->addWidget(btny, 1);
    frame->clientLayout()->addWidget(suiImagePanel1);

    for (int row = 1; row <= board::GridRows; ++row) {
        for (int column = 1; column <= board::GridColumns; ++column) {
            const int silo = board::GridColumns * (row - 1) + column;
            if (!board::hasBoardButton(silo))
                break;
            createSiloButton(silo);
        }
    }
    createWaitNotice();
    krok = NothingPicked;
    zdroj = cil = 0;
    maximize();
}

// Framed, in the bar's font, and as legible over the board that a movement
// has disabled as over an enabled one.
void TForm2::createWaitNotice()
{
    auto *notice = new QLabel(QStringLiteral("čekám na uvolnění záznamů…"), btny);
    notice->setFont(skin::font(CommandFontPx));
    notice->setAlignment(Qt::AlignCenter);
    notice->setFrameStyle(QFrame::Box | QFrame::Plain);
    notice->setLineWidth(WaitNoticeBorder);
    notice->setMargin(WaitNoticeMargin);
    notice->setAutoFillBackground(true);
    QPalette palette = notice->palette();
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Window})
        palette.setColor(QPalette::Disabled, role, palette.color(QPalette::Active, role));
    notice->setPalette(palette);
    notice->hide();
    m_waitNotice = notice;
}

void TForm2::createSiloButton(int silo)
{
    auto *button = new SiloButton(btny);
    button->setVisible(false);
    button->Tag = silo;
    // Placeholders until the first paint lays the buttons out.
    const int row = (silo - 1) / board::GridColumns;
    const int column = (silo - 1) % board::GridColumns;
    button->setGeometry(QRect(QPoint(column * PlaceholderStep, row * PlaceholderStep), PlaceholderSize));
    button->setFont(skin::font(skin::Pt20));
    button->setText(board::siloCaption(silo));
    if (m_buttonStyle)
        button->setStyle(m_buttonStyle);
    tlacitka[size_t(silo)] = button;
}

void TForm2::createCommandBar()
{
    auto *bar = new CommandBar(this);
    bar->setFixedHeight(BarHeight);
    suiImagePanel1 = bar;
    suiButton1 = new QPushButton(QStringLiteral("přesun"), bar);
    suiButton4 = new QPushButton(QStringLiteral("odvoz"), bar);
    suiButton2 = new QPushButton(QStringLiteral("znovu zadat"), bar);
    for (QPushButton *button : {suiButton1, suiButton4, suiButton2})
        button->setFont(skin::font(CommandFontPx));
    suiButton1->setEnabled(false);
    suiButton4->setEnabled(false);
    bar->transfer = suiButton1;
    bar->removal = suiButton4;
    bar->reset = suiButton2;
    connect(suiButton1, &QPushButton::clicked, this, &TForm2::suiButton1Click);
    connect(suiButton4, &QPushButton::clicked, this, &TForm2::suiButton5Click);
    connect(suiButton2, &QPushButton::clicked, this, &TForm2::suiButton2Click);
}

void TForm2::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!std::exchange(m_shownOnce, true))
        FormShow();
}

// Runs as the board is being shown, before its window maps: the first
// paint is complete when the window first comes on the screen.
void TForm2::FormShow()
{
    QCoreApplication::processEvents();
    layout()->activate();
    poprve = true;
    // A failed first paint is shown; the board still gets its dialogs and its
    // hot key, so that it can be left, and "znovu zadat" paints it again.
    ui::guarded(this, [this] { vymaluj(); });
    foznam = new Tfoznam(this);
    infos = new Tinfos(this);
    HotKey1 = new ui::HotKey(ui::HotKey::fromShortcutValue(ShortcutValue), this);
    // Queued: the hot key's own delivery is over before the board goes.
    connect(HotKey1, &ui::HotKey::activated, this, [this] { ui::guarded(this, [this] { HotKey1HotKey(); }); },
            Qt::QueuedConnection);
    if (HotKey1->refusedBySystem())
        offerLeaveByHolding();
}

// The hot key works only while the board is active, and no key reaches it
// while the program that holds the key has it: the operator at the panel
// leaves the board by holding "znovu zadat", and learns so once it is up.
void TForm2::offerLeaveByHolding()
{
    m_leaveHold.setSingleShot(true);
    m_leaveHold.setInterval(LeaveHoldMs);
    connect(suiButton2, &QPushButton::pressed, &m_leaveHold, qOverload<>(&QTimer::start));
    connect(suiButton2, &QPushButton::released, &m_leaveHold, &QTimer::stop);
    connect(&m_leaveHold, &QTimer::timeout, this, [this] {
        // Released after this, the button clicks nothing on a board that goes.
        suiButton2->setDown(false);
        HotKey1HotKey();
    });
    QTimer::singleShot(0, this, [this] {
        if (foznam)
            foznam->showModal(QStringLiteral("Klávesovou zkratku Ctrl+Shift+F10 drží jiný program!\n"
                                             "Tabuli opustíte podržením tlačítka „znovu zadat“ po dobu %1 s.")
                                  .arg(LeaveHoldMs / MsPerSecond));
    });
}

// Done at creation: a geometry set while the window is being shown maps it
// there and then, and its first exposure would fall into the first paint.
void TForm2::maximize()
{
    // Without a window manager nobody acts on the state: take the screen.
    if (QScreen *screen = parentWidget() ? parentWidget()->screen() : this->screen())
        setGeometry(screen->availableGeometry());
    setWindowState(windowState() | Qt::WindowMaximized);
}

void TForm2::vymaluj()
{
    const QScopedValueRollback painting(m_painting, true);
    const board::Tiles tiles = board::Tiles::load(m_paths);
    const board::BoardGrid grid = board::boardGrid(btny->size());
    const QHash<int, board::SiloFill> fills = readFills(m_desk.connection());
    const bool first = poprve;
    QCoreApplication::processEvents();
    for (int silo = 1; silo <= board::SiloCount; ++silo) {
        if (first)
            layOutButton(silo, grid);
        paintGlyph(tlacitka[size_t(silo)], silo, fills, tiles);
        notePainted(silo, fills);
    }
    QCoreApplication::processEvents();
    // Only a first paint that went through clears the flag; one that failed
    // is done again by the next full repaint.
    poprve = false;
}

void TForm2::layOutButton(int silo, const board::BoardGrid &grid)
{
    SiloButton *button = tlacitka[size_t(silo)];
    button->setVisible(true);
    button->setGeometry(board::siloButtonRect(grid, silo));
    connect(button, &QPushButton::clicked, this, &TForm2::siloButtonClicked, Qt::UniqueConnection);
    button->Tag = silo;
}

void TForm2::vymaluj_btn(int n)
{
    if (!board::hasBoardButton(n))
        return;
    const QScopedValueRollback painting(m_painting, true);
    const board::Tiles tiles = board::Tiles::load(m_paths);
    const QHash<int, board::SiloFill> fills = readFills(m_desk.connection());
    QCoreApplication::processEvents();
    paintGlyph(tlacitka[size_t(n)], n, fills, tiles);
    notePainted(n, fills);
    QCoreApplication::processEvents();
}

void TForm2::notePainted(int silo, const QHash<int, board::SiloFill> &fills)
{
    const auto fill = fills.constFind(silo);
    if (fill != fills.constEnd())
        m_painted.insert(silo, *fill);
}

void TForm2::pollGlyphs()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (m_painting || poprve || !isVisible() || (modal && modal != this))
        return;
    try {
        const polling::Budget budget;
        Connection &connection = m_desk.watchConnection();
        const ChangeToken token = readChangeToken(connection);
        m_glyphPoll.setInterval(polling::Interval);
        if (token == m_glyphToken) {
            m_staleMark->readSucceeded();
            return;
        }
        const QHash<int, board::SiloFill> fills = readFills(connection);
        std::optional<board::Tiles> tiles;
        for (int silo = 1; silo <= board::SiloCount; ++silo) {
            const auto fill = fills.constFind(silo);
            const auto painted = m_painted.constFind(silo);
            if (fill == fills.constEnd() || (painted != m_painted.constEnd() && *painted == *fill))
                continue;
            if (!tiles)
                tiles = board::Tiles::load(m_paths);
            paintGlyph(tlacitka[size_t(silo)], silo, fills, *tiles);
            notePainted(silo, fills);
        }
        m_glyphToken = token;
        m_staleMark->readSucceeded();
    } catch (const DbError &) {
        m_staleMark->readFailed();
        m_desk.dropWatchConnection();
        m_glyphToken.reset();
        m_glyphPoll.setInterval(polling::RetryInterval);
    }
}

void TForm2::siloButtonClicked()
{
    if (auto *button = qobject_cast<SiloButton *>(sender()))
        suiButton3Click(button);
}

void TForm2::HotKey1HotKey()
{
    leave();
    close();
}

void TForm2::done(int result)
{
    leave();
    QDialog::done(result);
}

void TForm2::leave()
{
    if (std::exchange(m_left, true))
        return;
    delete HotKey1.data();
    // A dialog that is open now returns as if cancelled, and goes with it.
    if (Tinfos *dialog = std::exchange(infos, nullptr)) {
        dialog->done(Tinfos::Cancel);
        dialog->deleteLater();
    }
    if (Tfoznam *dialog = std::exchange(foznam, nullptr)) {
        dialog->done(Tfoznam::Ok);
        dialog->deleteLater();
    }
    if (m_ownDialog)
        m_ownDialog->done(0);
    m_desk.boardLeft();
}

ui::DialogAnswer TForm2::showOwnDialog(const ui::DialogRequest &request)
{
    Tfoznam dialog(this, request.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : request.buttons);
    m_ownDialog = &dialog;
    return {dialog.showOwn(request.text), {}};
}

void TForm2::keyPressEvent(QKeyEvent *event)
{
    // The board is left by its hot key (or the window manager), not by Esc.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace granovia
