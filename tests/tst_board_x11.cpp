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
#include <QScopeGuard>
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
constexpr int ConsoleWidth = 850;
const QColor BarOutline(255, 196, 196);
const QColor BarFill(238, 238, 238);
constexpr int MaxTabs = 6;
// The board's dialogs and where they are touched, in their outer sizes:
// their client areas with the frame's border and title bar around.
constexpr int InfoDialogWidth = 559 + 2;
const QPoint TakeButtonCentre(1 + 30 + 242 / 2, 1 + 30 + 390 + 76 / 2);
constexpr int NoticeDialogWidth = 572 + 2;
// A notice's "OK" keeps its distance to the bottom where its text makes it
// taller (bottom() is its last row); the title bar is in the client area.
constexpr int NoticeDesignedHeight = 314 + 2;
constexpr int NoticeOkFromBottom = 314 - 225 - 76 / 2;
constexpr int NoticeOkHeight = 76;
constexpr int NoticeTextTop = 1 + 55;
constexpr int NoticeDesignedTextHeight = 146;
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
// The console's buttons at its bottom right: "ukončit program" and left of it "historie a sestavy".
constexpr int QuitRightGap = 26;
constexpr int ButtonWidth = 119;
constexpr int ButtonGap = 6;
constexpr int ButtonMiddleFromBottom = 8 + 27 / 2;
constexpr int BoardGridSide = 10;
// A moment in which a dialog that should not come would have come.
constexpr int NothingComesMs = 1500;

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

