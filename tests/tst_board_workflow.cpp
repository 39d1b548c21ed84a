// Movements ordered on the board and carried out by the console: transfers
// with each of their results, a removal, the grid boundary at silos 50 and
// 51, database errors, the real dialogs, and the ways of leaving the board.
#include "BoardFixture.h"
#include "ui/SkinnedFrame.h"

#include <QLabel>
#include <QTimer>

#include <QtTest>

using namespace granovia;
using namespace granovia::test;
using namespace Qt::StringLiterals;

namespace {

const QString Storage = u"Osivo ze sila SILO %1 přesunuto do sila SILO %2!"_s;
const QString NoCapacity = u"V cílovém silu malá kapacita pro přesun!"_s;

} // namespace

class BoardWorkflowTest final : public QObject, public BoardFixture {
    Q_OBJECT
private slots:
    void initTestCase() { GRANOVIA_REQUIRE_SERVER(); }
    void init() { openBoard(); }
    void cleanup() { closeAll(); }

    void transferDone();
    void transferRefused_data();
    void transferRefused();
    void sourcesTheConsoleWouldRefuse_data();
    void sourcesTheConsoleWouldRefuse();
    void silos50And51BothWays();
    void removal();
    void databaseErrorKeepsThePicks_data();
    void databaseErrorKeepsThePicks();

    void realInfoDialogLooksAsDesigned();
    void realNoticeDialogLooksAsDesigned();
    void hotKeyLeavesTheBoard();
    void hotKeyClosesAnOpenDialog();
    void windowManagerCloseRunsTheHotKeySteps();
    void escapeDoesNotCloseTheBoard();

private:
    void expectConsoleMode();
    QString lastNotice() const { return dialogs->asked.isEmpty() ? QString() : dialogs->asked.last().text; }
};

void BoardWorkflowTest::expectConsoleMode()
{
    QCOMPARE(suiArrowButton2()->Tag, 0);
    QCOMPARE(suiButton4()->Tag, 1);
}

void BoardWorkflowTest::transferDone()
{
    confirm(1);
    confirm(6);
    // A second tap while the movement runs finds the board busy.
    bool busy = false;
    QTimer::singleShot(0, board.get(), [this, &busy] {
        busy = !board->suiButton1->isEnabled() && !board->tlacitka[2]->isEnabled()
            && QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        board->suiButton1->click();
        board->tlacitka[2]->click();
    });
    board->suiButton1->click();
    QVERIFY2(busy, "the board took touches while the movement ran");
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(dialogs->asked.size(), 3);
    QCOMPARE(lastNotice(), Storage.arg(1).arg(6));
    QCOMPARE(dialogs->asked.last().buttons, QStringList{u"OK"_s});
    QCOMPARE(db->silo(1).stav, 0.0);
    QCOMPARE(db->silo(1).partie, QString());
    QCOMPARE(db->silo(6).stav, 30.0);
    QCOMPARE(db->silo(6).partie, u"A1"_s);
    QCOMPARE(journal(), QStringList{u"01>06 30"_s});

    expectNothingPicked();
    expectPicked(1, false);
    expectPicked(6, false);
    QCOMPARE(offeredSilos().size(), 99);
    expectConsoleMode();
    QCOMPARE(snapshot().vyber_a + snapshot().vyber_b, 0); // no panel bound
    // Both glyphs show the new stocks.
    const int height = board->tlacitka[1]->height() - 4;
    QCOMPARE(redRows(glyphOf(board->tlacitka[1])), 0);
    QCOMPARE(redRows(glyphOf(board->tlacitka[6])), int(height * (30.0 / 80.0)));
}

void BoardWorkflowTest::transferRefused_data()
{
    QTest::addColumn<bool>("sourceTwice");
    QTest::newRow("empty silo too small: 100") << false;
    QTest::newRow("source touched again: it stays the source, no dialog") << true;
}

void BoardWorkflowTest::transferRefused()
{
    QFETCH(bool, sourceTwice);
    confirm(1);
    confirm(4);
    if (sourceTwice) {
        const qsizetype asked = dialogs->asked.size();
        board->tlacitka[1]->click();
        QCOMPARE(dialogs->asked.size(), asked);
        expectPicks(2, 1, 4);
        QCOMPARE(board->suiButton1->text(), u"přesun ze SILO 1 do SILO 4"_s);
    }
    board->suiButton1->click();
    QCOMPARE(lastNotice(), NoCapacity);
    QCOMPARE(db->silo(1).stav, 30.0);
    QCOMPARE(journalLines(), 0);
    expectNothingPicked();
    expectConsoleMode();
}

