// Transfers and removals through the console's own handlers, with the
// dialogs answered by the test, against the test server.
#include "ConsoleFixture.h"
#include "movements/Movements.h"
#include "movements/Reversal.h"
#include "store/DbError.h"

#include <QtTest>
#include <limits>

using namespace granovia;
using namespace Qt::StringLiterals;
using namespace granovia::test;

namespace {

const QString QuantityError = u"Chyba v množství!"_s;
const QString NoCapacity = u"Není kapacita pro přesun!"_s;
const QString MissingRow = u"Silo již v databázi neexistuje! Pohyb nebyl zapsán."_s;
const QString StockChanged = u"Množství osiva v silu se mezitím změnilo! Vyberte silo znovu."_s;
constexpr int Move = 1;
constexpr int Storno = 2;
// The stock of a silo without a row, in the lists of stocks below.
constexpr double NoRow = std::numeric_limits<double>::infinity();
// Silos 7 to 10 of the fixture.
constexpr int FirstSilo = 7;
constexpr int LastSilo = 10;

enum class Action { Transfer, DrivenTransfer, Removal, DrivenRemoval };
constexpr int Console = -1; // no driven result code

// A movement that another workstation or odd stored values may upset.
struct Edge {
    QString before{};          // a statement before the selection
    QList<int> selected{7, 9};
    QString meanwhile{};       // another workstation, after the selection
    QString quantity{};        // typed into panel A; null: as selected
    Action action = Action::Transfer;
    QString told{};            // the console's notice; empty: none
    int code = Console;        // the driven result code
    QList<double> stocks{};    // silos 7 to 10, exactly
    QList<double> journal{};
    QString check{};           // a statement, and the text it gives
    QString checked{};
};

// A movement made at the console and reversed from its history line.
struct ReversalCase {
    QList<int> selected{7, 9};             // two silos: a transfer A -> B; one: a removal
    QString quantity{};                    // null: as selected
    QString meanwhile{};                   // another workstation, in between (%1: the line's id)
    QString told{};                        // empty: reversed
    QList<double> stocks{20, 19.5, 0, 5};  // silos 7 to 10 afterwards
    QString journal{};                     // the reversal's silo|silob|mnozstvi|naz_odru, and ZE|DO as shown
    QString check{};                       // a statement, and the text it gives
    QString checked{};
};

} // namespace

Q_DECLARE_METATYPE(Edge)
Q_DECLARE_METATYPE(ReversalCase)

class MovementsTest final : public QObject, public ConsoleFixture {
    Q_OBJECT
private slots:
    void initTestCase() { GRANOVIA_REQUIRE_SERVER(); }
    void init();
    void cleanup() { stopConsole(); }

    void siloNumbers_data();
    void siloNumbers();

    void quantityMustBeAPositiveNumber();
    void unansweredQuestionSendsNothing_data();
    void unansweredQuestionSendsNothing();
    void transferFromBToA();
    void lotsTheJournalCannotHold_data();
    void lotsTheJournalCannotHold();
    void removalFromEitherPanel();
    void failedStatementLeavesNothingAndResetsDrivenModes();
    void movementsAtTheEdges_data();
    void movementsAtTheEdges();
    void tablesWithoutTransactionsAreLockedWhole();
    void reversals_data();
    void reversals();
    void reversalIsBookedOnce();

private:
    StoredSilo row(int silo) { return db->silo(silo); }
    QList<double> stocks();
    // Ends the mover's session from outside just before the given statement,
    // on the movement's first try only or on every try.
    enum class Tries { First, Every };
    movement::StatementHook killBefore(Connection &mover, int failing, Tries tries = Tries::First);
};

void MovementsTest::init()
{
    startConsole({u"insert into ppsila (silo, stav, kapacita, partie, naz_dru, naz_odru, stupen, navoz, ppohyb, nazevosiva) values "
                  "(7, 20, 50, '123', 'Pšenice', 'Bohemia', 'C1', '2026-10-01 08:00:00', '2026-11-01 09:00:00', 'PO Bohemia'),"
                  "(8, 19.5, 30, '123', 'Pšenice', 'Bohemia', 'C1', '2026-09-01 08:00:00', null, ''),"
                  "(9, 0, 40, '', '', '', '', null, null, ''),"
                  "(10, 5, 40, '456', 'Oves', 'Atego', 'C2', null, null, '')"_s});
}

QList<double> MovementsTest::stocks()
{
    QList<double> values;
    for (int silo = FirstSilo; silo <= LastSilo; ++silo)
        values << db->silo(silo).stav;
    return values;
}

movement::StatementHook MovementsTest::killBefore(Connection &mover, int failing, Tries tries)
{
    auto killed = std::make_shared<bool>(false);
    return [this, &mover, failing, tries, killed](int statement) {
        if (statement != failing || (tries == Tries::First && *killed))
            return;
        *killed = true;
        db->execute(u"kill %1"_s.arg(scalar(mover, u"select connection_id()"_s)));
    };
}

