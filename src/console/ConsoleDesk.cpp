#include "console/ConsoleDesk.h"

#include "console/OverviewDrawing.h"
#include "console/TForm1.h"

#include <QCoreApplication>
#include <QScopeGuard>

namespace granovia {

namespace {

// The column of the overview cell that a selection stands for.
constexpr int DataColumn = 1;

} // namespace

ConsoleDesk::ConsoleDesk(TForm1 &console)
    : m_console(console)
{
}

movement::DeskResult ConsoleDesk::transfer(int sourceSilo, int targetSilo)
{
    TForm1 &c = m_console;
    const auto restore = qScopeGuard([this] { restoreConsoleModes(); });
    emptyPanels();
    select(sourceSilo);
    select(targetSilo);
    c.suiArrowButton2->Tag = TForm1::TransferDriven;
    c.suiArrowButton2Click();
    return movement::DeskResult(c.suiArrowButton2->Tag);
}

movement::DeskResult ConsoleDesk::removal(int silo)
{
    TForm1 &c = m_console;
    const auto restore = qScopeGuard([this] { restoreConsoleModes(); });
    emptyPanels();
    select(silo);
    c.suiButton4->Tag = TForm1::RemovalDriven;
    c.suiButton4Click(c.suiButton4);
    // A completed driven removal leaves its mode value where a refusal leaves its code.
    const int result = c.suiButton4->Tag;
    return result == TForm1::RemovalDriven ? movement::DeskResult::Done : movement::DeskResult(result);
}

Connection &ConsoleDesk::connection()
{
    return m_console.ZConnection1;
}

Connection &ConsoleDesk::watchConnection()
{
    return m_console.liveView.connection();
}

void ConsoleDesk::dropWatchConnection()
{
    m_console.liveView.forgetConnection();
}

void ConsoleDesk::pauseWatch()
{
    m_console.liveView.pause();
}

void ConsoleDesk::resumeWatch()
{
    m_console.liveView.resume();
}

void ConsoleDesk::boardLeft()
{
    // Brings a console that panel mode parked below the screen into view.
    m_console.move(m_console.x(), 0);
}

// However a driven movement ends, the console's movement buttons go back to
// console mode, so that their next click from the console asks its question.
void ConsoleDesk::restoreConsoleModes()
{
    m_console.suiArrowButton2->Tag = TForm1::TransferConsoleMode;
    m_console.suiButton4->Tag = TForm1::RemovalFromA;
}

void ConsoleDesk::emptyPanels()
{
    m_console.suiButton1Click();
    m_console.suiButton2Click();
}

// Silo s is row s − 1 of prehled for s = 1..50 and row s − 51 of prehled2
// beyond. The panels repaint before the movement goes on.
void ConsoleDesk::select(int silo)
{
    bool allow = true;
    if (silo <= overview::SilosPerGrid)
        m_console.prehledSelectCell(m_console.prehled, DataColumn, silo - 1, allow);
    else
        m_console.prehledSelectCell(m_console.prehled2, DataColumn, silo - overview::SecondGridBase - 1, allow);
    QCoreApplication::processEvents();
}

} // namespace granovia
