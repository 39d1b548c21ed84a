#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QStaticText>

class QPainter;
class QWidget;

// The console's look: its palette and its fonts, in pixels, never scaled.
namespace granovia::skin {

inline const QColor Background{237, 237, 237};
inline const QColor Text{92, 76, 41};
inline const QColor FixedBackground{229, 217, 194};
inline const QColor FixedText{64, 52, 26};
inline const QColor SelectedText{0, 128, 0};
inline const QColor FrameBackground{249, 248, 249};
inline const QColor FrameBorder{221, 221, 221};
inline const QColor ButtonText{249, 248, 249};
inline const QColor ButtonFace{122, 106, 72};
inline const QColor CurrentHistoryCell{255, 255, 0};
// A value that another workstation changed, for a moment after it arrives.
inline const QColor ChangedValue{255, 214, 120};
inline const QColor GridLine{200, 192, 176};
// The text of history lines that cancel each other: a reversed movement and its reversal.
inline const QColor CancelledText{140, 140, 140};
// The text of what could not be read, such as silos not yet loaded.
inline const QColor NotLoadedText{160, 150, 130};

// Point sizes at 96 dpi, given as pixels so that nothing scales.
constexpr int Pt6 = 8;
constexpr int Pt7 = 9;
constexpr int Pt8 = 11;
constexpr int Pt20 = 27;

// The string grids draw a 1 px line after every cell; a cell keeps its
// own size, and its section in the grid is one line longer.
constexpr int GridLineWidth = 1;
constexpr int gridSection(int cellSize)
{
    return cellSize + GridLineWidth;
}
// Draws the grid lines after a cell: its right edge and its bottom edge,
// corner included. The grids leave their own line drawing off (it blends
// pixel by pixel) and their delegates call this instead.
void paintGridLines(QPainter *painter, const QRect &cell);
// The mark of the control or cell that has the keyboard: a dotted frame just
// inside the area, in one of the skin's colours.
void paintFocusFrame(QPainter *painter, const QRect &area, const QColor &colour = FixedText);

// Makes Tahoma available where the machine has a copy (Debian's fonts-wine).
void registerFonts();
// Gives the application the skin's splitter bars. Colours come from the
// style and palettes, not from style sheets, which would route every paint
// of a window's widgets through the style sheet machinery.
void installStyle();
// Tahoma at a pixel size, or the closest sans serif where there is none.
QFont font(int pixelSize, bool bold = false);

// A text laid out once in a font and kept: the grids paint the same few
// texts all day, and laying a text out costs far more than drawing it.
struct LaidOutText {
    QStaticText text;
    int advance = 0; // as QFontMetrics::horizontalAdvance gives it
    int ascent = 0;
};
const LaidOutText &laidOut(const QString &text, const QFont &font);
// Draws a laid-out text with its baseline at baseline.
void drawLaidOut(QPainter *painter, const QPoint &baseline, const LaidOutText &text);

// The application's icon: a silo, partly filled.
QIcon applicationIcon();

// Background and text colours of the console on a widget and its children.
void applyPalette(QWidget *widget);
// A popup menu in the console's colours: its items on the frame's
// background, the item under the pointer on the title strips' colour, and
// disabled items greyed.
void applyMenuPalette(QWidget *menu);

} // namespace granovia::skin
