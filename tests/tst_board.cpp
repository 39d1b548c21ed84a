// The silo board against a real database and a real console: the first
// paint and its glyphs, the info dialog, the picks and the eligible targets,
// transfers and removals driven through the console, reset, errors, and the
// ways of leaving the board.
#include "BoardFixture.h"
#include "board/FillGlyph.h"
#include "ui/SkinnedFrame.h"

#include <QtTest>

using namespace granovia;
using namespace Qt::StringLiterals;
using namespace granovia::test;

class BoardTest final : public QObject, public BoardFixture {
    Q_OBJECT
private slots:
    void initTestCase() { GRANOVIA_REQUIRE_SERVER(); }
    void init() { openBoard(); }
    void cleanup() { closeAll(); }

    void firstPaintLaysOutEveryButton();
    void firstPaintPrecedesTheMapAndReadsOnce();
    void glyphsShowTheFill_data();
    void glyphsShowTheFill();
    void singleRepaintLeavesTheOthers();
    void missingTileDrawsPlainFill();
    void failedFirstPaintIsShown();

    void infoDialogShowsTheSilo_data();
    void infoDialogShowsTheSilo();
    void stornoOrSiloWithoutRowChangesNothing();
    void sourcePickOffersEligibleTargets();
    void touchingTheSourceAgainOpensNoDialog();
    void targetPickAndReplacement();
    void resetDropsPicksAndRepaints();
};

