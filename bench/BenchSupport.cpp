#include "BenchSupport.h"

#include "reports/ReportIndexes.h"
#include "store/DbError.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace granovia::bench {

namespace {

constexpr qint64 LoadChunk = 100'000; // journal lines per INSERT ... SELECT

} // namespace

double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

Spread spreadOf(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    // Nearest rank.
    const size_t rank = size_t(std::ceil(0.9 * double(n)));
    const double p90 = values[std::max<size_t>(rank, 1) - 1];
    return {median(std::move(values)), p90};
}

void fillSilos(test::ScratchDatabase &db)
{
    db.execute(u"insert into ppsila (silo, stav, kapacita, partie, naz_dru, naz_odru, stupen, navoz, ppohyb, nazevosiva) "
               "select seq, if(empty, 0, round(kapacita * ((seq * 37) % 100) / 100, 3)), kapacita, "
               "if(empty, '', concat('2024/', lpad((seq + 1) div 2, 4, '0'))), "
               "if(empty, '', elt(1 + seq % 8, 'Pšenice ozimá', 'Ječmen jarní', 'Oves', 'Žito', 'Řepka', 'Hrách', 'Kukuřice', 'Tritikale')), "
               "if(empty, '', elt(1 + seq % 10, 'Bohemia', 'Annie', 'Atego', 'Tobak', 'Sunnie', 'Patras', 'Laudis', 'Reform', 'Julie', 'Elixer')), "
               "if(empty, '', elt(1 + seq % 4, 'SE', 'E', 'C1', 'C2')), "
               "if(empty, null, timestamp('2024-08-01 07:30:00') + interval seq day), "
               "if(empty, null, timestamp('2024-11-01 06:00:00') + interval seq * 97 minute), "
               "if(empty, '', concat('osivo ', seq)) "
               "from (select seq, seq % 7 = 0 as empty, 20 + (seq * 13) % 61 as kapacita from seq_1_to_100) s"_s);
}

// One line in twenty belongs to another module (no silo), three are intakes,
// eight are transfers between two different silos and eight are removals. The
// datum runs over thirteen years with up to half an hour of jitter, and every
// tenth line shares the datum of the line before it, as lines written together
// do.
QString journalChunk(qint64 first, qint64 last, qint64 size)
{
    return uR"(insert into ppsilap (silo, silob, cislopp, mnozstvi, partie, naz_dru, naz_odru, stupen, datum)
select
  if(kind = 0, '', lpad(1 + h % 99, 2, '0')),
  if(kind between 4 and 11, lpad(1 + (h % 99 + 1 + (h div 99) % 98) % 99, 2, '0'), ''),
  if(kind between 1 and 3, concat('PP', lpad(n, 7, '0')), ''),
  round(0.2 + ((h div 7) % 25000) / 1000, 3),
  concat(2012 + (m * 13) div %3, '/', lpad(h % 500, 4, '0')),
  elt(1 + (h div 11) % 8, 'Pšenice ozimá', 'Ječmen jarní', 'Oves', 'Žito', 'Řepka', 'Hrách', 'Kukuřice', 'Tritikale'),
  elt(1 + (h div 13) % 10, 'Bohemia', 'Annie', 'Atego', 'Tobak', 'Sunnie', 'Patras', 'Laudis', 'Reform', 'Julie', 'Elixer'),
  elt(1 + (h div 17) % 4, 'SE', 'E', 'C1', 'C2'),
  timestamp('2012-01-02 06:00:00') + interval ((m * 409000000) div %3 + hm % 1800) second
from (select n, m, n % 20 as kind, (n * 2654435761) % 4294967291 as h, (m * 2654435761) % 4294967291 as hm
      from (select seq as n, seq - (seq % 10 = 0) as m from seq_%1_to_%2) q) s)"_s
        .arg(first)
        .arg(last)
        .arg(size);
}

void fillJournal(Connection &connection, qint64 size)
{
    for (qint64 first = 1; first <= size; first += LoadChunk)
        connection.execute(journalChunk(first, std::min(size, first + LoadChunk - 1), size));
    // Fresh statistics, so that the server reads the pages through the datum index.
    connection.query(u"analyze table ppsilap"_s);
}

void fillJournal(test::ScratchDatabase &db, qint64 size)
{
    fillJournal(db.admin(), size);
}

std::optional<qint64> sharedJournalSize()
{
    bool ok = false;
    const qint64 size = qEnvironmentVariable("GRANOVIA_BENCH_LINES").toLongLong(&ok);
    return ok && size >= SharedJournalFrom ? std::optional<qint64>(size) : std::nullopt;
}

