#pragma once

#include "store/ChangeWatch.h"
#include "store/Connection.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QTime>
#include <QTimer>
#include <optional>

namespace granovia::web {

// The database side of the web board: one small change check every half
// second, whatever the number of viewers, and full reads only when it
// changed. What was read is kept as the ready messages that every viewer
// gets; a silo's page is read once per change, for all who look at it.
// A failed look drops the session and marks the data stale; the next look,
// after a pause, opens it again and reads everything.
class BoardFeed final : public QObject {
    Q_OBJECT
public:
    explicit BoardFeed(ConnectionSettings settings, QObject *parent = nullptr);

    // Looks from now on, the first time at once.
    void start();

    // The silos and the newest journal lines; empty before the first read.
    const QByteArray &boardMessage() const { return m_board; }
    // Whether the data are current, and the time they were last known to be.
    QByteArray statusMessage() const;
    // A silo's page of journal lines; empty when it cannot be read.
    QByteArray siloMessage(int silo, int page);

signals:
    // A new boardMessage(), and every cached page is gone.
    void boardChanged();
    // The data went stale or became current again.
    void liveChanged();

private:
    void poll();
    void readBoard();
    void setLive(bool live);
    Connection &connection();

    ConnectionSettings m_settings;
    Connection m_connection;
    QTimer m_timer;
    std::optional<ChangeToken> m_token;
    QByteArray m_board;
    QHash<quint64, QByteArray> m_pages;
    bool m_live = false;
    // When the data were last known to be current.
    QTime m_since;
};

} // namespace granovia::web