void MovementsTest::siloNumbers_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("number");
    QTest::newRow("silo 5") << u"SILO: 05"_s << u"05"_s;
    QTest::newRow("silo 100") << u"SILO: 00"_s << u"00"_s;
    QTest::newRow("empty panel") << u"SILO"_s << QString();
    QTest::newRow("second colon ends it") << u"A: 1 :2"_s << u"1"_s;
}

void MovementsTest::siloNumbers()
{
    QFETCH(QString, caption);
    QFETCH(QString, number);
    QCOMPARE(movement::siloNumberOfCaption(caption), number);
}

void MovementsTest::quantityMustBeAPositiveNumber()
{
    select(7);
    for (const QString &quantity : {u"0"_s, u"-1"_s, u"2.5"_s}) {
        popis1()->setValue(4, quantity);
        suiButton4Click(suiButton4());
    }
    select(9);
    popis1()->setValue(4, u"12.5"_s);
    suiArrowButton2Click();
    suiButton2Click(); // no target at all
    popis1()->setValue(4, u"5"_s);
    suiArrowButton2Click();
    suiButton1Click(); // nor a source
    suiButton4Click(suiButton4());
    QCOMPARE(dialogs->texts(), QStringList(6, QuantityError));
    QCOMPARE(journalLines(), 0);
}

void MovementsTest::unansweredQuestionSendsNothing_data()
{
    QTest::addColumn<bool>("closed"); // the real dialog, closed; else "storno"
    QTest::newRow("storno") << false;
    QTest::newRow("question closed") << true;
}

void MovementsTest::unansweredQuestionSendsNothing()
{
    QFETCH(bool, closed);
    select(7);
    select(9);
    if (closed) {
        dialogs.reset();
        QTimer::singleShot(0, [] {
            QTRY_VERIFY(QApplication::activeModalWidget());
            QApplication::activeModalWidget()->close();
        });
    } else {
        dialogs->queue({Storno, {}});
    }
    suiArrowButton2Click();
    QCOMPARE(journalLines(), 0);
    QCOMPARE(suiImagePanel2()->text() + u'|' + suiImagePanel3()->text() + u'|' + popis1()->value(4),
             u"SILO: 07|SILO: 09|20"_s);
}

void MovementsTest::transferFromBToA()
{
    select(7);
    select(8);
    dialogs->queue({Move, {}});
    suiArrowButton1Click(); // 19,5 t of silo 8 into the 30 t free in silo 7
    QCOMPARE(dialogs->texts(), QStringList{u"Opravdu přesunout osivo ze SILO: 08 do SILO: 07?"_s});
    QCOMPARE(stocks(), (QList<double>{39.5, 0, 0, 5}));
    QCOMPARE(firstColumn(db->admin(), u"select concat(silo, '>', silob) from ppsilap"_s), u"08>07"_s);
}

// The suite's other modules widen the silo table's lot column and give it
// utf8mb4; the journal keeps 30 characters of Windows-1250. A lot shows and
// compares exactly, and one the journal would not hold exactly is refused,
// with nothing written.
void MovementsTest::lotsTheJournalCannotHold_data()
{
    QTest::addColumn<QString>("lot");
    QTest::addColumn<QString>("notice"); // empty: the transfer is written
    const QString notWritten = u"!\nPohyb nebyl zapsán."_s;
    const QString foreign = u"Partie „%1“ obsahuje znaky, které historie pohybů neuloží (sloupec ppsilap.partie v kódování cp1250)"_s;
    QTest::newRow("Czech lot") << u"Žluťoučký-1"_s << QString();
    QTest::newRow("Cyrillic lot") << u"АБВ-1"_s << foreign.arg(u"АБВ-1"_s) + notWritten;
    QTest::newRow("emoji lot") << u"\U0001F600-2026"_s << foreign.arg(u"\U0001F600-2026"_s) + notWritten;
    const QString longLot = QString(200, u'P');
    QTest::newRow("200 characters") << longLot
        << u"Partie „%1“ je delší, než pojme historie pohybů (sloupec ppsilap.partie, nejvýše 30 znaků)"_s.arg(longLot) + notWritten;
}

void MovementsTest::lotsTheJournalCannotHold()
{
    QFETCH(QString, lot);
    QFETCH(QString, notice);
    db->execute(u"alter table ppsila modify partie varchar(250) character set utf8mb4 default ''"_s);
    db->admin().execute(u"update ppsila set partie = \"%1\" where silo in (7, 8)"_s.arg(db->admin().escape(lot)));
    db->execute(u"update ppsila set partie = 'ГДЕ-1' where silo = 10"_s);
    restartConsole();
    select(7);
    QCOMPARE(popis1()->value(detail::LotRow), lot);
    select(10); // another lot, however the code page would render them
    QCOMPARE(snapshot().vyber_b, 0);
    select(9);
    dialogs->queue({Move, {}});
    suiArrowButton2()->click();
    QCOMPARE(journalLines(), notice.isEmpty() ? 1 : 0);
    QCOMPARE(row(9).partie, notice.isEmpty() ? lot : QString());
    if (!notice.isEmpty())
        QCOMPARE(dialogs->texts().last(), notice);
}

