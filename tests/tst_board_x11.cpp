// The real program on a real X server with a window manager, driven by
// xdotool and assistive technology, and judged by the screen's pixels: the
// board terminal, the console, its board, its history and its reports.
#include "TestDatabase.h"
#include "TestInstallation.h"
#include "movements/Movements.h"
#include "ui/Skin.h"

#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <optional>
#include <QStandardPaths>
#include <QtTest>
#include <X11/keysym.h>
#include <csignal>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

using namespace granovia;
using namespace Qt::StringLiterals;
using granovia::test::ScratchDatabase;

namespace {

const QString BoardTitle = u"Granovia - přehled uloženi sil"_s;
const QString ConsoleTitle = u"^Granovia - silo$"_s;
constexpr int BoardDelayMs = 5000;
// The console's timer is a coarse one, which may fire up to 5 % early.
constexpr int EarliestBoardMs = BoardDelayMs * 95 / 100;
constexpr int ToolTimeoutMs = 5000;
constexpr int AppearTimeoutMs = 30000;
constexpr int LeaveTimeoutMs = 10000;
constexpr int PollMs = 200;
// Where the overview's rows stand in the console: below the border, the
// title bar and the overview's strip; 15 px rows with a line after each.
constexpr int Border = 1;
constexpr int OverviewTop = 1 + 30 + 20;
constexpr int OverviewRowStep = 16;
constexpr int OverviewRowHeight = 15;
constexpr int LabelCellWidth = 80;
constexpr int DataCellWidth = 190;
constexpr int OverviewGridWidth = 294;
const QColor BarOutline(255, 196, 196);
const QColor BarFill(238, 238, 238);
constexpr int MaxTabs = 6;
// The board's dialogs and where they are touched, in their outer sizes:
// their client areas with the frame's border and title bar around.
constexpr int InfoDialogWidth = 559 + 2;
const QPoint TakeButtonCentre(1 + 30 + 242 / 2, 1 + 30 + 390 + 76 / 2);
constexpr int NoticeDialogWidth = 572 + 2;
const QPoint NoticeOkCentre(1 + 30 + 506 / 2, 1 + 30 + 225 + 76 / 2);
constexpr int InfoTouchTop = 40;
constexpr int CommandBarHeight = 89;
constexpr int TransferTapLeft = 100;
// "znovu zadat": 250 px wide, 19 px from the bar's right edge; its middle.
constexpr int ResetFromRight = 19 + 250 / 2;
// "0 or near": the console's top edge once it is back on screen.
constexpr int NearTop = 50;
// Pixels of a tile colour that a painted board shows at the least: the
// glyph of one silo, 15 px wide and some rows high.
constexpr int TileColourPixels = 15 * 10;
const QStringList Tiles{u"zelena.bmp"_s, u"cervena.bmp"_s};
// Colours that only the console paints: its title strips and label cells,
// and the face of its buttons.
const QColor ConsoleStrip(229, 217, 194);
const QColor ConsoleButtonFace(122, 106, 72);
const QColor SplitterBar(221, 221, 221);
const QColor BoardBackground(249, 248, 249);
// A black square this large is unpainted window, not a stroke of text.
constexpr int BlackBlock = 16;
constexpr int RightPaneWidth = 256;
constexpr int BottomStripHeight = 41;
// Below the title bar, in the strips at the top of both panes.
constexpr int StripRow = 1 + 30 + 10;
// The quit button is 119 px wide; most of its face must be seen.
constexpr int QuitFaceWidth = 100;

// Runs a tool to its end; false when it fails. Xvfb now and then turns a
// connection away while other clients connect, so every use of a tool is
// tried again until its condition holds.
bool tryRun(const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(ToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Runs a tool until it has succeeded once: an action such as a click must
// not be repeated, as a QTRY macro repeats a condition that holds.
bool runOnce(const QString &program, const QStringList &arguments)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    while (!tryRun(program, arguments)) {
        if (sinceStart.elapsed() > LeaveTimeoutMs)
            return false;
        QTest::qWait(PollMs);
    }
    return true;
}

// Visible windows whose name matches; nothing when xdotool could not reach
// the X server (it ends with 1 also when it finds no window).
std::optional<QStringList> windows(const QString &name)
{
    QProcess process;
    process.start(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, name});
    if (!process.waitForFinished(ToolTimeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.readAllStandardError().contains("display")) {
        process.kill();
        return std::nullopt;
    }
    return QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

// -1 when the X server could not be asked.
int windowCount(const QString &name)
{
    const std::optional<QStringList> found = windows(name);
    return found ? int(found->size()) : -1;
}

// The geometry of a window, by its id.
std::optional<QRect> geometryOfWindow(const QString &id)
{
    QByteArray geometry;
    if (!tryRun(u"xdotool"_s, {u"getwindowgeometry"_s, id}, &geometry))
        return std::nullopt;
    const QRegularExpressionMatch match =
        QRegularExpression(u"Position: (-?\\d+),(-?\\d+).*Geometry: (\\d+)x(\\d+)"_s,
                           QRegularExpression::DotMatchesEverythingOption)
            .match(QString::fromUtf8(geometry));
    if (!match.hasMatch())
        return std::nullopt;
    return QRect(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt(),
                 match.captured(4).toInt());
}

// The geometry of the one window of that name.
std::optional<QRect> geometryOf(const QString &name)
{
    const std::optional<QStringList> found = windows(name);
    if (!found || found->size() != 1)
        return std::nullopt;
    return geometryOfWindow(found->first());
}

// Clicks the mouse button at a point of the screen, as often as asked.
bool clickAt(const QPoint &at, int button = 1, int clicks = 1, int delayMs = 0)
{
    return runOnce(u"xdotool"_s, {u"mousemove"_s, QString::number(at.x()), QString::number(at.y()), u"click"_s,
                                  u"--repeat"_s, QString::number(clicks), u"--delay"_s, QString::number(delayMs),
                                  QString::number(button)});
}

// The screen's pixels, straight from the X server; null when it could not
// be asked.
QImage grabScreen()
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    QImage image;
    if (!xcb_connection_has_error(connection)) {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        const int w = screen->width_in_pixels;
        const int h = screen->height_in_pixels;
        const auto cookie = xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, 0, w, h, ~0u);
        if (xcb_get_image_reply_t *reply = xcb_get_image_reply(connection, cookie, nullptr)) {
            if (xcb_get_image_data_length(reply) == w * h * 4)
                image = QImage(xcb_get_image_data(reply), w, h, w * 4, QImage::Format_RGB32).copy();
            free(reply);
        }
    }
    xcb_disconnect(connection);
    return image;
}

void keepShot(const QImage &shot, const QString &name)
{
    shot.save(QStringLiteral(GRANOVIA_SCREENSHOT_DIR) + u'/' + name);
}

constexpr QRgb RgbMask = 0xffffff;

bool sameColour(QRgb pixel, const QColor &colour)
{
    return (pixel & RgbMask) == (colour.rgb() & RgbMask);
}

// The colours of an image, such as a glyph's tile.
QSet<QRgb> coloursOf(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y) & RgbMask);
    }
    return colours;
}

