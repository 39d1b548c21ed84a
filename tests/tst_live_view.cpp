// The live view against the test server: what another workstation, another
// module or a hand edit changes shows on a running console and board within
// two seconds, without moving the operator's place or changing a panel
// silently; the console's own movements leave what a full re-read shows.
#include "BoardFixture.h"
#include "console/HistoryGrid.h"
#include "movements/Movements.h"
#include "movements/Reversal.h"
#include "store/StartAudit.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace granovia;
using namespace Qt::StringLiterals;
using namespace granovia::test;

namespace {

constexpr int NoticeWithinMs = 2000;
constexpr int JournalLines = 250; // more than a page
constexpr int RandomSteps = 40;
enum HistoryColumnIndex { ZeColumn = 1, DoColumn = 2, MnozColumn = 3 };

QString text(const QAbstractItemModel &model, int row, int column)
{
    return model.index(row, column).data().toString();
}

// The widget as the screen shows it equals the widget painted afresh: no
// repaint that the data asked for is missing.
bool screenShows(QWidget *widget)
{
    const QRect place(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
    const QImage shown = widget->screen()->grabWindow(widget->window()->winId(), place.x(), place.y(),
                                                     place.width(), place.height()).toImage();
    return shown.convertToFormat(QImage::Format_RGB32) == widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Every line of a history, read to its end, keyed so that lines of one
// datum compare in any order.
QStringList allLines(HistoryModel &model)
{
    while (model.canFetchMore())
        model.fetchMore();
    QStringList keys;
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList key{model.lineDatum(row), QString::number(model.lineId(row))};
        for (int c = 0; c < model.columnCount(); ++c)
            key << text(model, row, c);
        keys << key.join(u'|');
    }
    return keys;
}

} // namespace

class LiveViewTest final : public QObject, public BoardFixture {
    Q_OBJECT
private slots:
    void initTestCase() { GRANOVIA_REQUIRE_SERVER(); }
    void init();
    void cleanup();

    void otherWorkstationShowsInGridsAndHistory();
    void reversalElsewhereShowsAndTakesTheMenuItem();
    void panelOfAChangedSilo_data();
    void panelOfAChangedSilo();
    void changeCheckSeesEveryChange_data();
    void changeCheckSeesEveryChange();
    void pollWaitsForDialogsAndTheBoardAndLosesNoChange();
    void ownMovementsLeaveWhatAFullReadShows();
    void lineCommittedAfterANewerOneStillShows();
    void boardShowsAChangedGlyph();
    void numbersThatCannotBeReadAreMarked();

private:
    void transferElsewhere(int from, int to, double quantity);

