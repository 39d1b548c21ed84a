// Figures for the web board: how soon a movement reaches 500 open pages, and
// what the server asks of the database with one page open and with 500. It
// runs the real program with --web on a store of 100 silos and a journal of
// 100,000 lines, and holds the pages' live channels itself. It prints
// figures and fails only when it cannot run; it is no test.
//
// Needs the server that scripts/bench.sh starts and describes in the
// GRANOVIA_TEST_DB_* variables.
#include "BenchSupport.h"
#include "config/IniFile.h"
#include "movements/Movements.h"
#include "core/SiloLabel.h"
#include "store/SqlText.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>

#include <cstdio>
#include <memory>
#include <vector>

using namespace granovia;
using namespace granovia::bench;
using namespace Qt::StringLiterals;

namespace {

constexpr qint64 JournalSize = 100'000;
constexpr int Viewers = 500;
constexpr int Movements = 10;
constexpr int MovementGapMs = 1500;
constexpr int RateWindowMs = 10000;
constexpr int WaitMs = 30000;
constexpr double Quantity = 0.5;
constexpr int ReconnectRounds = 10;
const QByteArray BoardMessage = QByteArrayLiteral("\"type\":\"board\"");

// Statements the server received, less those of the session that asks.
qint64 statementsSoFar(Connection &admin)
{
    return test::scalar(admin, u"select variable_value from information_schema.global_status "
                               "where variable_name = 'QUESTIONS'"_s)
        - test::scalar(admin, u"select variable_value from information_schema.session_status "
                              "where variable_name = 'QUESTIONS'"_s);
}

void waitUntil(const std::function<bool()> &done, const char *what)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > WaitMs)
            throw BenchError(std::string("waited too long for ") + what);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

class Viewer final {
public:
    Viewer(quint16 port, const QElapsedTimer &clock)
        : m_socket(u"http://127.0.0.1:%1"_s.arg(port))
    {
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, [this, &clock](const QString &message) {
            if (message.toUtf8().contains(BoardMessage))
                m_boardAtMs = elapsedMs(clock);
        });
        m_socket.open(QUrl(u"ws://127.0.0.1:%1/live"_s.arg(port)));
    }
    double boardAtMs() const { return m_boardAtMs; }

private:
    QWebSocket m_socket;
    double m_boardAtMs = -1;
};

struct Server {
    quint16 port = 0;
    QProcess process;
};

void startServer(Store &store, Server &server)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    server.port = probe.serverPort();
    probe.close();
    store.installation.pointAt(store.db.settings());
    IniFile(store.installation.paths().ownIniPath())
        .writeString(u"Web"_s, u"Listen"_s, u"127.0.0.1:%1"_s.arg(server.port));
    store.installation.installProgram(QStringLiteral(GRANOVIA_PROGRAM));
    server.process.setProcessChannelMode(QProcess::ForwardedChannels);
    server.process.start(store.installation.paths().executablePath(), {u"--web"_s});
    QTcpSocket socket;
    waitUntil([&] {
        socket.connectToHost(QHostAddress::LocalHost, server.port);
        return socket.waitForConnected(100);
    }, "the web server");
}

double residentMb(qint64 pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    static const QRegularExpression vmRss(u"^VmRSS:\\s+(\\d+)\\s+kB"_s, QRegularExpression::MultilineOption);
    return vmRss.match(QString::fromLatin1(status.readAll())).captured(1).toDouble() / 1024;
}

void openPages(std::vector<std::unique_ptr<Viewer>> &viewers, quint16 port, const QElapsedTimer &clock)
{
    while (viewers.size() < Viewers)
        viewers.push_back(std::make_unique<Viewer>(port, clock));
    waitUntil([&] {
        return std::all_of(viewers.begin(), viewers.end(), [](const auto &v) { return v->boardAtMs() >= 0; });
    }, "every page");
}

