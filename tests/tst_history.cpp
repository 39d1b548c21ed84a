// The movement history against the private test server: its lines and their
// order, the pages it reads them in, the grid, and the column layout file.
#include "TestDatabase.h"
#include "config/NumberFormat.h"
#include "console/HistoryGrid.h"
#include "console/HistoryModel.h"
#include "store/DbError.h"
#include "ui/Skin.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

using namespace granovia;
using namespace Qt::StringLiterals;
using granovia::test::ScratchDatabase;

namespace {

const QStringList ResultFields{u"id"_s,      u"silo"_s,     u"silob"_s,  u"cislopp"_s, u"mnozstvi"_s, u"partie"_s,
                               u"naz_dru"_s, u"naz_odru"_s, u"stupen"_s, u"datum"_s,   u"dosila"_s,   u"zesila"_s};

// A journal line: silo, silob, cislopp, mnozstvi, partie, datum (empty: NULL).
QString line(const QString &silo, const QString &silob, const QString &cislopp, double mnozstvi, const QString &lot,
             const QString &datum)
{
    const QString when = datum.isEmpty() ? u"null"_s : u"'%1'"_s.arg(datum);
    return u"('%1', '%2', '%3', %4, '%5', %6)"_s.arg(silo, silob, cislopp).arg(mnozstvi).arg(lot, when);
}

void insert(ScratchDatabase &db, const QStringList &lines)
{
    db.execute(u"insert into ppsilap (silo, silob, cislopp, mnozstvi, partie, datum) values "_s + lines.join(u','));
}

// A scratch database with these journal lines, and a history model open on it.
struct Journal {
    Journal(const QString &name, const QStringList &lines)
        : db(name)
    {
        insert(db, lines);
        model.open(db.admin());
    }
    ScratchDatabase db;
    HistoryModel model;
};

// The texts shown in the column of this field, top to bottom.
QStringList column(const HistoryModel &model, const QString &field)
{
    const QList<HistoryColumn> &columns = model.columns();
    const auto it = std::find_if(columns.cbegin(), columns.cend(), [&](const auto &c) { return c.field == field; });
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.index(row, int(it - columns.cbegin())).data().toString();
    return texts;
}

// Each line as its cells show it, joined by '|'.
QStringList rows(const HistoryModel &model)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (int c = 0; c < model.columnCount(); ++c)
            cells << model.index(row, c).data().toString();
        texts << cells.join(u'|');
    }
    return texts;
}

void fetchAll(HistoryModel &model)
{
    for (int guard = 0; model.canFetchMore() && guard < 1000; ++guard)
        model.fetchMore();
    QVERIFY(!model.canFetchMore());
}

// The lines of the whole statement as the grid shows them, in its order.
QStringList designedRows(ScratchDatabase &db)
{
    QStringList designed;
    for (Result whole = db.admin().query(historyStatement()); whole.next();) {
        designed << QStringList{whole.toText(u"partie"_s), whole.toText(u"zesila"_s), whole.toText(u"dosila"_s),
                                numbers::fixed(whole.toDouble(u"mnozstvi"_s), 3), whole.toText(u"datum"_s).left(16)}
                        .join(u'|');
    }
    return designed;
}

// The model, read to its end, shows every line of the whole statement once.
void expectEveryLineOnce(HistoryModel &model, ScratchDatabase &db)
{
    fetchAll(model);
    QStringList shown = rows(model);
    QStringList designed = designedRows(db);
    std::sort(shown.begin(), shown.end());
    std::sort(designed.begin(), designed.end());
    QCOMPARE(shown, designed);
}

QStringList describe(const QList<HistoryColumn> &columns)
{
    QStringList texts;
    for (const HistoryColumn &c : columns)
        texts << u"%1|%2|%3|%4"_s.arg(c.field, c.title).arg(c.width).arg(c.visible);
    return texts;
}

} // namespace

