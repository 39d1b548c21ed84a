#pragma once

#include "console/ConsoleSurface.h"
#include "journal/JournalLine.h"
#include "movements/MovementDesk.h"
#include "movements/Movements.h"
#include "movements/Reversal.h"
#include "ui/Dialogs.h"

#include <QObject>
#include <optional>

class QAction;
class QMenu;
class QPoint;
class QWidget;

namespace granovia {

class LiveView;

namespace ui {
class SuiArrowButton;
class SuiButton;
} // namespace ui

inline const QString QuantityErrorText = QStringLiteral("Chyba v množství!");

// The console's movement buttons and the history's line menu: a transfer
// between panels A and B, a removal out of the silo of either panel, and the
// reversal of a wrong movement from the history. They ask their questions,
// tell the operator why the database refused a movement, and show what a
// written movement changed.
class MovementActions final : public QObject {
    Q_OBJECT
public:
    // Mode values in the Tags of the movement buttons.
    static constexpr int TransferConsoleMode = 0;
    static constexpr int TransferDriven = 1;
    static constexpr int RemovalFromA = 1;
    static constexpr int RemovalFromB = 2;
    static constexpr int RemovalDriven = 3;

    // The console's movement buttons, whose clicks run the actions.
    struct Buttons {
        ui::SuiArrowButton *suiArrowButton2; // A to B
        ui::SuiArrowButton *suiArrowButton1; // B to A
        ui::SuiButton *suiButton4;           // out of the silo of panel A
        ui::SuiButton *suiButton5;           // out of the silo of panel B
    };

    MovementActions(QWidget *window, ConsoleSurface &console, LiveView &liveView, const Buttons &buttons);

    const Buttons &buttons() const { return m_buttons; }
    // How the silo tables take a movement, as read at start.
    void setTables(const movement::MovementTables &tables) { m_tables = tables; }

    // Transfer from panel A to panel B. A Tag of suiArrowButton2 other than 0
    // runs it driven: no dialog, and the result code (movement::DeskResult)
    // is left in the Tag. Database errors reach the caller, with the Tag back
    // at 0.
    void suiArrowButton2Click();
    // Transfer from panel B to panel A, always with question and notices.
    void suiArrowButton1Click();
    // Removal out of the silo of panel A (Tag 1), panel B (Tag 2), or of
    // panel A without question or dialog (Tag 3, as the board drives it). A
    // refused driven removal leaves its result code in suiButton4's Tag; a
    // completed one leaves the Tag at 3. Database errors reach the caller,
    // with suiButton4's Tag back at 1.
    void suiButton4Click(ui::SuiButton *button);

    // The menu of a history line, at a point of the screen; its item
    // "Stornovat pohyb" is enabled for a movement that can be reversed.
    void showLineMenu(int row, const QPoint &globalPos);
    // Reverses the line of the menu after the operator's "stornovat".
    // Database errors reach the caller.
    void reverseMenuLine();
    QMenu *historyMenu() const { return m_historyMenu; }
    QAction *reverseAction() const { return m_reverseAction; }

private:
    // Shown while a movement waits long, as on locks held elsewhere.
    static inline const QString WaitingText = QStringLiteral("čekám na uvolnění záznamů…");
    // What a movement came to; nothing when the operator said "storno".
    using MovementResult = std::optional<movement::DeskResult>;

    void connectHandlers();
    MovementResult transfer(const PanelSide &source, const PanelSide &target, bool driven);
    MovementResult removal(const PanelSide &panel, bool driven);
    bool confirmed(const QString &question, DetailGrid *source);
    void clearQuestion();
    // The result of a movement that the database refused, told to the
    // operator unless the movement runs driven.
    movement::DeskResult refused(movement::Outcome outcome, bool driven);
    // Shows what a written movement changed: the rows with these ids and the
    // new journal lines; both panels are emptied.
    void refreshAfterMovement(const QList<qint32> &changed, bool driven);

    QWidget *m_window;
    ConsoleSurface &m_console;
    LiveView &m_liveView;
    Buttons m_buttons;
    // The question before a movement: "přesunout" or "storno".
    ui::MessageDialog suiMessageDialog2;
    // The question before a reversal: "stornovat" or "zpět".
    ui::MessageDialog m_reverseQuestion;
    QMenu *m_historyMenu;
    QAction *m_reverseAction;
    movement::MovementTables m_tables;
    // The line whose menu was shown last, as it was then.
    std::optional<journal::JournalLine> m_menuLine;
};

} // namespace granovia
