#include "board/TForm2.h"

#include "console/TForm1.h"

namespace granovia {

TForm2::TForm2(TForm1 &console)
    : QDialog(nullptr)
    , m_console(console)
{
    setWindowTitle(QStringLiteral("Granovia - přehled uloženi sil"));
}

void TForm2::showBoard(TForm1 &console)
{
    TForm2 board(console);
    board.setWindowState(Qt::WindowMaximized);
    board.exec();
    // Leaving the board brings a parked console back on screen.
    console.move(console.x(), 0);
}

} // namespace granovia
