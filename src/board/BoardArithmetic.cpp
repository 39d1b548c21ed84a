#include "board/BoardArithmetic.h"

#include "movements/PanelRules.h"
#include "store/Stock.h"

#include <algorithm>
#include <cmath>

namespace granovia::board {

namespace {

constexpr int DesignBarWidth = 1254;
const QRect TransferDesignPlace(10, 10, 664, 76);
const QRect RemovalDesignPlace(680, 10, 299, 76);
const QRect ResetDesignPlace(985, 10, 250, 76);
constexpr double Hundredths = 100.0;
constexpr double Half = 0.5;
const QLatin1Char LineBreak('\n');

// The notice of a movement ("přesun", "odvoz") that the console refused.
std::optional<QString> refusalNotice(movement::DeskResult result, const QString &movement)
{
    switch (result) {
    case movement::DeskResult::NoNumber:
        return QStringLiteral("Chyba v definici množství osiva pro %1!").arg(movement);
    case movement::DeskResult::MissingRow:
        return QStringLiteral("Silo pro %1 již v databázi neexistuje!").arg(movement);
    case movement::DeskResult::StockChanged:
        return QStringLiteral("Stav sila se změnil, vyberte silo znovu!");
    case movement::DeskResult::Done:
    case movement::DeskResult::NoCapacity:
        break;
    }
    return std::nullopt;
}

} // namespace

BoardGrid boardGrid(const QSize &panel)
{
    BoardGrid grid;
    grid.cellWidth = panel.width() / GridColumns;
    grid.cellHeight = panel.height() / GridRows;
    grid.marginX = (panel.width() - GridColumns * grid.cellWidth) / 2;
    grid.marginY = (panel.height() - GridRows * grid.cellHeight) / 2;
    return grid;
}

bool hasBoardButton(int silo)
{
    return silo >= 1 && silo <= SiloCount;
}

QRect siloButtonRect(const BoardGrid &grid, int silo)
{
    const int row = (silo - 1) / GridColumns;
    const int column = (silo - 1) % GridColumns;
    // A gap between columns, none between rows: the buttons are as tall as
    // their cells.
    return QRect(column * grid.cellWidth + grid.marginX, row * grid.cellHeight + grid.marginY,
                 grid.cellWidth - ButtonGap, grid.cellHeight);
}

CommandPlaces commandPlaces(int barWidth)
{
    const int extra = barWidth - DesignBarWidth;
    // Below that width "přesun" shrinks, but never to a negative width.
    QRect transfer = TransferDesignPlace;
    transfer.setWidth(std::max(0, transfer.width() + extra));
    return {transfer, RemovalDesignPlace.translated(extra, 0), ResetDesignPlace.translated(extra, 0)};
}

int glyphHeight(int buttonHeight)
{
    return std::max(0, buttonHeight - GlyphInset);
}

int fillHeight(int glyphHeight, double stav, double kapacita)
{
    // A negative, negligible or unreadable stock draws as empty: there is no
    // seed to show.
    if (glyphHeight <= 0 || !(stav >= stock::Negligible))
        return 0;
    // Stock in a silo without capacity on record draws as full: nothing more fits.
    if (!(kapacita > 0))
        return glyphHeight;
    const double ratio = std::min(1.0, stav / kapacita);
    return std::clamp(int(std::trunc(glyphHeight * ratio)), 0, glyphHeight);
}

double round2(double x)
{
    const double shifted = x * Hundredths + (x >= 0 ? Half : -Half);
    return std::trunc(shifted) / Hundredths;
}

double remainingCapacity(double kapacita, double stav)
{
    return std::max(0.0, round2(round2(kapacita) - round2(stav)));
}

bool mayReceive(const SourceSilo &source, const std::optional<CandidateSilo> &candidate)
{
    if (!candidate)
        return false;
    // The console's own lot rules, beside the source in panel A: the same lot,
    // or no stock; never stock without a lot.
    if (choosePanel(source.partie, QString(), candidate->stav, candidate->partie) != PanelChoice::B)
        return false;
    if (candidate->zbyva >= source.stav)
        return true;
    // An empty silo is offered whatever its capacity.
    return stock::isNone(candidate->stav);
}

std::optional<QString> sourceRefusal(const QString &caption, double stav, const QString &partie)
{
    if (!(stav >= stock::Negligible))
        return QStringLiteral("V sile %1 není osivo, není co přesunout ani odvézt!").arg(caption);
    if (choosePanel(QString(), QString(), stav, partie) == PanelChoice::Ignore)
        return QStringLiteral("Osivo v sile %1 nemá partii, nelze je přesunout ani odvézt!").arg(caption);
    return std::nullopt;
}

QString siloCaption(int silo)
{
    return QStringLiteral("SILO") + LineBreak + QString::number(silo);
}

QString captionOnOneLine(const QString &caption)
{
    return QString(caption).replace(LineBreak, QLatin1Char(' '));
}

QString captionAsTitle(const QString &caption)
{
    return QString(caption).remove(LineBreak);
}

QString transferCaption(const QString &sourceCaption)
{
    return QStringLiteral("přesun ze ") + captionOnOneLine(sourceCaption);
}

QString transferCaption(const QString &sourceCaption, const QString &targetCaption)
{
    return transferCaption(sourceCaption) + QStringLiteral(" do ") + captionOnOneLine(targetCaption);
}

QString removalCaption(const QString &sourceCaption)
{
    return QStringLiteral("odvoz ze ") + captionOnOneLine(sourceCaption);
}

std::optional<QString> transferNotice(movement::DeskResult result, int zdroj, int cil)
{
    switch (result) {
    case movement::DeskResult::NoCapacity:
        return QStringLiteral("V cílovém silu malá kapacita pro přesun!");
    case movement::DeskResult::Done:
        return QStringLiteral("Osivo ze sila SILO %1 přesunuto do sila SILO %2!").arg(zdroj).arg(cil);
    default:
        return refusalNotice(result, QStringLiteral("přesun"));
    }
}

std::optional<QString> removalNotice(movement::DeskResult result)
{
    return refusalNotice(result, QStringLiteral("odvoz"));
}

} // namespace granovia::board
