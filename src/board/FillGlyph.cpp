#include "board/FillGlyph.h"

#include "config/AppPaths.h"
#include "board/BoardArithmetic.h"

#include <QPainter>

namespace granovia::board {

namespace {

constexpr int RedPartLeft = -1;
constexpr auto GlyphFormat = QImage::Format_RGB32;

} // namespace

Tiles Tiles::load(const AppPaths &paths)
{
    // A missing file gives a null image; the glyphs then use plain colours.
    return {QImage(paths.fileBesideProgram(GreenTileFile)), QImage(paths.fileBesideProgram(RedTileFile))};
}

void tileVertically(QImage &image, const QImage &tile, const QColor &plain)
{
    image.fill(plain);
    if (tile.isNull() || tile.height() <= 0)
        return;
    QPainter painter(&image);
    for (int top = 0; top < image.height(); top += tile.height())
        painter.drawImage(0, top, tile);
}

QImage fillGlyph(int glyphHeight, double stav, double kapacita, const Tiles &tiles)
{
    if (glyphHeight <= 0)
        return {};
    QImage glyph(GlyphWidth, glyphHeight, GlyphFormat);
    tileVertically(glyph, tiles.green, PlainGreen);
    const int filled = fillHeight(glyphHeight, stav, kapacita);
    if (filled == 0)
        return glyph;
    QImage red(GlyphWidth, filled, GlyphFormat);
    tileVertically(red, tiles.red, PlainRed);
    QPainter painter(&glyph);
    painter.drawImage(RedPartLeft, glyphHeight - filled, red);
    return glyph;
}

} // namespace granovia::board
