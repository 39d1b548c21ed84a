#pragma once

#include <QAbstractHttpServer>
#include <QHash>
#include <QPointer>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QDeadlineTimer>
#include <QTimer>
#include <optional>

class QTcpSocket;

// The one place that uses Qt's HTTP server: its request handling on top of a
// TCP server that bounds what a client may cost.
namespace granovia::web {

class WebAccess;
struct HttpAnswer;

// Accepts connections up to MaxConnections, with TLS when configured. A
// connection that has not upgraded to the live channel may send at most
// MaxRequestBytes per request and must finish each request within
// RequestTimeLimit; past either it is closed. When every place is taken,
// the oldest such connection gives its place to the new one; the live
// channels keep theirs.
class GuardedServer final : public QTcpServer {
    Q_OBJECT
public:
    static constexpr int MaxConnections = 1024;
    static constexpr qint64 MaxRequestBytes = 16 * 1024;
    static constexpr int RequestTimeLimitMs = 10000;

    explicit GuardedServer(std::optional<QSslConfiguration> tls, QObject *parent = nullptr);

    // The connection from this peer is a live channel now; returns the key
    // that release() takes when the channel ends.
    const void *markUpgraded(const QHostAddress &address, quint16 port);
    void release(const void *connection);
    // A request on the socket was answered: its next one starts afresh.
    void requestAnswered(QTcpSocket *socket);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Tracked {
        QPointer<QTcpSocket> socket;
        qint64 bytes = 0;
        QDeadlineTimer deadline;
        bool upgraded = false;
    };
    bool makeRoom();
    void track(QTcpSocket *socket);
    void countBytes(QTcpSocket *socket);
    void closeOverdue();
    static void drop(QTcpSocket *socket);

    std::optional<QSslConfiguration> m_tls;
    QHash<QTcpSocket *, Tracked> m_connections;
    QTimer m_sweep;
};

// Answers every request through WebAccess, with its security headers.
class HttpFront final : public QAbstractHttpServer {
    Q_OBJECT
public:
    HttpFront(const WebAccess &access, GuardedServer &server, QObject *parent = nullptr);

    // The live channel of this connection (GuardedServer::markUpgraded) ended.
    void channelEnded(const void *connection);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    void respond(const QHttpServerRequest &request, QTcpSocket *socket, const HttpAnswer &answer);

    const WebAccess &m_access;
    GuardedServer &m_server;
};

} // namespace granovia::web