// How many pixels of the area have one of the colours, and where they lie.
struct Spread {
    qsizetype count = 0;
    QRect bounds;
};
Spread spreadOf(const QImage &image, const QRect &area, const QSet<QRgb> &colours)
{
    Spread spread;
    const QRect inside = area & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (colours.contains(image.pixel(x, y) & RgbMask)) {
                ++spread.count;
                spread.bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return spread;
}
Spread spreadOf(const QImage &image, const QRect &area, const QColor &colour)
{
    return spreadOf(image, area, QSet<QRgb>{colour.rgb() & RgbMask});
}
qsizetype pixelsOf(const QImage &image, const QSet<QRgb> &colours)
{
    return spreadOf(image, image.rect(), colours).count;
}

// Pixels of grey text, whatever the font's smoothing made of its colour:
// greys between it and the console's background, which the console's
// brown text, lines and fixed cells are not.
qsizetype greyTextPixels(const QImage &image, const QRect &area)
{
    constexpr int LightestGrey = 200;
    QSet<QRgb> greys;
    for (int value = skin::CancelledText.green(); value <= LightestGrey; ++value)
        greys.insert(qRgb(value, value, value) & RgbMask);
    return spreadOf(image, area, greys).count;
}

// Whether some aligned square of the area is black all over.
bool hasBlackBlock(const QImage &image, const QRect &area)
{
    for (int top = area.top(); top + BlackBlock <= area.bottom() + 1; top += BlackBlock) {
        for (int left = area.left(); left + BlackBlock <= area.right() + 1; left += BlackBlock) {
            if (spreadOf(image, QRect(left, top, BlackBlock, BlackBlock), Qt::black).count == BlackBlock * BlackBlock)
                return true;
        }
    }
    return false;
}

// The right pane's width, read in a row through the strips at the top of
// both panes: from the splitter bar, grey, to the window's right border.
std::optional<int> rightPaneWidth(const QImage &screen, const QRect &console)
{
    const int y = console.top() + StripRow;
    for (int x = std::min(console.right(), screen.width() - 1) - 1; x > console.left(); --x) {
        if (sameColour(screen.pixel(x, y), SplitterBar))
            return console.right() - 1 - x;
    }
    return std::nullopt;
}

// Another client holding Ctrl+Shift+F10 at the X server, as a program that
// took the combination first would; it notes the key presses it gets.
class ForeignGrab final {
public:
    ForeignGrab()
        : m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(m_connection);
        xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols, XK_F10);
        m_granted = codes && *codes != XCB_NO_SYMBOL;
        for (xcb_keycode_t *code = codes; code && *code != XCB_NO_SYMBOL; ++code) {
            for (const quint16 lock : {0, int(XCB_MOD_MASK_LOCK), int(XCB_MOD_MASK_2), int(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2)}) {
                const auto cookie = xcb_grab_key_checked(m_connection, 1, root,
                                                         XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT | lock, *code,
                                                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
                if (xcb_generic_error_t *error = xcb_request_check(m_connection, cookie)) {
                    m_granted = false;
                    free(error);
                }
            }
        }
        free(codes);
        xcb_key_symbols_free(symbols);
    }
    // Disconnecting releases the grabs.
    ~ForeignGrab() { xcb_disconnect(m_connection); }
    Q_DISABLE_COPY_MOVE(ForeignGrab)

    bool granted() const { return m_granted; }
    bool pressed()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
            m_pressed = m_pressed || (event->response_type & ~0x80) == XCB_KEY_PRESS;
            free(event);
        }
        return m_pressed;
    }

