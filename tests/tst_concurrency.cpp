// Two workstations moving seed between the same few silos at once: every
// movement is whole, the journal explains every stock, no silo is overfilled.
#include "TestDatabase.h"
#include "movements/Movements.h"
#include "movements/Reversal.h"
#include "store/DbError.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QtTest>
#include <atomic>
#include <optional>
#include <thread>

using namespace granovia;
using namespace Qt::StringLiterals;
using namespace granovia::test;

namespace {

constexpr int SiloCount = 5;
constexpr int MovementsPerWorkstation = 1500;
constexpr double Capacity = 100;
constexpr double InitialStock = 50;
constexpr double Tolerance = 1e-6;

QString number(int silo)
{
    return u"%1"_s.arg(silo, 2, 10, QLatin1Char('0'));
}

// One workstation: random transfers and removals, each refused or done whole.
void workstation(const ConnectionSettings &settings, quint32 seed, std::atomic<int> &done, std::atomic<int> &failed)
{
    Connection connection;
    connection.open(settings);
    QRandomGenerator random(seed);
    const QString stamp = formatTimestamp(QDateTime::currentDateTime());
    for (int i = 0; i < MovementsPerWorkstation; ++i) {
        const int from = int(random.bounded(SiloCount)) + 1;
        const int quantityHundredths = int(random.bounded(100, 4000));
        const QString quantity = u"%1.%2"_s.arg(quantityHundredths / 100).arg(quantityHundredths % 100, 2, 10, QLatin1Char('0'));
        const movement::Lot lot{u"L1"_s, u"Oves"_s, u"Atego"_s, u"C1"_s};
        const long double tonnes = quantityHundredths / 100.0L;
        try {
            if (random.bounded(5) == 0) {
                movement::executeRemoval(connection, {number(from), quantity, lot, from, stamp}, tonnes);
            } else {
                const int to = (from + int(random.bounded(SiloCount - 1))) % SiloCount + 1;
                const movement::TransferOrder order{number(from), number(to), quantity, lot, from, to, stamp};
                movement::executeTransfer(connection, order, tonnes);
            }
            ++done;
        } catch (const DbError &) {
            ++failed;
        }
    }
}

// The server's count of deadlocks since it started.
const QString Deadlocks = u"select variable_value from information_schema.global_status "
                          "where variable_name = 'Innodb_deadlocks'"_s;

} // namespace

class ConcurrencyTest final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { GRANOVIA_REQUIRE_SERVER(); }
    void journalAndStocksAgree();
    void lockWaitTimeOutIsRetried_data();
    void lockWaitTimeOutIsRetried();
    void oneLineReversedAtOnceIsBookedOnce_data();
    void oneLineReversedAtOnceIsBookedOnce();
};

void ConcurrencyTest::journalAndStocksAgree()
{
    ScratchDatabase db(u"t_concurrency"_s);
    for (int silo = 1; silo <= SiloCount; ++silo) {
        db.execute(u"insert into ppsila (id, silo, stav, kapacita, partie) values (%1, %1, %2, %3, 'L1')"_s
                       .arg(silo).arg(InitialStock).arg(Capacity));
    }
    std::atomic<int> done = 0;
    std::atomic<int> failed = 0;
    const qint64 deadlocksBefore = scalar(db.admin(), Deadlocks);
    std::thread first(workstation, db.settings(), 1u, std::ref(done), std::ref(failed));
    std::thread second(workstation, db.settings(), 2u, std::ref(done), std::ref(failed));
    first.join();
    second.join();
    QCOMPARE(failed.load(), 0); // lock waits are retried, never reported
    QVERIFY(done.load() == 2 * MovementsPerWorkstation);
    // Locks taken in one order never wait in a circle: the retry hides none.
    QCOMPARE(scalar(db.admin(), Deadlocks), deadlocksBefore);

    for (int silo = 1; silo <= SiloCount; ++silo) {
        Result flows = db.admin().query(
            u"select coalesce(sum(if(silob = '%1', mnozstvi, 0)), 0) - coalesce(sum(if(silo = '%1', mnozstvi, 0)), 0) "
            "as net from ppsilap"_s.arg(number(silo)));
        flows.next();
        const double stock = db.silo(silo).stav;
        const double expected = InitialStock + flows.toDouble(u"net"_s);
        QVERIFY2(qAbs(stock - expected) < Tolerance,
                 qPrintable(u"silo %1: %2 in the table, %3 by the journal"_s.arg(silo).arg(stock).arg(expected)));
        QVERIFY(stock <= Capacity + movement::CapacityTolerance + Tolerance);
    }
    QVERIFY(qAbs(db.storeTotal() - SiloCount * InitialStock) < Tolerance);
}

void ConcurrencyTest::lockWaitTimeOutIsRetried_data()
{
    QTest::addColumn<int>("heldMs"); // 0: until the mover is done
    QTest::addColumn<bool>("moves");
    QTest::newRow("held a little past one wait: a later try moves") << 1500 << true;
    QTest::newRow("held throughout: the last try gives up") << 0 << false;
}

