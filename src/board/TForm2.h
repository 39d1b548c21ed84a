#pragma once

#include <QDialog>

namespace granovia {

class TForm1;

// The silo board: the full-screen touch face of the system, opened modally
// over the console and destroyed when it closes.
class TForm2 final : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(TForm1 &console);

    // Creates a new board, shows it modally and destroys it when it closes.
    static void showBoard(TForm1 &console);

private:
    TForm1 &m_console;
};

} // namespace granovia
