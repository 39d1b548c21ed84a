// The real program on a real X server, as a board terminal: started with
// "/P", its board opens by itself and paints its glyphs, and Ctrl+Shift+F10
// sent from outside the program closes it, with the info dialog that a touch
// opened, and brings the console on screen. Under a window manager, the
// console and the board show another workstation's transfer by themselves.
#include "TestDatabase.h"
#include "TestInstallation.h"
#include "movements/Movements.h"
#include "store/StartAudit.h"
#include "ui/Skin.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <X11/keysym.h>
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
// "0 or near": the console's top edge once it is back on screen.
constexpr int NearTop = 50;
// Pixels of a tile colour that a painted board shows at the least: the
// glyph of one silo, 15 px wide and some rows high.
constexpr int TileColourPixels = 15 * 10;
const QStringList Tiles{u"zelena.bmp"_s, u"cervena.bmp"_s};

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

// The top-left corner of the one window of that name.
std::optional<QPoint> positionOf(const QString &name)
{
    const std::optional<QStringList> found = windows(name);
    QByteArray geometry;
    if (!found || found->size() != 1 || !tryRun(u"xdotool"_s, {u"getwindowgeometry"_s, found->first()}, &geometry))
        return std::nullopt;
    const QRegularExpressionMatch match =
        QRegularExpression(u"Position: (-?\\d+),(-?\\d+)"_s).match(QString::fromUtf8(geometry));
    if (!match.hasMatch())
        return std::nullopt;
    return QPoint(match.captured(1).toInt(), match.captured(2).toInt());
}

qsizetype pixelsOfColours(const QImage &image, const QImage &tile)
{
    QSet<QRgb> colours;
    for (int y = 0; y < tile.height(); ++y) {
        for (int x = 0; x < tile.width(); ++x)
            colours.insert(tile.pixel(x, y) | 0xff000000);
    }
    qsizetype count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += colours.contains(image.pixel(x, y) | 0xff000000) ? 1 : 0;
    }
    return count;
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
    void cleanup();
    void boardTerminalOpensAndLeavesByHotKey();
    void refusedHotKeyLeavesTheBoardRunning();
    void consoleAndBoardShowAnotherWorkstationsTransfer();

private:
    void startBoardTerminal();

    granovia::test::Installation m_installation;
    QString m_program;
    std::unique_ptr<ScratchDatabase> m_db;
    QProcess m_process;
    qint64 m_starts = 0;
};