void ConcurrencyTest::lockWaitTimeOutIsRetried()
{
    QFETCH(int, heldMs);
    QFETCH(bool, moves);
    ScratchDatabase db(u"t_lock_wait"_s);
    db.execute(u"insert into ppsila (id, silo, stav, kapacita, partie) values (1, 1, 50, 100, 'L1'), (2, 2, 0, 100, '')"_s);
    // Another workstation holds the journal longer than the mover waits for a lock.
    db.execute(u"start transaction"_s);
    db.execute(u"select * from ppsilap for update"_s);
    std::thread holder([&db, heldMs] {
        if (heldMs == 0)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(heldMs));
        db.execute(u"commit"_s);
    });
    Connection mover;
    mover.open(db.settings());
    mover.execute(u"set innodb_lock_wait_timeout = 1"_s);
    const movement::TransferOrder order{u"01"_s, u"02"_s, u"5"_s, {u"L1"_s, {}, {}, {}}, 1, 2, u"2026-12-09 10:00:00"_s};
    int tries = 0;
    const auto countTries = [&tries](int statement) { tries += statement == 1 ? 1 : 0; };
    std::optional<movement::Outcome> outcome;
    QString failure;
    try {
        outcome = movement::executeTransfer(mover, order, 5, movement::Locking::Rows, countTries);
    } catch (const DbError &error) {
        failure = error.message();
    }
    holder.join();
    if (heldMs == 0)
        db.execute(u"commit"_s);
    QVERIFY2((outcome == movement::Outcome::Done) == moves, qPrintable(failure));
    QVERIFY2(moves ? tries <= movement::MaxAttempts : tries == movement::MaxAttempts, qPrintable(QString::number(tries)));
    QCOMPARE(db.count(u"ppsilap"_s), moves ? 1 : 0);
    QCOMPARE(db.silo(1).stav, moves ? 45.0 : 50.0);
}

void ConcurrencyTest::oneLineReversedAtOnceIsBookedOnce_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("row locks") << u"InnoDB"_s;
    QTest::newRow("tables without transactions") << u"MyISAM"_s;
}

// Two workstations reverse one transfer at the same moment: the second asks
// while the first, its tests passed, is about to write. The target holds
// enough for both, so only the locks can keep the second from booking.
void ConcurrencyTest::oneLineReversedAtOnceIsBookedOnce()
{
    QFETCH(QString, engine);
    ScratchDatabase db(u"t_reversal_race"_s);
    db.execute(u"alter table ppsila engine = %1"_s.arg(engine));
    db.execute(u"alter table ppsilap engine = %1"_s.arg(engine));
    db.execute(u"insert into ppsila (id, silo, stav, kapacita, partie) values (1, 1, 50, 100, 'L1'), (2, 2, 50, 100, 'L1')"_s);
    Connection first;
    first.open(db.settings());
    Connection second;
    second.open(db.settings());
    const movement::MovementTables tables = movement::describeTables(first);
    const QString stamp = formatTimestamp(QDateTime::currentDateTime());
    const movement::TransferOrder order{u"01"_s, u"02"_s, u"5"_s, {u"L1"_s, {}, {}, {}}, 1, 2, stamp};
    QCOMPARE(movement::executeTransfer(first, order, 5, tables), movement::Outcome::Done);
    const qint64 line = scalar(db.admin(), u"select max(id) from ppsilap"_s);
    const qint64 secondSession = scalar(second, u"select connection_id()"_s);
    // The second in its locking read of the line, which the first holds, or
    // waiting for the tables; the process list is live, unlike the server's
    // tables of transactions.
    const QString waiting = u"select count(*) from information_schema.processlist where id = %1 and "
                            "(info like '%for update' or state like 'Waiting for table%')"_s.arg(secondSession);

    std::optional<movement::ReversalResult> secondResult;
    QString secondFailure;
    std::thread racer;
    const auto overlap = [&](int step) {
        if (step != movement::reversalstep::Journal || racer.joinable())
            return;
        racer = std::thread([&] {
            try {
                secondResult = movement::executeReversal(second, line, stamp, tables);
            } catch (const DbError &error) {
                secondFailure = error.message();
            }
        });
        QTRY_VERIFY_WITH_TIMEOUT(scalar(db.admin(), waiting) == 1, 5000);
    };
    const movement::ReversalResult firstResult = movement::executeReversal(first, line, stamp, tables, overlap);
    QVERIFY(racer.joinable());
    racer.join();
    QCOMPARE(firstResult.outcome, movement::ReversalOutcome::Done);
    QVERIFY2(secondResult, qPrintable(secondFailure));
    QCOMPARE(secondResult->outcome, movement::ReversalOutcome::AlreadyReversed);
    QCOMPARE(scalar(db.admin(), u"select count(*) from ppsilap where cislopp = 'ST %1'"_s.arg(line)), 1);
    QCOMPARE(scalar(db.admin(), u"select sum(stav = 50) from ppsila"_s), 2);
}

QTEST_GUILESS_MAIN(ConcurrencyTest)
#include "tst_concurrency.moc"