// A silo the console would not take as a source is refused at its pick, in words.
void BoardWorkflowTest::sourcesTheConsoleWouldRefuse_data()
{
    QTest::addColumn<int>("silo");
    QTest::addColumn<QString>("notice");
    QTest::newRow("empty") << 9 << u"V sile SILO 9 není osivo, není co přesunout ani odvézt!"_s;
    QTest::newRow("negative stock") << 14 << u"V sile SILO 14 není osivo, není co přesunout ani odvézt!"_s;
    QTest::newRow("stock without a lot") << 15 << u"Osivo v sile SILO 15 nemá partii, nelze je přesunout ani odvézt!"_s;
}

void BoardWorkflowTest::sourcesTheConsoleWouldRefuse()
{
    QFETCH(int, silo);
    QFETCH(QString, notice);
    dialogs->queue({Tinfos::Take, {}});
    board->tlacitka[size_t(silo)]->click();
    QCOMPARE(dialogs->asked.size(), 2);
    QCOMPARE(lastNotice(), notice);
    expectNothingPicked();
    expectPicked(silo, false);
    QCOMPARE(journalLines(), 0);
}

void BoardWorkflowTest::silos50And51BothWays()
{
    confirm(50);
    QVERIFY(board->tlacitka[51]->isEnabled());
    confirm(51);
    board->suiButton1->click();
    QCOMPARE(lastNotice(), Storage.arg(50).arg(51));
    QCOMPARE(db->silo(50).stav, 0.0);
    QCOMPARE(db->silo(51).stav, 20.0);
    QCOMPARE(db->silo(51).partie, u"E5"_s);

    confirm(51);
    QVERIFY(board->tlacitka[50]->isEnabled());
    confirm(50);
    board->suiButton1->click();
    QCOMPARE(lastNotice(), Storage.arg(51).arg(50));
    QCOMPARE(db->silo(50).stav, 20.0);
    QCOMPARE(db->silo(51).stav, 0.0);
    QCOMPARE(journal(), (QStringList{u"50>51 20"_s, u"51>50 20"_s}));
}

void BoardWorkflowTest::removal()
{
    confirm(7);
    board->suiButton4->click();
    QCOMPARE(dialogs->asked.size(), 1); // no notice after a removal
    QCOMPARE(db->silo(7).stav, 0.0);
    QCOMPARE(db->silo(7).partie, QString());
    QCOMPARE(journal(), QStringList{u"07> 12.3456"_s});
    expectNothingPicked();
    expectPicked(7, false);
    expectConsoleMode();
    QCOMPARE(redRows(glyphOf(board->tlacitka[7])), 0);
}

void BoardWorkflowTest::databaseErrorKeepsThePicks_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<bool>("removal");
    QTest::newRow("transfer: journal missing, the console fails") << u"ppsilap"_s << false;
    QTest::newRow("transfer: silo table missing, the selection fails") << u"ppsila"_s << false;
    QTest::newRow("removal: journal missing, the console fails") << u"ppsilap"_s << true;
}

void BoardWorkflowTest::databaseErrorKeepsThePicks()
{
    QFETCH(QString, table);
    QFETCH(bool, removal);
    confirm(1);
    if (!removal)
        confirm(6);
    const qsizetype asked = dialogs->asked.size();
    db->execute(u"rename table %1 to gone"_s.arg(table));
    (removal ? board->suiButton4 : board->suiButton1)->click();
    db->execute(u"rename table gone to %1"_s.arg(table));
    QCOMPARE(dialogs->asked.size(), asked + 1);
    // Czech only: the server's text about the table is for standard error.
    QCOMPARE(lastNotice(), u"Databáze ohlásila chybu 1146!\nAkce nebyla provedena."_s);
    expectPicks(removal ? 1 : 2, 1, removal ? 0 : 6);
    expectPicked(1, true);
    if (removal)
        expectBar(u"přesun ze SILO 1"_s, false, u"odvoz ze SILO 1"_s, true);
    else
        expectBar(u"přesun ze SILO 1 do SILO 6"_s, true, u"odvoz"_s, false);
    expectConsoleMode();
    QCOMPARE(db->silo(1).stav, 30.0);
}