// A keyboard-wedge scanner: the code and Enter (typed as a line break), 5 ms a key.
bool scan(const QString &code)
{
    return runOnce(u"xdotool"_s, {u"type"_s, u"--delay"_s, u"5"_s, code + u'\r'});
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

// The middle of the "OK" of a board notice.
QPoint okOf(const QRect &notice)
{
    return QPoint(notice.center().x(), notice.bottom() - NoticeOkFromBottom);
}

// The longest row of black pixels in the area: a frame's edge.
int longestBlackRow(const QImage &image, const QRect &area)
{
    int longest = 0;
    for (int y = area.top(), run = 0; y <= area.bottom(); ++y, run = 0) {
        for (int x = area.left(); x <= area.right(); ++x)
            longest = std::max(longest, run = sameColour(image.pixel(x, y), Qt::black) ? run + 1 : 0);
    }
    return longest;
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
    void consoleFitsASmallScreen_data();
    void consoleFitsASmallScreen();
    void keyboardFollowsTheScreen();
    void noEnterQuitsAfterALockNotice();
    void typedQuantityAndALockSeenWhileWaiting();
    void doubleTapOnTransferBooksOnce();
    void consoleAndBoardShowAnotherWorkstationsTransfer();
    void historyMenuReversesAMovement();
    void reportsWindowAndItsPrintPreview();
    void boardTerminalStartThatMetALockSurvivesEnter();
    void scannerPicksOnTheBoard();
    void scannerSelectsOnTheConsole();

private:
    bool startProgram(const QStringList &arguments);
    bool startBoardTerminal();
    void expectConsoleBack();
    void doubleClickTitleBar(const QRect &console);
    // What has the keyboard focus, or every control of the window of that name.
    QStringList accessible(const QString &window = {});
    // All the program has printed since its start.
    const QByteArray &output();
    std::optional<QRect> dialogOfWidth(int width);
    QRect siloCell(const QRect &console, int silo) const;
    std::optional<QRect> dialogOver(const QRect &console);
    void transferElsewhere(int from, int to, double quantity, const QString &lot);
    void confirmInfo();
    void confirmNotice(const QString &shotName = {});

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
    // Silos 21 to 24 are scanned: lot J-9 in two of them.
    m_db->execute(u"insert into ppsila (silo, stav, kapacita, partie) values "
                  "(1, 30, 60, 'A1'), (2, 60, 60, 'A1'), (3, 0, 60, ''), (4, 54, 50, 'D4'), (5, 5, -10, 'E5'), "
                  "(51, 45, 50, 'B2'), (99, 10, 40, 'C3'), "
                  "(21, 10, 40, 'J-9'), (22, 5, 40, 'J-9'), (23, 8, 40, 'K-1'), (24, 0, 40, '')"_s);

    // A copy of the program with its tiles and INI files, and a runtime
    // directory that no other run shares.
    m_installation.installProgram(QStringLiteral(GRANOVIA_PROGRAM), Tiles);
    m_installation.pointAt(m_db->settings());
    m_program = m_installation.paths().executablePath();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The test itself runs offscreen; the program goes to the X server.
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    // A machine whose locale is not Czech: the program speaks Czech anyway.
    // Its characters stay UTF-8, or the window names would not read right.
    for (const QString &variable : {u"LC_ALL"_s, u"LC_MESSAGES"_s, u"LANGUAGE"_s})
        environment.remove(variable);
    environment.insert(u"LANG"_s, u"C"_s);
    environment.insert(u"LC_CTYPE"_s, u"C.UTF-8"_s);
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
    // operator how to leave it instead, in a notice taller than designed:
    // all of its text, more than the designed place holds, above its "OK".
    std::optional<QRect> notice;
    QTRY_VERIFY_WITH_TIMEOUT((notice = dialogOfWidth(NoticeDialogWidth)).has_value(), LeaveTimeoutMs);
    QTest::qWait(LeaveTimeoutMs / 20);
    const QImage shot = grabScreen();
    keepShot(shot, u"board_hotkey_notice_x11.png"_s);
    const int okTop = okOf(*notice).y() - NoticeOkHeight / 2;
    const QRect text = spreadOf(shot, QRect(notice->left(), notice->top() + NoticeTextTop, notice->width(),
                                            okTop - notice->top() - NoticeTextTop), Qt::black).bounds;
    QVERIFY2(notice->height() > NoticeDesignedHeight && text.height() > NoticeDesignedTextHeight && text.bottom() < okTop,
             qPrintable(u"%1 px high, text at %2..%3"_s.arg(notice->height()).arg(text.top()).arg(text.bottom())));
    QVERIFY(clickAt(okOf(*notice)));
    QTRY_VERIFY_WITH_TIMEOUT(!dialogOfWidth(NoticeDialogWidth).has_value(), LeaveTimeoutMs);
    // The pipe is read as events come: the line may arrive after the notice.
    QTRY_VERIFY2_WITH_TIMEOUT(output().contains("Ctrl+Shift+F10 is held by another program"), output().constData(),
                              LeaveTimeoutMs);
    // Held for its seconds, "znovu zadat" leaves the board and brings the console on screen.
    std::optional<QRect> board;
    QTRY_VERIFY_WITH_TIMEOUT((board = geometryOf(BoardTitle)).has_value(), LeaveTimeoutMs);
    const QPoint reset = board->topLeft()
        + QPoint(board->width() - Border - ResetFromRight, board->height() - Border - CommandBarHeight / 2);
    QVERIFY(runOnce(u"xdotool"_s, {u"mousemove"_s, QString::number(reset.x()), QString::number(reset.y()),
                                   u"mousedown"_s, u"1"_s, u"sleep"_s, u"3.5"_s, u"mouseup"_s, u"1"_s}));
    expectConsoleBack();

    // The board opened again from the console's strip: while it is active,
    // the key comes to it, and not to its holder.
    const QRect console = geometryOf(ConsoleTitle).value_or(QRect());
    QVERIFY(clickAt(QPoint(console.center().x(), console.bottom() - BottomStripHeight / 2), 1, 2, 80));
    QTRY_VERIFY_WITH_TIMEOUT((notice = dialogOfWidth(NoticeDialogWidth)).has_value(), AppearTimeoutMs);
    QVERIFY(clickAt(okOf(*notice)));
    QTRY_VERIFY_WITH_TIMEOUT(!dialogOfWidth(NoticeDialogWidth).has_value(), LeaveTimeoutMs);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"ctrl+shift+F10"_s}));
    expectConsoleBack();
    QVERIFY2(!grab->pressed(), "the key went to the program that holds it");
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

void BoardX11Test::consoleFitsASmallScreen_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::newRow("800 × 600") << QSize(800, 600);
    QTest::newRow("1024 × 768") << QSize(1024, 768);
}