double statementRate(Connection &admin)
{
    const qint64 before = statementsSoFar(admin);
    QElapsedTimer window;
    window.start();
    waitUntil([&] { return window.elapsed() >= RateWindowMs; }, "the window");
    return double(statementsSoFar(admin) - before) * 1000 / double(window.elapsed());
}

// Two silos of one lot, the first with seed to give and the second with room.
std::pair<int, int> siloPair(Connection &admin)
{
    Result pair = admin.query(u"select a.silo as a, b.silo as b from ppsila a join ppsila b on a.partie = b.partie "
                              "and a.silo < b.silo where a.stav > 5 and b.stav > 5 and b.kapacita - b.stav > 5 "
                              "and a.kapacita - a.stav > 5 limit 1"_s);
    if (!pair.next())
        throw BenchError("no two silos of one lot");
    return {int(pair.toInt(u"a"_s)), int(pair.toInt(u"b"_s))};
}

void transfer(test::ScratchDatabase &db, int from, int to)
{
    const test::StoredSilo source = db.silo(from);
    const movement::TransferOrder order{silolabel::digits(from), silolabel::digits(to), QString::number(Quantity),
                                        {source.partie, source.druh, {}, {}}, source.id, db.silo(to).id,
                                        formatTimestamp(QDateTime::currentDateTime())};
    if (movement::executeTransfer(db.admin(), order, Quantity) != movement::Outcome::Done)
        throw BenchError("a transfer was refused");
}

void measure()
{
    std::unique_ptr<Store> store = loadStore(u"granovia_web_bench"_s, JournalSize);
    Connection &admin = store->db.admin();
    Server server;
    startServer(*store, server);
    QElapsedTimer clock;
    clock.start();

    std::vector<std::unique_ptr<Viewer>> viewers;
    viewers.push_back(std::make_unique<Viewer>(server.port, clock));
    waitUntil([&] { return viewers.front()->boardAtMs() >= 0; }, "the first page");
    const double oneRate = statementRate(admin);
    openPages(viewers, server.port, clock);
    const double manyRate = statementRate(admin);

    const auto [a, b] = siloPair(admin);
    std::vector<double> delays;
    for (int round = 0; round < Movements; ++round) {
        const double bookedAt = elapsedMs(clock);
        transfer(store->db, round % 2 ? b : a, round % 2 ? a : b);
        waitUntil([&] {
            return std::all_of(viewers.begin(), viewers.end(),
                               [bookedAt](const auto &v) { return v->boardAtMs() > bookedAt; });
        }, "the movement on every page");
        for (const auto &viewer : viewers)
            delays.push_back(viewer->boardAtMs() - bookedAt);
        const double settled = elapsedMs(clock);
        waitUntil([&] { return elapsedMs(clock) - settled >= MovementGapMs; }, "the gap");
    }
    // Pages that go and come again leave the server's memory as it was once
    // its heap has grown to hold them.
    const auto reopen = [&] {
        viewers.clear();
        openPages(viewers, server.port, clock);
    };
    reopen();
    const double firstMb = residentMb(server.process.processId());
    for (int round = 0; round < ReconnectRounds; ++round)
        reopen();
    const double laterMb = residentMb(server.process.processId());
    std::printf("web board: %d viewers, a movement seen by all within %.0f ms (median), %.0f ms (slowest)\n",
                Viewers, median(delays), *std::max_element(delays.begin(), delays.end()));
    std::printf("web board: database statements per second: %.1f with 1 viewer, %.1f with %d viewers\n", oneRate,
                manyRate, Viewers);
    std::printf("web board: server memory %.1f MB after %d viewers came again, %.1f MB after %d more rounds\n", firstMb,
                Viewers, laterMb, ReconnectRounds);
    viewers.clear();
    server.process.kill();
    server.process.waitForFinished();
}

} // namespace

int main(int argc, char *argv[])
{
    if (!haveServer("web_bench"))
        return 2;
    QCoreApplication app(argc, argv);
    return runReported("web_bench", measure);
}