void BoardX11Test::initTestCase()
{
    GRANOVIA_REQUIRE_SERVER();
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QFAIL("No X server: run the suite through scripts/test.sh (ctest runs under xvfb-run)");
    for (const char *tool : {"xdotool", "import"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QFAIL(qPrintable(u"%1 is missing: scripts/deps.sh installs it"_s.arg(QLatin1String(tool))));
    }
    m_db = std::make_unique<ScratchDatabase>(u"t_board_x11"_s);
    m_db->execute(u"insert into ppsila (silo, stav, kapacita, partie) values "
                  "(1, 30, 60, 'A1'), (2, 60, 60, 'A1'), (3, 0, 60, ''), (51, 45, 50, 'B2'), (99, 10, 40, 'C3')"_s);

    // A copy of the program with its tiles and INI files, and a runtime
    // directory that no other run shares.
    m_installation.installProgram(QStringLiteral(GRANOVIA_PROGRAM), Tiles);
    m_installation.pointAt(m_db->settings());
    m_program = m_installation.paths().executablePath();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The test itself runs offscreen; the program goes to the X server.
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    environment.insert(u"XDG_RUNTIME_DIR"_s, m_installation.runtimeDir());
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

// Starts the program in panel mode and waits for its board.
void BoardX11Test::startBoardTerminal()
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    m_process.start(m_program, {u"/P"_s});
    QVERIFY(m_process.waitForStarted());
    // Its start record says that it has its X connection; no other client
    // connects meanwhile (see tryRun).
    QTRY_VERIFY_WITH_TIMEOUT(m_process.state() != QProcess::Running || m_db->count(u"historiem"_s) > m_starts,
                             AppearTimeoutMs);
    QVERIFY2(m_process.state() == QProcess::Running, m_process.readAll().constData());
    ++m_starts;

    QTRY_VERIFY_WITH_TIMEOUT(m_process.state() != QProcess::Running || windowCount(BoardTitle) == 1, AppearTimeoutMs);
    const qint64 appearedAfter = sinceStart.elapsed();
    QVERIFY2(m_process.state() == QProcess::Running, m_process.readAll().constData());
    qInfo("the board appeared %lld ms after the start", appearedAfter);
    QVERIFY2(appearedAfter >= EarliestBoardMs, "the board opened before its five seconds");
}

void BoardX11Test::boardTerminalOpensAndLeavesByHotKey()
{
    startBoardTerminal();
    if (QTest::currentTestFailed())
        return;
    std::optional<QPoint> console;
    QTRY_VERIFY_WITH_TIMEOUT((console = positionOf(ConsoleTitle)).has_value(), LeaveTimeoutMs);
    QVERIFY2(console->y() > NearTop, "the console is not parked in panel mode");

    const QString shot = QStringLiteral(GRANOVIA_SCREENSHOT_DIR) + u"/board_x11.png"_s;
    QFile::remove(shot);
    // The first paint may still be on its way to the screen.
    QTRY_VERIFY_WITH_TIMEOUT(tryRun(u"import"_s, {u"-window"_s, u"root"_s, shot})
                                 && pixelsOfColours(QImage(shot), QImage(m_installation.paths().fileBesideProgram(u"cervena.bmp"_s)))
                                        >= TileColourPixels,
                             LeaveTimeoutMs);
    const QImage screen(shot);
    QVERIFY2(pixelsOfColours(screen, QImage(m_installation.paths().fileBesideProgram(u"zelena.bmp"_s))) >= TileColourPixels,
             "no green glyph on the screen");

    // A touch on silo 1 opens its info dialog, which the hot key closes too.
    std::optional<QStringList> board;
    QTRY_VERIFY_WITH_TIMEOUT((board = windows(BoardTitle)) && board->size() == 1, LeaveTimeoutMs);
    const QStringList touch{u"mousemove"_s, u"--window"_s, board->first(), u"60"_s, u"40"_s, u"click"_s, u"1"_s};
    QTRY_VERIFY_WITH_TIMEOUT(tryRun(u"xdotool"_s, touch), LeaveTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(ConsoleTitle), 2, LeaveTimeoutMs);

    QTRY_VERIFY_WITH_TIMEOUT(tryRun(u"xdotool"_s, {u"key"_s, u"ctrl+shift+F10"_s}), LeaveTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(BoardTitle), 0, LeaveTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT((console = positionOf(ConsoleTitle)).has_value(), LeaveTimeoutMs);
    QVERIFY2(console->y() >= 0 && console->y() <= NearTop, qPrintable(u"console top at %1"_s.arg(console->y())));
    QCOMPARE(m_process.state(), QProcess::Running); // leaving the board does not end the program
}

void BoardX11Test::refusedHotKeyLeavesTheBoardRunning()
{
    // The X server frees the grab of an earlier, killed program only once it
    // has seen that client go.
    std::unique_ptr<ForeignGrab> grab;
    QTRY_VERIFY2_WITH_TIMEOUT((grab = std::make_unique<ForeignGrab>())->granted(),
                              "the test could not take Ctrl+Shift+F10 first", LeaveTimeoutMs);
    startBoardTerminal();
    if (QTest::currentTestFailed())
        return;
    QTRY_VERIFY_WITH_TIMEOUT(tryRun(u"xdotool"_s, {u"key"_s, u"ctrl+shift+F10"_s}), LeaveTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(grab->pressed(), LeaveTimeoutMs);
    // The key went to its holder: the board stays, and nothing is reported.
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(BoardTitle), 1, LeaveTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(ConsoleTitle), 1, LeaveTimeoutMs);
    QCOMPARE(m_process.state(), QProcess::Running);
}

void BoardX11Test::cleanup()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
    const QByteArray output = m_process.readAll();
    if (!output.isEmpty())
        qInfo("program output: %s", output.constData());
}

// A screenshot of the one window of that name, saved as file; null when it
// could not be taken.
QImage shotOf(const QString &name, const QString &file)
{
    const std::optional<QStringList> found = windows(name);
    if (!found || found->size() != 1 || !tryRun(u"import"_s, {u"-window"_s, found->first(), file}))
        return {};
    return QImage(file);
}

qsizetype pixelsOf(const QImage &image, const QColor &colour)
{
    qsizetype count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y) == colour ? 1 : 0;
    }
    return count;
}