    Connection m_other; // another workstation
};

void LiveViewTest::init()
{
    startConsole({u"insert into ppsila (silo, stav, kapacita, partie, naz_dru, naz_odru, stupen, navoz) values "
                  "(1, 40, 100, 'L1', 'Pšenice', 'Bohemia', 'C1', '2026-10-01 08:00:00'),"
                  "(2, 20, 100, 'L1', 'Pšenice', 'Bohemia', 'C1', null), (3, 10, 100, 'L1', 'Pšenice', '', 'C1', null),"
                  "(4, 0, 80, '', '', '', '', null), (51, 30, 90, 'L3', 'Oves', 'Atego', 'C2', null)"_s,
                  u"insert into ppsilap (silo, silob, mnozstvi, partie, datum) select lpad(1 + seq % 3, 2, '0'), "
                  "lpad(1 + (seq + 1) % 3, 2, '0'), seq / 10, 'L1', timestamp('2026-06-01') + interval seq div 2 hour "
                  "from seq_1_to_%1"_s.arg(JournalLines)});
    m_other.open(db->settings());
    m_other.execute(EmptySqlMode);
}

void LiveViewTest::cleanup()
{
    m_other.close();
    closeAll();
}

void LiveViewTest::transferElsewhere(int from, int to, double quantity)
{
    // Silo n has row id n.
    const movement::TransferOrder order{u"0%1"_s.arg(from), u"0%1"_s.arg(to), QString::number(quantity),
                                        {u"L1"_s, u"Pšenice"_s, {}, u"C1"_s}, from, to,
                                        formatTimestamp(QDateTime::currentDateTime())};
    QCOMPARE(movement::executeTransfer(m_other, order, quantity), movement::Outcome::Done);
}

void LiveViewTest::otherWorkstationShowsInGridsAndHistory()
{
    HistoryGrid *grid = suiDBGrid1();
    const HistoryModel &lines = history();
    grid->setCurrentIndex(lines.index(35, ZeColumn));
    grid->scrollTo(lines.index(30, 0), QAbstractItemView::PositionAtTop);
    const qint64 current = lines.lineId(35);
    const qint64 top = lines.lineId(grid->rowAt(0));

    transferElsewhere(1, 2, 2.5);
    QTRY_COMPARE_WITH_TIMEOUT(text(lines, 0, MnozColumn), u"2,500"_s, NoticeWithinMs);
    QCOMPARE(text(lines, 0, ZeColumn) + text(lines, 0, DoColumn), u"0102"_s);
    QCOMPARE(snapshot().sila_stav[1], 37.5L);
    QCOMPARE(snapshot().sila_stav[2], 22.5L);
    QCOMPARE(lines.lineId(grid->currentIndex().row()), current); // the operator's place stays
    QCOMPARE(lines.lineId(grid->rowAt(0)), top);
    QTRY_VERIFY(screenShows(prehled()->viewport()));

    // A history at its top shows the new line there.
    grid->scrollToTop();
    db->execute(u"insert into ppsilap (silo, silob, cislopp, mnozstvi, datum) values ('51', '', '', 3, now())"_s);
    QTRY_COMPARE_WITH_TIMEOUT(text(lines, 0, DoColumn), u"M"_s, NoticeWithinMs);
    QCOMPARE(grid->rowAt(0), 0);
    QCOMPARE(lines.lineId(grid->currentIndex().row()), current);
    QTRY_VERIFY(screenShows(grid->viewport()));
}

void LiveViewTest::reversalElsewhereShowsAndTakesTheMenuItem()
{
    const HistoryModel &lines = history();
    transferElsewhere(1, 2, 2.5);
    QTRY_COMPARE_WITH_TIMEOUT(text(lines, 0, MnozColumn), u"2,500"_s, NoticeWithinMs);
    const qint64 transfer = lines.lineId(0);
    QVERIFY(reversalOffered(0));

    const QString now = formatTimestamp(QDateTime::currentDateTime());
    QCOMPARE(movement::executeReversal(m_other, transfer, now).outcome, movement::ReversalOutcome::Done);
    QTRY_COMPARE_WITH_TIMEOUT(lines.lineId(1), transfer, NoticeWithinMs);
    QCOMPARE(text(lines, 0, ZeColumn) + text(lines, 0, DoColumn), u"0201"_s);
    QVERIFY(lines.isCancelled(0) && lines.isCancelled(1));
    QTRY_COMPARE_WITH_TIMEOUT(snapshot().sila_stav[1], 40.0L, NoticeWithinMs);
    QCOMPARE(snapshot().sila_stav[2], 20.0L);
    QVERIFY(!reversalOffered(1));
}

void LiveViewTest::panelOfAChangedSilo_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<bool>("lowered"); // panel A's quantity lowered to 5 before the change
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("lotA");
    QTest::addColumn<QString>("quantityA");
    QTest::addColumn<QString>("lotB");
    QTest::addColumn<QString>("notice");
    const QString gone = u" se mezitím změnilo, výběr zrušen!"_s;
    QTest::newRow("stock taken: the whole stock follows") << QList<int>{1} << false
        << u"update ppsila set stav = 36 where silo = 1"_s << u"L1"_s << u"36"_s << QString() << QString();
    QTest::newRow("stock added: a lowered quantity stays") << QList<int>{1} << true
        << u"update ppsila set stav = 41 where silo = 1"_s << u"L1"_s << u"5"_s << QString() << QString();
    QTest::newRow("stock below a lowered quantity: cut and told") << QList<int>{1} << true
        << u"update ppsila set stav = 3 where silo = 1"_s << u"L1"_s << u"3"_s << QString()
        << u"SILO: 01 nyní obsahuje jen 3 t, množství k přesunu bylo sníženo!"_s;
    QTest::newRow("target filled with another lot: emptied") << QList<int>{1, 4} << true
        << u"update ppsila set stav = 3, partie = 'L9' where silo = 4"_s << u"L1"_s << u"5"_s << QString()
        << u"SILO: 04"_s + gone;
    QTest::newRow("source's lot changed: the target no longer fits") << QList<int>{1, 2} << false
        << u"update ppsila set partie = 'L7' where silo = 1"_s << u"L7"_s << u"40"_s << QString() << u"SILO: 02"_s + gone;
    QTest::newRow("row deleted: emptied") << QList<int>{1} << true << u"delete from ppsila where silo = 1"_s
                                          << QString() << QString() << QString() << u"SILO: 01"_s + gone;
}

