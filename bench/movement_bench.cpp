// Figures for one seed transfer between two silos, over movement journals of
// 1,000 and 1,000,000 lines, side by side:
//   floor     the six statements of a transfer sent one by one on a bare
//             connection in auto-commit mode: no transaction, lock or re-test;
//   movement  the console's transfer without its refresh: the order built from
//             panels A and B, the client's capacity test and
//             movement::executeTransfer (transaction, row locks, re-test);
//   handler   the console's handler suiArrowButton2Click, driven (Tag 1),
//             refresh of history, snapshot, overview grids and panels included.
// Selecting the silos into the panels is never timed. The refresh is also run
// and timed on its own, part by part, to show where its time goes.
//
// Every transfer moves 0,1 t between two silos of one lot, in turns one way
// and back, so stock never runs out and capacity never refuses; a refused or
// failed transfer ends the program with an error. It prints figures and fails
// only when it cannot run; it is no test.
//
// Needs the server that scripts/bench.sh starts and describes in the
// GRANOVIA_TEST_DB_* variables, and QT_QPA_PLATFORM=offscreen (or a display).
#include "BenchSupport.h"
#include "app/NumberFormat.h"
#include "console/TForm1.h"
#include "movements/Movements.h"
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
constexpr double TargetFullMs = 25;

double storedStock(Connection &connection, int silo)
{
    Result row = connection.query(u"select stav from ppsila where silo = %1"_s.arg(silo));
    if (!row.next())
        throw BenchError("silo " + std::to_string(silo) + " has no row");
    return row.toDouble(schema::ppsila::Stav);
}

struct Row {
    qint64 lines = 0;
    Spread floor;
    Spread movement;
    Spread handler;
    Spread refresh;
    Spread events;
    Spread requery;
    Spread snapshot;
    Spread models;
    Spread repaints;
    Spread panels;
};

class Bench {
public:
    Row measure(qint64 size);

private:
    void select(TForm1 &form, int source, int target);
    movement::TransferOrder orderFromPanels(const TForm1 &form) const;

    QuietDialogs m_dialogs;
};

// Silo 'source' into panel A and 'target' into panel B, by the console's own
// selection, with the quantity to move lowered to 0,1 t.
void Bench::select(TForm1 &form, int source, int target)
{
    for (int silo : {source, target}) {
        bool allow = true;
        form.prehledSelectCell(form.prehled, 1, silo - 1, allow);
    }
    if (form.snapshot.vyber_a != form.snapshot.sila_id[size_t(source)]
        || form.snapshot.vyber_b != form.snapshot.sila_id[size_t(target)])
        throw BenchError("the console did not take the two silos into panels A and B");
    form.popis1->setValue(detail::QuantityRow, QuantityPanelText);
}