// On an X server of that size of the case's own, with its window manager:
// the console lies wholly on the screen, its designed width where it fits,
// the silos' labels and the quit button in sight.
void BoardX11Test::consoleFitsASmallScreen()
{
    QFETCH(QSize, screen);
    QProcess server;
    QProcess manager;
    server.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s,
                             u"%1x%2x24"_s.arg(screen.width()).arg(screen.height())});
    QVERIFY(server.waitForReadyRead(AppearTimeoutMs));
    const QString display = u':' + QString::fromLatin1(server.readAllStandardOutput().trimmed());
    const QByteArray ownDisplay = qgetenv("DISPLAY");
    const QProcessEnvironment ownEnvironment = m_process.processEnvironment();
    // The program goes before its X server, which goes with its manager at the end.
    const auto restore = qScopeGuard([&] {
        cleanup();
        qputenv("DISPLAY", ownDisplay);
        m_process.setProcessEnvironment(ownEnvironment);
    });
    qputenv("DISPLAY", display.toLatin1());
    QProcessEnvironment environment = ownEnvironment;
    environment.insert(u"DISPLAY"_s, display);
    m_process.setProcessEnvironment(environment);
    manager.start(u"openbox"_s, {u"--sm-disable"_s});
    QByteArray root;
    QTRY_VERIFY_WITH_TIMEOUT(tryRun(u"xprop"_s, {u"-root"_s, u"_NET_SUPPORTING_WM_CHECK"_s}, &root)
                                 && root.contains("window id"), AppearTimeoutMs);

    QVERIFY2(startProgram({}), output().constData());
    std::optional<QRect> console;
    QTRY_VERIFY_WITH_TIMEOUT((console = geometryOf(ConsoleTitle)).has_value(), AppearTimeoutMs);
    QImage shot;
    QTRY_VERIFY_WITH_TIMEOUT(!(shot = grabScreen()).isNull() && rightPaneWidth(shot, *console), LeaveTimeoutMs);
    keepShot(shot, u"console_%1x%2_x11.png"_s.arg(screen.width()).arg(screen.height()));
    QCOMPARE(*console, QRect(std::max(0, (screen.width() - 850) / 2), 0, std::min(850, screen.width()), screen.height()));
    const QRect strip(console->left(), console->bottom() - BottomStripHeight, console->width(), BottomStripHeight);
    QVERIFY2(spreadOf(shot, strip, ConsoleButtonFace).bounds.width() >= QuitFaceWidth, "the quit button is not on the screen");
    const QRect label = siloCell(*console, 1).translated(-LabelCellWidth, 0);
    QVERIFY2(spreadOf(shot, label, ConsoleStrip).count >= LabelCellWidth * OverviewRowHeight / 2, "silo 1's label is not on the screen");
}

// As the accessibility tree shows it.
QStringList BoardX11Test::accessible(const QString &window)
{
    QProcess script;
    script.setProcessEnvironment(m_busEnvironment);
    script.start(u"/usr/bin/python3"_s, {QStringLiteral(GRANOVIA_FOCUS_SCRIPT), window});
    if (!script.waitForFinished(AppearTimeoutMs))
        return {};
    return QString::fromUtf8(script.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

// The data cell of a silo of the first overview.
QRect BoardX11Test::siloCell(const QRect &console, int silo) const
{
    return QRect(console.left() + Border + LabelCellWidth, console.top() + OverviewTop + (silo - 1) * OverviewRowStep,
                 DataCellWidth, OverviewRowHeight);
}

// The one window of the program besides the console.
std::optional<QRect> BoardX11Test::dialogOver(const QRect &console)
{
    const std::optional<QStringList> found = windows(ConsoleTitle);
    std::optional<QRect> dialog;
    for (const QString &id : found.value_or(QStringList())) {
        const std::optional<QRect> geometry = geometryOfWindow(id);
        if (geometry && *geometry != console)
            dialog = geometry;
    }
    return dialog;
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
        const QStringList before = accessible();
        QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Tab"_s}));
        QStringList now;
        QTRY_VERIFY_WITH_TIMEOUT((now = accessible()) != before, LeaveTimeoutMs);
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

// A start that meets a lock: its notice is Czech, the server's own text goes
// to standard error, and neither the Enter that closes the notice nor any
// Enter after it quits. The keyboard begins in the overview; Shift+Tab from
// there reaches "ukončit program", whose Enter still quits.
void BoardX11Test::noEnterQuitsAfterALockNotice()
{
    std::optional<Connection> holder(std::in_place);
    holder->open(m_db->settings());
    holder->execute(u"lock tables ppsila write"_s);
    QVERIFY2(startProgram({}), output().constData());
    // The notice comes as the console is about to show itself.
    QTRY_VERIFY2_WITH_TIMEOUT(output().contains("Lock wait timeout exceeded"), output().constData(), AppearTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(ConsoleTitle), 1, LeaveTimeoutMs);
    QTest::qWait(500);
    keepShot(grabScreen(), u"console_lock_notice_x11.png"_s);
    holder.reset();
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"300"_s, u"Return"_s, u"Return"_s, u"KP_Enter"_s}));
    QTest::qWait(LeaveTimeoutMs / 10);
    QCOMPARE(m_process.state(), QProcess::Running);
    QCOMPARE(windowCount(ConsoleTitle), 1);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"300"_s, u"shift+Tab"_s, u"Return"_s}));
    QVERIFY(m_process.waitForFinished(LeaveTimeoutMs));
    QCOMPARE(m_process.exitCode(), 0);
}

