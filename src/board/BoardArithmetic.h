#pragma once

#include "movements/MovementDesk.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <optional>

// The board's arithmetic and texts, apart from any widget: where the silo
// buttons go, how high a fill glyph is filled, what the info dialog shows as
// remaining capacity and which silos may receive a source's seed.
namespace granovia::board {

constexpr int SiloCount = 99; // silo 100 has no board button
constexpr int GridColumns = 10;
constexpr int GridRows = 10;
constexpr int ButtonGap = 10;   // buttons are this much narrower than their cells
constexpr int GlyphWidth = 15;
constexpr int GlyphInset = 4;   // the glyph is this much lower than its button

// Cells and margins of the 10 × 10 grid in a panel of the given size.
struct BoardGrid {
    int cellWidth = 0;
    int cellHeight = 0;
    int marginX = 0;
    int marginY = 0;
    friend bool operator==(const BoardGrid &, const BoardGrid &) = default;
};

// What a silo's glyph is drawn from.
struct SiloFill {
    double stav = 0;
    double kapacita = 0;
    friend bool operator==(const SiloFill &, const SiloFill &) = default;
};

BoardGrid boardGrid(const QSize &panel);
// Bounds of silo n's button (1..99) within the panel.
QRect siloButtonRect(const BoardGrid &grid, int silo);
bool hasBoardButton(int silo);

// The command buttons of the bottom bar, from their places at the bar
// width of 1254 px: "přesun" takes the extra width, the others move with it.
struct CommandPlaces {
    QRect transfer;
    QRect removal;
    QRect reset;
};
CommandPlaces commandPlaces(int barWidth);

// Height of the glyph of a button h px high; 0 when the button is too low.
int glyphHeight(int buttonHeight);
// Rows of the glyph filled red, counted from its bottom: the stock's share of
// the capacity, truncated, never above the glyph.
int fillHeight(int glyphHeight, double stav, double kapacita);

// x rounded to two decimals, half away from zero.
double round2(double x);
// What the info dialog shows as remaining capacity: R(R(kapacita) − R(stav)),
// never below 0.
double remainingCapacity(double kapacita, double stav);

struct SourceSilo {
    QString partie;
    double stav = 0;
};
struct CandidateSilo {
    QString partie;
    double zbyva = 0; // kapacita − stav as the database computes it
    double stav = 0;
};
// Whether a silo may receive the source's seed: it has a row, holds the same
// lot or none, and can take the whole stock or is empty. The console makes
// the final capacity check when the transfer runs.
bool mayReceive(const SourceSilo &source, const std::optional<CandidateSilo> &candidate);
// Why a silo cannot be the source of a movement, as the console would refuse
// it: it holds no seed, or seed without a lot; nothing when it can. The
// caption is the button's, on one line.
std::optional<QString> sourceRefusal(const QString &caption, double stav, const QString &partie);

// "SILO", a line break and the number: the caption of silo n's button.
QString siloCaption(int silo);
// A button caption on one line, as the command captions quote it ("SILO 7").
QString captionOnOneLine(const QString &caption);
// A button caption without its line break, as the info dialog's title ("SILO7").
QString captionAsTitle(const QString &caption);

QString transferCaption(const QString &sourceCaption);
QString transferCaption(const QString &sourceCaption, const QString &targetCaption);
QString removalCaption(const QString &sourceCaption);

// The notice for a transfer's result; none for a result without one.
std::optional<QString> transferNotice(movement::DeskResult result, int zdroj, int cil);
// The notice for a refused removal; none after a completed one.
std::optional<QString> removalNotice(movement::DeskResult result);

} // namespace granovia::board
