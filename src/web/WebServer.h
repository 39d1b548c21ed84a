#pragma once

#include "store/Connection.h"
#include "web/BoardFeed.h"
#include "web/WebAccess.h"
#include "web/WebSettings.h"

#include <QHash>
#include <QSslConfiguration>
#include <QObject>
#include <QTimer>
#include <optional>

class QWebSocket;

namespace granovia::web {

class GuardedServer;
class HttpFront;

// The web board: the page's files over HTTP(S) and a live channel to every
// open page, all on the program's event loop. Each page is told the board
// when it opens and whenever it changes, the lines of the silo page it
// shows, and every HeartbeatMs whether the data are current; a page that
// hears nothing for longer knows that it lost the server.
class WebServer final : public QObject {
    Q_OBJECT
public:
    static constexpr int HeartbeatMs = 2000;
    // A page that reads no more than this behind is let go.
    static constexpr qint64 MaxUnsentBytes = 4 * 1024 * 1024;
    // What a page may send at once: the view it shows.
    static constexpr qint64 MaxMessageBytes = 256;

    WebServer(const WebSettings &settings, const ConnectionSettings &database, QObject *parent = nullptr);

    // Listens and starts looking at the database; the Czech reason when it
    // cannot listen or read its certificate.
    std::optional<QString> start(const ListenAddress &listen);

private:
    struct View {
        int silo = 0; // 0: the front page
        int page = 1;
    };
    std::optional<QString> setUpTls(const WebSettings &settings);
    void acceptLiveChannels();
    void admit(QWebSocket *socket);
    void choose(QWebSocket *socket, const QString &message);
    void sendBoard();
    void sendStatus();
    void sendSiloPage(QWebSocket *socket, const View &view);
    void send(QWebSocket *socket, const QString &message);

    WebAccess m_access;
    BoardFeed m_feed;
    std::optional<QSslConfiguration> m_tls;
    GuardedServer *m_server = nullptr;
    HttpFront *m_http = nullptr;
    QHash<QWebSocket *, View> m_viewers;
    QTimer m_heartbeat;
    WebSettings m_settings;
};

} // namespace granovia::web