// F2 on panel A's quantity and a typed 7 replace the old value. The answered
// question leaves the screen while the transfer waits on a row locked
// elsewhere, and the console says that it waits; the transfer ends once the
// lock goes.
void BoardX11Test::typedQuantityAndALockSeenWhileWaiting()
{
    constexpr int NotePixels = 100 * 15;
    m_db->execute(u"insert into ppsila (silo, stav, kapacita, partie) values (18, 30, 60, 'G7'), (19, 0, 60, '')"_s);
    QVERIFY2(startProgram({}), output().constData());
    std::optional<QRect> console;
    QTRY_VERIFY_WITH_TIMEOUT((console = geometryOf(ConsoleTitle)).has_value(), AppearTimeoutMs);
    for (const int silo : {18, 19})
        QVERIFY(clickAt(siloCell(*console, silo).center()));
    // From the overview to panel A's quantity, and on to the arrow A to B.
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"300"_s, u"Tab"_s, u"Tab"_s, u"F2"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(ConsoleTitle), 2, LeaveTimeoutMs);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"300"_s, u"7"_s, u"Return"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(ConsoleTitle), 1, LeaveTimeoutMs);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"300"_s, u"Tab"_s, u"Tab"_s, u"Return"_s}));
    std::optional<QRect> question;
    QTRY_VERIFY_WITH_TIMEOUT((question = dialogOver(*console)).has_value(), LeaveTimeoutMs);
    QImage shot;
    QTRY_VERIFY_WITH_TIMEOUT(spreadOf(shot = grabScreen(), *question, ConsoleButtonFace).count > 0, LeaveTimeoutMs);
    Connection holder;
    holder.open(m_db->settings());
    holder.execute(u"start transaction"_s);
    holder.query(u"select * from ppsila where silo = 19 for update"_s);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Return"_s}));
    QTest::qWait(LeaveTimeoutMs / 5);
    keepShot(shot = grabScreen(), u"console_waiting_x11.png"_s);
    QCOMPARE(m_db->silo(19).stav, 0.0);
    QCOMPARE(spreadOf(shot, *question, ConsoleButtonFace).count, 0);
    QVERIFY2(spreadOf(shot, *console, Qt::white).count >= NotePixels, "no word that the console waits");
    holder.execute(u"rollback"_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_db->silo(19).stav, 7.0, LeaveTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(spreadOf(grabScreen(), *console, Qt::white).count < NotePixels, LeaveTimeoutMs);
}

