// What the benchmarks share: the store they load, their timing and summary
// helpers, the console they open and the way they end. Kept in one place so
// that every benchmark measures the same data the same way.
#pragma once

#include "ConsoleFixture.h"
#include "ui/ErrorDisplay.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace granovia::bench {

// A failure that stops the benchmark: it is printed and the program ends.
struct BenchError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The console's parts and handlers, as the tests reach them.
inline test::ConsoleProbe probe(TForm1 &console)
{
    return test::ConsoleProbe(&console);
}

// Milliseconds since the timer started, with the timer's nanosecond resolution.
double elapsedMs(const QElapsedTimer &timer);

// The median of 'values'; they must not be empty.
double median(std::vector<double> values);

// The median and the 90th percentile (nearest rank) of a series of runs.
struct Spread {
    double median = 0;
    double p90 = 0;
};
Spread spreadOf(std::vector<double> values);

// A hundred silos as a store has them: capacities of 20 to 80 t, every
// seventh silo empty, the others filled to some level with one lot each,
// two silos to a lot.
void fillSilos(test::ScratchDatabase &db);

// Journal lines 'first'..'last' of a journal of 'size' lines, as one
// INSERT ... SELECT. The text must stay as it is: every benchmark loads the
// same journal, so that their figures can be set side by side.
QString journalChunk(qint64 first, qint64 last, qint64 size);

// A journal of 'size' lines, loaded chunk by chunk.
void fillJournal(test::ScratchDatabase &db, qint64 size);

// Journals from this size on are loaded once and shared by the benchmarks
// of one run of scripts/bench.sh, which measure them in turn: without the
// recommended indexes, then with them.
constexpr qint64 SharedJournalFrom = 10'000'000;
// The size of the shared journal that scripts/bench.sh asks for
// (GRANOVIA_BENCH_LINES); nothing when it asks for none.
std::optional<qint64> sharedJournalSize();

// A session whose statements may run for long, as the loading and the
// making of indexes on a huge journal do.
constexpr std::chrono::hours LongStatements{1};

// A scratch database and a program directory whose INI files point at it,
// for the console to start in. A shared journal is lent to it for its
// lifetime, and given back before the database goes.
struct Store {
    explicit Store(const QString &name) : db(name) {}
    ~Store();
    Q_DISABLE_COPY_MOVE(Store)

    // A session on the database for long statements.
    Connection &longSession();

    test::ScratchDatabase db;
    test::Installation installation;
    // The database that holds the shared journal between benchmarks.
    QString lender;

private:
    std::unique_ptr<Connection> m_long;
};

// Whether the journal has every recommended index, for the headings.
bool hasRecommendedIndexes(Connection &connection);
QString indexState(bool indexed);

// The store 'name' with the silos and a journal of 'size' lines, reporting
// the loading on stderr. It lives on the heap because a scratch database can
// be neither copied nor moved.
std::unique_ptr<Store> loadStore(const QString &name, qint64 size);

// The console of 'installation', shown and laid out; the board it would open
// is not opened. 'showMs' gets the time to create and show it, start-up
// included, first layout and paint left out.
std::unique_ptr<TForm1> showConsole(const test::Installation &installation, double *showMs = nullptr);

// A dialog would wait for a person: this answers every dialog while it
// lives and remembers it, and check() turns one into a failure.
class QuietDialogs final {
public:
    // Throws BenchError when a dialog was asked; 'where', if given, leads
    // the message.
    void check(const std::string &where = {}) const;

private:
    test::ScriptedDialogs m_dialogs;
};

// True when the GRANOVIA_TEST_DB_* variables describe a server; otherwise
// tells how to provide one, on stderr under the name 'program'.
bool haveServer(const char *program);

// Runs 'measure' and returns 0, or prints why it stopped and returns 1.
int runReported(const char *program, const std::function<void()> &measure);

// A benchmark's whole run, as its main() makes it: one Bench measures every
// journal size in turn, then 'print' prints the rows while the application
// still lives. Returns the exit code: 0 when printed, 1 when the benchmark had
// to stop (the reason is printed), 2 without a server.
template <typename Bench, typename Print>
int runBenchmark(int &argc, char **argv, const char *program, std::span<const qint64> sizes, Print print)
{
    if (!haveServer(program))
        return 2;
    ui::Application app(argc, argv);

    std::vector<decltype(std::declval<Bench &>().measure(qint64()))> rows;
    if (const int failed = runReported(program, [&rows, sizes] {
            Bench bench;
            for (qint64 size : sizes)
                rows.push_back(bench.measure(size));
        }))
        return failed;
    print(rows);
    return 0;
}

} // namespace granovia::bench
