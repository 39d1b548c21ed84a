#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>

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

// Point sizes at 96 dpi, given as pixels so that nothing scales.
constexpr int Pt6 = 8;
constexpr int Pt7 = 9;
constexpr int Pt8 = 11;
constexpr int Pt20 = 27;

// The string grids draw a 1 px line after every cell; a cell keeps its
// designed size, and its section in the grid is one line longer.
constexpr int GridLineWidth = 1;
constexpr int gridSection(int cellSize)
{
    return cellSize + GridLineWidth;
}

// Makes Tahoma available where the machine has a copy (Debian's fonts-wine).
void registerFonts();
// Tahoma at a pixel size, or the closest sans serif where there is none.
QFont font(int pixelSize, bool bold = false);

// The application's icon: a silo, partly filled.
QIcon applicationIcon();

// Background and text colours of the console on a widget and its children.
void applyPalette(QWidget *widget);

} // namespace granovia::skin