// Two quick taps on "přesun" order one movement: while it runs, the board is
// busy, and while it waits for a silo that another session holds locked, it
// says so over its silos. When the wait gives up, the notice comes in the
// board's touch-sized dialog, nothing is booked and the picks stay; the next
// tap, the lock gone, books the movement once, its notice over the busy board.
void BoardX11Test::doubleTapOnTransferBooksOnce()
{
    constexpr int DialogGoneMs = 1000;
    const qint64 linesBefore = m_db->count(u"ppsilap"_s);
    QVERIFY2(startBoardTerminal(), output().constData());
    std::optional<QRect> board;
    QTRY_VERIFY_WITH_TIMEOUT((board = geometryOf(BoardTitle)).has_value(), LeaveTimeoutMs);
    // Silo 1 as the source, silo 3 (empty) as the target, each confirmed.
    // The source's "do přesunu" is answered while the silos' table is
    // locked elsewhere: the dialog leaves at once, and the board says it waits.
    const int cellWidth = (board->width() - 2 * Border) / 10;
    // The wait notice's frame is longer than the edges of two silo buttons.
    const QRect silos = board->adjusted(Border, Border, -Border, -Border - CommandBarHeight);
    QImage shot;
    for (const int column : {0, 2}) {
        QVERIFY(clickAt(board->topLeft() + QPoint(Border + column * cellWidth + cellWidth / 2, InfoTouchTop)));
        std::optional<QRect> info;
        QTRY_VERIFY_WITH_TIMEOUT((info = dialogOfWidth(InfoDialogWidth)).has_value(), LeaveTimeoutMs);
        std::optional<Connection> tableHolder;
        if (column == 0) {
            tableHolder.emplace().open(m_db->settings());
            tableHolder->execute(u"lock tables ppsila write"_s);
        }
        QVERIFY(clickAt(info->topLeft() + TakeButtonCentre));
        QTRY_VERIFY_WITH_TIMEOUT(!dialogOfWidth(InfoDialogWidth).has_value(), column == 0 ? DialogGoneMs : LeaveTimeoutMs);
        if (tableHolder) {
            QTRY_VERIFY_WITH_TIMEOUT(longestBlackRow(shot = grabScreen(), silos) > 2 * cellWidth, DialogGoneMs);
            keepShot(shot, u"board_pick_wait_x11.png"_s);
            tableHolder->execute(u"unlock tables"_s);
        }
    }
    Connection holder;
    holder.open(m_db->settings());
    holder.execute(u"begin"_s);
    holder.query(u"select * from ppsila where silo = 1 for update"_s);
    const QPoint transfer = board->topLeft() + QPoint(TransferTapLeft, board->height() - Border - CommandBarHeight / 2);
    QVERIFY(clickAt(transfer, 1, 2, 40));
    QTRY_VERIFY_WITH_TIMEOUT(longestBlackRow(shot = grabScreen(), silos) > 2 * cellWidth, LeaveTimeoutMs);
    keepShot(shot, u"board_lock_wait_x11.png"_s);
    std::optional<QRect> notice;
    QTRY_VERIFY_WITH_TIMEOUT((notice = dialogOfWidth(NoticeDialogWidth)).has_value(), AppearTimeoutMs);
    QCOMPARE(windowCount(ConsoleTitle), 2); // the parked console and the touch notice, no other box
    QTest::qWait(LeaveTimeoutMs / 20);
    keepShot(grabScreen(), u"board_lock_notice_x11.png"_s);
    holder.execute(u"rollback"_s);
    for (const int taps : {0, 1}) {
        QVERIFY(clickAt(okOf(*notice)));
        QTRY_VERIFY_WITH_TIMEOUT(!dialogOfWidth(NoticeDialogWidth).has_value(), LeaveTimeoutMs);
        QTest::qWait(LeaveTimeoutMs / 10);
        QVERIFY2(!dialogOfWidth(NoticeDialogWidth).has_value(), "a second movement was ordered");
        QCOMPARE(m_db->count(u"ppsilap"_s), linesBefore + taps);
        if (taps == 0) {
            QVERIFY(clickAt(transfer));
            QTRY_VERIFY_WITH_TIMEOUT((notice = dialogOfWidth(NoticeDialogWidth)).has_value(), LeaveTimeoutMs);
            QTRY_VERIFY_WITH_TIMEOUT(!(shot = grabScreen()).isNull(), LeaveTimeoutMs);
            keepShot(shot, u"board_movement_x11.png"_s);
        }
    }
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

// The menu key on the history's newest line, a transfer, opens its menu;
// Enter orders "Stornovat pohyb" and answers the real question with its
// default button "stornovat": the seed goes back, and the history shows the
// transfer and its reversal in grey.
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
    // The menu key opens the line's menu with its first item highlighted.
    QVERIFY(clickAt(current.center()));
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Menu"_s}));
    QTest::qWait(500);
    keepShot(grabScreen(), u"history_menu_x11.png"_s);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Return"_s}));
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

    // The right mouse button opens a line's menu as well (it comes up white
    // over the grid), and Esc closes it again.
    constexpr int MenuPixels = 50 * 10;
    const qsizetype white = spreadOf(shot, history, Qt::white).count;
    QVERIFY(clickAt(current.center(), 3));
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
    // The journal comes back whatever happens here: the cases after this one read it.
    const auto restoreJournal = [this] {
        m_db->execute(u"drop view if exists ppsilap"_s);
        m_db->execute(u"rename table ppsilap_lines to ppsilap"_s);
    };
    auto journalBack = qScopeGuard(restoreJournal);
    m_db->execute(u"create view ppsilap as select * from ppsilap_lines where if(connection_id() > %1, sleep(10), 0) = 0"_s
                      .arg(consoleSessions));
    const auto reportStatements = [this] {
        return test::scalar(m_db->admin(), u"select count(*) from information_schema.processlist "
                                           "where info like 'select ifnull(max(id)%from ppsilap'"_s);
    };
    QImage shot;
    QTRY_VERIFY_WITH_TIMEOUT(!(shot = grabScreen()).isNull(), LeaveTimeoutMs);
    // "zrušit" comes into the strip's right third, where only "zavřít" is while idle.
    const QRect rightThird(reports->left() + reports->width() * 2 / 3, reports->top(), reports->width() / 3,
                           reports->height());
    const qint64 idleFaces = spreadOf(shot, rightThird, ConsoleButtonFace).count;
    // Alt+P to the lot field, Enter shows the whole journal.
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"150"_s, u"alt+p"_s, u"Return"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(reportStatements(), 1, AppearTimeoutMs);
    constexpr int StopButtonPixels = 100 * 20;
    QTRY_VERIFY_WITH_TIMEOUT(spreadOf(shot = grabScreen(), rightThird, ConsoleButtonFace).count > idleFaces + StopButtonPixels,
                             LeaveTimeoutMs);
    keepShot(shot, u"reports_busy_x11.png"_s);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Escape"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(reportStatements(), 0, LeaveTimeoutMs);
    journalBack.dismiss();
    restoreJournal();

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
    // Qt's own controls speak Czech too.
    QStringList controls;
    QTRY_VERIFY_WITH_TIMEOUT(!(controls = accessible(u"Granovia - náhled tisku"_s)).isEmpty(), LeaveTimeoutMs);
    QVERIFY2(controls.contains(u"push button\tDalší strana"_s) && !controls.join(u'|').contains(u"Next page"_s),
             qPrintable(controls.join(u" | "_s)));
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Escape"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(previewTitle), 0, LeaveTimeoutMs);
    QCOMPARE(windowCount(reportsTitle), 1);

}