void LiveViewTest::panelOfAChangedSilo()
{
    QFETCH(QList<int>, selected);
    QFETCH(bool, lowered);
    QFETCH(QString, statement);
    QFETCH(QString, lotA);
    QFETCH(QString, quantityA);
    QFETCH(QString, lotB);
    QFETCH(QString, notice);
    for (int silo : selected)
        select(silo);
    const QString before = popis1()->value(detail::QuantityRow);
    if (lowered)
        popis1()->setLoweredQuantity(u"5"_s);
    db->execute(statement);
    QVERIFY(liveView().poll());
    QCOMPARE((QStringList{popis1()->value(detail::LotRow), popis1()->value(detail::QuantityRow), popis2()->value(detail::LotRow)}),
             (QStringList{lotA, quantityA, lotB}));
    QCOMPARE(dialogs->texts(), notice.isEmpty() ? QStringList() : QStringList{notice});
    const bool changed = !lotA.isEmpty() && quantityA != (lowered ? u"5"_s : before);
    QCOMPARE(popis1()->isMarked(detail::QuantityRow), changed);
    QCOMPARE(popis1()->isMarked(detail::SpeciesRow), false);
    if (lotA.isEmpty())
        return;
    // The next question names a quantity that changed unseen, and only once.
    const QString named = u"\nMnožství se mezitím změnilo, přesune se %1 t."_s.arg(quantityA);
    for (const bool again : {false, true}) {
        dialogs->queue({2, {}});
        suiButton4Click(suiButton4());
        QCOMPARE(dialogs->texts().last(), u"Opravdu přesunout osivo ze SILO: 01 mimo silo?"_s + (changed && !again ? named : QString()));
    }
}

// The change check sees a change of any column it watches, whatever the
// columns' character sets and collations (mixing them is legal).
void LiveViewTest::changeCheckSeesEveryChange_data()
{
    QTest::addColumn<QString>("columns");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("shown"); // species and variety of silo 2
    const QString alter = u"alter table ppsila "_s;
    const QString lotLatin2 = u"modify partie varchar(30) character set latin2 default ''"_s;
    QTest::newRow("capacity") << QString() << u"update ppsila set kapacita = 120 where silo = 1"_s << u"Pšenice/Bohemia"_s;
    QTest::newRow("lot in latin2 beside cp1250") << alter + lotLatin2
                                                 << u"update ppsila set partie = 'Ľ2' where silo = 2"_s << u"Pšenice/Bohemia"_s;
    QTest::newRow("variety in cp1250 with a binary collation, species in latin2")
        << alter + u"modify naz_dru varchar(40) character set latin2 default '', "
                   "modify naz_odru varchar(40) character set cp1250 collate cp1250_bin default ''"_s
        << u"update ppsila set naz_odru = 'bohemia' where silo = 2"_s << u"Pšenice/bohemia"_s;
    QTest::newRow("species in utf8mb4 beside latin2") << alter + lotLatin2
            + u", modify naz_dru varchar(40) character set utf8mb4 default ''"_s
                                                      << u"update ppsila set naz_dru = 'Žito' where silo = 2"_s
                                                      << u"Žito/Bohemia"_s;
}

