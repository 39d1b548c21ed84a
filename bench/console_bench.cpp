// Figures for the operator console over movement journals of growing size:
// the time to show the console (start-up included), the time to read the
// history again as a movement does, the resident memory after showing, and
// one repaint of both overview grids. It prints figures and fails only when
// it cannot run; it is no test.
//
// Needs the server that scripts/bench.sh starts and describes in the
// GRANOVIA_TEST_DB_* variables, and QT_QPA_PLATFORM=offscreen (or a display).
#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "TestInstallation.h"
#include "console/TForm1.h"
#include "store/DbError.h"
#include "ui/ErrorDisplay.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace granovia;
using namespace Qt::StringLiterals;
using granovia::test::Installation;
using granovia::test::ScratchDatabase;
using granovia::test::ScriptedDialogs;

namespace {

constexpr qint64 JournalSizes[] = {1'000, 100'000, 1'000'000};
constexpr qint64 LoadChunk = 100'000; // journal lines per INSERT ... SELECT
constexpr int ShowRuns = 5;           // after one warm-up show
constexpr int RequeryRuns = 15;
constexpr int RepaintRuns = 200;    // after RepaintWarmUp uncounted ones
constexpr int RepaintWarmUp = 20;
constexpr double TargetRatio = 3.0;

// A failure that stops the benchmark: it is printed and the program ends.
struct BenchError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

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

double residentMb()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    static const QRegularExpression vmRss(u"^VmRSS:\\s+(\\d+)\\s+kB"_s, QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = vmRss.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toDouble() / 1024 : 0;
}

// A hundred silos as a store has them: capacities of 20 to 80 t, every
// seventh silo empty, the others filled to some level with one lot each.
void fillSilos(ScratchDatabase &db)
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

// Journal lines 'first'..'last' of a journal of 'size' lines. One line in
// twenty belongs to another module (no silo), three are intakes, eight are
// transfers between two different silos and eight are removals. The datum
// runs over thirteen years with up to half an hour of jitter, and every tenth
// line shares the datum of the line before it, as lines written together do.
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

void fillJournal(ScratchDatabase &db, qint64 size)
{
    for (qint64 first = 1; first <= size; first += LoadChunk)
        db.execute(journalChunk(first, std::min(size, first + LoadChunk - 1), size));
    // Fresh statistics, so that the server reads the pages through the datum index.
    db.admin().query(u"analyze table ppsilap"_s);
}

// Counts the paint events of the widgets it watches.
class PaintCounter final : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

struct Figures {
    qint64 lines = 0;
    double showMs = 0;
    double requeryMs = 0;
    double rssMb = 0;
    double repaintMs = 0;
    QString pagePlan;
};

// How the server reads the history's first page: the index it takes, and
// whether it sorts the lines itself.
QString firstPagePlan(Connection &connection)
{
    Result plan = connection.query(u"explain "_s + historyPageStatement(std::nullopt, HistoryModel::PageSize));
    if (!plan.next())
        return u"?"_s;
    const QString key = plan.toText(u"key"_s);
    QString text = key.isEmpty() ? u"no index"_s : key;
    if (plan.toText(u"Extra"_s).contains(u"filesort"_s))
        text += u" + filesort"_s;
    return text;
}

class Bench {
public:
    Figures measure(qint64 size);

private:
    std::unique_ptr<TForm1> showConsole(const Installation &installation, double &ms);
    void checkStarted(const TForm1 &form, qint64 size);