private:
    xcb_connection_t *m_connection;
    bool m_granted = false;
    bool m_pressed = false;
};

} // namespace

class BoardX11Test final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void boardTerminalOpensAndLeavesByHotKey();
    void refusedHotKeyLeavesTheBoardRunning();
    void consoleFitsTheScreenAndKeepsItsPanes();
    void keyboardFollowsTheScreen();
    void doubleTapOnTransferBooksOnce();
    void consoleAndBoardShowAnotherWorkstationsTransfer();
    void historyMenuReversesAMovement();
    void reportsWindowAndItsPrintPreview();

private:
    bool startProgram(const QStringList &arguments);
    bool startBoardTerminal();
    void expectConsoleBack();
    void doubleClickTitleBar(const QRect &console);
    QStringList focused();
    // All the program has printed since its start.
    const QByteArray &output();
    std::optional<QRect> dialogOfWidth(int width);
    void transferElsewhere(int from, int to, double quantity, const QString &lot);

    granovia::test::Installation m_installation;
    QString m_program;
    std::unique_ptr<ScratchDatabase> m_db;
    QProcess m_process;
    QProcess m_bus;
    QProcessEnvironment m_busEnvironment;
    QByteArray m_output;
    qint64 m_starts = 0;
};

void BoardX11Test::initTestCase()
{
    GRANOVIA_REQUIRE_SERVER();
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QFAIL("No X server: run the suite through scripts/test.sh (ctest runs under xvfb-run)");
    if (QStandardPaths::findExecutable(u"xdotool"_s).isEmpty())
        QFAIL("xdotool is missing: scripts/deps.sh installs it");
    m_db = std::make_unique<ScratchDatabase>(u"t_board_x11"_s);
    // Silo 4 is filled beyond its capacity, silo 5 has a negative capacity.
    m_db->execute(u"insert into ppsila (silo, stav, kapacita, partie) values "
                  "(1, 30, 60, 'A1'), (2, 60, 60, 'A1'), (3, 0, 60, ''), (4, 54, 50, 'D4'), (5, 5, -10, 'E5'), "
                  "(51, 45, 50, 'B2'), (99, 10, 40, 'C3')"_s);

    // A copy of the program with its tiles and INI files, and a runtime
    // directory that no other run shares.
    m_installation.installProgram(QStringLiteral(GRANOVIA_PROGRAM), Tiles);
    m_installation.pointAt(m_db->settings());
    m_program = m_installation.paths().executablePath();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The test itself runs offscreen; the program goes to the X server.
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    environment.insert(u"XDG_RUNTIME_DIR"_s, m_installation.runtimeDir());
    // An accessibility bus of the test's own, on which assistive technology
    // sees the program's controls.
    m_bus.setChildProcessModifier([] { setpgid(0, 0); });
    m_bus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address"_s});
    QVERIFY2(m_bus.waitForReadyRead(ToolTimeoutMs), "dbus-daemon did not start: scripts/deps.sh installs it");
    const QString bus = QString::fromUtf8(m_bus.readLine()).trimmed();
    environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, bus);
    environment.insert(u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON"_s, u"1"_s);
    m_busEnvironment = QProcessEnvironment::systemEnvironment();
    m_busEnvironment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, bus);
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

void BoardX11Test::cleanupTestCase()
{
    // The bus's services (the accessibility registry) go with it.
    if (m_bus.state() != QProcess::NotRunning)
        kill(-pid_t(m_bus.processId()), SIGTERM);
    m_bus.waitForFinished();
}

const QByteArray &BoardX11Test::output()
{
    m_output += m_process.readAll();
    return m_output;
}

// Starts the program and waits for its start record, which says that it has
// its X connection; no other client connects meanwhile (see tryRun). False
// when the program ended instead.
bool BoardX11Test::startProgram(const QStringList &arguments)
{
    m_output.clear();
    m_process.start(m_program, arguments);
    const auto endedOrRecorded = [this] {
        return m_process.state() != QProcess::Running || m_db->count(u"historiem"_s) > m_starts;
    };
    const bool started = m_process.waitForStarted() && QTest::qWaitFor(endedOrRecorded, AppearTimeoutMs)
        && m_process.state() == QProcess::Running;
    m_starts += started ? 1 : 0;
    return started;
}

