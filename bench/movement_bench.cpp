// Figures for one seed transfer between two silos, over movement journals of
// 1,000 and 1,000,000 lines, side by side:
//   floor     the six statements of a transfer sent one by one on a bare
//             connection in auto-commit mode: no transaction, lock or re-test;
//   movement  the console's transfer without its refresh: the order built from
//             panels A and B, the client's capacity test and
//             movement::executeTransfer (transaction, row locks, re-test);
//   handler   the console's handler suiArrowButton2Click, driven (Tag 1),
//             its refresh of the two silos and the new journal line included;
//   visible   the handler and the event processing that paints its result:
//             the transfer as the operator sees it done;
//   full      the full refresh (history re-read, snapshot reload,
//             both grids repainted, panels emptied), for comparison;
//   poll      the console's live view: one poll that finds the floor's
//             transfer, made on another session as another workstation's,
//             up to the repainted screen; and one poll that finds nothing,
//             which must send exactly one statement;
//   reversal  movement::executeReversal, once, of the newest transfer and of
//             the oldest one, whose test for an earlier reversal reads every
//             journal line above it (the oldest may be refused, after that).
// Selecting the silos into the panels is never timed.
//
// Every transfer moves 0,1 t between two silos of one lot, in turns one way
// and back, so stock never runs out and capacity never refuses; a refused or
// failed transfer ends the program with an error. It prints figures and fails
// only when it cannot run; it is no test.
//
// Needs the server that scripts/bench.sh starts and describes in the
// GRANOVIA_TEST_DB_* variables, and QT_QPA_PLATFORM=offscreen (or a display).
#include "BenchSupport.h"
#include "config/NumberFormat.h"
#include "console/LiveView.h"
#include "console/TForm1.h"
#include "movements/Movements.h"
#include "movements/Reversal.h"
#include "store/DbError.h"
#include "store/Schema.h"
#include "store/StartAudit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

using namespace granovia;
using namespace granovia::bench;
using namespace Qt::StringLiterals;
using granovia::test::ScratchDatabase;

