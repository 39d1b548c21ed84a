#pragma once

#include "ConsoleFixture.h"
#include "ModalWatch.h"
#include "board/TForm2.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QWindow>
#include <QtTest>

namespace granovia::test {

// Silos of the board scenarios: (silo, stock, capacity, lot, ...). Silo 11
// has no row; silo 17 has two, of which the first counts.
inline const QString BoardSilos = QStringLiteral(
        "insert into ppsila (silo, stav, kapacita, partie, naz_dru, naz_odru, stupen, navoz, ppohyb) values "
        "(1, 30, 60, 'A1', 'Pšenice', 'Julie', 'C1', '2026-10-01 08:00:00', null),"
        "(2, 10, 100, 'A1', 'Pšenice', 'Julie', 'C1', '2026-10-02 00:00:00', null),"
        "(3, 95, 100, 'A1', 'Pšenice', 'Julie', 'C1', null, null),"
        "(4, 0, 5, '', '', '', '', null, null),"
        "(5, 5, 50, 'B2', 'Ječmen', 'Malz', 'C1', null, null),"
        "(6, 0, 80, '', '', '', '', null, null),"
        "(7, 12.3456, 30, 'C3', 'Oves', 'Atego', 'C2', '2026-11-02 00:00:00', '2026-11-05 14:05:09'),"
        "(8, 21.5, 20, 'D4', 'Žito', '', '', null, null),"
        "(9, 0, 50, '', '', '', '', null, null),"
        "(10, 5, 40, 'a1', 'Pšenice', 'Julie', 'C1', null, null),"
        "(12, 0, 0, '', '', '', '', null, null),"
        "(13, 8, 0, 'F6', 'Hrách', '', '', null, null),"
        "(14, -3, 50, 'G7', 'Hrách', '', '', null, null),"
        "(15, 5, 50, '', 'Hrách', '', '', null, null),"
        "(17, 10, 20, 'H8', 'Mák', '', '', null, null),"
        "(17, 20, 20, 'H8', 'Mák', '', '', null, null),"
        "(50, 20, 40, 'E5', 'Mák', 'Gerlach', 'E', '2026-09-01 00:00:00', null),"
        "(51, 0, 60, '', '', '', '', null, null),"
        "(100, 0, 80, '', '', '', '', null, null)");

// The glyph a silo button shows; null without one.
inline QImage glyphOf(const QPushButton *button)
{
    if (button->icon().isNull())
        return {};
    return button->icon().pixmap(button->iconSize()).toImage();
}

// Rows of the glyph that are red, all at its bottom; -1 when red shows above
// a green row. Both the shipped tiles and the plain fill count.
inline int redRows(const QImage &glyph)
{
    constexpr int Column = 5;
    const auto isRed = [&](int y) {
        const QColor c = glyph.pixelColor(Column, y);
        return c.red() > c.green();
    };
    int rows = 0;
    while (rows < glyph.height() && isRed(glyph.height() - 1 - rows))
        ++rows;
    for (int y = 0; y < glyph.height() - rows; ++y) {
        if (isRed(y))
            return -1;
    }
    return rows;
}

// Notes whether the window was on the screen when a button first showed.
class MapWatch final : public QObject {
public:
    MapWatch(QWidget *window, QWidget *button)
        : m_window(window)
    {
        button->installEventFilter(this);
    }
    bool seenShow = false;
    bool mappedAtShow = true;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show && !seenShow) {
            seenShow = true;
            mappedAtShow = m_window->windowHandle() && m_window->windowHandle()->isVisible();
        }
        return false;
    }

private:
    QWidget *m_window;
};

// A console started on a scratch database with the board silos, and a board
// shown over it; dialogs answered by script.
class BoardFixture : public ConsoleFixture {
protected:
    void openBoard()
    {
        startConsole({BoardSilos}, {QStringLiteral("Pro SILO: 17 je v tabulce sil více řádků!\nPřehled, panely, "
                                                  "tabule i pohyby pracují s řádkem s nejnižším id.")});
        copyTiles();
        openBoardOnly();
    }

    // The program's tiles beside the installation's program.
    void copyTiles()
    {
        for (const QString &tile : {QStringLiteral("zelena.bmp"), QStringLiteral("cervena.bmp")}) {
            QVERIFY(QFile::copy(AppPaths(QStringLiteral(GRANOVIA_PROGRAM)).fileBesideProgram(tile),
                                installation->paths().fileBesideProgram(tile)));
        }
    }

    void openBoardOnly()
    {
        board = std::make_unique<TForm2>(console->desk(), console.get(), installation->paths());
        board->show();
    }

    void closeBoard() { board.reset(); }

    void closeAll()
    {
        board.reset();
        stopConsole();
    }

    // A touch on silo n answered with "do přesunu".
    void confirm(int silo)
    {
        const qsizetype asked = dialogs->asked.size();
        dialogs->queue({Tinfos::Take, {}});
        board->tlacitka[size_t(silo)]->click();
        QCOMPARE(dialogs->asked.size(), asked + 1);
    }

    QList<int> offeredSilos() const
    {
        QList<int> offered;
        for (int silo = 1; silo <= board::SiloCount; ++silo) {
            if (board->tlacitka[size_t(silo)]->isEnabled())
                offered.append(silo);
        }
        return offered;
    }

    void expectPicked(int silo, bool picked)
    {
        const SiloButton *button = board->tlacitka[size_t(silo)];
        QCOMPARE(button->font().bold(), picked);
        QCOMPARE(button->palette().color(QPalette::ButtonText) == skin::SelectedText, picked);
    }

    // The step and the picked source and target.
    void expectPicks(int krok, int zdroj, int cil)
    {
        QCOMPARE((QList<int>{board->krok, board->zdroj, board->cil}), (QList<int>{krok, zdroj, cil}));
    }

    // The command bar: "přesun" and "odvoz" with their captions, and
    // whether they can be touched.
    void expectBar(const QString &transfer, bool transferOn, const QString &removal, bool removalOn)
    {
        QCOMPARE(board->suiButton1->text(), transfer);
        QCOMPARE(board->suiButton4->text(), removal);
        QCOMPARE((QList<bool>{board->suiButton1->isEnabled(), board->suiButton4->isEnabled()}),
                 (QList<bool>{transferOn, removalOn}));
    }

    void expectNothingPicked()
    {
        expectPicks(TForm2::NothingPicked, 0, 0);
        expectBar(QStringLiteral("přesun"), false, QStringLiteral("odvoz"), false);
    }

    std::unique_ptr<TForm2> board;
};

} // namespace granovia::test
