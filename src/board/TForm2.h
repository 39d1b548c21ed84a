#pragma once

#include "config/AppPaths.h"
#include "board/BoardArithmetic.h"
#include "board/BoardDialogs.h"
#include "board/SiloButton.h"
#include "movements/MovementDesk.h"
#include "store/ChangeWatch.h"
#include "ui/BusyCursor.h"
#include "ui/Dialogs.h"
#include "ui/HotKey.h"
#include "ui/StaleMark.h"

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QTimer>
#include <array>
#include <optional>

class QStyle;

namespace granovia {

// The silo board: the full-screen touch face of the system, opened modally
// over the console and destroyed when it closes. It reads ppsila itself for
// its glyphs and dialogs, and orders its movements at the console's desk.
// Every notice and question owned by it comes in its touch-sized look.
class TForm2 final : public QDialog, public ui::OwnDialogs {
    Q_OBJECT
public:
    // Ctrl+Shift+F10 in the classic shortcut encoding.
    static constexpr int ShortcutValue = 24697;
    static constexpr int BarHeight = 89;
    static constexpr int CommandFontPx = 33; // Tahoma 25 pt at 96 dpi
    // Where another program holds the hot key: holding "znovu zadat" this
    // long leaves the board, which only an operator at the panel can do.
    static constexpr int LeaveHoldMs = 3000;

    // The steps of the picking (krok): nothing, the source, source and target.
    static constexpr int NothingPicked = 0;
    static constexpr int SourcePicked = 1;
    static constexpr int TargetPicked = 2;

    // A modal child of owner (the console), whose desk carries out its
    // movements. The tiles of the fill glyphs are read from the directory of paths.
    TForm2(movement::Desk &desk, QWidget *owner, AppPaths paths = AppPaths::ofRunningProgram());
    ~TForm2() override;

    // Creates a new board, shows it modally and destroys it when it closes.
    static void showBoard(movement::Desk &desk, QWidget *owner);

    // Repaints every glyph from one read of ppsila; the first time after the
    // show it also lays the buttons out, before the window comes on screen.
    void vymaluj();
    // Repaints the glyph of silo n only.
    void vymaluj_btn(int n);
    // Enables only the silos that may receive the source's seed.
    void ukaz_mozne();
    // Repaints the glyphs whose silos changed anywhere since they were
    // painted; one small statement when nothing did. Waits while a dialog is
    // up over the board and while the board paints; never throws.
    void pollGlyphs();

    // The operator's handlers. Each shows its own errors, so that none
    // reaches the event loop.
    void suiButton3Click(SiloButton *button); // a touch on a silo button
    void suiButton1Click();                   // "přesun"
    void suiButton5Click();                   // "odvoz"
    void suiButton2Click();                   // "znovu zadat"
    void HotKey1HotKey();                     // Ctrl+Shift+F10: leaves the board
    // A scanned code (BoardScan.cpp): a silo's label acts as a touch on it;
    // a lot's text as a touch on the silo that holds it, or, held by several,
    // leaves only those to touch.
    void scanned(const QString &code);

    // A notice or question in the look of foznam, with the request's buttons.
    ui::DialogAnswer showOwnDialog(const ui::DialogRequest &request) override;

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
    class Busy final {
    public:
        explicit Busy(TForm2 &board);
        ~Busy();
        Q_DISABLE_COPY_MOVE(Busy)

    private:
        TForm2 &m_board;
        ui::BusyNotice m_waitNotice;
    };

    void FormCreate();
    void createWaitNotice();
    // The "čekám na uvolnění záznamů…" notice, placed for a wait.
    QWidget *placedWaitNotice();
    void offerLeaveByHolding();
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
    void resetAfterMovement();
    void resetPicks();
    void resetCommands();
    void markPicked(int silo, bool picked);
    void focusBar();

    void touchScanned(int silo);
    void offerSilos(const QList<int> &silos);
    void endOffer();

    void notePainted(int silo, const QHash<int, board::SiloFill> &fills);

    movement::Desk &m_desk;
    // The console's watch waits while the board is up, as behind any dialog.
    movement::WatchPause m_consoleWatchPaused;
    AppPaths m_paths;
    QTimer m_glyphPoll;
    std::optional<ChangeToken> m_glyphToken;
    // Over the board while the glyphs' polls fail.
    ui::StaleMark *m_staleMark = nullptr;
    QHash<int, board::SiloFill> m_painted;
    bool m_painting = false;
    QStyle *m_buttonStyle = nullptr;
    bool m_shownOnce = false;
    bool m_left = false;
    bool m_busy = false;
    // Only the silos of a scanned lot may be touched, until the next touch.
    bool m_offering = false;
    QTimer m_leaveHold;
    // "čekám na uvolnění záznamů…" over the silos while a movement waits.
    QLabel *m_waitNotice = nullptr;
    QPointer<Tfoznam> m_ownDialog;
};

} // namespace granovia