// Starts the program in panel mode and waits for its board, which must not
// open before its five seconds. False when it did not, or the program ended.
bool BoardX11Test::startBoardTerminal()
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    const bool appeared = startProgram({u"/P"_s}) && QTest::qWaitFor([this] {
        return m_process.state() != QProcess::Running || windowCount(BoardTitle) == 1;
    }, AppearTimeoutMs) && m_process.state() == QProcess::Running;
    const qint64 appearedAfter = sinceStart.elapsed();
    qInfo("the board appeared %lld ms after the start", appearedAfter);
    return appeared && appearedAfter >= EarliestBoardMs;
}

// Once the board has gone, the console is back on the screen and the
// program runs on.
void BoardX11Test::expectConsoleBack()
{
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(BoardTitle), 0, LeaveTimeoutMs);
    std::optional<QRect> console;
    QTRY_VERIFY_WITH_TIMEOUT((console = geometryOf(ConsoleTitle)).has_value(), LeaveTimeoutMs);
    QVERIFY2(console->y() >= 0 && console->y() <= NearTop, qPrintable(u"console top at %1"_s.arg(console->y())));
    QCOMPARE(m_process.state(), QProcess::Running);
}

void BoardX11Test::boardTerminalOpensAndLeavesByHotKey()
{
    QVERIFY2(startBoardTerminal(), output().constData());
    // The first look, as soon as the board is on the screen: painted all
    // over, its glyphs drawn, and nothing of the console in sight.
    QImage shot;
    QTRY_VERIFY_WITH_TIMEOUT(!(shot = grabScreen()).isNull(), LeaveTimeoutMs);
    keepShot(shot, u"board_x11.png"_s);
    const QRect inside = shot.rect().adjusted(1, 1, -1, -1); // within the board's black border
    QVERIFY2(!hasBlackBlock(shot, inside), "the board shows unpainted black areas at its first show");
    QVERIFY2(spreadOf(shot, inside, BoardBackground).count > 0, "no board background on the screen");
    for (const QString &tile : Tiles) {
        QVERIFY2(pixelsOf(shot, coloursOf(QImage(m_installation.paths().fileBesideProgram(tile)))) >= TileColourPixels,
                 qPrintable(u"no glyph of %1 on the screen"_s.arg(tile)));
    }
    std::optional<QRect> console;
    QTRY_VERIFY_WITH_TIMEOUT((console = geometryOf(ConsoleTitle)).has_value(), LeaveTimeoutMs);
    QVERIFY2(console->y() > NearTop, "the console is not parked in panel mode");
    QCOMPARE(pixelsOf(shot, {ConsoleStrip.rgb() & RgbMask, ConsoleButtonFace.rgb() & RgbMask}), 0);

    // A touch on silo 1 opens its info dialog, which the hot key closes too.
    std::optional<QStringList> board;
    QTRY_VERIFY_WITH_TIMEOUT((board = windows(BoardTitle)) && board->size() == 1, LeaveTimeoutMs);
    const QStringList touch{u"mousemove"_s, u"--window"_s, board->first(), u"60"_s, u"40"_s, u"click"_s, u"1"_s};
    QVERIFY(runOnce(u"xdotool"_s, touch));
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(ConsoleTitle), 2, LeaveTimeoutMs);

    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"ctrl+shift+F10"_s}));
    expectConsoleBack();
}

void BoardX11Test::refusedHotKeyLeavesTheBoardRunning()
{
    // The X server frees the grab of an earlier, killed program only once it
    // has seen that client go.
    std::unique_ptr<ForeignGrab> grab;
    QTRY_VERIFY2_WITH_TIMEOUT((grab = std::make_unique<ForeignGrab>())->granted(),
                              "the test could not take Ctrl+Shift+F10 first", LeaveTimeoutMs);
    QVERIFY2(startBoardTerminal(), output().constData());
    // Standard error says that the key is taken, and the board tells the
    // operator how to leave it instead.
    std::optional<QRect> notice;
    QTRY_VERIFY_WITH_TIMEOUT((notice = dialogOfWidth(NoticeDialogWidth)).has_value(), LeaveTimeoutMs);
    // The pipe is read as events come: the line may arrive after the notice.
    QTRY_VERIFY2_WITH_TIMEOUT(output().contains("Ctrl+Shift+F10 is held by another program"), output().constData(),
                              LeaveTimeoutMs);
    QVERIFY(clickAt(notice->topLeft() + NoticeOkCentre));
    QTRY_VERIFY_WITH_TIMEOUT(!dialogOfWidth(NoticeDialogWidth).has_value(), LeaveTimeoutMs);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"ctrl+shift+F10"_s}));
    QTRY_VERIFY_WITH_TIMEOUT(grab->pressed(), LeaveTimeoutMs);
    // The key went to its holder: the board stays.
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(BoardTitle), 1, LeaveTimeoutMs);
    // Held for its seconds, "znovu zadat" leaves the board and brings the console on screen.
    std::optional<QRect> board;
    QTRY_VERIFY_WITH_TIMEOUT((board = geometryOf(BoardTitle)).has_value(), LeaveTimeoutMs);
    const QPoint reset = board->topLeft()
        + QPoint(board->width() - Border - ResetFromRight, board->height() - Border - CommandBarHeight / 2);
    QVERIFY(runOnce(u"xdotool"_s, {u"mousemove"_s, QString::number(reset.x()), QString::number(reset.y()),
                                   u"mousedown"_s, u"1"_s, u"sleep"_s, u"3.5"_s, u"mouseup"_s, u"1"_s}));
    expectConsoleBack();
}