void MovementsTest::removalFromEitherPanel()
{
    select(7);
    select(9);
    suiButton2Click();
    select(8); // B: silo 8
    popis2()->setValue(4, u"4,5"_s);
    dialogs->queue({Move, {}});
    suiButton4Click(suiButton5());
    QCOMPARE(dialogs->texts(), QStringList{u"Opravdu přesunout osivo ze SILO: 08 mimo silo?"_s});
    QCOMPARE(stocks(), (QList<double>{20, 15, 0, 5}));
    QCOMPARE(firstColumn(db->admin(), u"select concat(silo, '|', silob, '|', mnozstvi) from ppsilap"_s), u"08||4.5"_s);
    QCOMPARE(suiImagePanel2()->text(), u"SILO"_s); // both panels emptied

    select(7);
    dialogs->queue({Move, {}});
    suiButton4Click(suiButton4());
    QCOMPARE(row(7).stav, 0.0);
    QCOMPARE(row(7).partie, QString());
}

void MovementsTest::failedStatementLeavesNothingAndResetsDrivenModes()
{
    // The stock update of the source fails: the journal line is not kept either.
    db->execute(u"create trigger no_take before update on ppsila for each row "
                  "begin if new.stav < old.stav then signal sqlstate '45000' set message_text = 'sklad zamcen'; "
                  "end if; end"_s);
    select(7);
    select(9);
    suiArrowButton2()->Tag = 1;
    QVERIFY_THROWS_EXCEPTION(DbError, suiArrowButton2Click());
    QCOMPARE(suiArrowButton2()->Tag, 0);
    QCOMPARE(journalLines(), 0);
    QCOMPARE(row(9).stav, 0.0);
    QCOMPARE(row(9).navoz, QString());
    QCOMPARE(suiImagePanel3()->text(), u"SILO: 09"_s); // panels keep their contents

    suiButton4()->Tag = 3;
    QVERIFY_THROWS_EXCEPTION(DbError, suiButton4Click(suiButton4()));
    QCOMPARE(suiButton4()->Tag, 1);
    QCOMPARE(journalLines(), 0);

    // Through the button the error reaches the operator's error display.
    dialogs->queue({Move, {}});
    suiArrowButton2()->click();
    QCOMPARE(dialogs->texts().last(), u"sklad zamcen"_s);
    QCOMPARE(row(7).stav, 20.0);

    // Each statement in turn: the connection dies just before it. The
    // movement is rolled back and made again, once, on a new session...
    db->execute(u"drop trigger no_take"_s);
    const movement::TransferOrder order{u"07"_s, u"09"_s, u"1"_s, {u"123"_s, {}, {}, {}},
                                        snapshot().sila_id[7], snapshot().sila_id[9],
                                        u"2026-12-09 10:00:00"_s};
    constexpr int TransferStatements = movement::transferstep::Count;
    for (int failing = 1; failing <= TransferStatements; ++failing) {
        Connection mover;
        mover.open(db->settings());
        QCOMPARE(movement::executeTransfer(mover, order, 1, movement::Locking::Rows, killBefore(mover, failing)),
                 movement::Outcome::Done);
        QCOMPARE(journalLines(), failing);
        QCOMPARE(stocks(), (QList<double>{20.0 - failing, 19.5, double(failing), 5}));
    }
    // ... and when every try dies, nothing of it stays.
    const movement::RemovalOrder removal{u"07"_s, u"5"_s, {u"123"_s, {}, {}, {}}, snapshot().sila_id[7],
                                         u"2026-12-09 10:05:00"_s};
    constexpr int RemovalStatements = movement::removalstep::Count;
    for (int failing = 1; failing <= RemovalStatements; ++failing) {
        Connection mover;
        mover.open(db->settings());
        QVERIFY_THROWS_EXCEPTION(DbError, movement::executeRemoval(mover, removal, 5, movement::Locking::Rows,
                                                                   killBefore(mover, failing, Tries::Every)));
        QCOMPARE(journalLines(), TransferStatements);
        QCOMPARE(row(7).stav, 20.0 - TransferStatements);
    }
}

