// Figures for the history and the reports over a journal of 1,000,000 lines,
// first with the journal's datum key alone, then with the indexes the README
// recommends for ppsilap, which this benchmark makes itself (the program
// never does):
//   history filter by silo / by lot  the first page of the journal view, as
//                                    "zobrazit" reads it (the newest id, then
//                                    one page), for silo 07 and for a lot of
//                                    about 150 lines;
//   stock at a moment                every silo a month before the newest line,
//                                    rebuilt with its lot data;
//   lot trace                        a lot of 10,000 lines, its holders and totals.
// Goals: a first page within 200 ms, the stock and the trace within 1 s. It
// prints figures and fails only when it cannot run; it is no test.
//
// Needs the server that scripts/bench.sh starts and describes in the
// GRANOVIA_TEST_DB_* variables.
#include "BenchSupport.h"
#include "reports/JournalReader.h"
#include "reports/LotTrace.h"
#include "reports/StockAtMoment.h"
#include "reportsui/ReportModels.h"

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
constexpr int TracedLotLines = 10'000;
constexpr int FilteredSilo = 7;
// Every hundredth line, all of them transfers of this module, becomes one lot.
const QString TracedLot = u"2020/TRACE"_s;
const QString FilteredLot = u"2018/0123"_s;
const QStringList RecommendedIndexes{
    u"create index ppsilap_partie on ppsilap (partie, datum)"_s,
    u"create index ppsilap_silo on ppsilap (silo, datum)"_s,
    u"create index ppsilap_silob on ppsilap (silob, datum)"_s,
};

double medianOf(const std::function<void()> &measured)
{
    measured();
    std::vector<double> runs;
    for (int run = 0; run < Runs; ++run) {
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
    double trace = 0;
};

struct Row {
    qint64 lines = 0;
    Figures bare;
    Figures indexed;
};

class Bench {
public:
    Row measure(qint64 size);

private:
    Figures measureAll(Connection &connection, const QDateTime &monthBack);
};

void checkLineCount(Connection &connection, const QString &lot, qint64 atLeast)
{
    const qint64 lines = reports::journalTotals(connection, {std::nullopt, lot, {}, {}, {}}).lines;
    if (lines < atLeast)
        throw BenchError(("lot " + lot + " has " + QString::number(lines) + " lines").toStdString());
}

Figures Bench::measureAll(Connection &connection, const QDateTime &monthBack)
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
    figures.stock = medianOf([&] {
        if (reports::rebuildStock(connection, monthBack).silos.isEmpty())
            throw BenchError("no silo rebuilt");
    });
    figures.trace = medianOf([&] {
        if (reports::traceLot(connection, TracedLot).lines.size() != TracedLotLines)
            throw BenchError("the traced lot lost lines");
    });
    return figures;
}

Row Bench::measure(qint64 size)
{
    const std::unique_ptr<Store> store = loadStore(u"bench_reports_%1"_s.arg(size), size);
    test::ScratchDatabase &db = store->db;
    db.execute(u"update ppsilap set partie = '%1' where id mod 100 = 7"_s.arg(TracedLot));
    checkLineCount(db.admin(), FilteredLot, 1);
    Result newest = db.admin().query(u"select max(datum) as newest from ppsilap"_s);
    newest.next();
    const QDateTime monthBack = newest.toDateTime(u"newest"_s).addMonths(-1);
    Connection connection;
    connection.open(db.settings());

    Row row{size, measureAll(connection, monthBack), {}};
    std::fprintf(stderr, "  making the recommended indexes\n");
    for (const QString &index : RecommendedIndexes)
        db.execute(index);
    db.admin().query(u"analyze table ppsilap"_s);
    row.indexed = measureAll(connection, monthBack);
    return row;
}

void printFigures(const Figures &figures, qint64 lines)
{
    const auto line = [lines](const char *what, double ms) {
        std::printf("%s at %lld lines: median %.1f ms\n", what, static_cast<long long>(lines), ms);
    };
    line("history filter by silo", figures.bySilo);
    line("history filter by lot", figures.byLot);
    line("stock at a moment", figures.stock);
    line("lot trace", figures.trace);
}

void printRows(const std::vector<Row> &rows)
{
    std::printf("History and reports; medians of %d runs after a warm-up. Goals: first page 200 ms, "
                "stock at a moment a month back and lot trace of %d lines 1 s\n\n",
                Runs, TracedLotLines);
    for (const Row &row : rows) {
        std::printf("without the recommended indexes (ppsilap keyed on id and datum only):\n");
        printFigures(row.bare, row.lines);
        std::printf("\nwith the recommended indexes (ppsilap (partie, datum), (silo, datum), (silob, datum)):\n");
        printFigures(row.indexed, row.lines);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    return runBenchmark<Bench>(argc, argv, "report_bench", JournalSizes, printRows);
}
