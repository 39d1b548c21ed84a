// Figures for the history and the reports over a journal of 1,000,000 lines
// (or the shared journal of scripts/bench.sh, ten million), first with the
// journal's datum key alone, then with the indexes the README recommends for
// ppsilap, which this benchmark makes itself as --create-indexes does:
//   history filter by silo / by lot  the first page of the journal view, as
//                                    "zobrazit" reads it (the newest id, then
//                                    one page), for silo 07 and for a lot of
//                                    about 150 lines;
//   stock at a moment                every silo a month and a year before the
//                                    newest line, rebuilt with its lot data;
//   lot trace                        a lot of 10,000 lines, its holders and totals.
// Goals: a first page within 200 ms, the stock and the trace within 1 s. It
// prints figures and fails only when it cannot run; it is no test.
//
// Needs the server that scripts/bench.sh starts and describes in the
// GRANOVIA_TEST_DB_* variables.
#include "BenchSupport.h"
#include "reports/JournalReader.h"
#include "reports/LotTrace.h"
#include "reports/ReportIndexes.h"
#include "reports/StockAtMoment.h"
#include "reportsui/ReportModels.h"
#include "reportsui/ReportsWindow.h"
#include "store/Schema.h"
#include "ui/Widgets.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QTimer>

#include <QElapsedTimer>

#include <cstdio>
#include <functional>
#include <vector>

using namespace granovia;
using namespace granovia::bench;
using namespace Qt::StringLiterals;

namespace {

constexpr qint64 JournalSizes[] = {1'000'000};
constexpr int Runs = 15; // after one warm-up
// On the shared journal, whose statements without indexes take seconds.
constexpr int SharedJournalRuns = 3;
constexpr int TracedLotLines = 10'000;
constexpr int FilteredSilo = 7;
// Every hundredth line, all of them transfers of this module, becomes one lot.
const QString TracedLot = u"2020/TRACE"_s;
const QString FilteredLot = u"2018/0123"_s;

int g_runs = Runs;
qint64 g_tracedLines = TracedLotLines;

double medianOf(const std::function<void()> &measured)
{
    measured();
    std::vector<double> runs;
    for (int run = 0; run < g_runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        measured();
        runs.push_back(elapsedMs(timer));
    }
    return median(runs);
}

struct Figures {
    double bySilo = 0;
    double byLot = 0;
    double stock = 0;
    double stockYear = 0;
    double trace = 0;
};

struct Row {
    qint64 lines = 0;
    Figures bare;
    Figures indexed;
    double indexingSeconds = 0;
    double windowReportMs = 0;
    double windowPauseMs = 0;
};

// The reports window's lot filter on the journal as it is, shown through
// its button: how long the report takes, and the longest the window's event
// loop went without turning meanwhile (its painting and input wait that long).
std::pair<double, double> windowDuringReport(const ConnectionSettings &settings)
{
    constexpr int TickMs = 5;
    reportsui::ReportsWindow window({settings, LongStatements, u"5"_s, u"12"_s});
    window.show();
    QCoreApplication::processEvents();
    window.journal->lot->setText(FilteredLot);
    QElapsedTimer report;
    QElapsedTimer sinceTick;
    double longest = 0;
    QTimer ticks;
    ticks.setInterval(TickMs);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longest = std::max(longest, elapsedMs(sinceTick));
        sinceTick.start();
    });
    report.start();
    sinceTick.start();
    ticks.start();
    window.journal->showButton()->click();
    while (window.isBusy() || window.journal->model.rowCount() == 0) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!window.isBusy() && window.journal->model.rowCount() == 0)
            throw BenchError("the reports window showed no line");
    }
    return {elapsedMs(report), longest};
}

class Bench {
public:
    Row measure(qint64 size);

private:
    Figures measureAll(Connection &connection, const QDateTime &newest);
};

void checkLineCount(Connection &connection, const QString &lot, qint64 atLeast)
{
    const qint64 lines = reports::journalTotals(connection, {std::nullopt, lot, {}, {}, {}}).lines;
    if (lines < atLeast)
        throw BenchError(("lot " + lot + " has " + QString::number(lines) + " lines").toStdString());
}

