#pragma once

#include <QColor>
#include <QImage>
#include <QString>

namespace granovia {
class AppPaths;
}

// The fill glyph beside each silo button: green tile for the free part of
// the silo, red tile for the seed, growing from the bottom.
namespace granovia::board {

inline const QString GreenTileFile = QStringLiteral("zelena.bmp");
inline const QString RedTileFile = QStringLiteral("cervena.bmp");
// Drawn instead of a tile that is missing or unreadable, so that the board
// still shows how full each silo is.
inline const QColor PlainGreen{0, 170, 0};
inline const QColor PlainRed{210, 0, 0};

// The two tiles as read from the program's directory; a null image for a
// tile that could not be read.
struct Tiles {
    QImage green;
    QImage red;
    static Tiles load(const AppPaths &paths);
};

// Repeats the tile downward from the image's top edge at its own size, never
// scaled; where the tile is missing, or does not reach, the plain colour.
void tileVertically(QImage &image, const QImage &tile, const QColor &plain);

// The glyph of a silo: 15 px wide and glyphHeight high, green, with its
// bottom fillHeight rows red. The red part is drawn one pixel to the left,
// so the rightmost column stays green over the whole height. The glyph is
// opaque: no colour of it is treated as transparent.
QImage fillGlyph(int glyphHeight, double stav, double kapacita, const Tiles &tiles);

} // namespace granovia::board