void LiveViewTest::changeCheckSeesEveryChange()
{
    QFETCH(QString, columns);
    QFETCH(QString, change);
    QFETCH(QString, shown);
    if (!columns.isEmpty()) {
        db->execute(columns);
        liveView().poll();
    }
    QVERIFY(!liveView().poll());
    db->execute(change);
    QVERIFY(liveView().poll());
    QVERIFY(!liveView().poll());
    QCOMPARE(snapshot().sila_druh[2] + u'/' + snapshot().sila_odruda[2], shown);
}

void LiveViewTest::pollWaitsForDialogsAndTheBoardAndLosesNoChange()
{
    db->execute(u"update ppsila set stav = 25 where silo = 2"_s);
    QDialog dialog(console.get());
    dialog.setModal(true);
    dialog.show();
    QVERIFY(!liveView().poll());
    dialog.close();
    {
        const TForm2 board(console->desk(), console.get(), installation->paths());
        QVERIFY(!liveView().poll());
    }
    QCOMPARE(snapshot().sila_stav[2], 20.0L);

    // A lost session is replaced; a failing poll is quiet, and the next one
    // misses nothing.
    Result session = liveView().connection().query(u"select connection_id() as id"_s);
    session.next();
    db->execute(u"kill %1"_s.arg(session.toInt(u"id"_s)));
    db->execute(u"rename table ppsilap to ppsilap_away"_s);
    QVERIFY(!liveView().poll());
    db->execute(u"rename table ppsilap_away to ppsilap"_s);
    QVERIFY(liveView().poll());
    QCOMPARE(snapshot().sila_stav[2], 25.0L);
    QVERIFY(dialogs->asked.isEmpty());
}

// Own movements through the console's handlers, movements of another
// workstation, and lines of other modules dated anywhere, in random order:
// after each, the screen shows what a full read of the database gives.
void LiveViewTest::ownMovementsLeaveWhatAFullReadShows()
{
    QRandomGenerator random(11);
    const QDateTime journalStart(QDate(2026, 6, 1), QTime(0, 0));
    for (int step = 0; step < RandomSteps; ++step) {
        const int kind = int(random.bounded(5));
        const int source = 1 + int(random.bounded(3));
        const int target = 1 + (source + int(random.bounded(2))) % 3;
        const QString quantity = u"0,%1"_s.arg(1 + random.bounded(9));
        if (kind <= 1) {
            select(source);
            if (kind == 0)
                select(target);
            popis1()->setValue(detail::QuantityRow, quantity);
            if (kind == 0) {
                suiArrowButton2()->Tag = TransferDriven;
                suiArrowButton2Click();
                QCOMPARE(suiArrowButton2()->Tag, 0);
            } else {
                suiButton4()->Tag = RemovalDriven;
                suiButton4Click(suiButton4());
                suiButton4()->Tag = RemovalFromA;
            }
            QCOMPARE(suiDBGrid1()->currentIndex().row(), 0);
        } else {
            if (kind == 2)
                transferElsewhere(source, target, 0.5);
            // From before the journal's first line to after its last.
            const qint64 hours = qint64(random.bounded(3 * JournalLines / 2)) - JournalLines / 2;
            const QString datum = kind == 4 ? u"null"_s : u"'%1'"_s.arg(formatTimestamp(journalStart.addSecs(hours * 3600)));
            db->execute(u"insert into ppsilap (silo, silob, mnozstvi, datum) values ('0%1', '', 1, %2)"_s.arg(source).arg(datum));
            QVERIFY(liveView().poll());
        }
        SiloSnapshot fresh;
        fresh.reset();
        fresh.load(m_other);
        QCOMPARE(snapshot().silosDifferingFrom(fresh), QList<int>());
        for (QWidget *shown : {prehled()->viewport(), prehled2()->viewport(), suiDBGrid1()->viewport()})
            QTRY_VERIFY(screenShows(shown));
    }
    QVERIFY(dialogs->asked.isEmpty());
    QStringList shown = allLines(history());
    for (int row = 1; row < history().rowCount(); ++row) // newest first, the undated last
        QVERIFY(history().lineDatum(row).isEmpty() || history().lineDatum(row - 1) >= history().lineDatum(row));
    HistoryModel reference;
    reference.open(m_other);
    QStringList expected = allLines(reference);
    shown.sort();
    expected.sort();
    QCOMPARE(shown, expected);
}

