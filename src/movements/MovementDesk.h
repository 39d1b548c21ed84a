#pragma once

#include "store/Connection.h"

#include <QtGlobal>

// The movement desk: what the silo board asks of the console. The board
// orders movements by silo number and reads the database; how the console
// carries them out (its panels, its selection, its buttons' mode values) is
// the console's own business.
namespace granovia::movement {

// What a movement ordered at the desk came to. The console's driven
// movements leave these codes in their buttons' Tags.
enum class DeskResult {
    Done = 0,
    NoCapacity = 100,   // the target cannot take the quantity
    NoNumber = 200,     // no quantity, or no remaining capacity, to go by
    MissingRow = 300,   // a silo's row is gone
    StockChanged = 400, // the source no longer holds what was selected
};

class Desk {
public:
    virtual ~Desk() = default;

    // The whole stock of sourceSilo into targetSilo, and the whole stock of
    // silo out of the silos. Database errors reach the caller.
    virtual DeskResult transfer(int sourceSilo, int targetSilo) = 0;
    virtual DeskResult removal(int silo) = 0;

    // The console's session, for the board's reads.
    virtual Connection &connection() = 0;
    // The session on which the console watches for changes made elsewhere;
    // the board watches on it while the console's own watch is paused.
    // Throws DbError when it cannot be opened.
    virtual Connection &watchConnection() = 0;
    // After a failure on that session: it is opened again on next use.
    virtual void dropWatchConnection() = 0;
    // No look at the database for changes between pause and its resume; counted.
    virtual void pauseWatch() = 0;
    virtual void resumeWatch() = 0;
    // The board has been left: the console comes into view.
    virtual void boardLeft() = 0;
};

// Holds the console's watch for its lifetime (the board does, while it is up).
class WatchPause final {
public:
    explicit WatchPause(Desk &desk)
        : m_desk(desk)
    {
        m_desk.pauseWatch();
    }
    ~WatchPause() { m_desk.resumeWatch(); }
    Q_DISABLE_COPY_MOVE(WatchPause)

private:
    Desk &m_desk;
};

} // namespace granovia::movement