void MovementsTest::movementsAtTheEdges_data()
{
    QTest::addColumn<Edge>("edge");
    const QList<double> untouched{20, 19.5, 0, 5};
    const QString target9Navoz = u"select navoz from ppsila where silo = 9"_s;
    const QString source7Cleared = u"select concat(partie, '|', ifnull(navoz, 'none')) from ppsila where silo = 7"_s;
    const QString remainder = u"update ppsila set stav = 12.454e0 - 0.1e0 where silo = 7"_s; // 12.354000000000001
    const double remainderStock = 12.454 - 0.1;
    const QString filled9 = u"update ppsila set stav = 30, partie = '123' where silo = 9"_s;

    QTest::newRow("the whole stock into an empty target, which gets the source's filling date") << Edge{
        .stocks = {0, 19.5, 20, 5}, .journal = {20},
        .check = u"select concat_ws('|', stav, partie, naz_dru, nazevosiva, ifnull(navoz, 'none'), ifnull(ppohyb, 'none')) "
                 "from ppsila where silo = 7 union all select concat_ws('|', l.silo, l.silob, s.partie, s.navoz, "
                 "l.datum = s.ppohyb) from ppsilap l, ppsila s where s.silo = 9"_s,
        .checked = u"0||||none|none\n07|09|123|2026-10-01 08:00:00|1"_s};
    QTest::newRow("texts with quotes and backslashes are stored as they read") << Edge{
        .before = u"update ppsila set partie = 'L\"1'' \\\\x', naz_odru = 'O''Brien \"Q\"' where silo = 7"_s,
        .stocks = {0, 19.5, 20, 5}, .journal = {20},
        .check = u"select concat(partie, '|', naz_odru) from ppsilap union all select partie from ppsila where silo = 9"_s,
        .checked = u"L\"1' \\x|O'Brien \"Q\"\nL\"1' \\x"_s};
    QTest::newRow("NULL target counts as empty") << Edge{.before = u"update ppsila set stav = null where silo = 9"_s,
        .quantity = u"5"_s, .stocks = {15, 19.5, 5, 5}, .journal = {5}, .check = target9Navoz,
        .checked = u"2026-10-01 08:00:00"_s};
    QTest::newRow("target deleted before its selection cannot be selected") << Edge{
        .before = u"delete from ppsila where silo = 9"_s, .quantity = u"2"_s, .told = QuantityError,
        .stocks = {20, 19.5, NoRow, 5}};
    QTest::newRow("source deleted meanwhile, driven") << Edge{.meanwhile = u"delete from ppsila where silo = 7"_s,
        .action = Action::DrivenTransfer, .code = 300, .stocks = {NoRow, 19.5, 0, 5}};
    QTest::newRow("source emptied meanwhile") << Edge{.meanwhile = u"update ppsila set stav = 0 where silo = 7"_s,
        .told = StockChanged, .stocks = {0, 19.5, 0, 5}};
    QTest::newRow("source lowered meanwhile, driven") << Edge{.meanwhile = u"update ppsila set stav = 12 where silo = 7"_s,
        .action = Action::DrivenTransfer, .code = 400, .stocks = {12, 19.5, 0, 5}};
    QTest::newRow("removal from a lowered silo") << Edge{.selected = {7},
        .meanwhile = u"update ppsila set stav = 12 where silo = 7"_s, .action = Action::Removal, .told = StockChanged,
        .stocks = {12, 19.5, 0, 5}};
    QTest::newRow("source refilled with another lot meanwhile") << Edge{
        .meanwhile = u"update ppsila set partie = '456' where silo = 7"_s, .told = StockChanged, .stocks = untouched};
    QTest::newRow("target filled with another lot meanwhile, driven") << Edge{
        .meanwhile = u"update ppsila set stav = 3, partie = '456' where silo = 9"_s, .action = Action::DrivenTransfer,
        .code = 400, .stocks = {20, 19.5, 3, 5}};
    QTest::newRow("removal from a silo refilled with another lot") << Edge{.selected = {7},
        .meanwhile = u"update ppsila set partie = '456' where silo = 7"_s, .action = Action::Removal,
        .told = StockChanged, .stocks = untouched};
    QTest::newRow("removal from a deleted silo, driven") << Edge{.selected = {7},
        .meanwhile = u"delete from ppsila where silo = 7"_s, .action = Action::DrivenRemoval, .code = 300,
        .stocks = {NoRow, 19.5, 0, 5}};
    QTest::newRow("zero transfer") << Edge{.quantity = u"0"_s, .told = QuantityError, .stocks = untouched};
    QTest::newRow("negative transfer, driven") << Edge{.selected = {7, 8}, .quantity = u"-5"_s,
        .action = Action::DrivenTransfer, .code = 200, .stocks = untouched};
    QTest::newRow("whole stock with a floating remainder") << Edge{.before = remainder,
        .stocks = {0, 19.5, remainderStock, 5}, .journal = {remainderStock}, .check = source7Cleared,
        .checked = u"|none"_s};
    QTest::newRow("removal of a floating remainder") << Edge{.before = remainder, .selected = {7},
        .action = Action::Removal, .stocks = {0, 19.5, 0, 5}, .journal = {remainderStock}, .check = source7Cleared,
        .checked = u"|none"_s};
    QTest::newRow("less than half a kilo left takes it all, driven") << Edge{.quantity = u"19,9996"_s,
        .action = Action::DrivenTransfer, .code = 0, .stocks = {0, 19.5, 20, 5}, .journal = {20},
        .check = source7Cleared, .checked = u"|none"_s};
    QTest::newRow("driven removal of a silo lowered by a hair") << Edge{.selected = {7},
        .meanwhile = u"update ppsila set stav = 19.9996 where silo = 7"_s, .action = Action::DrivenRemoval, .code = 3,
        .stocks = {0, 19.5, 0, 5}, .journal = {19.9996}, .check = source7Cleared, .checked = u"|none"_s};
    QTest::newRow("12,3 into a panel's 10,3 free") << Edge{
        .before = u"update ppsila set stav = 39.7, kapacita = 50 where silo = 8"_s, .selected = {7, 8},
        .quantity = u"12,3"_s, .stocks = {20 - 12.3, 39.7 + 12.3, 0, 5}, .journal = {12.3}};
    QTest::newRow("12,51 into 10,5 free") << Edge{.selected = {7, 8}, .quantity = u"12,51"_s, .told = NoCapacity,
        .stocks = untouched};
    QTest::newRow("target filled meanwhile past the panel's free space, driven") << Edge{.meanwhile = filled9,
        .quantity = u"15"_s, .action = Action::DrivenTransfer, .code = 100, .stocks = {20, 19.5, 30, 5}};
    QTest::newRow("target filled meanwhile past the panel's free space") << Edge{.meanwhile = filled9,
        .quantity = u"15"_s, .told = NoCapacity, .stocks = {20, 19.5, 30, 5}};
    QTest::newRow("part of the stock into a filled target, which keeps its filling date") << Edge{
        .selected = {7, 8}, .quantity = u"2,5"_s, .stocks = {17.5, 22, 0, 5}, .journal = {2.5},
        .check = u"select concat((select navoz from ppsila where silo = 8), '|', partie, '|', "
                 "ppohyb <> '2026-11-01 09:00:00') from ppsila where silo = 7"_s,
        .checked = u"2026-09-01 08:00:00|123|1"_s};
    QTest::newRow("no filling date") << Edge{.before = u"update ppsila set navoz = null where silo = 7"_s,
        .quantity = u"5"_s, .stocks = {15, 19.5, 5, 5}, .journal = {5}, .check = target9Navoz,
        .checked = u"1899-12-30 00:00:00"_s};
    QTest::newRow("zero filling date") << Edge{.before = u"update ppsila set navoz = '0000-00-00 00:00:00' where silo = 7"_s,
        .quantity = u"5"_s, .stocks = {15, 19.5, 5, 5}, .journal = {5}, .check = target9Navoz,
        .checked = u"1899-12-30 00:00:00"_s};
    QTest::newRow("day 0 filling date, driven") << Edge{
        .before = u"update ppsila set navoz = '2015-03-00 10:00:00' where silo = 7"_s, .quantity = u"5"_s,
        .action = Action::DrivenTransfer, .code = 0, .stocks = {15, 19.5, 5, 5}, .journal = {5},
        .check = target9Navoz, .checked = u"1899-12-30 00:00:00"_s};
}