void BoardX11Test::doubleClickTitleBar(const QRect &console)
{
    QVERIFY(clickAt(QPoint(console.center().x(), console.top() + StripRow / 2), 1, 2, 80));
}

void BoardX11Test::consoleFitsTheScreenAndKeepsItsPanes()
{
    QVERIFY2(startProgram({}), output().constData());
    std::optional<QRect> console;
    QTRY_VERIFY_WITH_TIMEOUT((console = geometryOf(ConsoleTitle)).has_value(), AppearTimeoutMs);
    const QRect designed = *console;
    QImage shot;
    QTRY_VERIFY_WITH_TIMEOUT(!(shot = grabScreen()).isNull() && rightPaneWidth(shot, designed), LeaveTimeoutMs);
    keepShot(shot, u"console_x11.png"_s);
    QCOMPARE(designed, QRect((shot.width() - 850) / 2, 0, 850, shot.height())); // 850 wide, its border included
    const QRect strip(designed.left(), designed.bottom() - BottomStripHeight, designed.width(), BottomStripHeight);
    const QRect quit = spreadOf(shot, strip, ConsoleButtonFace).bounds;
    QVERIFY2(quit.width() >= QuitFaceWidth, "the quit button is not on the screen");
    QVERIFY(shot.rect().contains(quit));
    QCOMPARE(rightPaneWidth(shot, designed), RightPaneWidth);
    // Silo 4's bar, at 108 %, ends with its 190 px cell; silo 5's, at a
    // negative capacity, draws nothing, its label whole.
    const auto row = [&](int silo, int left, int width) {
        return QRect(designed.left() + Border + left, designed.top() + OverviewTop + (silo - 1) * OverviewRowStep,
                     width, OverviewRowHeight);
    };
    const QSet<QRgb> bar{BarOutline.rgb() & RgbMask, BarFill.rgb() & RgbMask};
    const QRect overfull = spreadOf(shot, row(4, 0, 2 * OverviewGridWidth), bar).bounds;
    QCOMPARE(overfull.left(), designed.left() + Border + LabelCellWidth);
    QCOMPARE(overfull.right(), designed.left() + Border + LabelCellWidth + DataCellWidth - 1);
    QCOMPARE(spreadOf(shot, row(5, 0, 2 * OverviewGridWidth), bar).count, 0);

    // Maximised, and restored again, both by a double-click on the title bar.
    doubleClickTitleBar(designed);
    QTRY_COMPARE_WITH_TIMEOUT((console = geometryOf(ConsoleTitle)).value_or(QRect()), shot.rect(), LeaveTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!(shot = grabScreen()).isNull()
                                 && rightPaneWidth(shot, *console) == RightPaneWidth, LeaveTimeoutMs);
    doubleClickTitleBar(*console);
    QTRY_COMPARE_WITH_TIMEOUT(geometryOf(ConsoleTitle).value_or(QRect()), designed, LeaveTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!(shot = grabScreen()).isNull(), LeaveTimeoutMs);
    keepShot(shot, u"console_restored_x11.png"_s);
    QCOMPARE(rightPaneWidth(shot, designed), RightPaneWidth);
}

