#pragma once

#include "app/AppPaths.h"
#include "board/BoardArithmetic.h"
#include "board/BoardDialogs.h"
#include "board/SiloButton.h"
#include "ui/HotKey.h"

#include <QDialog>
#include <QPointer>
#include <array>

class QStyle;

namespace granovia {

class TForm1;

// The silo board: the full-screen touch face of the system, opened modally
// over the console and destroyed when it closes. It reads ppsila itself for
// its glyphs and dialogs, and moves seed by driving the console.
class TForm2 final : public QDialog {
    Q_OBJECT
public:
    // Ctrl+Shift+F10 in the classic shortcut encoding.
    static constexpr int ShortcutValue = 24697;
    static constexpr int BarHeight = 89;
    static constexpr int CommandFontPx = 33; // Tahoma 25 pt at 96 dpi

    // The tiles of the fill glyphs are read from the directory of paths.
    explicit TForm2(TForm1 &console, AppPaths paths = AppPaths::ofRunningProgram());
    ~TForm2() override;

    // Creates a new board, shows it modally and destroys it when it closes.
    static void showBoard(TForm1 &console);

    // Repaints every glyph from one read of ppsila; the first time after the
    // show it also lays the buttons out, before the window comes on screen.
    void vymaluj();
    // Repaints the glyph of silo n only.
    void vymaluj_btn(int n);
    // Enables only the silos that may receive the source's seed.
    void ukaz_mozne();

    // The operator's handlers. Each shows its own errors, so that none
    // reaches the event loop.
    void suiButton3Click(SiloButton *button); // a touch on a silo button
    void suiButton1Click();                   // "přesun"
    void suiButton5Click();                   // "odvoz"
    void suiButton2Click();                   // "znovu zadat"
    void HotKey1HotKey();                     // Ctrl+Shift+F10: leaves the board

    QWidget *btny = nullptr;
    QWidget *suiImagePanel1 = nullptr;
    QPushButton *suiButton1 = nullptr;
    QPushButton *suiButton4 = nullptr;
    QPushButton *suiButton2 = nullptr;
    // Element n is the button of silo n; element 0 is unused.
    std::array<SiloButton *, board::SiloCount + 1> tlacitka{};
    int krok = 0;
    int zdroj = 0;
    int cil = 0;
    bool poprve = false;
    QPointer<Tinfos> infos;
    QPointer<Tfoznam> foznam;
    QPointer<ui::HotKey> HotKey1;

protected:
    void showEvent(QShowEvent *event) override;
    // However the board closes, the hot key's steps run: a close by the
    // window manager leaves the console where the operator can reach it.
    void done(int result) override;
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void siloButtonClicked();

private:
    void FormCreate();
    void createSiloButton(int silo);
    void createCommandBar();
    void FormShow();
    void maximize();
    void layOutButton(int silo, const board::BoardGrid &grid);
    void leave();

    // The workflow (BoardWorkflow.cpp); these let database errors through.
    void pick(SiloButton *button);
    void transfer();
    void removal();
    void selectIntoConsole(int silo);
    void resetAfterMovement();
    void resetPicks();
    void resetCommands();
    void markPicked(int silo, bool picked);
    void focusBar();

    TForm1 &m_console;
    AppPaths m_paths;
    QStyle *m_buttonStyle = nullptr;
    bool m_shownOnce = false;
    bool m_left = false;
};

} // namespace granovia