void MovementsTest::movementsAtTheEdges()
{
    QFETCH(Edge, edge);
    if (!edge.before.isEmpty())
        db->execute(edge.before);
    for (int silo : edge.selected)
        select(silo);
    if (!edge.meanwhile.isEmpty())
        db->execute(edge.meanwhile);
    if (!edge.quantity.isNull())
        popis1()->setValue(4, edge.quantity);
    const double total = db->storeTotal();

    const bool transfer = edge.action == Action::Transfer || edge.action == Action::DrivenTransfer;
    ui::SuiButton *removal = suiButton4();
    suiArrowButton2()->Tag = edge.action == Action::DrivenTransfer ? 1 : 0;
    removal->Tag = edge.action == Action::DrivenRemoval ? 3 : 1;
    dialogs->queue({Move, {}});
    transfer ? suiArrowButton2Click() : suiButton4Click(removal);

    if (edge.code == Console) {
        const QStringList notices = dialogs->texts().filter(QRegularExpression(u"^(?!Opravdu)"_s));
        QCOMPARE(notices, edge.told.isEmpty() ? QStringList() : QStringList{edge.told});
    } else {
        QVERIFY2(dialogs->asked.isEmpty(), qPrintable(dialogs->texts().join(u'|')));
        QCOMPARE(transfer ? suiArrowButton2()->Tag : removal->Tag, edge.code);
    }
    // Lists of doubles compare exactly, element by element.
    QCOMPARE(stocks(), edge.stocks);
    QCOMPARE(db->journalQuantities(), edge.journal);
    QCOMPARE(db->storeTotal(), total);
    if (!edge.check.isEmpty())
        QCOMPARE(firstColumn(db->admin(), edge.check), edge.checked);
    QCOMPARE(history().rowCount(), int(edge.journal.size()));
    if (edge.journal.isEmpty()) { // a refused movement leaves the panels as they were
        QCOMPARE(suiImagePanel2()->text(), u"SILO: 07"_s);
        return;
    }
    // A booked one empties both panels, and the overview shows the new stock.
    QCOMPARE(suiImagePanel2()->text() + u'|' + suiImagePanel3()->text(), u"SILO|SILO"_s);
    QCOMPARE((QList<int>{snapshot().vyber_a, snapshot().vyber_b}), (QList<int>{0, 0}));
    QCOMPARE(double(snapshot().sila_stav[9]), stocks()[2]);
    suiArrowButton2()->Tag = 0;
    suiArrowButton2Click();
    QCOMPARE(dialogs->texts().last(), QuantityError);
}