// A board terminal whose start met a lock says so on the screen, although
// its console is parked below it; the Enter that closes the notice, and a
// second one, leave the program running.
void BoardX11Test::boardTerminalStartThatMetALockSurvivesEnter()
{
    Connection holder;
    holder.open(m_db->settings());
    holder.execute(u"lock tables ppsila write"_s);
    QVERIFY2(startProgram({u"/P"_s}), output().constData());
    // The notice is the one window of the program narrower than the console.
    const auto notices = [] {
        int count = 0;
        for (const QString &id : windows(ConsoleTitle).value_or(QStringList()))
            count += geometryOfWindow(id).value_or(QRect()).width() < ConsoleWidth ? 1 : 0;
        return count;
    };
    QTRY_COMPARE_WITH_TIMEOUT(notices(), 1, AppearTimeoutMs);
    QTest::qWait(LeaveTimeoutMs / 20);
    keepShot(grabScreen(), u"board_terminal_start_lock_x11.png"_s);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Return"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(notices(), 0, LeaveTimeoutMs);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Return"_s}));
    QTest::qWait(LeaveTimeoutMs / 5);
    holder.execute(u"unlock tables"_s);
    QCOMPARE(m_process.state(), QProcess::Running);
}

// The info dialog of a pick comes, and its "do přesunu" takes the silo.
void BoardX11Test::confirmInfo()
{
    std::optional<QRect> info;
    QTRY_VERIFY_WITH_TIMEOUT((info = dialogOfWidth(InfoDialogWidth)).has_value(), LeaveTimeoutMs);
    QVERIFY(clickAt(info->topLeft() + TakeButtonCentre));
    QTRY_VERIFY_WITH_TIMEOUT(!dialogOfWidth(InfoDialogWidth).has_value(), LeaveTimeoutMs);
}