Figures Bench::measureAll(Connection &connection, const QDateTime &newest)
{
    reportsui::JournalModel model;
    const auto firstPage = [&](const reports::JournalFilter &filter) {
        model.show(connection, filter);
        if (model.rowCount() == 0)
            throw BenchError("a filter showed no line");
    };
    Figures figures;
    figures.bySilo = medianOf([&] { firstPage({FilteredSilo, {}, {}, {}, {}}); });
    figures.byLot = medianOf([&] { firstPage({std::nullopt, FilteredLot, {}, {}, {}}); });
    const auto stockAt = [&](const QDateTime &moment) {
        return medianOf([&] {
            if (reports::rebuildStock(connection, moment).silos.isEmpty())
                throw BenchError("no silo rebuilt");
        });
    };
    figures.stock = stockAt(newest.addMonths(-1));
    figures.stockYear = stockAt(newest.addYears(-1));
    figures.trace = medianOf([&] {
        if (reports::traceLot(connection, TracedLot).lines.size() != g_tracedLines)
            throw BenchError("the traced lot lost lines");
    });
    return figures;
}

Row Bench::measure(qint64 size)
{
    g_runs = size >= SharedJournalFrom ? SharedJournalRuns : Runs;
    const std::unique_ptr<Store> store = loadStore(u"bench_reports_%1"_s.arg(size), size);
    test::ScratchDatabase &db = store->db;
    Connection &session = store->longSession();
    // About one line in size / TracedLotLines, spread over the whole journal
    // (the ids leave gaps between the loaded chunks, so the count is read).
    session.execute(u"update ppsilap set partie = '%1' where %2 <> '' and id mod %3 = 7 limit %4"_s.arg(TracedLot)
                        .arg(schema::ppsilap::Silo)
                        .arg(size / TracedLotLines)
                        .arg(TracedLotLines));
    g_tracedLines = test::scalar(session, u"select count(*) from ppsilap where partie = '%1'"_s.arg(TracedLot));
    checkLineCount(session, FilteredLot, 1);
    Result newest = session.query(u"select max(datum) as newest from ppsilap"_s);
    newest.next();
    const QDateTime newestLine = newest.toDateTime(u"newest"_s);
    // A report's own time, as the reports window and --report have it.
    Connection connection;
    connection.setWaitLimit(LongStatements);
    connection.open(db.settings());

    Row row{size, {}, {}, 0};
    if (!hasRecommendedIndexes(session)) {
        row.bare = measureAll(connection, newestLine);
        std::tie(row.windowReportMs, row.windowPauseMs) = windowDuringReport(db.settings());
    }
    std::fprintf(stderr, "  making the recommended indexes\n");
    QElapsedTimer indexing;
    indexing.start();
    const QList<reports::JournalIndex> missing = reports::missingIndexes(reports::readJournalIndexes(session));
    if (!missing.isEmpty())
        session.execute(reports::createIndexesStatement(missing));
    session.query(u"analyze table ppsilap"_s);
    row.indexingSeconds = elapsedMs(indexing) / 1000;
    row.indexed = measureAll(connection, newestLine);
    return row;
}

void printFigures(const Figures &figures, qint64 lines)
{
    const auto line = [lines](const char *what, double ms) {
        std::printf("%s at %lld lines: median %.1f ms\n", what, static_cast<long long>(lines), ms);
    };
    line("history filter by silo", figures.bySilo);
    line("history filter by lot", figures.byLot);
    line("stock at a moment a month back", figures.stock);
    line("stock at a moment a year back", figures.stockYear);
    std::printf("lot trace of %lld lines at %lld lines: median %.1f ms\n", static_cast<long long>(g_tracedLines),
                static_cast<long long>(lines), figures.trace);
}

void printRows(const std::vector<Row> &rows)
{
    std::printf("History and reports; medians of %d runs after a warm-up. Goals: first page 200 ms, "
                "stock at a moment and lot trace of %d lines 1 s\n\n",
                g_runs, TracedLotLines);
    for (const Row &row : rows) {
        std::printf("%s:\n", qPrintable(indexState(false)));
        printFigures(row.bare, row.lines);
        std::printf("reports window, lot filter with its totals at %lld lines: %.1f ms; the longest pause of its event "
                    "loop meanwhile: %.1f ms (goal 100 ms)\n",
                    static_cast<long long>(row.lines), row.windowReportMs, row.windowPauseMs);
        std::printf("\n%s (made in %.0f s):\n", qPrintable(indexState(true)), row.indexingSeconds);
        printFigures(row.indexed, row.lines);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    const std::optional<qint64> shared = sharedJournalSize();
    const qint64 sharedSizes[] = {shared.value_or(0)};
    return runBenchmark<Bench>(argc, argv, "report_bench", shared ? std::span<const qint64>(sharedSizes) : JournalSizes,
                               printRows);
}