namespace {

constexpr qint64 JournalSizes[] = {1'000, 1'000'000};
constexpr int WarmUpRounds = 20; // even, so that the stock ends where it began
constexpr int Rounds = 200;      // even, likewise
// Silos 1 and 2 hold one lot (see fillSilos), 12,21 t of 33 t and 34,04 t of 46 t.
constexpr int SiloOne = 1;
constexpr int SiloTwo = 2;
const QString QuantityPanelText = u"0,1"_s;
constexpr double TargetRatio = 1.5;
constexpr double TargetVisibleRatio = 3.0;
constexpr double TargetIdlePollMs = 0.3;

double storedStock(Connection &connection, int silo)
{
    Result row = connection.query(u"select stav from ppsila where silo = %1"_s.arg(silo));
    if (!row.next())
        throw BenchError("silo " + std::to_string(silo) + " has no row");
    return row.toDouble(schema::ppsila::Stav);
}

qint64 statementsSent(Connection &connection)
{
    Result status = connection.query(u"show session status like 'Questions'"_s);
    status.next();
    return status.toInt(u"Value"_s);
}

struct Row {
    qint64 lines = 0;
    Spread floor;
    Spread movement;
    Spread handler;
    Spread visible;
    Spread full;
    Spread changedPoll;
    Spread idlePoll;
    double reverseNewest = 0;
    double reverseOldest = 0;
    bool indexed = false;
};

class Bench {
public:
    Row measure(qint64 size);

private:
    void select(TForm1 &form, int source, int target);
    movement::TransferOrder orderFromPanels(TForm1 &form) const;

    QuietDialogs m_dialogs;
};

// Silo 'source' into panel A and 'target' into panel B, by the console's own
// selection, with the quantity to move lowered to 0,1 t.
void Bench::select(TForm1 &form, int source, int target)
{
    for (int silo : {source, target})
        probe(form).select(silo);
    if (probe(form).snapshot().vyber_a != probe(form).snapshot().sila_id[size_t(source)]
        || probe(form).snapshot().vyber_b != probe(form).snapshot().sila_id[size_t(target)])
        throw BenchError("the console did not take the two silos into panels A and B");
    probe(form).popis1()->setValue(detail::QuantityRow, QuantityPanelText);
}

// The order the handler builds from panels A and B.
movement::TransferOrder Bench::orderFromPanels(TForm1 &form) const
{
    const DetailGrid *a = probe(form).popis1();
    return {
        movement::siloNumberOfCaption(probe(form).suiImagePanel2()->text()),
        movement::siloNumberOfCaption(probe(form).suiImagePanel3()->text()),
        movement::quantityTextOf(a->value(detail::QuantityRow)),
        {a->value(detail::LotRow), a->value(detail::SpeciesRow), a->value(detail::VarietyRow),
         a->value(detail::GradeRow)},
        probe(form).snapshot().vyber_a,
        probe(form).snapshot().vyber_b,
        formatTimestamp(QDateTime::currentDateTime()),
    };
}

// The floor: statements 1..6 of the transfer, each committed on its own.
void sendBare(Connection &connection, const movement::TransferOrder &order)
{
    using namespace movement;
    const Escape escape = connection.escaper();
    connection.execute(journalTransfer(order, escape));
    Result source = connection.query(selectSourceRow(order));
    const QString fillingDate = !source.next() || source.isNull(schema::ppsila::Navoz)
                                    ? ZeroTimestamp
                                    : source.toText(schema::ppsila::Navoz);
    connection.execute(fillDateIfEmpty(order.targetId, fillingDate, escape));
    connection.execute(addToSilo(order.targetId, order.quantityText, order.lot, order.timestamp, escape));
    connection.execute(takeFromSilo(order.sourceId, order.quantityText, order.timestamp, escape));
    connection.execute(clearIfEmpty(order.sourceId));
}

Row Bench::measure(qint64 size)
{
    Row row;
    row.lines = size;
    const std::unique_ptr<Store> store = loadStore(u"bench_movement_%1"_s.arg(size), size);
    ScratchDatabase &db = store->db;
    row.indexed = hasRecommendedIndexes(db.admin());
    // A shared journal has the lines that earlier benchmarks booked besides.
    const qint64 linesBefore = test::scalar(store->longSession(), u"select count(*) from ppsilap"_s);
    const std::unique_ptr<TForm1> form = showConsole(store->installation);
    m_dialogs.check("start");
    if (!probe(*form).ZConnection1().isOpen() || probe(*form).snapshot().sila_id[SiloTwo] == 0)
        throw BenchError("the console did not start with its silos");

    // The floor's session, with the console session's SQL mode.
    Connection bare;
    bare.open(db.settings());
    bare.execute(EmptySqlMode);

    // The orders of both directions, for the floor, as the panels give them.
    movement::TransferOrder floorOrders[2];
    for (int way = 0; way < 2; ++way) {
        select(*form, way ? SiloTwo : SiloOne, way ? SiloOne : SiloTwo);
        floorOrders[way] = orderFromPanels(*form);
        probe(*form).suiButton1Click();
        probe(*form).suiButton2Click();
    }
    if (floorOrders[0].lot.partie.isEmpty() || floorOrders[0].lot.partie != floorOrders[1].lot.partie)
        throw BenchError("the two silos do not hold one lot");

    // The lines the transfers write, written some ms apart, would share their
    // datum by the hundred and put the history's page boundary among them;
    // between rounds (not timed) they are spread a minute apart, as an
    // operator's movements are, ending before now.
    Result lastLine = db.admin().query(u"select max(id) as id from ppsilap"_s);
    lastLine.next();
    const qint64 loadedUpTo = lastLine.toInt(u"id"_s);
    qint64 spreadUpTo = loadedUpTo;
    const QString spreadBase
        = formatTimestamp(QDateTime::currentDateTime().addSecs(-qint64(3 * (WarmUpRounds + Rounds) + 60) * 60));

    const double stockOne = storedStock(db.admin(), SiloOne);
    const double stockTwo = storedStock(db.admin(), SiloTwo);

    std::vector<double> floor, moves, handler, visible, full, changedPoll, idlePoll;
    LiveView &live = probe(*form).liveView();
    for (int round = 0; round < WarmUpRounds + Rounds; ++round) {
        const bool counted = round >= WarmUpRounds;
        const int way = round % 2;
        const int source = way ? SiloTwo : SiloOne;
        const int target = way ? SiloOne : SiloTwo;
        QElapsedTimer timer;

        // 1. The floor, which is another workstation's transfer to the console.
        movement::TransferOrder bareOrder = floorOrders[way];
        bareOrder.timestamp = formatTimestamp(QDateTime::currentDateTime());
        timer.start();
        sendBare(bare, bareOrder);
        if (counted)
            floor.push_back(elapsedMs(timer));

        // 2. The console's polls: one that finds that transfer, up to the
        // repainted screen, and one that finds nothing.
        timer.start();
        const bool found = live.poll();
        QCoreApplication::processEvents();
        const double changedMs = elapsedMs(timer);
        timer.start();
        const bool foundAgain = live.poll();
        const double idleMs = elapsedMs(timer);
        if (!found || foundAgain)
            throw BenchError("the live view did not see the other workstation's transfer exactly once");

        // 3. The transfer as the handler runs it, without its refresh.
        select(*form, source, target);
        timer.start();
        {
            const movement::TransferOrder order = orderFromPanels(*form);
            const std::optional<double> quantity = numbers::parse(probe(*form).popis1()->value(detail::QuantityRow));
            const std::optional<double> remaining = numbers::parse(probe(*form).popis2()->value(detail::RemainingRow));
            if (!quantity || !remaining || movement::exceedsCapacity(*quantity, *remaining)
                || movement::executeTransfer(probe(*form).ZConnection1(), order, *quantity) != movement::Outcome::Done)
                throw BenchError("the transfer without refresh was refused");
        }
        if (counted)
            moves.push_back(elapsedMs(timer));
        probe(*form).suiButton1Click();
        probe(*form).suiButton2Click();
        live.poll(); // the console catches up, as it would by itself

        // 4. The full transfer through the handler, until the screen shows it.
        select(*form, source, target);
        QCoreApplication::processEvents();
        probe(*form).suiArrowButton2()->Tag = 1;
        timer.start();
        probe(*form).suiArrowButton2Click();
        const double handlerMs = elapsedMs(timer);
        QCoreApplication::processEvents();
        const double visibleMs = elapsedMs(timer);
        if (probe(*form).suiArrowButton2()->Tag != 0)
            throw BenchError("the handler refused the transfer with code "
                             + std::to_string(probe(*form).suiArrowButton2()->Tag));
        if (probe(*form).snapshot().vyber_a != 0 || probe(*form).snapshot().vyber_b != 0)
            throw BenchError("the handler left the panels filled");
        m_dialogs.check("transfer");
        live.poll(); // takes in the console's own change, not timed

        // 5. The full refresh, for comparison.
        timer.start();
        probe(*form).history().requery();
        probe(*form).snapshot().load(probe(*form).ZConnection1());
        for (OverviewGrid *grid : {probe(*form).prehled(), probe(*form).prehled2()}) {
            grid->overviewModel()->refresh();
            grid->viewport()->repaint();
        }
        probe(*form).suiButton1Click();
        probe(*form).suiButton2Click();
        const double fullMs = elapsedMs(timer);
        QCoreApplication::processEvents();
        db.execute(u"update ppsilap set datum = timestamp('%1') + interval (id - %2) minute where id > %3"_s
                       .arg(spreadBase)
                       .arg(loadedUpTo)
                       .arg(spreadUpTo));
        spreadUpTo = loadedUpTo + 3 * (round + 1);
        live.poll(); // the hand edit of the datums, not timed
        if (counted) {
            changedPoll.push_back(changedMs);
            idlePoll.push_back(idleMs);
            handler.push_back(handlerMs);
            visible.push_back(visibleMs);
            full.push_back(fullMs);
        }
    }

    const qint64 sentBefore = statementsSent(live.connection());
    if (live.poll())
        throw BenchError("the live view found a change where there was none");
    if (statementsSent(live.connection()) - sentBefore != 2)
        throw BenchError("a poll that finds nothing sent more than one statement");

    // Back and forth an even number of times: every 0,1 t is back where it was.
    const int transfers = 3 * (WarmUpRounds + Rounds);
    if (std::abs(storedStock(db.admin(), SiloOne) - stockOne) > 1e-6
        || std::abs(storedStock(db.admin(), SiloTwo) - stockTwo) > 1e-6)
        throw BenchError("the stocks did not come back to where they began");
    if (test::scalar(store->longSession(), u"select count(*) from ppsilap"_s) != linesBefore + transfers)
        throw BenchError("the journal did not get one line per transfer");
    if (probe(*form).history().rowCount() < HistoryModel::PageSize)
        throw BenchError("the history shows less than a page");

    // 6. Reversals, once each, after the stocks were checked.
    const auto reversal = [&](const QString &which) {
        Result line = db.admin().query(u"select %1(id) as id from ppsilap where silob <> ''"_s.arg(which));
        line.next();
        QElapsedTimer timer;
        timer.start();
        movement::ReversalOutcome outcome = movement::ReversalOutcome::Done;
        try {
            outcome = movement::executeReversal(probe(*form).ZConnection1(), line.toInt(u"id"_s),
                                                formatTimestamp(QDateTime::currentDateTime()))
                          .outcome;
        } catch (const DbError &error) {
            // The operator's wait ran out: the figure is that wait, marked.
            if (error.code() != DbError::TimeLimitReached)
                throw;
            return -elapsedMs(timer);
        }
        const double ms = elapsedMs(timer);
        if (which == u"max"_s && outcome != movement::ReversalOutcome::Done)
            throw BenchError("the reversal of the newest transfer was refused");
        return ms;
    };
    row.reverseNewest = reversal(u"max"_s);
    row.reverseOldest = reversal(u"min"_s);

    row.floor = spreadOf(floor);
    row.movement = spreadOf(moves);
    row.handler = spreadOf(handler);
    row.visible = spreadOf(visible);
    row.full = spreadOf(full);
    row.changedPoll = spreadOf(changedPoll);
    row.idlePoll = spreadOf(idlePoll);
    return row;
}

QString pair(const Spread &spread)
{
    return u"%1 / %2"_s.arg(spread.median, 6, 'f', 2).arg(spread.p90, 6, 'f', 2);
}

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

void printRows(const std::vector<Row> &rows)
{
    std::printf("Seed transfer of 0,1 t between two silos of one lot, 100 silos; %d rounds after %d warm-up rounds,\n"
                "each round one transfer of each kind, alternating direction. Figures: median / 90th percentile, ms.\n"
                "  floor     statements 1-6 one by one on a bare connection, auto-commit, no transaction/lock/re-test\n"
                "  movement  handler without refresh, timed directly: order built from the panels, client capacity\n"
                "            test, movement::executeTransfer (transaction, row locks, capacity re-test)\n"
                "  handler   suiArrowButton2Click driven (Tag 1), refresh of its two silos and new journal line included\n"
                "  visible   handler plus the event processing that paints its result\n"
                "  full      the full refresh alone (history re-read, snapshot, grids, panels)\n"
                "  poll      live view: a poll that finds the floor's transfer (another session), up to the\n"
                "            repainted screen; a poll that finds nothing (one statement)\n\n",
                Rounds, WarmUpRounds);
    std::printf("the largest journal %s\n\n", qPrintable(indexState(rows.back().indexed)));
    std::printf("journal lines | floor           | movement        | handler         | visible         | full\n");
    for (const Row &row : rows)
        std::printf("%13lld | %s | %s | %s | %s | %s\n", static_cast<long long>(row.lines), qPrintable(pair(row.floor)),
                    qPrintable(pair(row.movement)), qPrintable(pair(row.handler)), qPrintable(pair(row.visible)),
                    qPrintable(pair(row.full)));
    std::printf("\njournal lines | poll, change    | poll, nothing\n");
    for (const Row &row : rows)
        std::printf("%13lld | %s | %s\n", static_cast<long long>(row.lines), qPrintable(pair(row.changedPoll)),
                    qPrintable(pair(row.idlePoll)));

    std::printf("\njournal lines | reversal of the newest transfer ms | of the oldest ms\n");
    for (const Row &row : rows)
        std::printf("%13lld | %33.2f | %16.2f\n", static_cast<long long>(row.lines), row.reverseNewest,
                    row.reverseOldest);

    std::printf("\nmovement / floor (target <= %.1f):\n", TargetRatio);
    for (const Row &row : rows) {
        const double ratio = row.movement.median / row.floor.median;
        std::printf("  %9lld lines: median %.2f (%s), p90 %.2f\n", static_cast<long long>(row.lines), ratio,
                    verdict(ratio <= TargetRatio), row.movement.p90 / row.floor.p90);
    }
    const Row &large = rows.back();
    std::printf("poll that finds nothing at %lld lines (target <= %.1f ms): median %.3f ms (%s)\n",
                static_cast<long long>(large.lines), TargetIdlePollMs, large.idlePoll.median,
                verdict(large.idlePoll.median <= TargetIdlePollMs));
    const double ratio = large.visible.median / large.floor.median;
    std::printf("transfer with refresh visible, target <= %.1f x floor: %s\n", TargetVisibleRatio,
                verdict(ratio <= TargetVisibleRatio));
    std::printf("transfer with refresh / floor at %lld lines: %.2f (median %.2f ms, floor %.2f ms)\n",
                static_cast<long long>(large.lines), ratio, large.visible.median, large.floor.median);
    std::printf("visible transfer at %lld lines: median %.2f ms\n", static_cast<long long>(large.lines),
                large.visible.median);
    const auto reversalLine = [&large](const char *which, double ms) {
        std::printf("reversal of the %s line at %lld lines: %.2f ms (one run%s)\n", which,
                    static_cast<long long>(large.lines), std::abs(ms), ms < 0 ? ", GAVE UP at the operator's wait" : "");
    };
    reversalLine("newest", large.reverseNewest);
    reversalLine("oldest", large.reverseOldest);
}

} // namespace

int main(int argc, char *argv[])
{
    const std::optional<qint64> shared = sharedJournalSize();
    const qint64 sharedSizes[] = {shared.value_or(0)};
    return runBenchmark<Bench>(argc, argv, "movement_bench", shared ? std::span<const qint64>(sharedSizes) : JournalSizes,
                               printRows);
}
