#pragma once

#include "store/ChangeWatch.h"
#include "store/Connection.h"
#include "ui/StaleMark.h"

#include <QList>
#include <QObject>
#include <QTimer>
#include <optional>

namespace granovia {

class ConsoleSurface;

// Keeps the console in step with the database while it runs: other
// workstations, the suite's other modules and hand edits show within a poll.
// A poll sends one small statement and reads more only when it changed; it
// waits while a dialog or the board is up, and it never moves the history
// away from the line the operator reads. The console's own movements are
// shown right away by reading only their silos and the new journal lines.
class LiveView final : public QObject {
    Q_OBJECT
public:
    // Journal ids just below the newest known are read again, for lines whose
    // transactions were committed after a later one's.
    static constexpr qint64 JournalMargin = 20;

    explicit LiveView(ConsoleSurface &console);

    // Polls from now on, the first time at once; the console has connected.
    void start();
    void stop() { m_timer.stop(); }
    // No poll runs between pause() and its resume(); counted.
    void pause() { ++m_paused; }
    void resume() { --m_paused; }

    // One look at the database, showing what changed; true when something
    // had. Never throws: a failed poll drops its session, and a later poll
    // opens it again; while the polls fail, the console is marked as not
    // current a few seconds after the last good one.
    bool poll();
    // Shows what the console's own movement changed: the rows of the silos
    // with these ids, and the journal lines since the newest known, with the
    // newest line current, as the full refresh leaves it. Throws
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
    QStringList checkPanels(const std::optional<FreshPanel> &a, const std::optional<FreshPanel> &b);

    ConsoleSurface &m_console;
    Connection m_connection;
    QTimer m_timer;
    std::optional<ChangeToken> m_token;
    // The newest journal id known to be read; none before the first poll.
    std::optional<qint64> m_journalTop;
    int m_paused = 0;
    // Over the console while the polls fail.
    ui::StaleMark *m_staleMark;
};

} // namespace granovia