void MovementsTest::tablesWithoutTransactionsAreLockedWhole()
{
    console.reset();
    db->execute(u"alter table ppsila engine = MyISAM"_s);
    db->execute(u"alter table ppsilap engine = MyISAM"_s);
    restartConsole();
    QCOMPARE(dialogs->texts(),
             QStringList{u"Tabulky sil nepodporují transakce!\nNezdařený pohyb osiva nelze vrátit zpět."_s});

    // A first statement that the server refuses wrote nothing, and is told as it is.
    db->execute(u"create trigger no_journal before insert on ppsilap for each row "
                "signal sqlstate '45000' set message_text = 'historie zamcena'"_s);
    Connection writer;
    writer.open(db->settings());
    const movement::TransferOrder order{u"07"_s, u"09"_s, u"5"_s, {u"123"_s, {}, {}, {}}, snapshot().sila_id[7],
                                        snapshot().sila_id[9], u"2026-12-09 10:00:00"_s};
    try {
        movement::executeTransfer(writer, order, 5, movement::Locking::Tables);
        QFAIL("a refused journal line was reported as written");
    } catch (const DbError &error) {
        QVERIFY2(error.code() != DbError::PartlyWritten, qPrintable(error.message()));
        QVERIFY(error.serverMessage().contains(u"historie zamcena"_s));
    }
    db->execute(u"drop trigger no_journal"_s);
    QCOMPARE(journalLines(), 0);

    select(7);
    select(9);
    popis1()->setValue(4, u"5"_s);
    dialogs->queue({Move, {}});
    suiArrowButton2Click();
    QCOMPARE(row(9).stav, 5.0);
    QCOMPARE(scalar(ZConnection1(), u"select variable_value from information_schema.session_status "
                                    "where variable_name = 'Com_lock_tables'"_s), 1);

    // While a movement writes, another workstation cannot change a silo.
    Connection mover;
    mover.open(db->settings());
    Connection other;
    other.open(db->settings());
    other.execute(u"set session lock_wait_timeout = 1"_s);
    const QString emptySilo7 = u"update ppsila set stav = 0 where silo = 7"_s;
    std::optional<unsigned int> refused;
    const auto writeElsewhere = [&](int statement) {
        if (statement != movement::transferstep::TakeFromSource)
            return;
        try {
            other.execute(emptySilo7);
        } catch (const DbError &error) {
            refused = error.code();
        }
    };
    QCOMPARE(movement::executeTransfer(mover, order, 5, movement::Locking::Tables, writeElsewhere),
             movement::Outcome::Done);
    QVERIFY(refused && DbError(*refused, {}).isTransient());
    QCOMPARE(row(7).stav, 10.0);
    other.execute(emptySilo7); // free again
    QCOMPARE(row(7).stav, 0.0);

    // A movement cut off half way is never sent again, and says so; nor does
    // a read after the cut go on without the locks on a new session.
    const movement::TransferOrder back{u"09"_s, u"07"_s, u"5"_s, {u"123"_s, {}, {}, {}}, order.targetId,
                                       order.sourceId, u"2026-12-09 10:05:00"_s};
    for (int failing : {movement::transferstep::ReadSource, movement::transferstep::AddToTarget}) {
        const qint64 linesBefore = journalLines();
        try {
            movement::executeTransfer(mover, back, 5, movement::Locking::Tables, killBefore(mover, failing));
            QFAIL("a movement cut off half way reported success");
        } catch (const DbError &error) {
            QCOMPARE(error.code(), DbError::PartlyWritten);
        }
        QCOMPARE(journalLines(), linesBefore + 1);
    }
}