void BoardX11Test::consoleAndBoardShowAnotherWorkstationsTransfer()
{
    constexpr int NoticeWithinMs = 2000;
    // Silo 1's row of the first overview grid, under the title strip, and the
    // strip along the console's bottom edge that opens the board.
    const QStringList silo1Row{u"120"_s, u"27"_s};
    constexpr int StripFromBottom = 20;
    constexpr int MarkedCellPixels = 3 * 100 * 10; // quantity, last movement, remaining
    QProcess windowManager;
    windowManager.start(u"openbox"_s, {u"--sm-disable"_s});
    QVERIFY2(windowManager.waitForStarted(), "openbox is missing: scripts/deps.sh installs it");
    QTRY_VERIFY_WITH_TIMEOUT(tryRun(u"xprop"_s, {u"-root"_s, u"_NET_SUPPORTING_WM_CHECK"_s}), LeaveTimeoutMs);
    const auto stopWindowManager = qScopeGuard([&windowManager] {
        windowManager.kill();
        windowManager.waitForFinished();
    });

    m_process.start(m_program, {});
    QVERIFY(m_process.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(m_process.state() != QProcess::Running || windowCount(ConsoleTitle) == 1, AppearTimeoutMs);
    QVERIFY2(m_process.state() == QProcess::Running, m_process.readAll().constData());
    std::optional<QStringList> console;
    QTRY_VERIFY_WITH_TIMEOUT((console = windows(ConsoleTitle)) && console->size() == 1, LeaveTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(tryRun(u"xdotool"_s, QStringList{u"mousemove"_s, u"--window"_s, console->first()} + silo1Row
                                                      + QStringList{u"click"_s, u"1"_s}),
                             LeaveTimeoutMs);

    Connection workstation;
    workstation.open(m_db->settings());
    workstation.execute(EmptySqlMode);
    const auto idOf = [this](int silo) {
        Result row = m_db->admin().query(u"select id from ppsila where silo = %1"_s.arg(silo));
        row.next();
        return row.toInt(u"id"_s);
    };
    const movement::TransferOrder order{u"02"_s, u"01"_s, u"2.5"_s, {u"A1"_s, {}, {}, {}}, idOf(2), idOf(1),
                                        formatTimestamp(QDateTime::currentDateTime())};
    QCOMPARE(movement::executeTransfer(workstation, order, 2.5), movement::Outcome::Done);
    // Panel A holds silo 1: read again, its changed values marked for a moment.
    const QString consoleShot = QStringLiteral(GRANOVIA_SCREENSHOT_DIR) + u"/console_live_x11.png"_s;
    QTRY_VERIFY_WITH_TIMEOUT(pixelsOf(shotOf(ConsoleTitle, consoleShot), skin::ChangedValue) >= MarkedCellPixels,
                             NoticeWithinMs);

    // The board, opened from the console, repaints the glyph of a silo filled elsewhere.
    QByteArray geometry;
    QVERIFY(tryRun(u"xdotool"_s, {u"getwindowgeometry"_s, console->first()}, &geometry));
    const int height = QRegularExpression(u"Geometry: \\d+x(\\d+)"_s).match(QString::fromUtf8(geometry)).captured(1).toInt();
    QTRY_VERIFY_WITH_TIMEOUT(tryRun(u"xdotool"_s, {u"mousemove"_s, u"--window"_s, console->first(), u"300"_s,
                                                   QString::number(height - StripFromBottom), u"click"_s,
                                                   u"--repeat"_s, u"2"_s, u"1"_s}),
                             LeaveTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(windowCount(BoardTitle), 1, AppearTimeoutMs);
    const QImage red(m_installation.paths().fileBesideProgram(u"cervena.bmp"_s));
    const QString boardShot = QStringLiteral(GRANOVIA_SCREENSHOT_DIR) + u"/board_live_x11.png"_s;
    QTRY_VERIFY_WITH_TIMEOUT(pixelsOfColours(shotOf(BoardTitle, boardShot), red) >= TileColourPixels, LeaveTimeoutMs);
    const qsizetype redBefore = pixelsOfColours(shotOf(BoardTitle, boardShot), red);
    m_db->execute(u"update ppsila set stav = 60 where silo = 3"_s);
    QTRY_VERIFY_WITH_TIMEOUT(pixelsOfColours(shotOf(BoardTitle, boardShot), red) >= redBefore + TileColourPixels,
                             NoticeWithinMs);
}

QTEST_MAIN(BoardX11Test)
#include "tst_board_x11.moc"
