#pragma once

#include "movements/MovementDesk.h"

class QWidget;

namespace granovia {

class ConsoleSurface;
class LiveView;
class MovementActions;

// The console's side of the movement desk. A movement ordered here runs as
// the console's own buttons run it, driven: both panels are emptied through
// their X buttons, the silos are selected as a click selects them (source
// into panel A, target into panel B), and the movement button is clicked with
// its driven mode value in its Tag, whose result the desk reads back.
class ConsoleDesk final : public movement::Desk {
public:
    // window: the console's, which a board terminal parks below the screen.
    ConsoleDesk(QWidget &window, ConsoleSurface &console, MovementActions &actions, LiveView &liveView);

    movement::DeskResult transfer(int sourceSilo, int targetSilo) override;
    movement::DeskResult removal(int silo) override;
    Connection &connection() override;
    Connection &watchConnection() override;
    void dropWatchConnection() override;
    void pauseWatch() override;
    void resumeWatch() override;
    void boardLeft() override;

private:
    void restoreConsoleModes();
    void emptyPanels();
    void select(int silo);

    QWidget &m_window;
    ConsoleSurface &m_console;
    MovementActions &m_actions;
    LiveView &m_liveView;
};

} // namespace granovia