// A movement made at the console and reversed from its history line; in
// between another workstation may change the silos (%1 stands for the
// line's id). A refused reversal writes nothing; a booked one is journalled
// as a movement of its kind pointing at the line, and the history shows it.
void MovementsTest::reversals_data()
{
    QTest::addColumn<ReversalCase>("reversal");
    const QString notWritten = u" Storno nebylo zapsáno."_s;
    const QString silo7 = u"select concat(partie, '|', naz_odru, '|', ifnull(navoz, 'none')) from ppsila where silo = 7"_s;
    const QString filledNow = u"select concat(partie, '|', naz_odru, '|', navoz = (select max(datum) from ppsilap)) "
                               "from ppsila where silo = 7"_s;
    const QString silo9 = u"select concat(partie, '|', ifnull(navoz, 'none'), '|', ifnull(ppohyb, 'none')) "
                           "from ppsila where silo = 9"_s;

    QTest::newRow("transfer into an empty silo: the seed goes back with its lot data and filling date")
        << ReversalCase{.journal = u"09|07|20|Bohemia|09|07"_s, .check = silo7 + u" union all "_s + silo9,
                        .checked = u"123|Bohemia|2026-10-01 08:00:00\n|none|none"_s};
    QTest::newRow("part of a transfer into a filled silo, which keeps its filling date")
        << ReversalCase{.selected = {7, 8}, .quantity = u"2,5"_s, .journal = u"08|07|2.5|Bohemia|08|07"_s,
                        .check = u"select navoz from ppsila where silo = 8"_s, .checked = u"2026-09-01 08:00:00"_s};
    QTest::newRow("removal of the whole stock comes back, filled as of the reversal") << ReversalCase{
        .selected = {7}, .journal = u"07||20|Bohemia|N|07"_s, .check = filledNow, .checked = u"123|Bohemia|1"_s};
    QTest::newRow("part of a removal comes back") << ReversalCase{.selected = {7}, .quantity = u"5"_s,
        .journal = u"07||5|Bohemia|N|07"_s, .check = silo7, .checked = u"123|Bohemia|2026-10-01 08:00:00"_s};
    QTest::newRow("a target short by less than half a kilo gives back all it holds") << ReversalCase{
        .meanwhile = u"update ppsila set stav = 19.9996 where silo = 9"_s, .stocks = {19.9996, 19.5, 0, 5},
        .journal = u"09|07|19.9996|Bohemia|09|07"_s, .check = silo9, .checked = u"|none|none"_s};

    QTest::newRow("the target holds less now") << ReversalCase{.meanwhile = u"update ppsila set stav = 12 where silo = 9"_s,
        .told = u"SILO: 09 již neobsahuje 20,000 t partie 123 (nyní 12,000 t)!"_s + notWritten, .stocks = {0, 19.5, 12, 5}};
    QTest::newRow("the target holds another lot now") << ReversalCase{
        .meanwhile = u"update ppsila set stav = 30, partie = '456' where silo = 9"_s,
        .told = u"SILO: 09 již neobsahuje 20,000 t partie 123 (nyní 30,000 t partie 456)!"_s + notWritten,
        .stocks = {0, 19.5, 30, 5}};
    QTest::newRow("the source holds another lot now") << ReversalCase{
        .meanwhile = u"update ppsila set stav = 3, partie = '456' where silo = 7"_s,
        .told = u"SILO: 07 nyní obsahuje jinou partii (456)!"_s + notWritten, .stocks = {3, 19.5, 20, 5}};
    QTest::newRow("the source has no room now") << ReversalCase{.selected = {7, 8}, .quantity = u"2,5"_s,
        .meanwhile = u"update ppsila set stav = 49.6 where silo = 7"_s,
        .told = u"Není kapacita pro vrácení 2,500 t do SILO: 07!"_s + notWritten, .stocks = {49.6, 22, 0, 5}};
    QTest::newRow("the target's row is gone") << ReversalCase{.meanwhile = u"delete from ppsila where silo = 9"_s,
        .told = u"SILO: 09 již v databázi neexistuje!"_s + notWritten, .stocks = {0, 19.5, NoRow, 5}};
    QTest::newRow("the removal's row is gone") << ReversalCase{.selected = {7},
        .meanwhile = u"delete from ppsila where silo = 7"_s, .told = u"SILO: 07 již v databázi neexistuje!"_s + notWritten,
        .stocks = {NoRow, 19.5, 0, 5}};
    QTest::newRow("reversed elsewhere meanwhile") << ReversalCase{
        .meanwhile = u"insert into ppsilap (silo, silob, cislopp, mnozstvi, partie, datum) "
                     "values ('09', '07', 'ST %1', 20, '123', now())"_s,
        .told = u"Pohyb ze SILO: 07 do SILO: 09, 20,000 t partie 123 již byl stornován!"_s + notWritten,
        .stocks = {0, 19.5, 20, 5}};
}