void BoardTest::firstPaintLaysOutEveryButton()
{
    QCOMPARE(board->windowTitle(), u"Granovia - přehled uloženi sil"_s);
    QVERIFY(board->windowState().testFlag(Qt::WindowMaximized));
    QCOMPARE(board->frameGeometry(), board->screen()->availableGeometry());
    const QList<QPushButton *> buttons = board->btny->findChildren<QPushButton *>();
    QCOMPARE(buttons.size(), 99);
    // The offscreen screen is 800 × 800: cells of 79 × 70 with margins of 4.
    QCOMPARE(board->btny->size(), QSize(798, 709));
    QCOMPARE(board->tlacitka[1]->geometry(), QRect(4, 4, 69, 70));
    QCOMPARE(board->tlacitka[99]->geometry(), QRect(636, 634, 69, 70));
    for (int silo = 1; silo <= 99; ++silo) {
        const SiloButton *button = board->tlacitka[size_t(silo)];
        QVERIFY(button && button->isVisible() && button->isEnabled() && !button->font().bold());
        QCOMPARE(u"%1|%2|%3"_s.arg(button->Tag).arg(button->text()).arg(button->font().pixelSize()),
                 u"%1|SILO\n%1|%2"_s.arg(silo).arg(skin::Pt20));
    }
    for (QPushButton *button : buttons)
        QVERIFY2(button->text() != u"SILO\n100"_s, "silo 100 has no board button");
    QVERIFY(!board->poprve);

    QCOMPARE(board->suiImagePanel1->height(), 89);
    QCOMPARE(board->btny->height() + 89 + 2 * ui::SkinnedFrame::BorderWidth, board->height());
    // No title bar, a black border; a modal child of the console, which the
    // window system keeps below it.
    QVERIFY(board->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(!board->findChild<ui::SkinnedFrame *>(QString(), Qt::FindDirectChildrenOnly)->titleBar());
    const QImage face = board->grab().toImage();
    QCOMPARE(face.pixelColor(0, 0), QColor(Qt::black));
    QCOMPARE(face.pixelColor(face.width() - 1, face.height() - 1), QColor(Qt::black));
    QCOMPARE(face.pixelColor(face.width() / 2, face.height() - 3), skin::FrameBackground);
    QCOMPARE(board->windowHandle()->transientParent(), console->windowHandle());
    // 456 px narrower than the bar was drawn for: "přesun" gives them up.
    QCOMPARE(board->suiButton1->geometry(), QRect(10, 10, 208, 76));
    QCOMPARE(board->suiButton2->geometry(), QRect(529, 10, 250, 76));
    expectNothingPicked();
    QCOMPARE(board->suiButton1->font().pixelSize(), 33);
    QVERIFY(board->suiButton2->isEnabled());
}

void BoardTest::firstPaintPrecedesTheMapAndReadsOnce()
{
    closeBoard();
    auto fresh = std::make_unique<TForm2>(console->desk(), console.get(), installation->paths());
    MapWatch watch(fresh.get(), fresh->tlacitka[50]);
    const qint64 before = selectCount(ZConnection1());
    fresh->show();
    QVERIFY2(watch.seenShow, "silo 50's button was never shown");
    QVERIFY2(!watch.mappedAtShow, "the board came on the screen before its first paint was done");
    QVERIFY(fresh->windowHandle()->isVisible());
    QCOMPARE(selectCount(ZConnection1()) - before, 1);
    QVERIFY(!glyphOf(fresh->tlacitka[1]).isNull());
}

void BoardTest::glyphsShowTheFill_data()
{
    QTest::addColumn<int>("silo");
    QTest::addColumn<double>("ratio"); // < 0: no glyph at all
    QTest::newRow("half full") << 1 << 0.5;
    QTest::newRow("empty silo all green") << 4 << 0.0;
    QTest::newRow("overfull is full") << 8 << 1.0;
    QTest::newRow("stock without capacity is full") << 13 << 1.0;
    QTest::newRow("negative stock is empty") << 14 << 0.0;
    QTest::newRow("first of two rows counts") << 17 << 0.5;
    QTest::newRow("silo 51 of the second grid") << 51 << 0.0;
    QTest::newRow("silo without a row has no glyph") << 11 << -1.0;
}

void BoardTest::glyphsShowTheFill()
{
    QFETCH(int, silo);
    QFETCH(double, ratio);
    SiloButton *button = board->tlacitka[size_t(silo)];
    const QImage glyph = glyphOf(button);
    if (ratio < 0) {
        QVERIFY(glyph.isNull());
        return;
    }
    const int height = button->height() - 4;
    QCOMPARE(glyph.size(), QSize(15, height));
    QCOMPARE(redRows(glyph), int(height * ratio));
}

void BoardTest::singleRepaintLeavesTheOthers()
{
    const QRect place = board->tlacitka[1]->geometry();
    db->execute(u"update ppsila set stav = 60 where silo in (1, 2)"_s);
    const qint64 before = selectCount(ZConnection1());
    board->vymaluj_btn(1);
    QCOMPARE(selectCount(ZConnection1()) - before, 1);
    const int full = board->tlacitka[1]->height() - 4;
    QCOMPARE(redRows(glyphOf(board->tlacitka[1])), full);
    QCOMPARE(redRows(glyphOf(board->tlacitka[2])), int(full * 0.1));
    board->vymaluj_btn(11); // no row: keeps having no glyph
    QVERIFY(glyphOf(board->tlacitka[11]).isNull());

    // A full repaint reads once and keeps the layout of the first paint.
    board->resize(board->width() - 100, board->height() - 100);
    const qint64 beforeFull = selectCount(ZConnection1());
    board->vymaluj();
    QCOMPARE(selectCount(ZConnection1()) - beforeFull, 1);
    QCOMPARE(redRows(glyphOf(board->tlacitka[2])), int(full * 0.6));
    QCOMPARE(board->tlacitka[1]->geometry(), place);
}

void BoardTest::missingTileDrawsPlainFill()
{
    closeBoard();
    QVERIFY(QFile::remove(installation->paths().fileBesideProgram(u"zelena.bmp"_s)));
    openBoardOnly();
    const QImage glyph = glyphOf(board->tlacitka[1]);
    QCOMPARE(glyph.pixelColor(5, 0), board::PlainGreen);
    QCOMPARE(redRows(glyph), int((board->tlacitka[1]->height() - 4) * 0.5));

    // Unreadable as well as missing: a file that is no image.
    QFile broken(installation->paths().fileBesideProgram(u"cervena.bmp"_s));
    QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write("no image");
    broken.close();
    board->suiButton2->click();
    const QImage plain = glyphOf(board->tlacitka[1]);
    QCOMPARE(plain.pixelColor(5, plain.height() - 1), board::PlainRed);
    QCOMPARE(plain.pixelColor(14, plain.height() - 1), board::PlainGreen);
}

void BoardTest::failedFirstPaintIsShown()
{
    closeBoard();
    db->execute(u"rename table ppsila to ppsila_gone"_s);
    openBoardOnly();
    QCOMPARE(dialogs->asked.size(), 1);
    QCOMPARE(dialogs->asked.first().text, u"Databáze ohlásila chybu 1146!\nAkce nebyla provedena."_s);
    QVERIFY(!board->tlacitka[1]->isVisible());
    QVERIFY2(board->infos && board->foznam && board->HotKey1, "a board without its dialogs or hot key");

    db->execute(u"rename table ppsila_gone to ppsila"_s);
    board->suiButton2->click(); // "znovu zadat" paints it after all
    QCOMPARE(dialogs->asked.size(), 1);
    QVERIFY(board->tlacitka[1]->isVisible());
    QCOMPARE(board->tlacitka[99]->geometry(), QRect(636, 634, 69, 70));
    QCOMPARE(redRows(glyphOf(board->tlacitka[1])), int((board->tlacitka[1]->height() - 4) * 0.5));
    // One click handler per button, also after a repeated first paint: one
    // "storno" leaves no second touch behind.
    dialogs->queue({Tinfos::Cancel, {}});
    board->tlacitka[1]->click();
    QCOMPARE(dialogs->asked.size(), 2);
}

void BoardTest::infoDialogShowsTheSilo_data()
{
    QTest::addColumn<int>("silo");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("stock and dates, remaining rounded")
        << 7 << QStringList{u"SILO7"_s, u"C3"_s, u"Oves"_s, u"Atego"_s, u"C2"_s, u"12,3456"_s,
                            u"2.11.2026"_s, u"5.11.2026 14:05:09"_s, u"17,65"_s};
    QTest::newRow("overfull shows no remaining capacity")
        << 8 << QStringList{u"SILO8"_s, u"D4"_s, u"Žito"_s, QString(), QString(), u"21,5"_s, QString(), QString(), u"0"_s};
    QTest::newRow("empty silo: no quantity")
        << 9 << QStringList{u"SILO9"_s, QString(), QString(), QString(), QString(), QString(), QString(), QString(), u"50"_s};
    QTest::newRow("two-digit silo titled without space")
        << 51 << QStringList{u"SILO51"_s, QString(), QString(), QString(), QString(), QString(), QString(), QString(), u"60"_s};
}

void BoardTest::infoDialogShowsTheSilo()
{
    QFETCH(int, silo);
    QFETCH(QStringList, lines);
    board->tlacitka[size_t(silo)]->click();
    QCOMPARE(dialogs->asked.size(), 1);
    const ui::DialogRequest &request = dialogs->asked.first();
    QCOMPARE(request.caption, u"Granovia - silo"_s);
    QCOMPARE(request.buttons, (QStringList{u"do přesunu"_s, u"storno"_s}));
    QCOMPARE(request.text.split(u'\n'), lines);
    QCOMPARE(board->infos->suiImagePanel1->text(), lines.first());
    QCOMPARE(board->infos->values[7]->text(), lines.last());
}

void BoardTest::stornoOrSiloWithoutRowChangesNothing()
{
    board->tlacitka[11]->click(); // no row
    QVERIFY(dialogs->asked.isEmpty());
    board->tlacitka[1]->click(); // unanswered: closed, which is "storno"
    QCOMPARE(dialogs->asked.size(), 1);
    dialogs->queue({2, {}});
    board->tlacitka[1]->click();
    QCOMPARE(dialogs->asked.size(), 2);
    expectNothingPicked();
    QVERIFY(!board->tlacitka[1]->font().bold());
}

void BoardTest::sourcePickOffersEligibleTargets()
{
    confirm(1);
    expectPicks(1, 1, 0);
    expectPicked(1, true);
    expectBar(u"přesun ze SILO 1"_s, false, u"odvoz ze SILO 1"_s, true);
    QCOMPARE(offeredSilos(), (QList<int>{1, 2, 4, 6, 9, 12, 51}));
}

void BoardTest::touchingTheSourceAgainOpensNoDialog()
{
    board->activateWindow();
    // The board counts as active while its console is; wait for the board itself.
    QTRY_COMPARE(QApplication::activeWindow(), board.get());
    confirm(1);
    QVERIFY(board->suiImagePanel1->hasFocus());
    board->tlacitka[5]->setFocus();
    const qsizetype asked = dialogs->asked.size();
    board->tlacitka[1]->click();
    QCOMPARE(dialogs->asked.size(), asked);
    expectPicks(1, 1, 0);
    QVERIFY2(board->suiImagePanel1->hasFocus(), "the focus stays on a silo button");
}

void BoardTest::targetPickAndReplacement()
{
    confirm(1);
    confirm(2);
    expectPicks(2, 1, 2);
    expectPicked(2, true);
    expectBar(u"přesun ze SILO 1 do SILO 2"_s, true, u"odvoz"_s, false);
    QCOMPARE(offeredSilos(), (QList<int>{1, 2, 4, 6, 9, 12, 51})); // as after the source pick

    dialogs->queue({2, {}}); // "storno" on another target keeps the target
    board->tlacitka[6]->click();
    QCOMPARE(board->cil, 2);
    confirm(6);
    expectPicks(2, 1, 6);
    expectPicked(2, false);
    expectPicked(6, true);
    expectPicked(1, true);
    QCOMPARE(board->suiButton1->text(), u"přesun ze SILO 1 do SILO 6"_s);
}

void BoardTest::resetDropsPicksAndRepaints()
{
    confirm(1);
    confirm(2);
    db->execute(u"update ppsila set stav = 100 where silo = 3"_s);
    const qint64 before = selectCount(ZConnection1());
    board->suiButton2->click();
    QCOMPARE(selectCount(ZConnection1()) - before, 1);
    expectNothingPicked();
    expectPicked(1, false);
    expectPicked(2, false);
    QCOMPARE(offeredSilos().size(), 99);
    QCOMPARE(redRows(glyphOf(board->tlacitka[3])), board->tlacitka[3]->height() - 4);
}

QTEST_MAIN(BoardTest)
#include "tst_board.moc"