class HistoryTest final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The operators' zone, where a journal time may fall into a daylight-saving gap.
        qputenv("TZ", "Europe/Prague");
        GRANOVIA_REQUIRE_SERVER();
    }

    // Each kind of line shows its silos. Transfers and removals can be
    // reversed, once; a reversal and the line it reverses cancel out, also
    // when the reversal comes in a later page (written on a workstation whose
    // clock was behind).
    void reversibleAndCancelledLines_data()
    {
        QTest::addColumn<QStringList>("lines"); // ids 1, 2, ... in this order
        QTest::addColumn<QString>("marks");     // newest first: r reversible, c cancelled, - neither
        QTest::addColumn<int>("repaints");      // lines repainted as later pages came
        QTest::addColumn<QStringList>("shown"); // partie|ZE|DO|MNOŽ.|DNE newest first; empty: not compared
        const auto at = [](int day) { return u"2011-01-%1 10:00:00"_s.arg(day, 2, 10, QLatin1Char('0')); };
        QTest::newRow("transfer and removal, not an intake")
            << QStringList{line(u"07"_s, u"12"_s, {}, 3.5, u"P"_s, at(1)), line(u"07"_s, {}, {}, 2, u"P"_s, at(2)),
                           line(u"15"_s, {}, u"123"_s, 0.125, u"P"_s, at(3))}
            << u"-rr"_s << 0
            << QStringList{u"P|N|15|0,125|2011-01-03 10:00"_s, u"P|07|M|2,000|2011-01-02 10:00"_s,
                           u"P|07|12|3,500|2011-01-01 10:00"_s};
        QTest::newRow("a transfer with a document number")
            << QStringList{line(u"07"_s, u"12"_s, u"9"_s, 12, u"P"_s, at(1))} << u"r"_s << 0
            << QStringList{u"P|07|12|12,000|2011-01-01 10:00"_s};
        QTest::newRow("a transfer and its reversal")
            << QStringList{line(u"07"_s, u"12"_s, {}, 3.5, u"P"_s, at(1)), line(u"12"_s, u"07"_s, u"ST 1"_s, 3.5, u"P"_s, at(2))}
            << u"cc"_s << 0 << QStringList();
        QTest::newRow("a removal and its reversal, an intake")
            << QStringList{line(u"07"_s, {}, {}, 2, u"P"_s, at(1)), line(u"07"_s, {}, u"ST 1"_s, 2, u"P"_s, at(2))}
            << u"cc"_s << 0 << QStringList();
        QTest::newRow("marks of other modules: another lot, quantity, silo, kind")
            << QStringList{line(u"07"_s, u"12"_s, {}, 3.5, u"P"_s, at(1)), line(u"12"_s, u"07"_s, u"ST 1"_s, 3.5, u"Q"_s, at(2)),
                           line(u"12"_s, u"07"_s, u"ST 1"_s, 2, u"P"_s, at(3)), line(u"12"_s, u"08"_s, u"ST 1"_s, 3.5, u"P"_s, at(4)),
                           line(u"07"_s, {}, u"ST 1"_s, 3.5, u"P"_s, at(5))}
            << u"-rrrr"_s << 0 << QStringList();
        QTest::newRow("no document number at all reads as an intake")
            << QStringList{u"('07', '', null, 2, 'P', '2011-01-01 10:00:00')"_s} << u"-"_s << 0 << QStringList();
        QTest::newRow("no quantity, a silo of the same number or none")
            << QStringList{line(u"07"_s, u"12"_s, {}, 0, u"P"_s, at(1)), line(u"07"_s, u"7"_s, {}, 1, u"P"_s, at(2)),
                           line(u"AB"_s, {}, {}, 1, u"P"_s, at(3))}
            << u"---"_s << 0 << QStringList();
        QStringList paged{line(u"07"_s, u"12"_s, {}, 3.5, u"P"_s, u"2020-06-01 10:00:00"_s)};
        for (int i = 0; i < HistoryModel::PageSize; ++i)
            paged << line(u"07"_s, {}, {}, 1, u"F"_s, formatTimestamp(QDateTime(QDate(2020, 1, 1), QTime()).addSecs(i)));
        paged << line(u"12"_s, u"07"_s, u"ST 1"_s, 3.5, u"P"_s, u"2019-06-01 10:00:00"_s);
        QTest::newRow("a reversal older than its line")
            << paged << u"c"_s + QString(HistoryModel::PageSize, u'r') + u'c' << 1 << QStringList();
    }
    void reversibleAndCancelledLines()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, marks);
        QFETCH(int, repaints);
        QFETCH(QStringList, shown);
        Journal journal(u"t_hist_reversals"_s, lines);
        HistoryModel &model = journal.model;
        QSignalSpy repainted(&model, &QAbstractItemModel::dataChanged);
        fetchAll(model);
        QString marked;
        for (int row = 0; row < model.rowCount(); ++row) {
            QCOMPARE(model.index(row, 0).data(HistoryModel::CancelledRole).toBool(), model.isCancelled(row));
            marked += model.isReversible(row) ? u'r' : model.isCancelled(row) ? u'c' : u'-';
        }
        QCOMPARE(marked, marks);
        QCOMPARE(repainted.count(), repaints);
        if (!shown.isEmpty())
            QCOMPARE(rows(model), shown);
    }

    void newestFirstWithoutLinesWithoutSilo()
    {
        Journal journal(u"t_hist_order"_s,
                        {line(u"07"_s, {}, {}, 1, u"older"_s, u"2011-03-07 14:05:59"_s),
                         line(u"07"_s, {}, {}, 1, u"undated"_s, {}), line(u"07"_s, {}, {}, 1, u"newer"_s, u"2012-01-02 08:00:00"_s),
                         line(u"07"_s, {}, {}, 1, u"in the gap"_s, u"2011-03-27 02:30:00"_s),
                         line({}, u"12"_s, {}, 1, u"no silo"_s, u"2013-01-01 00:00:00"_s),
                         u"(null, '', '', 1, 'null silo', '2013-01-01')"_s});
        HistoryModel &model = journal.model;
        fetchAll(model);
        QCOMPARE(model.availableFields(), ResultFields);
        QCOMPARE(column(model, u"partie"_s), (QStringList{u"newer"_s, u"in the gap"_s, u"older"_s, u"undated"_s}));
        QCOMPARE(column(model, u"datum"_s),
                 (QStringList{u"2012-01-02 08:00"_s, u"2011-03-27 02:30"_s, u"2011-03-07 14:05"_s, QString()}));
        QCOMPARE(model.headerData(4, Qt::Horizontal).toString(), u"DNE"_s);
    }

    // The lines come page by page, every one once and in the statement's
    // order, whatever their dates.
    void pagesGiveTheLinesOfTheDesignedStatement_data()
    {
        QTest::addColumn<QStringList>("lines");
        // Lines of silo 07 with these dates (empty: NULL), removals and transfers by turns.
        const auto withDates = [](const QStringList &dates) {
            QStringList lines;
            for (qsizetype i = 0; i < dates.size(); ++i)
                lines << line(u"07"_s, i % 2 ? u"12"_s : QString(), {}, double(i), u"L%1"_s.arg(i), dates[i]);
            return lines;
        };
        const auto dated = [](int count, const QDateTime &newest, int linesADatum = 1) {
            QStringList dates;
            for (int i = 0; i < count; ++i)
                dates << formatTimestamp(newest.addSecs(-60 * (i / linesADatum)));
            return dates;
        };
        const int page = HistoryModel::PageSize;
        const QDateTime newest(QDate(2020, 6, 1), QTime(12, 0));
        const QString noSilo = line({}, u"12"_s, {}, 1, u"no silo"_s, formatTimestamp(newest.addDays(1)));
        QTest::newRow("groups of seven across the ends of pages, more lines of one datum than a page, undated, no silo")
            << withDates(dated(2 * page + 50, newest, 7) + QStringList(page + 50, formatTimestamp(newest.addDays(-30)))
                         + QStringList(30, QString()))
                   + QStringList(10, noSilo);
        const QDateTime march2016(QDate(2016, 3, 1), QTime(8, 0));
        QTest::newRow("150 dated, 100 zero dates")
            << withDates(dated(150, march2016) + QStringList(100, u"0000-00-00 00:00:00"_s));
        QTest::newRow("a day 0 ends the first page")
            << withDates(dated(199, march2016) + QStringList{u"2015-03-00 10:00:00"_s}
                         + dated(100, QDateTime(QDate(2014, 1, 1), QTime(8, 0))));
        QTest::newRow("days 0, months 0, zero and no dates across pages")
            << withDates(QStringList(250, u"2015-03-00 10:00:00"_s) + QStringList(10, u"2015-00-00 00:00:00"_s)
                         + QStringList(150, u"0000-00-00 00:00:00"_s) + QStringList(50, QString()) + dated(20, march2016));
    }
    void pagesGiveTheLinesOfTheDesignedStatement()
    {
        QFETCH(QStringList, lines);
        Journal journal(u"t_hist_paging"_s, lines);
        const int shownAtOpen = journal.model.rowCount();
        QVERIFY2(shownAtOpen > 0 && shownAtOpen < 2 * HistoryModel::PageSize, qPrintable(QString::number(shownAtOpen)));
        expectEveryLineOnce(journal.model, journal.db);
        QStringList designedDates;
        for (const QString &row : designedRows(journal.db))
            designedDates << row.section(u'|', 4);
        QCOMPARE(column(journal.model, u"datum"_s), designedDates); // the statement's order
    }

    void requeryShowsANewLineOnTopWithTheSameColumns()
    {
        Journal journal(u"t_hist_requery"_s, {line(u"07"_s, u"12"_s, {}, 1, u"A"_s, u"2011-01-01 10:00:00"_s),
                                              line(u"07"_s, {}, {}, 1, u"B"_s, u"2012-01-01 10:00:00"_s)});
        auto &[db, model] = journal;
        HistoryGrid grid;
        grid.setHistoryModel(&model);
        QList<HistoryColumn> columns = defaultHistoryColumns();
        columns.swapItemsAt(1, 2);
        columns[3].visible = false;
        grid.applyColumnSet(columns);
        QCOMPARE(model.rowCount(), 2); // same fields: the lines are kept, moved to their new columns
        QCOMPARE(model.index(1, 1).data().toString(), u"12"_s);
        grid.setCurrentIndex(model.index(1, 0));
        insert(db, {line(u"15"_s, {}, u"9"_s, 1, u"C"_s, u"2013-01-01 10:00:00"_s)});
        model.requery();
        QCOMPARE(column(model, u"partie"_s), (QStringList{u"C"_s, u"B"_s, u"A"_s}));
        QCOMPARE(grid.currentIndex().row(), 0);
        QCOMPARE(describe(grid.columnSet()).mid(1), describe(columns).mid(1));

        // A field the lines were not read with: they are read again, page by page.
        db.execute(u"update ppsilap set naz_dru = 'Pšenice'"_s);
        grid.applyColumnSet({{u"naz_dru"_s, u"druh"_s, 40, true}, columns[0]});
        fetchAll(model);
        QCOMPARE(column(model, u"naz_dru"_s), QStringList(3, u"Pšenice"_s));
        QCOMPARE(column(model, u"partie"_s), (QStringList{u"C"_s, u"B"_s, u"A"_s}));
    }

    void fetchFailureIsReportedNotThrown()
    {
        QStringList lines;
        for (int i = 0; i < HistoryModel::PageSize + 10; ++i)
            lines << line(u"07"_s, {}, {}, 1, u"L"_s, formatTimestamp(QDateTime(QDate(2020, 1, 1), QTime()).addSecs(i)));
        Journal journal(u"t_hist_failure"_s, lines);
        auto &[db, model] = journal;
        QSignalSpy failed(&model, &HistoryModel::fetchFailed);
        db.execute(u"drop table ppsilap"_s);
        QVERIFY(model.canFetchMore());
        model.fetchMore();
        QCOMPARE(failed.count(), 1);
        QCOMPARE(model.fetchError(), u"Databáze ohlásila chybu 1146!\nAkce nebyla provedena."_s);
        QCOMPARE(failed.at(0).at(0).toString(), model.fetchError());
        QVERIFY(!model.canFetchMore());
        QVERIFY_THROWS_EXCEPTION(DbError, model.requery());
        QCOMPARE(model.rowCount(), HistoryModel::PageSize); // what the operator saw stays
    }

    void gridMarksTheCurrentCellAndLine()
    {
        Journal journal(u"t_hist_look"_s, {line(u"07"_s, {}, {}, 1, u"A"_s, u"2011-01-01 10:00:00"_s),
                                           line(u"07"_s, {}, {}, 1, u"B"_s, u"2012-01-01 10:00:00"_s),
                                           line(u"07"_s, {}, u"ST 1"_s, 1, u"A"_s, u"2010-01-01 10:00:00"_s)});
        HistoryModel &model = journal.model;
        HistoryGrid grid;
        grid.setHistoryModel(&model);
        grid.resize(400, 120);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QCOMPARE(int(grid.editTriggers()), int(QAbstractItemView::NoEditTriggers));
        QVERIFY(grid.horizontalHeader()->sectionsMovable());
        QCOMPARE(grid.verticalHeader()->width(), HistoryGrid::IndicatorWidth);
        QCOMPARE(grid.rowHeight(1), HistoryGrid::RowHeight);
        QCOMPARE(describe(grid.columnSet()).mid(1), describe(defaultHistoryColumns()).mid(1));
        QCOMPARE(grid.currentIndex(), model.index(0, 0));
        const QImage image = grid.grab().toImage();
        const auto background = [&](int row) {
            const QRect rect = grid.visualRect(model.index(row, 0));
            return image.pixelColor(grid.viewport()->mapTo(&grid, QPoint(rect.right() - 3, rect.center().y())));
        };
        QCOMPARE(background(0), skin::CurrentHistoryCell);
        QCOMPARE(background(1), skin::Background);
        const auto marked = [&](int row) { // the triangle covers the middle of the line's indicator
            const QHeaderView *indicator = grid.verticalHeader();
            const QRect rect(0, indicator->sectionViewportPosition(row), indicator->width(),
                             indicator->sectionSize(row));
            return image.pixelColor(indicator->viewport()->mapTo(&grid, rect.center())) == skin::FixedText;
        };
        QVERIFY(marked(0));
        QVERIFY(!marked(1));
        const auto textColours = [&](int row) {
            QSet<QRgb> colours;
            const QRect line = grid.visualRect(model.index(row, 0)) | grid.visualRect(model.index(row, 4));
            for (int y = line.top(); y < line.bottom(); ++y) {
                for (int x = line.left(); x < line.right(); ++x)
                    colours.insert(image.pixel(grid.viewport()->mapTo(&grid, QPoint(x, y))));
            }
            return colours;
        };
        // The reversed line A is grey, as its reversal is; B is not.
        QCOMPARE((QList<bool>{textColours(0).contains(skin::Text.rgb()), textColours(0).contains(skin::CancelledText.rgb()),
                              textColours(1).contains(skin::Text.rgb()), textColours(1).contains(skin::CancelledText.rgb())}),
                 (QList<bool>{true, false, false, true}));
    }

    void layoutRoundTripKeepsOrderAndWidths()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"col.ini"_s);
        HistoryModel model;
        HistoryGrid grid;
        grid.setHistoryModel(&model);
        QHeaderView *header = grid.horizontalHeader();
        header->moveSection(header->visualIndex(2), header->visualIndex(1)); // DO before ZE
        header->resizeSection(4, 120); // DNE wider
        grid.setColumnHidden(3, true);
        const QList<HistoryColumn> left = grid.columnSet();
        QCOMPARE(
            describe(left).mid(1),
            (QStringList{u"dosila|DO|18|1"_s, u"zesila|ZE|16|1"_s, u"mnozstvi|MNOŽ.|35|0"_s, u"datum|DNE|120|1"_s}));
        QVERIFY(saveColumnLayout(path, left));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(file.readAll()).contains(u"\nmnozstvi\tMNOŽ.\t35\t0\n"_s));
        HistoryModel otherModel;
        HistoryGrid other;
        other.setHistoryModel(&otherModel);
        other.applyColumnSet(loadColumnLayout(path, ResultFields));
        QCOMPARE(describe(other.columnSet()), describe(left));
        QCOMPARE(otherModel.headerData(1, Qt::Horizontal).toString(), u"DO"_s);
        QVERIFY(!saveColumnLayout(dir.filePath(u"missing/col.ini"_s), left));
    }

    void layoutFileContents_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: a directory of that name
        QTest::addColumn<QStringList>("loaded");
        const QStringList designed = describe(defaultHistoryColumns());
        QTest::newRow("a directory") << QByteArray() << designed;
        QTest::newRow("empty file") << QByteArray("") << designed;
        QTest::newRow("binary garbage") << QByteArray("\x00\x01\x02\tGIF89a\xff\n", 12) << designed;
        QTest::newRow("invalid UTF-8") << QByteArray("partie\tp\xff\t50\t1\n") << designed;
        QTest::newRow("three fields") << QByteArray("partie\tpartie\t50\n") << designed;
        QTest::newRow("width not a number") << QByteArray("partie\tpartie\twide\t1\n") << designed;
        QTest::newRow("visibility not 0 or 1") << QByteArray("partie\tpartie\t50\tyes\n") << designed;
        QTest::newRow("a bad line after good ones") << QByteArray("datum\tDNE\t90\t1\npartie\tpartie\n") << designed;
        QTest::newRow("only unknown fields")
            << QByteArray("# field\ttitle\twidth\tvisible\nnosuch\tX\t10\t1\n") << designed;
        QTest::newRow("unknown and repeated fields skipped")
            << QByteArray("# field\ttitle\twidth\tvisible\ndatum\tDNE\t90\t1\nnaz_zzz\tX\t10\t1\r\n"
                          "partie\tšarže\t-1\t0\ndatum\tagain\t5\t1\n")
            << QStringList{u"datum|DNE|90|1"_s, u"partie|šarže|-1|0"_s};
    }
    void layoutFileContents()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, loaded);
        QTemporaryDir dir;
        QFile file(dir.filePath(u"col.ini"_s));
        if (content.isNull())
            QVERIFY(QDir(dir.path()).mkdir(u"col.ini"_s));
        else
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush());
        QCOMPARE(describe(loadColumnLayout(file.fileName(), ResultFields)), loaded);
        QCOMPARE(describe(loadColumnLayout(dir.filePath(u"none.ini"_s), ResultFields)),
                 describe(defaultHistoryColumns()));
    }
};

QTEST_MAIN(HistoryTest)
#include "tst_history.moc"