// What has the keyboard focus, as the accessibility tree shows it.
QStringList BoardX11Test::focused()
{
    QProcess script;
    script.setProcessEnvironment(m_busEnvironment);
    script.start(u"/usr/bin/python3"_s, {QStringLiteral(GRANOVIA_FOCUS_SCRIPT)});
    if (!script.waitForFinished(AppearTimeoutMs))
        return {};
    return QString::fromUtf8(script.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

// The one dialog of the program of that outer width.
std::optional<QRect> BoardX11Test::dialogOfWidth(int width)
{
    const std::optional<QStringList> found = windows(ConsoleTitle);
    if (!found)
        return std::nullopt;
    std::optional<QRect> dialog;
    for (const QString &id : *found) {
        const std::optional<QRect> geometry = geometryOfWindow(id);
        if (!geometry)
            return std::nullopt;
        if (geometry->width() == width)
            dialog = geometry;
    }
    return dialog;
}

// Tab goes from the overviews into panel A and on to its buttons, as
// assistive technology follows it, and Enter clicks the button it reached.
void BoardX11Test::keyboardFollowsTheScreen()
{
    QVERIFY2(startProgram({}), output().constData());
    QTRY_VERIFY_WITH_TIMEOUT(geometryOf(ConsoleTitle).has_value(), AppearTimeoutMs);
    const QString removalButton = u"push button\tmimo SILO"_s;
    QStringList path;
    for (int tab = 0; tab < MaxTabs && !path.contains(removalButton); ++tab) {
        const QStringList before = focused();
        QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Tab"_s}));
        QStringList now;
        QTRY_VERIFY_WITH_TIMEOUT((now = focused()) != before, LeaveTimeoutMs);
        path += now;
    }
    QVERIFY2(path.contains(removalButton), qPrintable(path.join(u" | "_s)));
    QVERIFY2(path.indexOf(u"table\tsilo A"_s) >= 0 && path.indexOf(u"table\tsilo A"_s) < path.indexOf(removalButton),
             qPrintable(path.join(u" | "_s)));
    // Enter on "mimo SILO" with an empty panel: the console's notice.
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Return"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(ConsoleTitle), 2, LeaveTimeoutMs);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Return"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(ConsoleTitle), 1, LeaveTimeoutMs);
}

// Two quick taps on "přesun" book one movement: while it runs, the board is
// busy. The notice after it shows over the busy board.
void BoardX11Test::doubleTapOnTransferBooksOnce()
{
    const qint64 linesBefore = m_db->count(u"ppsilap"_s);
    QVERIFY2(startBoardTerminal(), output().constData());
    std::optional<QRect> board;
    QTRY_VERIFY_WITH_TIMEOUT((board = geometryOf(BoardTitle)).has_value(), LeaveTimeoutMs);
    // Silo 1 as the source, silo 3 (empty) as the target, each confirmed.
    const int cellWidth = (board->width() - 2 * Border) / 10;
    for (const int column : {0, 2}) {
        QVERIFY(clickAt(board->topLeft() + QPoint(Border + column * cellWidth + cellWidth / 2, InfoTouchTop)));
        std::optional<QRect> info;
        QTRY_VERIFY_WITH_TIMEOUT((info = dialogOfWidth(InfoDialogWidth)).has_value(), LeaveTimeoutMs);
        QVERIFY(clickAt(info->topLeft() + TakeButtonCentre));
        QTRY_VERIFY_WITH_TIMEOUT(!dialogOfWidth(InfoDialogWidth).has_value(), LeaveTimeoutMs);
    }
    const QPoint transfer = board->topLeft() + QPoint(TransferTapLeft, board->height() - Border - CommandBarHeight / 2);
    QVERIFY(clickAt(transfer, 1, 2, 40));
    std::optional<QRect> notice;
    QTRY_VERIFY_WITH_TIMEOUT((notice = dialogOfWidth(NoticeDialogWidth)).has_value(), LeaveTimeoutMs);
    QImage shot;
    QTRY_VERIFY_WITH_TIMEOUT(!(shot = grabScreen()).isNull(), LeaveTimeoutMs);
    keepShot(shot, u"board_movement_x11.png"_s);
    QVERIFY(clickAt(notice->topLeft() + NoticeOkCentre));
    QTRY_VERIFY_WITH_TIMEOUT(!dialogOfWidth(NoticeDialogWidth).has_value(), LeaveTimeoutMs);
    QTest::qWait(LeaveTimeoutMs / 10);
    QVERIFY2(!dialogOfWidth(NoticeDialogWidth).has_value(), "a second movement was ordered");
    QCOMPARE(m_db->count(u"ppsilap"_s), linesBefore + 1);
}

void BoardX11Test::consoleAndBoardShowAnotherWorkstationsTransfer()
{
    constexpr int NoticeWithinMs = 2000;
    // Silo 1's data cell: under the frame's title bar and the overview's strip.
    const QPoint siloOneCell(120, StripRow + 17);
    constexpr int StripFromBottom = 20;
    constexpr int MarkedCellPixels = 3 * 100 * 10; // quantity, last movement, remaining
    QVERIFY2(startProgram({}), output().constData());
    std::optional<QRect> console;
    QTRY_VERIFY_WITH_TIMEOUT((console = geometryOf(ConsoleTitle)).has_value(), AppearTimeoutMs);
    QVERIFY(clickAt(console->topLeft() + siloOneCell));

    // Another workstation moves seed into silo 1, which panel A shows: it is
    // read again, its changed values marked for a moment.
    transferElsewhere(2, 1, 2.5, u"A1"_s);
    QImage shot;
    QTRY_VERIFY_WITH_TIMEOUT(pixelsOf(shot = grabScreen(), {skin::ChangedValue.rgb() & RgbMask}) >= MarkedCellPixels, NoticeWithinMs);
    keepShot(shot, u"console_live_x11.png"_s);

    // The board, opened from the console, repaints the glyph of a silo filled elsewhere.
    QVERIFY(clickAt(QPoint(console->center().x(), console->bottom() - StripFromBottom), 1, 2, 80));
    const QSet<QRgb> red = coloursOf(QImage(m_installation.paths().fileBesideProgram(u"cervena.bmp"_s)));
    QTRY_VERIFY_WITH_TIMEOUT(pixelsOf(shot = grabScreen(), red) >= TileColourPixels, AppearTimeoutMs);
    const qsizetype redBefore = pixelsOf(shot, red);
    m_db->execute(u"update ppsila set stav = 60 where silo = 3"_s);
    QTRY_VERIFY_WITH_TIMEOUT(pixelsOf(shot = grabScreen(), red) >= redBefore + TileColourPixels, NoticeWithinMs);
    keepShot(shot, u"board_live_x11.png"_s);
}

// Another workstation moves seed between two silos.
void BoardX11Test::transferElsewhere(int from, int to, double quantity, const QString &lot)
{
    Connection workstation;
    workstation.open(m_db->settings());
    const auto number = [](int silo) { return u"%1"_s.arg(silo, 2, 10, QLatin1Char('0')); };
    const auto rowOf = [this](int silo) {
        return test::scalar(m_db->admin(), u"select id from ppsila where silo = %1"_s.arg(silo));
    };
    const movement::TransferOrder order{number(from), number(to), QString::number(quantity), {lot, {}, {}, {}},
                                        rowOf(from), rowOf(to), formatTimestamp(QDateTime::currentDateTime())};
    QCOMPARE(movement::executeTransfer(workstation, order, quantity), movement::Outcome::Done);
}

// The right mouse button on the history's newest line, a transfer, opens its
// menu; the keyboard orders "Stornovat pohyb" and answers the real question
// with its default button "stornovat": the seed goes back, and the history
// shows the transfer and its reversal in grey.
void BoardX11Test::historyMenuReversesAMovement()
{
    constexpr int GreyTextPixels = 20;
    m_db->execute(u"insert into ppsila (silo, stav, kapacita, partie) values (6, 0, 60, ''), (8, 20, 60, 'F8')"_s);
    transferElsewhere(8, 6, 20, u"F8"_s);
    const qint64 line = test::scalar(m_db->admin(), u"select max(id) from ppsilap"_s);
    QVERIFY2(startProgram({}), output().constData());
    std::optional<QRect> console;
    QTRY_VERIFY_WITH_TIMEOUT((console = geometryOf(ConsoleTitle)).has_value(), AppearTimeoutMs);
    // The newest line's current cell is the one yellow cell of the console.
    QImage shot;
    QRect current;
    QTRY_VERIFY_WITH_TIMEOUT(!(shot = grabScreen()).isNull()
                                 && (current = spreadOf(shot, *console, skin::CurrentHistoryCell).bounds).isValid(),
                             LeaveTimeoutMs);
    const QRect history(console->right() - RightPaneWidth, current.top(), RightPaneWidth,
                        console->bottom() - BottomStripHeight - current.top());
    const qsizetype greyBefore = greyTextPixels(shot, history);
    QVERIFY(clickAt(current.center(), 3));
    QTest::qWait(500);
    keepShot(grabScreen(), u"history_menu_x11.png"_s);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"150"_s, u"Down"_s, u"Return"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(ConsoleTitle), 2, LeaveTimeoutMs);
    QTest::qWait(300);
    keepShot(grabScreen(), u"history_reversal_question_x11.png"_s);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Return"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(m_db->count(u"ppsilap where cislopp = 'ST %1'"_s.arg(line)), 1, LeaveTimeoutMs);
    QCOMPARE(m_db->silo(8).stav, 20.0);
    QCOMPARE(m_db->silo(6).stav, 0.0);
    QTRY_VERIFY_WITH_TIMEOUT(greyTextPixels(shot = grabScreen(), history) >= greyBefore + GreyTextPixels,
                             LeaveTimeoutMs);
    keepShot(shot, u"history_reversed_x11.png"_s);

    // The menu key opens the current line's menu as well (it comes up white
    // over the grid), and Esc closes it again.
    constexpr int MenuPixels = 50 * 10;
    const qsizetype white = spreadOf(shot, history, Qt::white).count;
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Menu"_s}));
    QTRY_VERIFY_WITH_TIMEOUT(spreadOf(shot = grabScreen(), history, Qt::white).count >= white + MenuPixels,
                             LeaveTimeoutMs);
    keepShot(shot, u"history_menu_key_x11.png"_s);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Escape"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(spreadOf(grabScreen(), history, Qt::white).count, white, LeaveTimeoutMs);
}

