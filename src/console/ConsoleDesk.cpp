#include "console/ConsoleDesk.h"

#include "console/ConsoleSurface.h"
#include "console/LiveView.h"
#include "console/MovementActions.h"
#include "ui/Widgets.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QWidget>

namespace granovia {

ConsoleDesk::ConsoleDesk(QWidget &window, ConsoleSurface &console, MovementActions &actions, LiveView &liveView)
    : m_window(window)
    , m_console(console)
    , m_actions(actions)
    , m_liveView(liveView)
{
}

movement::DeskResult ConsoleDesk::transfer(int sourceSilo, int targetSilo)
{
    ui::SuiArrowButton *button = m_actions.buttons().suiArrowButton2;
    const auto restore = qScopeGuard([this] { restoreConsoleModes(); });
    emptyPanels();
    select(sourceSilo);
    select(targetSilo);
    button->Tag = MovementActions::TransferDriven;
    m_actions.suiArrowButton2Click();
    return movement::DeskResult(button->Tag);
}

movement::DeskResult ConsoleDesk::removal(int silo)
{
    ui::SuiButton *button = m_actions.buttons().suiButton4;
    const auto restore = qScopeGuard([this] { restoreConsoleModes(); });
    emptyPanels();
    select(silo);
    button->Tag = MovementActions::RemovalDriven;
    m_actions.suiButton4Click(button);
    // A completed driven removal leaves its mode value where a refusal leaves its code.
    const int result = button->Tag;
    return result == MovementActions::RemovalDriven ? movement::DeskResult::Done : movement::DeskResult(result);
}

Connection &ConsoleDesk::connection()
{
    return m_console.connection();
}

Connection &ConsoleDesk::watchConnection()
{
    return m_liveView.connection();
}

void ConsoleDesk::dropWatchConnection()
{
    m_liveView.forgetConnection();
}

void ConsoleDesk::pauseWatch()
{
    m_liveView.pause();
}

void ConsoleDesk::resumeWatch()
{
    m_liveView.resume();
}

void ConsoleDesk::boardLeft()
{
    // Brings a console that panel mode parked below the screen into view.
    m_window.move(m_window.x(), 0);
}

// However a driven movement ends, the console's movement buttons go back to
// console mode, so that their next click from the console asks its question.
void ConsoleDesk::restoreConsoleModes()
{
    m_actions.buttons().suiArrowButton2->Tag = MovementActions::TransferConsoleMode;
    m_actions.buttons().suiButton4->Tag = MovementActions::RemovalFromA;
}

void ConsoleDesk::emptyPanels()
{
    m_console.emptyPanel(Panel::A);
    m_console.emptyPanel(Panel::B);
}

// The panels repaint before the movement goes on.
void ConsoleDesk::select(int silo)
{
    m_console.selectSilo(silo);
    QCoreApplication::processEvents();
}

} // namespace granovia
