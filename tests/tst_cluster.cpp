// The program on a three-node Galera cluster of the test's own, under the
// build tree: a node that dies or is cut off from the others is left for
// another without a notice, a transfer whose node dies under it is booked
// once, and transfers on two nodes into one silo keep its capacity. Each
// case prints the longest freeze it measured.
#include "ConsoleFixture.h"
#include "Relay.h"
#include "RunTool.h"
#include "movements/Movements.h"
#include "store/DbError.h"

#include <QElapsedTimer>
#include <QtTest>
#include <algorithm>
#include <csignal>
#include <optional>
#include <thread>

using namespace granovia;
using namespace Qt::StringLiterals;
using namespace granovia::test;

namespace {

constexpr int NodeCount = 3;
constexpr qint64 MaxFreezeMs = 10000;
const QString Galera = u"" GRANOVIA_GALERA ""_s;
const QString ClusterDir = u"" GRANOVIA_CLUSTER_DIR ""_s;
const movement::Lot Lot{u"L1"_s, u"Oves"_s, u"Atego"_s, u"C1"_s};
const movement::TransferOrder Transfer{u"01"_s, u"02"_s, u"5"_s, Lot, 1, 2, u"2026-12-09 10:00:00"_s};

bool galera(const QStringList &arguments)
{
    const Ran ran = run(Galera, QStringList{arguments.first(), ClusterDir} + arguments.mid(1));
    if (!ran.ok)
        qWarning().noquote() << ran.output;
    return ran.ok;
}

// As a crash would: at once, without a word to the others.
void killNode(int node)
{
    QFile file(u"%1/node%2/mysqld.pid"_s.arg(ClusterDir).arg(node));
    const pid_t pid = file.open(QIODevice::ReadOnly) ? pid_t(file.readAll().trimmed().toInt()) : 0;
    if (pid <= 0)
        return;
    ::kill(pid, SIGKILL);
    while (::kill(pid, 0) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// An error that escapes a case fails that case alone: the next cases still
// run, and the nodes are stopped at the end, not left running.
template <typename Case>
void caught(Case body)
{
    try {
        body();
    } catch (const std::exception &error) {
        QFAIL(error.what());
    }
}

} // namespace

class ClusterTest final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup() { m_db.reset(); }

    void concurrentTransfersOnTwoNodes_data();
    void concurrentTransfersOnTwoNodes();
    void nodeLostBetweenTwoActions_data();
    void nodeLostBetweenTwoActions();
    void nodeKilledDuringTransfer_data();
    void nodeKilledDuringTransfer();

private:
    // The cases' bodies, which caught() runs.
    void runConcurrentTransfersOnTwoNodes();
    void runNodeLostBetweenTwoActions();
    void runNodeKilledDuringTransfer();
    // The nodes' addresses as "IP" lists them, beginning with `first` (1..3).
    ConnectionSettings startingAt(int first) const;
    int nodeOf(Connection &connection);
    qint64 journalLines() { return m_db->count(u"ppsilap"_s); }

    QList<unsigned int> m_ports;
    std::unique_ptr<ScratchDatabase> m_db;
};

void ClusterTest::initTestCase()
{
    // Nodes left running by an earlier run that did not end go first.
    QVERIFY(galera({u"stop"_s}));
    const Ran started = run(Galera, {u"start"_s, ClusterDir});
    QVERIFY2(started.ok, started.output.constData());
    for (const QByteArray &port : started.output.trimmed().split(' '))
        m_ports.append(port.toUInt());
    QCOMPARE(m_ports.size(), NodeCount);
    QVERIFY(run(u"mariadb"_s, {u"--no-defaults"_s, u"-S"_s, ClusterDir + u"/node1/mysqld.sock"_s, u"-u"_s, u"root"_s, u"-e"_s,
                               u"create user if not exists 'cluster'@'127.0.0.1' identified by 'cluster';"
                               "grant all privileges on *.* to 'cluster'@'127.0.0.1'"_s})
                .ok);
    // The shared helpers reach the cluster as the test server, through any node.
    qputenv("GRANOVIA_TEST_DB_HOST", startingAt(1).host.toLatin1());
    qputenv("GRANOVIA_TEST_DB_PORT", QByteArray::number(m_ports.first()));
    qputenv("GRANOVIA_TEST_DB_USER", "cluster");
    qputenv("GRANOVIA_TEST_DB_PASSWORD", "cluster");
}

void ClusterTest::cleanupTestCase()
{
    m_db.reset();
    galera({u"stop"_s});
}

void ClusterTest::init()
{
    QVERIFY(galera({u"heal"_s}));
    caught([this] { m_db = std::make_unique<ScratchDatabase>(u"t_cluster"_s); });
}

ConnectionSettings ClusterTest::startingAt(int first) const
{
    QStringList hosts;
    for (int i = 0; i < NodeCount; ++i)
        hosts.append(u"127.0.0.1:%1"_s.arg(m_ports.at((first - 1 + i) % NodeCount)));
    ConnectionSettings settings = m_db ? m_db->settings() : ConnectionSettings{};
    settings.host = hosts.join(u',');
    return settings;
}

int ClusterTest::nodeOf(Connection &connection)
{
    return int(m_ports.indexOf(unsigned(scalar(connection, u"select @@port"_s)))) + 1;
}

// Two workstations on two nodes move 7 t each into silo 3 at once: the
// first one's transaction is open when the second commits on the other node,
// so the cluster refuses its COMMIT. It is made again on the fresh stock, and
// booked or refused as the capacity left allows: it sends its journal line
// once more only when it fits.
void ClusterTest::concurrentTransfersOnTwoNodes_data()
{
    QTest::addColumn<double>("capacity");
    QTest::addColumn<int>("outcome"); // of the transfer whose COMMIT the cluster refused
    QTest::newRow("both fit") << 20.0 << int(movement::Outcome::Done);
    QTest::newRow("one fits") << 10.0 << int(movement::Outcome::NoCapacity);
}

void ClusterTest::concurrentTransfersOnTwoNodes()
{
    caught([this] { runConcurrentTransfersOnTwoNodes(); });
}

void ClusterTest::runConcurrentTransfersOnTwoNodes()
{
    QFETCH(double, capacity);
    QFETCH(int, outcome);
    const int booked = outcome == int(movement::Outcome::Done) ? 2 : 1;
    m_db->execute(u"insert into ppsila (id, silo, stav, kapacita, partie) values "
                  "(1, 1, 50, 100, 'L1'), (2, 2, 50, 100, 'L1'), (3, 3, 0, %1, '')"_s.arg(capacity));
    const auto into3 = [](int from) {
        return movement::TransferOrder{u"0%1"_s.arg(from), u"03"_s, u"7"_s, Lot, from, 3, Transfer.timestamp};
    };
    Connection first;
    first.open(startingAt(1));
    Connection second;
    second.open(startingAt(2));
    QCOMPARE(nodeOf(second), 2);
    int tries = 0;
    std::optional<movement::Outcome> otherOutcome;
    const auto hook = [&](int step) {
        tries += step == 1 ? 1 : 0;
        if (step == movement::CommitStep && !otherOutcome)
            otherOutcome = movement::executeTransfer(second, into3(2), 7);
    };
    QElapsedTimer timer;
    timer.start();
    const movement::Outcome result = movement::executeTransfer(first, into3(1), 7, movement::Locking::Rows, hook);
    const qint64 freeze = timer.elapsed();
    printFreeze(QTest::currentDataTag(), freeze);
    QCOMPARE(otherOutcome, std::optional(movement::Outcome::Done));
    QCOMPARE(tries, booked);
    QCOMPARE(int(result), outcome);
    QCOMPARE(journalLines(), qint64(booked));
    QCOMPARE(m_db->silo(3).stav, 7.0 * booked);
    QVERIFY(m_db->silo(3).stav <= capacity + movement::CapacityTolerance);
    QCOMPARE(m_db->storeTotal(), 100.0);
    QVERIFY(freeze <= MaxFreezeMs);
}

// The console's node goes between two actions: the next one is made on
// another node, once, without a notice beyond its question.
void ClusterTest::nodeLostBetweenTwoActions_data()
{
    QTest::addColumn<bool>("isolated");
    QTest::newRow("killed") << false;
    QTest::newRow("cut off from the majority") << true;
}

void ClusterTest::nodeLostBetweenTwoActions()
{
    caught([this] { runNodeLostBetweenTwoActions(); });
}

void ClusterTest::runNodeLostBetweenTwoActions()
{
    QFETCH(bool, isolated);
    m_db->execute(u"insert into ppsila (id, silo, stav, kapacita, partie) values (1, 1, 50, 100, 'L1'), (2, 2, 0, 100, '')"_s);
    Installation installation;
    installation.pointAt(startingAt(2));
    ScriptedDialogs dialogs;
    TForm1 form(installation.context());
    const ConsoleProbe console(&form);
    form.show();
    console.select(1);
    console.select(2);
    QCOMPARE(console.snapshot().vyber_b, 2);
    const int node = nodeOf(console.ZConnection1());
    QCOMPARE(node, 2);

    if (isolated)
        QVERIFY(galera({u"isolate"_s, QString::number(node)}));
    else
        killNode(node);
    dialogs.queue({1, {}}); // "přesunout"
    QElapsedTimer timer;
    timer.start();
    console.suiArrowButton2()->click();
    const qint64 freeze = timer.elapsed();
    printFreeze(QTest::currentDataTag(), freeze);
    QVERIFY2(dialogs.asked.size() == 1, qPrintable(dialogs.texts().join(u'|')));
    QCOMPARE(journalLines(), 1);
    QCOMPARE(m_db->silo(2).stav, 50.0);
    QCOMPARE(nodeOf(console.ZConnection1()), 3); // the next in the list
    QCOMPARE(nodeOf(console.liveView().connection()), 3);
    QVERIFY(freeze <= MaxFreezeMs);
}

// The mover's node dies as its COMMIT goes out, or after it committed with
// its answer lost on the way: the transfer is made again on the next node,
// or found committed there by its journal line, and booked once.
void ClusterTest::nodeKilledDuringTransfer_data()
{
    QTest::addColumn<bool>("answerLost");
    QTest::newRow("before its commit") << false;
    QTest::newRow("after its commit, the answer lost") << true;
}

void ClusterTest::nodeKilledDuringTransfer()
{
    caught([this] { runNodeKilledDuringTransfer(); });
}

void ClusterTest::runNodeKilledDuringTransfer()
{
    QFETCH(bool, answerLost);
    m_db->execute(u"insert into ppsila (id, silo, stav, kapacita, partie) values (1, 1, 50, 100, 'L1'), (2, 2, 0, 100, '')"_s);
    // Node 2, behind a relay that can lose its answers, then 3 and 1.
    CuttableRelay relay(quint16(m_ports.at(1)));
    ConnectionSettings settings = startingAt(answerLost ? 3 : 2);
    if (answerLost)
        settings.host = u"127.0.0.1:%1,"_s.arg(relay.port()) + settings.host;
    Connection mover;
    mover.open(settings);
    const int node = nodeOf(mover);
    bool killed = false;
    std::optional<std::thread> watcher;
    bool seenCommitted = false;
    const auto hook = [&](int step) {
        if (step != movement::CommitStep || killed)
            return;
        killed = true;
        if (!answerLost) {
            killNode(node);
            return;
        }
        relay.loseAnswers();
        // The node dies once its COMMIT has reached the cluster.
        watcher.emplace([&, node] {
            Connection onNode3;
            onNode3.open(startingAt(3));
            for (int tries = 0; !seenCommitted && tries < 1000; ++tries)
                seenCommitted = scalar(onNode3, u"select count(*) from ppsilap"_s) == 1;
            killNode(node);
            relay.shutDown();
        });
    };
    std::optional<movement::Outcome> outcome;
    QString failure;
    QElapsedTimer timer;
    timer.start();
    try {
        outcome = movement::executeTransfer(mover, Transfer, 5, movement::Locking::Rows, hook);
    } catch (const DbError &error) {
        failure = error.message();
    }
    const qint64 freeze = timer.elapsed();
    if (watcher)
        watcher->join();
    printFreeze(QTest::currentDataTag(), freeze);
    QVERIFY(killed);
    QCOMPARE(seenCommitted, answerLost);
    QVERIFY2(outcome == movement::Outcome::Done, qPrintable(failure));
    QCOMPARE(journalLines(), 1);
    QCOMPARE(m_db->silo(1).stav, 45.0);
    QCOMPARE(m_db->storeTotal(), 50.0);
    QCOMPARE(nodeOf(mover), 3);
    QVERIFY(freeze <= MaxFreezeMs);
}

QTEST_MAIN(ClusterTest)
#include "tst_cluster.moc"