Store::~Store()
{
    if (lender.isEmpty())
        return;
    try {
        db.execute(u"rename table ppsilap to `%1`.ppsilap"_s.arg(lender));
    } catch (const DbError &error) {
        std::fprintf(stderr, "the shared journal could not be given back: %s\n", qPrintable(error.message()));
    }
}

Connection &Store::longSession()
{
    if (!m_long) {
        m_long = std::make_unique<Connection>();
        m_long->setWaitLimit(LongStatements);
        m_long->open(db.settings());
    }
    return *m_long;
}

namespace {

// The shared journal of `size` lines, loaded into its own database the
// first time, moved into the store's database (a rename: no line is copied).
void borrowJournal(Store &store, qint64 size)
{
    const QString lender = u"bench_journal_%1"_s.arg(size);
    Connection &session = store.longSession();
    const bool loaded = test::scalar(session, u"select count(*) from information_schema.tables "
                                              "where table_schema = '%1' and table_name = 'ppsilap'"_s.arg(lender)) > 0;
    if (!loaded) {
        session.execute(u"create database if not exists `%1`"_s.arg(lender));
        session.execute(u"create table `%1`.ppsilap like ppsilap"_s.arg(lender));
        ConnectionSettings settings = store.db.settings();
        settings.database = lender;
        Connection loader;
        loader.setWaitLimit(LongStatements);
        loader.open(settings);
        fillJournal(loader, size);
    }
    session.execute(u"drop table ppsilap"_s);
    session.execute(u"rename table `%1`.ppsilap to ppsilap"_s.arg(lender));
    store.lender = lender;
}

} // namespace

std::unique_ptr<Store> loadStore(const QString &name, qint64 size)
{
    std::fprintf(stderr, "loading %lld journal lines...\n", static_cast<long long>(size));
    QElapsedTimer loadTimer;
    loadTimer.start();
    auto store = std::make_unique<Store>(name);
    fillSilos(store->db);
    if (size >= SharedJournalFrom)
        borrowJournal(*store, size);
    else
        fillJournal(store->db, size);
    // A shared journal has the lines that earlier benchmarks booked besides.
    const qint64 lines = test::scalar(store->longSession(), u"select count(*) from ppsilap"_s);
    if (size >= SharedJournalFrom ? lines < size : lines != size)
        throw BenchError("the journal was not filled");
    std::fprintf(stderr, "  loaded in %.1f s; measuring\n", elapsedMs(loadTimer) / 1000);
    store->installation.pointAt(store->db.settings());
    return store;
}

bool hasRecommendedIndexes(Connection &connection)
{
    return reports::missingIndexes(reports::readJournalIndexes(connection)).isEmpty();
}

QString indexState(bool indexed)
{
    return indexed ? u"with the recommended indexes"_s : u"without the recommended indexes (ppsilap keyed on id and datum only)"_s;
}

std::unique_ptr<TForm1> showConsole(const test::Installation &installation, double *showMs)
{
    QElapsedTimer timer;
    timer.start();
    auto form = std::make_unique<TForm1>(installation.context());
    form->openBoard = [](TForm1 &) {};
    form->show(); // the start-up runs here, before the window appears
    if (showMs)
        *showMs = elapsedMs(timer);
    // Layout and first paint, outside the timing.
    QCoreApplication::processEvents();
    return form;
}

void QuietDialogs::check(const std::string &where) const
{
    if (!m_dialogs.asked.isEmpty())
        throw BenchError((where.empty() ? std::string() : where + ": ") + "the console asked: "
                         + m_dialogs.texts().join(u" | "_s).toStdString());
}

bool haveServer(const char *program)
{
    if (test::serverSettings() && !qEnvironmentVariable("GRANOVIA_TEST_DB_USER").isEmpty())
        return true;
    std::fprintf(stderr,
                 "%s: no database server. Set GRANOVIA_TEST_DB_HOST, GRANOVIA_TEST_DB_PORT,\n"
                 "GRANOVIA_TEST_DB_USER and GRANOVIA_TEST_DB_PASSWORD, or run scripts/bench.sh.\n",
                 program);
    return false;
}

int runReported(const char *program, const std::function<void()> &measure)
{
    try {
        measure();
    } catch (const DbError &error) {
        std::fprintf(stderr, "%s: database error %u: %s\n", program, error.code(), qPrintable(error.message()));
        return 1;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s: %s\n", program, error.what());
        return 1;
    }
    return 0;
}

} // namespace granovia::bench