// The order the handler builds from panels A and B.
movement::TransferOrder Bench::orderFromPanels(const TForm1 &form) const
{
    const DetailGrid *a = form.popis1;
    return {
        movement::siloNumberOfCaption(form.suiImagePanel2->text()),
        movement::siloNumberOfCaption(form.suiImagePanel3->text()),
        movement::quantityTextOf(a->value(detail::QuantityRow)),
        {a->value(detail::LotRow), a->value(detail::SpeciesRow), a->value(detail::VarietyRow),
         a->value(detail::GradeRow)},
        form.snapshot.vyber_a,
        form.snapshot.vyber_b,
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
    connection.execute(fillTargetDate(order, fillingDate, escape));
    connection.execute(addToTarget(order, escape));
    connection.execute(takeFromSilo(order.sourceId, order.quantityText, order.timestamp, escape));
    connection.execute(clearIfEmpty(order.sourceId));
}

Row Bench::measure(qint64 size)
{
    Row row;
    row.lines = size;
    const std::unique_ptr<Store> store = loadStore(u"bench_movement_%1"_s.arg(size), size);
    ScratchDatabase &db = store->db;
    const std::unique_ptr<TForm1> form = showConsole(store->installation);
    m_dialogs.check("start");
    if (!form->ZConnection1.isOpen() || form->snapshot.sila_id[SiloTwo] == 0)
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
        form->suiButton1Click();
        form->suiButton2Click();
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

    std::vector<double> floor, moves, handler, refresh, events, requery, snapshot, models, repaints, panels;
    for (int round = 0; round < WarmUpRounds + Rounds; ++round) {
        const bool counted = round >= WarmUpRounds;
        const int way = round % 2;
        const int source = way ? SiloTwo : SiloOne;
        const int target = way ? SiloOne : SiloTwo;
        QElapsedTimer timer;

        // 1. The floor.
        movement::TransferOrder bareOrder = floorOrders[way];
        bareOrder.timestamp = formatTimestamp(QDateTime::currentDateTime());
        timer.start();
        sendBare(bare, bareOrder);
        if (counted)
            floor.push_back(elapsedMs(timer));

        // 2. The transfer as the handler runs it, without its refresh.
        select(*form, source, target);
        timer.start();
        {
            const movement::TransferOrder order = orderFromPanels(*form);
            const std::optional<double> quantity = numbers::parse(form->popis1->value(detail::QuantityRow));
            const std::optional<double> remaining = numbers::parse(form->popis2->value(detail::RemainingRow));
            if (!quantity || !remaining || movement::exceedsCapacity(*quantity, *remaining)
                || movement::executeTransfer(form->ZConnection1, order, *quantity) != movement::Outcome::Done)
                throw BenchError("the transfer without refresh was refused");
        }
        if (counted)
            moves.push_back(elapsedMs(timer));
        form->suiButton1Click();
        form->suiButton2Click();

        // 3. The full transfer through the handler.
        select(*form, source, target);
        form->suiArrowButton2->Tag = 1;
        timer.start();
        form->suiArrowButton2Click();
        const double handlerMs = elapsedMs(timer);
        if (form->suiArrowButton2->Tag != 0)
            throw BenchError("the handler refused the transfer with code "
                             + std::to_string(form->suiArrowButton2->Tag));
        if (form->snapshot.vyber_a != 0 || form->snapshot.vyber_b != 0)
            throw BenchError("the handler left the panels filled");
        m_dialogs.check("transfer");
        // What the event loop then does before the operator sees the result.
        timer.start();
        QCoreApplication::processEvents();
        const double eventsMs = elapsedMs(timer);

        // The refresh alone, part by part, as the handler runs it.
        QElapsedTimer part;
        part.start();
        form->history.requery();
        const double requeryMs = elapsedMs(part);
        part.start();
        form->nacti_sila();
        const double snapshotMs = elapsedMs(part);
        double modelsMs = 0;
        double repaintMs = 0;
        for (OverviewGrid *grid : {form->prehled, form->prehled2}) {
            part.start();
            grid->overviewModel()->refresh();
            modelsMs += elapsedMs(part);
            part.start();
            grid->viewport()->repaint();
            repaintMs += elapsedMs(part);
        }
        part.start();
        form->suiButton1Click();
        form->suiButton2Click();
        const double panelsMs = elapsedMs(part);
        QCoreApplication::processEvents();
        db.execute(u"update ppsilap set datum = timestamp('%1') + interval (id - %2) minute where id > %3"_s
                       .arg(spreadBase)
                       .arg(loadedUpTo)
                       .arg(spreadUpTo));
        spreadUpTo = loadedUpTo + 3 * (round + 1);
        if (counted) {
            handler.push_back(handlerMs);
            events.push_back(eventsMs);
            requery.push_back(requeryMs);
            snapshot.push_back(snapshotMs);
            models.push_back(modelsMs);
            repaints.push_back(repaintMs);
            panels.push_back(panelsMs);
            refresh.push_back(requeryMs + snapshotMs + modelsMs + repaintMs + panelsMs);
        }
    }

    // Back and forth an even number of times: every 0,1 t is back where it was.
    const int transfers = 3 * (WarmUpRounds + Rounds);
    if (std::abs(storedStock(db.admin(), SiloOne) - stockOne) > 1e-6
        || std::abs(storedStock(db.admin(), SiloTwo) - stockTwo) > 1e-6)
        throw BenchError("the stocks did not come back to where they began");
    if (db.count(u"ppsilap"_s) != size + transfers)
        throw BenchError("the journal did not get one line per transfer");
    if (form->history.rowCount() < HistoryModel::PageSize)
        throw BenchError("the history shows less than a page");

    row.floor = spreadOf(floor);
    row.movement = spreadOf(moves);
    row.handler = spreadOf(handler);
    row.refresh = spreadOf(refresh);
    row.events = spreadOf(events);
    row.requery = spreadOf(requery);
    row.snapshot = spreadOf(snapshot);
    row.models = spreadOf(models);
    row.repaints = spreadOf(repaints);
    row.panels = spreadOf(panels);
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
                "  handler   suiArrowButton2Click driven (Tag 1), refresh included; panel selection not timed\n"
                "  refresh   the handler's refresh run and timed on its own right after (sum of the parts below)\n"
                "  events    the event processing right after the handler returns (not in 'handler')\n\n",
                Rounds, WarmUpRounds);
    std::printf("journal lines | floor           | movement        | handler         | refresh         | events\n");
    for (const Row &row : rows)
        std::printf("%13lld | %s | %s | %s | %s | %s\n", static_cast<long long>(row.lines), qPrintable(pair(row.floor)),
                    qPrintable(pair(row.movement)), qPrintable(pair(row.handler)), qPrintable(pair(row.refresh)),
                    qPrintable(pair(row.events)));
    std::printf("\nrefresh parts | history requery | nacti_sila      | grid models     | grid repaints   | empty panels\n");
    for (const Row &row : rows)
        std::printf("%13lld | %s | %s | %s | %s | %s\n", static_cast<long long>(row.lines),
                    qPrintable(pair(row.requery)), qPrintable(pair(row.snapshot)), qPrintable(pair(row.models)),
                    qPrintable(pair(row.repaints)), qPrintable(pair(row.panels)));

    std::printf("\nmovement / floor (target <= %.1f):\n", TargetRatio);
    for (const Row &row : rows) {
        const double ratio = row.movement.median / row.floor.median;
        std::printf("  %9lld lines: median %.2f (%s), p90 %.2f; cross-check handler - refresh = %.2f ms\n",
                    static_cast<long long>(row.lines), ratio, verdict(ratio <= TargetRatio),
                    row.movement.p90 / row.floor.p90, row.handler.median - row.refresh.median);
    }
    const Row &large = rows.back();
    std::printf("full transfer with refresh at %lld lines (target < %.0f ms): median %.2f ms (%s), p90 %.2f ms (%s)\n",
                static_cast<long long>(large.lines), TargetFullMs, large.handler.median,
                verdict(large.handler.median < TargetFullMs), large.handler.p90, verdict(large.handler.p90 < TargetFullMs));
}

} // namespace

int main(int argc, char *argv[])
{
    return runBenchmark<Bench>(argc, argv, "movement_bench", JournalSizes, printRows);
}