// The board's notice comes, alone, and its "OK" closes it.
void BoardX11Test::confirmNotice(const QString &shotName)
{
    std::optional<QRect> notice;
    QTRY_VERIFY_WITH_TIMEOUT((notice = dialogOfWidth(NoticeDialogWidth)).has_value(), LeaveTimeoutMs);
    QVERIFY(!dialogOfWidth(InfoDialogWidth).has_value());
    if (!shotName.isEmpty()) {
        QTest::qWait(300);
        keepShot(grabScreen(), shotName);
    }
    QVERIFY(clickAt(okOf(*notice)));
    QTRY_VERIFY_WITH_TIMEOUT(!dialogOfWidth(NoticeDialogWidth).has_value(), LeaveTimeoutMs);
}

// Scanned labels pick the source and the target as touches do, and the
// transfer is booked; a lot in two silos leaves only those to touch; an
// unknown code selects nothing; a scan's Enter closes no dialog.
void BoardX11Test::scannerPicksOnTheBoard()
{
    const qint64 linesBefore = m_db->count(u"ppsilap"_s);
    QVERIFY2(startBoardTerminal(), output().constData());
    std::optional<QRect> board;
    QTRY_VERIFY_WITH_TIMEOUT((board = geometryOf(BoardTitle)).has_value(), LeaveTimeoutMs);
    const QSize cell((board->width() - 2 * Border) / BoardGridSide,
                     (board->height() - 2 * Border - CommandBarHeight) / BoardGridSide);
    const auto touch = [&](int silo) {
        return clickAt(board->topLeft() + QPoint(Border + (silo - 1) % BoardGridSide * cell.width() + cell.width() / 2,
                                                 Border + (silo - 1) / BoardGridSide * cell.height() + cell.height() / 2));
    };
    for (const QString &label : {u"SILO:23"_s, u"SILO:24"_s}) {
        QVERIFY(scan(label));
        confirmInfo();
        if (QTest::currentTestFailed())
            return;
    }
    QVERIFY(clickAt(board->topLeft() + QPoint(TransferTapLeft, board->height() - Border - CommandBarHeight / 2)));
    confirmNotice();
    if (QTest::currentTestFailed())
        return;
    QTRY_COMPARE_WITH_TIMEOUT(m_db->silo(24).stav, 8.0, LeaveTimeoutMs);
    QCOMPARE(m_db->silo(23).stav, 0.0);
    QCOMPARE(m_db->count(u"ppsilap"_s), linesBefore + 1);

    QVERIFY(scan(u"J-9"_s));
    confirmNotice(u"board_scan_lot_x11.png"_s);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(touch(24));
    QTest::qWait(NothingComesMs);
    QVERIFY2(!dialogOfWidth(InfoDialogWidth).has_value(), "a silo without the lot could be touched");
    QVERIFY(touch(22));
    std::optional<QRect> info;
    QTRY_VERIFY_WITH_TIMEOUT((info = dialogOfWidth(InfoDialogWidth)).has_value(), LeaveTimeoutMs);
    // A scan over the dialog goes nowhere, and its Enter leaves the dialog open.
    QVERIFY(scan(u"SILO:21"_s));
    QTest::qWait(NothingComesMs);
    QCOMPARE(dialogOfWidth(InfoDialogWidth), info);
    confirmInfo();
    if (QTest::currentTestFailed())
        return;

    QVERIFY(scan(u"X-404"_s));
    confirmNotice(u"board_scan_unknown_x11.png"_s);
    QCOMPARE(m_db->count(u"ppsilap"_s), linesBefore + 1);
    QCOMPARE(m_process.state(), QProcess::Running);
}