    ScriptedDialogs m_dialogs; // a dialog would wait for a person: answer and remember it
};

std::unique_ptr<TForm1> Bench::showConsole(const Installation &installation, double &ms)
{
    QElapsedTimer timer;
    timer.start();
    auto form = std::make_unique<TForm1>(installation.context());
    form->openBoard = [](TForm1 &) {};
    form->show(); // the start-up runs here, before the window appears
    ms = elapsedMs(timer);
    // Layout and first paint, outside the timing.
    QCoreApplication::processEvents();
    return form;
}

void Bench::checkStarted(const TForm1 &form, qint64 size)
{
    if (!m_dialogs.asked.isEmpty())
        throw BenchError("the console asked: " + m_dialogs.texts().join(u" | "_s).toStdString());
    if (!form.ZConnection1.isOpen())
        throw BenchError("the console did not connect");
    if (form.snapshot.sila_id[1] == 0)
        throw BenchError("the console has no silo snapshot");
    const int expected = int(std::min<qint64>(HistoryModel::PageSize, size * 19 / 20));
    if (form.history.rowCount() < expected)
        throw BenchError(QStringLiteral("the history shows %1 lines, expected at least %2")
                             .arg(form.history.rowCount())
                             .arg(expected)
                             .toStdString());
}

Figures Bench::measure(qint64 size)
{
    Figures figures;
    figures.lines = size;
    std::fprintf(stderr, "loading %lld journal lines...\n", static_cast<long long>(size));
    QElapsedTimer loadTimer;
    loadTimer.start();
    ScratchDatabase db(u"bench_console_%1"_s.arg(size));
    fillSilos(db);
    fillJournal(db, size);
    if (db.count(u"ppsilap"_s) != size)
        throw BenchError("the journal was not filled");
    std::fprintf(stderr, "  loaded in %.1f s; measuring\n", elapsedMs(loadTimer) / 1000);

    Installation installation;
    installation.pointAt(db.settings());
    figures.pagePlan = firstPagePlan(db.admin());

    double ms = 0;
    std::unique_ptr<TForm1> form = showConsole(installation, ms); // warm-up, not counted
    checkStarted(*form, size);
    std::vector<double> shows;
    for (int run = 0; run < ShowRuns; ++run) {
        form.reset();
        form = showConsole(installation, ms);
        checkStarted(*form, size);
        shows.push_back(ms);
    }
    figures.showMs = median(shows);
    figures.rssMb = residentMb();

    std::vector<double> requeries;
    form->history.requery(); // warm-up, not counted
    for (int run = 0; run < RequeryRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        form->history.requery();
        requeries.push_back(elapsedMs(timer));
    }
    checkStarted(*form, size);
    figures.requeryMs = median(requeries);

    PaintCounter counter;
    QWidget *viewports[] = {form->prehled->viewport(), form->prehled2->viewport()};
    for (QWidget *viewport : viewports)
        viewport->installEventFilter(&counter);
    std::vector<double> repaints;
    for (int run = 0; run < RepaintWarmUp; ++run) {
        for (QWidget *viewport : viewports)
            viewport->repaint();
    }
    for (int run = 0; run < RepaintRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        for (QWidget *viewport : viewports)
            viewport->repaint();
        repaints.push_back(elapsedMs(timer));
    }
    for (QWidget *viewport : viewports)
        viewport->removeEventFilter(&counter);
    if (counter.count < 2 * (RepaintWarmUp + RepaintRuns))
        throw BenchError("the overview grids were not painted on repaint()");
    figures.repaintMs = median(repaints);
    return figures;
}

QString ratioText(double ratio)
{
    return u"%1 (%2)"_s.arg(ratio, 0, 'f', 1).arg(ratio <= TargetRatio ? u"within 3x"_s : u"ABOVE 3x"_s);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!granovia::test::serverSettings() || qEnvironmentVariable("GRANOVIA_TEST_DB_USER").isEmpty()) {
        std::fprintf(stderr,
                     "console_bench: no database server. Set GRANOVIA_TEST_DB_HOST, GRANOVIA_TEST_DB_PORT,\n"
                     "GRANOVIA_TEST_DB_USER and GRANOVIA_TEST_DB_PASSWORD, or run scripts/bench.sh.\n");
        return 2;
    }
    ui::Application app(argc, argv);

    std::vector<Figures> rows;
    try {
        Bench bench;
        for (qint64 size : JournalSizes)
            rows.push_back(bench.measure(size));
    } catch (const DbError &error) {
        std::fprintf(stderr, "console_bench: database error %u: %s\n", error.code(), qPrintable(error.message()));
        return 1;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "console_bench: %s\n", error.what());
        return 1;
    }

    std::printf("Operator console, 100 silos; medians after warm-up: show of %d, requery of %d, repaint of %d runs\n\n",
                ShowRuns, RequeryRuns, RepaintRuns);
    std::printf("journal lines | show console ms | requery ms | RSS MB | overview repaint ms | first page plan\n");
    for (const Figures &row : rows)
        std::printf("%13lld | %15.1f | %10.2f | %6.1f | %19.2f | %s\n", static_cast<long long>(row.lines), row.showMs,
                    row.requeryMs, row.rssMb, row.repaintMs, qPrintable(row.pagePlan));
    const Figures &small = rows.front();
    const Figures &large = rows.back();
    std::printf("\noverview repaint (both grids): %.2f ms at %lld lines\n", large.repaintMs,
                static_cast<long long>(large.lines));
    std::printf("ratios 1M/1k: show %s, requery %s\n", qPrintable(ratioText(large.showMs / small.showMs)),
                qPrintable(ratioText(large.requeryMs / small.requeryMs)));
    return 0;
}