// The console's button opens the reports window in the console's look; the
// keyboard alone shows the journal and opens the print preview of its pages.
void BoardX11Test::reportsWindowAndItsPrintPreview()
{
    const QString reportsTitle = u"^Granovia - historie a sestavy$"_s;
    const QString previewTitle = u"^Granovia - náhled tisku$"_s;
    constexpr int QuitRightGap = 26;
    constexpr int ButtonWidth = 119;
    constexpr int ButtonGap = 6;
    constexpr int ButtonMiddleFromBottom = 8 + 27 / 2;
    constexpr int PagePixels = 200 * 200; // of white paper in the preview
    m_db->execute(u"insert into ppsilap (silo, silob, cislopp, mnozstvi, partie, datum) values "
                  "('02', '01', '', 2.5, 'A1', '2026-11-02 08:00:00'), ('99', '', '', 1.25, 'C3', '2026-11-03 09:30:00'),"
                  "('51', '', 'PP7', 45, 'B2', '2026-10-30 06:15:00')"_s);
    QVERIFY2(startProgram({}), output().constData());
    std::optional<QRect> console;
    QTRY_VERIFY_WITH_TIMEOUT((console = geometryOf(ConsoleTitle)).has_value(), AppearTimeoutMs);
    QVERIFY(clickAt(QPoint(console->right() - QuitRightGap - ButtonWidth - ButtonGap - ButtonWidth / 2,
                           console->bottom() - ButtonMiddleFromBottom)));
    std::optional<QRect> reports;
    QTRY_VERIFY_WITH_TIMEOUT((reports = geometryOf(reportsTitle)).has_value(), AppearTimeoutMs);

    // For the reports' own session alone, made after the console's, the
    // journal reads for half a minute: the window paints its progress and
    // "zrušit" meanwhile, and Escape ends the statement on the server.
    const qint64 consoleSessions = test::scalar(m_db->admin(), u"select max(id) from information_schema.processlist"_s);
    m_db->execute(u"rename table ppsilap to ppsilap_lines"_s);
    m_db->execute(u"create view ppsilap as select * from ppsilap_lines where if(connection_id() > %1, sleep(10), 0) = 0"_s
                      .arg(consoleSessions));
    const auto reportStatements = [this] {
        return test::scalar(m_db->admin(), u"select count(*) from information_schema.processlist "
                                           "where info like 'select ifnull(max(id)%from ppsilap'"_s);
    };
    QImage shot;
    QTRY_VERIFY_WITH_TIMEOUT(!(shot = grabScreen()).isNull(), LeaveTimeoutMs);
    const qint64 idleFaces = spreadOf(shot, *reports, ConsoleButtonFace).count;
    // Alt+P to the lot field, Enter shows the whole journal.
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"150"_s, u"alt+p"_s, u"Return"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(reportStatements(), 1, AppearTimeoutMs);
    constexpr int StopButtonPixels = 100 * 20;
    QTRY_VERIFY_WITH_TIMEOUT(spreadOf(shot = grabScreen(), *reports, ConsoleButtonFace).count > idleFaces + StopButtonPixels,
                             LeaveTimeoutMs);
    keepShot(shot, u"reports_busy_x11.png"_s);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Escape"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(reportStatements(), 0, LeaveTimeoutMs);
    m_db->execute(u"drop view ppsilap"_s);
    m_db->execute(u"rename table ppsilap_lines to ppsilap"_s);

    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"150"_s, u"alt+p"_s, u"Return"_s}));
    QTRY_VERIFY_WITH_TIMEOUT(!(shot = grabScreen()).isNull()
                                 && spreadOf(shot, *reports, ConsoleButtonFace).count > 5 * 100 * 20, LeaveTimeoutMs);
    QTest::qWait(500);
    keepShot(shot = grabScreen(), u"reports_x11.png"_s);
    QVERIFY2(!hasBlackBlock(shot, reports->adjusted(1, 1, -1, -1)), "the reports window shows unpainted black areas");
    QVERIFY(spreadOf(shot, *reports, ConsoleStrip).count > 0);

    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"ctrl+p"_s}));
    std::optional<QRect> preview;
    QTRY_VERIFY_WITH_TIMEOUT((preview = geometryOf(previewTitle)).has_value(), AppearTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(spreadOf(shot = grabScreen(), *preview, Qt::white).count > PagePixels, LeaveTimeoutMs);
    QTest::qWait(500);
    keepShot(grabScreen(), u"reports_preview_x11.png"_s);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Escape"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(previewTitle), 0, LeaveTimeoutMs);
    QCOMPARE(windowCount(reportsTitle), 1);

}

void BoardX11Test::cleanup()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
    if (!output().isEmpty())
        qInfo("program output: %s", output().constData());
}

QTEST_MAIN(BoardX11Test)
#include "tst_board_x11.moc"