// A movement whose transaction commits after a later one's has the lower id:
// it still shows once it is there.
void LiveViewTest::lineCommittedAfterANewerOneStillShows()
{
    Connection late;
    late.open(db->settings());
    late.execute(u"start transaction"_s);
    late.execute(u"insert into ppsilap (silo, silob, cislopp, mnozstvi, partie, datum) values "
                 "('04', '', 'D1', 7.25, 'LATE', now())"_s);
    late.execute(u"update ppsila set stav = 7.25 where silo = 4"_s);
    m_other.execute(u"insert into ppsilap (silo, silob, cislopp, mnozstvi, datum) values ('51', '', '', 1, now())"_s);
    QVERIFY(liveView().poll());
    QCOMPARE(text(history(), 0, DoColumn), u"M"_s);
    late.execute(u"commit"_s);
    QVERIFY(liveView().poll());
    QStringList lots; // of the lines read so far
    for (int row = 0; row < history().rowCount(); ++row)
        lots << text(history(), row, 0);
    QCOMPARE(lots.count(u"LATE"_s), 1);
}

void LiveViewTest::boardShowsAChangedGlyph()
{
    copyTiles();
    openBoardOnly();
    const int full = board->tlacitka[2]->height() - board::GlyphInset;
    QCOMPARE(redRows(glyphOf(board->tlacitka[2])), int(full * 0.2));
    const qint64 keyBefore = board->tlacitka[1]->icon().cacheKey();
    db->execute(u"update ppsila set stav = 100 where silo = 2"_s);
    QTRY_COMPARE_WITH_TIMEOUT(redRows(glyphOf(board->tlacitka[2])), full, NoticeWithinMs);
    QCOMPARE(board->tlacitka[1]->icon().cacheKey(), keyBefore); // unchanged silos keep their glyphs
}

// While the polls fail, the console and then the board say after a few
// seconds that their numbers are not current, with the time of the last good
// read; the next good read takes the mark away.
void LiveViewTest::numbersThatCannotBeReadAreMarked()
{
    constexpr int MarkWithinMs = std::chrono::milliseconds(ui::StaleMark::StaleAfter).count() + 2000;
    // Shows within its time, and names the time of the good read that ended at `read`.
    const auto marked = [](const ui::StaleMark *mark, const QTime &read) {
        return QTest::qWaitFor([mark] { return mark->isVisible(); }, MarkWithinMs)
            && mark->text().startsWith(u"údaje nejsou aktuální"_s)
            && (mark->text().contains(read.toString(u"HH:mm:ss"_s)) || mark->text().contains(read.addSecs(-1).toString(u"HH:mm:ss"_s)));
    };
    QVERIFY(!liveView().poll());
    const QTime consoleRead = QTime::currentTime();
    const auto *consoleMark = console->findChild<ui::StaleMark *>();
    db->execute(u"rename table ppsila to ppsila_away"_s);
    QVERIFY(!liveView().poll());
    QVERIFY(consoleMark && !consoleMark->isVisible());
    QVERIFY2(marked(consoleMark, consoleRead), qPrintable(consoleMark->text()));
    db->execute(u"rename table ppsila_away to ppsila"_s);
    QVERIFY(liveView().poll());
    QVERIFY(!consoleMark->isVisible());

    copyTiles();
    openBoardOnly();
    const QTime boardRead = QTime::currentTime();
    const auto *boardMark = board->findChild<ui::StaleMark *>();
    db->execute(u"rename table ppsila to ppsila_away"_s);
    QVERIFY2(boardMark && marked(boardMark, boardRead), qPrintable(boardMark ? boardMark->text() : QString()));
    db->execute(u"rename table ppsila_away to ppsila"_s);
    board->pollGlyphs();
    QVERIFY(!boardMark->isVisible());
}

QTEST_MAIN(LiveViewTest)
#include "tst_live_view.moc"
