// Figures for the operator console over movement journals of growing size:
// the time to show the console (start-up included), the time to read the
// history again as a movement does, the resident memory after showing, one
// repaint of both overview grids, and the silo board's show with its first
// paint of 99 glyphs. It prints figures and fails only when
// it cannot run; it is no test.
//
// Needs the server that scripts/bench.sh starts and describes in the
// GRANOVIA_TEST_DB_* variables, and QT_QPA_PLATFORM=offscreen (or a display).
#include "BenchSupport.h"
#include "board/FillGlyph.h"
#include "board/TForm2.h"
#include "console/TForm1.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace granovia;
using namespace granovia::bench;
using namespace Qt::StringLiterals;
using granovia::test::ScratchDatabase;

namespace {

constexpr qint64 JournalSizes[] = {1'000, 100'000, 1'000'000};
constexpr int ShowRuns = 5; // after one warm-up show
constexpr int RequeryRuns = 15;
constexpr int RepaintRuns = 200; // after RepaintWarmUp uncounted ones
constexpr int RepaintWarmUp = 20;
constexpr int BoardRuns = 5;
constexpr double TargetRatio = 3.0;

double residentMb()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    static const QRegularExpression vmRss(u"^VmRSS:\\s+(\\d+)\\s+kB"_s, QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = vmRss.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toDouble() / 1024 : 0;
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
    double boardMs = 0;
    QString pagePlan;
    bool indexed = false;
};

// How the server reads the history's first page: the index it takes, and
// whether it sorts the lines itself.
QString firstPagePlan(Connection &connection)
{
    const journal::JournalPager firstPage(historySelectList(), journal::ofThisModule());
    Result plan = connection.query(u"explain "_s + firstPage.nextStatement(HistoryModel::PageSize, connection.escaper()));
    if (!plan.next())
        return u"?"_s;
    const QString key = plan.toText(u"key"_s);
    QString text = key.isEmpty() ? u"no index"_s : key;
    if (plan.toText(u"Extra"_s).contains(u"filesort"_s))
        text += u" + filesort"_s;
    return text;
}

// The board's tiles, as the build puts them beside the program, beside the
// installation's program, so that the glyphs are drawn from them.
void copyTiles(const test::Installation &installation)
{
    const QDir built(QCoreApplication::applicationDirPath() + u"/.."_s);
    for (const QString &tile : {board::GreenTileFile, board::RedTileFile}) {
        if (!QFile::copy(built.filePath(tile), installation.paths().fileBesideProgram(tile)))
            throw BenchError("the board's tiles are missing beside the program");
    }
}

// The board shown over the console, with its first paint, as an operator opens it.
double boardShowMs(TForm1 &form, const test::Installation &installation)
{
    std::vector<double> shows;
    for (int run = 0; run < BoardRuns; ++run) {
        TForm2 board(form.desk(), &form, installation.paths());
        QElapsedTimer timer;
        timer.start();
        board.show();
        shows.push_back(elapsedMs(timer));
        if (board.tlacitka[1]->icon().isNull())
            throw BenchError("the board drew no glyph for silo 1");
    }
    return median(shows);
}

class Bench {
public:
    Figures measure(qint64 size);

private:
    void checkStarted(TForm1 &form, qint64 size);

    QuietDialogs m_dialogs;
};

void Bench::checkStarted(TForm1 &form, qint64 size)
{
    m_dialogs.check();
    if (!probe(form).ZConnection1().isOpen())
        throw BenchError("the console did not connect");
    if (probe(form).snapshot().sila_id[1] == 0)
        throw BenchError("the console has no silo snapshot");
    const int expected = int(std::min<qint64>(HistoryModel::PageSize, size * 19 / 20));
    if (probe(form).history().rowCount() < expected)
        throw BenchError(QStringLiteral("the history shows %1 lines, expected at least %2")
                             .arg(probe(form).history().rowCount())
                             .arg(expected)
                             .toStdString());
}

Figures Bench::measure(qint64 size)
{
    Figures figures;
    figures.lines = size;
    const std::unique_ptr<Store> store = loadStore(u"bench_console_%1"_s.arg(size), size);
    ScratchDatabase &db = store->db;
    figures.pagePlan = firstPagePlan(db.admin());
    figures.indexed = hasRecommendedIndexes(db.admin());

    double ms = 0;
    std::unique_ptr<TForm1> form = showConsole(store->installation, &ms); // warm-up, not counted
    checkStarted(*form, size);
    std::vector<double> shows;
    for (int run = 0; run < ShowRuns; ++run) {
        form.reset();
        form = showConsole(store->installation, &ms);
        checkStarted(*form, size);
        shows.push_back(ms);
    }
    figures.showMs = median(shows);
    figures.rssMb = residentMb();

    std::vector<double> requeries;
    probe(*form).history().requery(); // warm-up, not counted
    for (int run = 0; run < RequeryRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        probe(*form).history().requery();
        requeries.push_back(elapsedMs(timer));
    }
    checkStarted(*form, size);
    figures.requeryMs = median(requeries);

    PaintCounter counter;
    QWidget *viewports[] = {probe(*form).prehled()->viewport(), probe(*form).prehled2()->viewport()};
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
    copyTiles(store->installation);
    figures.boardMs = boardShowMs(*form, store->installation);
    return figures;
}

QString ratioText(double ratio)
{
    return u"%1 (%2)"_s.arg(ratio, 0, 'f', 1).arg(ratio <= TargetRatio ? u"within 3x"_s : u"ABOVE 3x"_s);
}

void printFigures(const std::vector<Figures> &rows)
{
    std::printf("Operator console, 100 silos; medians after warm-up: show of %d, requery of %d, repaint of %d runs\n",
                ShowRuns, RequeryRuns, RepaintRuns);
    std::printf("the largest journal %s\n\n", qPrintable(indexState(rows.back().indexed)));
    std::printf("journal lines | show console ms | requery ms | RSS MB | overview repaint ms | show board ms | first page plan\n");
    for (const Figures &row : rows)
        std::printf("%13lld | %15.1f | %10.2f | %6.1f | %19.2f | %13.1f | %s\n", static_cast<long long>(row.lines),
                    row.showMs, row.requeryMs, row.rssMb, row.repaintMs, row.boardMs, qPrintable(row.pagePlan));
    const Figures &small = rows.front();
    const Figures &large = rows.back();
    std::printf("\noverview repaint (both grids): %.2f ms at %lld lines\n", large.repaintMs,
                static_cast<long long>(large.lines));
    std::printf("console show at %lld lines: median %.1f ms\n", static_cast<long long>(large.lines), large.showMs);
    std::printf("console requery at %lld lines: median %.2f ms\n", static_cast<long long>(large.lines), large.requeryMs);
    std::printf("ratios %lld/%lld lines: show %s, requery %s\n", static_cast<long long>(large.lines),
                static_cast<long long>(small.lines), qPrintable(ratioText(large.showMs / small.showMs)),
                qPrintable(ratioText(large.requeryMs / small.requeryMs)));
}

} // namespace

int main(int argc, char *argv[])
{
    // On the shared journal of scripts/bench.sh: beside a small one, for the ratios.
    const std::optional<qint64> shared = sharedJournalSize();
    const qint64 sharedSizes[] = {JournalSizes[0], shared.value_or(0)};
    return runBenchmark<Bench>(argc, argv, "console_bench", shared ? std::span<const qint64>(sharedSizes) : JournalSizes,
                               printFigures);
}