// With the focus on "ukončit program", scans select into panels A and B
// and the program runs on; a lot in two silos and an unknown code get the
// console's notice, which a person's Enter closes; a quantity typed by hand
// still reaches its edit.
void BoardX11Test::scannerSelectsOnTheConsole()
{
    constexpr int PanelPixels = 200; // of a silo's values written into a panel
    QVERIFY2(startProgram({}), output().constData());
    std::optional<QRect> console;
    QTRY_VERIFY_WITH_TIMEOUT((console = geometryOf(ConsoleTitle)).has_value(), AppearTimeoutMs);
    const QPoint quit(console->right() - QuitRightGap - ButtonWidth / 2, console->bottom() - ButtonMiddleFromBottom);
    // Pressed and left without a click: the button has the focus.
    QVERIFY(runOnce(u"xdotool"_s, {u"mousemove"_s, QString::number(quit.x()), QString::number(quit.y()), u"mousedown"_s,
                                   u"1"_s, u"mousemove"_s, QString::number(quit.x()), QString::number(quit.y() - 200),
                                   u"mouseup"_s, u"1"_s}));
    QTRY_VERIFY_WITH_TIMEOUT(accessible().contains(u"push button\tukončit program"_s), LeaveTimeoutMs);
    const QRect panels(console->right() - RightPaneWidth, console->top(), RightPaneWidth, console->height() / 2);
    QImage before;
    QTRY_VERIFY_WITH_TIMEOUT(!(before = grabScreen()).isNull(), LeaveTimeoutMs);
    const auto changed = [&](const QImage &after) {
        qsizetype count = 0;
        for (int y = panels.top(); y <= panels.bottom(); ++y) {
            for (int x = panels.left(); x <= panels.right(); ++x)
                count += before.pixel(x, y) != after.pixel(x, y) ? 1 : 0;
        }
        return count;
    };
    QVERIFY(scan(u"SILO:21"_s));
    QVERIFY(scan(u"silo:23"_s)); // emptied on the board
    QImage shot;
    QTRY_VERIFY_WITH_TIMEOUT(changed(shot = grabScreen()) > 2 * PanelPixels, LeaveTimeoutMs);
    keepShot(shot, u"console_scan_x11.png"_s);
    QVERIFY(accessible().contains(u"push button\tukončit program"_s));

    before = shot;
    for (const QString &code : {u"J-9"_s, u"X-404"_s}) {
        QVERIFY(scan(code));
        QTRY_COMPARE_WITH_TIMEOUT(windowCount(ConsoleTitle), 2, LeaveTimeoutMs);
        QTest::qWait(300);
        keepShot(grabScreen(), u"console_scan_%1_x11.png"_s.arg(code));
        QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Return"_s}));
        QTRY_COMPARE_WITH_TIMEOUT(windowCount(ConsoleTitle), 1, LeaveTimeoutMs);
    }
    QTest::qWait(NothingComesMs);
    QVERIFY2(changed(grabScreen()) < PanelPixels, "a notice's scan changed the panels");
    QCOMPARE(m_process.state(), QProcess::Running);

    // A person types panel A's quantity by hand, a key at a time, and books
    // the transfer into panel B with the arrow between them.
    const QPoint quantityCell(-84, 122);
    const QPoint arrowAToB(-52, 195);
    QVERIFY(clickAt(console->topRight() + quantityCell, 1, 2, 80));
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(ConsoleTitle), 2, LeaveTimeoutMs);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"150"_s, u"ctrl+a"_s, u"4"_s, u"Return"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(ConsoleTitle), 1, LeaveTimeoutMs);
    QVERIFY(clickAt(console->topRight() + arrowAToB));
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(ConsoleTitle), 2, LeaveTimeoutMs);
    QVERIFY(runOnce(u"xdotool"_s, {u"key"_s, u"Return"_s}));
    QTRY_COMPARE_WITH_TIMEOUT(m_db->silo(23).stav, 4.0, LeaveTimeoutMs);
    QCOMPARE(m_db->silo(21).stav, 6.0);
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
