#pragma once

#include "store/ChangeWatch.h"
#include "store/Connection.h"
#include "store/WaitBudget.h"

#include <QList>
#include <QObject>
#include <QTimer>
#include <optional>

namespace granovia {

class TForm1;

// Keeps the console in step with the database while it runs: other
// workstations, the suite's other modules and hand edits show within a poll.
// A poll sends one small statement and reads more only when it changed; it
// waits while a dialog or the board is up, and it never moves the history
// away from the line the operator reads. The console's own movements are
// shown right away by reading only their silos and the new journal lines.
class LiveView final : public QObject {
    Q_OBJECT
public:
    static constexpr int PollIntervalMs = 500;
    // After a failed poll: a server that is gone is not asked twice a second.
    static constexpr int RetryIntervalMs = 15000;
    // Journal ids just below the newest known are read again, for lines whose
    // transactions were committed after a later one's.
    static constexpr qint64 JournalMargin = 20;

    explicit LiveView(TForm1 &console);

    // Polls from now on, the first time at once; the console has connected.
    void start();
    // No poll runs between pause() and its resume(); counted.
    void pause() { ++m_paused; }
    void resume() { --m_paused; }

    // One look at the database, showing what changed; true when something
    // had. Never throws: a failed poll drops its session, quietly, and a
    // later poll opens it again.
    bool poll();
    // Shows what the console's own movement changed: the rows of the silos
    // with these ids, and the journal lines since the newest known, with the
    // newest line current, as the designed full refresh leaves it. Throws
    // DbError.
    void showOwnMovement(const QList<qint32> &ids);

    // The session of the polls, opened on first use with the console's
    // settings; the board polls on it too. Throws DbError when it cannot be
    // opened.
    Connection &connection();
    // After a failure on that session: it is opened again on next use, and
    // the next poll reads everything.
    void forgetConnection();

private:
    struct FreshPanel;
    QStringList showSilos();
    void showJournal(qint64 journalTop);
    void repaintSilos(const QList<int> &silos);
    QStringList checkPanels(const std::optional<FreshPanel> &a, const std::optional<FreshPanel> &b);

    TForm1 &m_console;
    Connection m_connection;
    bool m_opened = false;
    QTimer m_timer;
    std::optional<ChangeToken> m_token;
    // The newest journal id known to be read; none before the first poll.
    std::optional<qint64> m_journalTop;
    int m_paused = 0;
};

// What a poll may keep the window waiting on a server that stalls; past it
// the poll gives up, quietly, where an operator's action would still wait.
class PollBudget final {
public:
    static constexpr std::chrono::milliseconds Allowed{1000};
    PollBudget()
        : m_budget(WaitBudget::Start::Fresh)
    {
        m_budget.spend(WaitBudget::Total - Allowed);
    }
    Q_DISABLE_COPY_MOVE(PollBudget)

private:
    WaitBudget m_budget;
};

// Holds the polls of a live view for its lifetime (the board does, while it is up).
class LiveViewPause final {
public:
    explicit LiveViewPause(LiveView &view)
        : m_view(view)
    {
        m_view.pause();
    }
    ~LiveViewPause() { m_view.resume(); }
    Q_DISABLE_COPY_MOVE(LiveViewPause)

private:
    LiveView &m_view;
};

} // namespace granovia