void BoardWorkflowTest::realInfoDialogLooksAsDesigned()
{
    dialogs.reset();
    QList<QRect> places;
    QStringList texts;
    ModalWatch watch([&](QWidget *modal) {
        auto *infos = qobject_cast<Tinfos *>(modal);
        QVERIFY(infos);
        // The client area of the skinned frame, whose title bar has a close box only.
        const auto *frame = infos->findChild<ui::SkinnedFrame *>();
        QVERIFY(frame && infos->windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(frame->titleBar()->closeButton() && !frame->titleBar()->maximizeButton());
        // Centred on the board however it was left, every label whole.
        QVERIFY((infos->frameGeometry().center() - board->frameGeometry().center()).manhattanLength() <= 2);
        for (const QLabel *label : infos->findChildren<QLabel *>())
            QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
        places = {frame->client()->rect(), infos->suiImagePanel1->geometry(), infos->values[4]->geometry(),
                  infos->suiButton1->geometry(), infos->suiButton2->geometry()};
        texts = QStringList{frame->titleBar()->caption()->text(), infos->suiImagePanel1->text(),
                            infos->values[4]->text(), infos->values[7]->text(), infos->suiButton1->text(),
                            infos->suiButton2->text()};
        infos->suiButton1->click();
    });
    board->infos->move(0, 0);
    board->tlacitka[7]->click();
    // The client area, the title below the frame's title bar, the quantity, the two buttons.
    QCOMPARE(places, (QList<QRect>{QRect(0, 0, 559, 492), QRect(0, 30, 559, 41), QRect(271, 222, 250, 33),
                                   QRect(30, 390, 242, 76), QRect(279, 390, 242, 76)}));
    QCOMPARE(texts, (QStringList{u"Granovia - silo"_s, u"SILO7"_s, u"12,3456"_s, u"17,65"_s, u"do přesunu"_s, u"storno"_s}));
    expectPicks(1, 7, 0); // "do přesunu" took the silo
}

void BoardWorkflowTest::realNoticeDialogLooksAsDesigned()
{
    confirm(1);
    confirm(6);
    dialogs.reset();
    QList<QRect> places;
    QString text;
    bool wraps = false;
    ModalWatch watch([&](QWidget *modal) {
        auto *foznam = qobject_cast<Tfoznam *>(modal);
        QVERIFY(foznam);
        places = {foznam->findChild<ui::SkinnedFrame *>()->client()->rect(), foznam->text->geometry(),
                  foznam->suiButton1->geometry()};
        text = foznam->text->text();
        wraps = foznam->text->wordWrap();
        foznam->suiButton1->click();
    });
    board->suiButton1->click();
    QCOMPARE(text, Storage.arg(1).arg(6));
    QCOMPARE(places, (QList<QRect>{QRect(0, 0, 572, 314), QRect(30, 55, 506, 146), QRect(30, 225, 506, 76)}));
    QVERIFY(wraps);
    expectNothingPicked();
}

void BoardWorkflowTest::hotKeyLeavesTheBoard()
{
    console->move(console->x(), 5000); // parked, as in panel mode
    board->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(board.get()));
    QVERIFY(board->HotKey1);
    // No X server here: the key works as the application's own shortcut.
    QCOMPARE(board->HotKey1->kind(), ui::HotKey::Kind::ApplicationShortcut);
    QTest::keyClick(board.get(), Qt::Key_F10);
    QTest::keyClick(board.get(), Qt::Key_F10, Qt::ControlModifier);
    QCoreApplication::processEvents();
    QVERIFY2(board->isVisible(), "F10 without Ctrl+Shift left the board");
    QTest::keyClick(board.get(), Qt::Key_F10, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_VERIFY(!board->isVisible());
    QCOMPARE(console->y(), 0);
    QVERIFY2(board->HotKey1.isNull(), "the hot key stays registered");
    QVERIFY(board->infos.isNull());
    QVERIFY(board->foznam.isNull());
}

void BoardWorkflowTest::hotKeyClosesAnOpenDialog()
{
    dialogs.reset();
    console->move(console->x(), 5000);
    QPointer<QWidget> openDialog;
    ModalWatch watch([&](QWidget *modal) {
        openDialog = modal;
        board->HotKey1HotKey();
    });
    const QPointer<Tinfos> infos = board->infos;
    board->tlacitka[1]->click(); // returns once the hot key has closed the dialog
    QCOMPARE(openDialog.data(), static_cast<QWidget *>(infos.data()));
    QCOMPARE(board->krok, 0); // the closed dialog counts as "storno"
    QVERIFY(!board->isVisible());
    QCOMPARE(console->y(), 0);
    QTRY_VERIFY2(infos.isNull(), "the info dialog outlives the hot key");
}

void BoardWorkflowTest::windowManagerCloseRunsTheHotKeySteps()
{
    console->move(console->x(), 5000);
    board->close();
    QVERIFY(!board->isVisible());
    QCOMPARE(console->y(), 0);
    QVERIFY(board->HotKey1.isNull());
}

void BoardWorkflowTest::escapeDoesNotCloseTheBoard()
{
    board->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(board.get()));
    QTest::keyClick(board.get(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    QVERIFY(board->isVisible());
    QVERIFY(board->HotKey1);
}

QTEST_MAIN(BoardWorkflowTest)
#include "tst_board_workflow.moc"