void MovementsTest::reversals()
{
    QFETCH(ReversalCase, reversal);
    const auto &[selected, quantity, meanwhile, told, stocks, journal, check, checked] = reversal;
    for (int silo : selected)
        select(silo);
    if (!quantity.isNull())
        popis1()->setValue(4, quantity);
    dialogs->queue({Move, {}});
    selected.size() == 2 ? suiArrowButton2Click() : suiButton4Click(suiButton4());
    const qint64 reversed = history().lineId(0);
    if (!meanwhile.isEmpty())
        db->execute(QString(meanwhile).replace(u"%1"_s, QString::number(reversed)));
    const double total = db->storeTotal();
    const qint64 lines = journalLines();
    dialogs->asked.clear();

    QVERIFY(reverseLine(0));
    QCOMPARE(dialogs->asked.first().buttons, (QStringList{u"stornovat"_s, u"zpět"_s}));
    QCOMPARE(dialogs->texts().mid(1), told.isEmpty() ? QStringList() : QStringList{told});
    QCOMPARE(this->stocks(), stocks);
    QCOMPARE(db->storeTotal(), total);
    QCOMPARE(journalLines(), lines + (told.isEmpty() ? 1 : 0));
    if (!told.isEmpty())
        return;
    Result line = db->admin().query(u"select concat(silo, '|', silob, '|', mnozstvi, '|', naz_odru) as v, cislopp, "
                                    "datum from ppsilap order by id desc limit 1"_s);
    QVERIFY(line.next());
    QCOMPARE(line.toText(u"cislopp"_s), u"ST %1"_s.arg(reversed));
    QCOMPARE(line.toText(u"v"_s) + u'|' + history().index(0, 1).data().toString() + u'|'
                 + history().index(0, 2).data().toString(), journal);
    QCOMPARE(history().lineId(1), reversed);
    QVERIFY(history().isCancelled(0) && history().isCancelled(1));
    QCOMPARE(firstColumn(db->admin(), check), checked);
}

// Once reversed, a line is never reversed again: its menu item is off, and
// a second order for it, from this workstation's menu or another's, is
// refused, as is the reversal of a reversal; the lines' texts must fit.
void MovementsTest::reversalIsBookedOnce()
{
    using movement::ReversalOutcome;
    // The program's lines name their document number: none, whatever the default.
    db->execute(u"alter table ppsilap modify cislopp varchar(20) null default null"_s);
    select(7);
    select(9);
    dialogs->queue({Move, {}});
    suiArrowButton2Click();
    const qint64 transfer = history().lineId(0);
    QVERIFY(reverseLine(0, Storno)); // "zpět" writes nothing
    QCOMPARE(journalLines(), 1);
    QVERIFY(reverseLine(0));
    const qint64 reversal = history().lineId(0);
    QCOMPARE(journalLines(), 2);
    QVERIFY(!reverseLine(0)); // the reversal
    QVERIFY(!reverseLine(1)); // the reversed transfer

    Connection other;
    other.open(db->settings());
    const QString now = formatTimestamp(QDateTime::currentDateTime());
    QCOMPARE(movement::executeReversal(other, transfer, now).outcome, ReversalOutcome::AlreadyReversed);
    QCOMPARE(movement::executeReversal(other, reversal, now).outcome, ReversalOutcome::IsReversal);
    QCOMPARE(movement::executeReversal(other, reversal + 1, now).outcome, ReversalOutcome::LineGone);
    db->execute(u"insert into ppsilap (silo, silob, cislopp, mnozstvi, datum) values ('10', '', 'PP1', 5, now())"_s);
    QCOMPARE(movement::executeReversal(other, db->admin().lastInsertId(), now).outcome, ReversalOutcome::NotReversible);
    QCOMPARE(journalLines(), 3);
    QCOMPARE(stocks(), (QList<double>{20, 19.5, 0, 5}));

    // Seed coming back into an emptied silo whose lot column is now too narrow for it.
    select(7);
    dialogs->queue({Move, {}});
    suiButton4Click(suiButton4());
    const qint64 removal = history().lineId(0);
    // Another module's document number that looks like a reversal's mark.
    db->execute(u"insert into ppsilap (silo, silob, cislopp, mnozstvi, partie, datum) values ('07', '', 'ST %1', 1, "
                "'X', now())"_s.arg(removal));
    db->execute(u"alter table ppsila modify partie varchar(2) default ''"_s);
    QVERIFY_THROWS_EXCEPTION(movement::TextDoesNotFit,
                             movement::executeReversal(other, removal, now, movement::describeTables(other)));
    QCOMPARE(journalLines(), 5);
    QCOMPARE(row(7).stav, 0.0);
}

QTEST_MAIN(MovementsTest)
#include "tst_movements.moc"
