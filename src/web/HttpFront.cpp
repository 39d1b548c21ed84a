#include "web/HttpFront.h"

#include "web/WebAccess.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QSslSocket>

namespace granovia::web {

namespace {

constexpr int SweepIntervalMs = 1000;

} // namespace

GuardedServer::GuardedServer(std::optional<QSslConfiguration> tls, QObject *parent)
    : QTcpServer(parent)
    , m_tls(std::move(tls))
{
    m_sweep.setInterval(SweepIntervalMs);
    connect(&m_sweep, &QTimer::timeout, this, &GuardedServer::closeOverdue);
    m_sweep.start();
}

void GuardedServer::incomingConnection(qintptr descriptor)
{
    QTcpSocket *socket = m_tls ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (!makeRoom()) {
        drop(socket);
        return;
    }
    track(socket);
    auto *tls = qobject_cast<QSslSocket *>(socket);
    if (!tls) {
        addPendingConnection(socket);
        return;
    }
    // The HTTP server takes the connection once it is encrypted.
    tls->setSslConfiguration(*m_tls);
    connect(tls, &QSslSocket::encrypted, this, [this, tls] {
        addPendingConnection(tls);
        emit newConnection();
    });
    connect(tls, &QSslSocket::errorOccurred, tls, [tls] { drop(tls); });
    tls->startServerEncryption();
}

bool GuardedServer::makeRoom()
{
    if (m_connections.size() < MaxConnections)
        return true;
    Tracked *oldest = nullptr;
    for (Tracked &tracked : m_connections) {
        if (!tracked.upgraded && (!oldest || tracked.deadline < oldest->deadline))
            oldest = &tracked;
    }
    if (!oldest)
        return false;
    QTcpSocket *socket = oldest->socket;
    m_connections.remove(socket);
    drop(socket);
    return true;
}

void GuardedServer::track(QTcpSocket *socket)
{
    m_connections.insert(socket, {socket, 0, QDeadlineTimer(RequestTimeLimitMs), false});
    // Connected before the HTTP server's own reader: the bytes are counted
    // before it reads them. The upgrade to the live channel disconnects it.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { countBytes(socket); });
    connect(socket, &QObject::destroyed, this, [this, socket] { m_connections.remove(socket); });
}

void GuardedServer::countBytes(QTcpSocket *socket)
{
    const auto tracked = m_connections.find(socket);
    if (tracked == m_connections.end() || tracked->upgraded)
        return;
    tracked->bytes += socket->bytesAvailable();
    if (tracked->bytes <= MaxRequestBytes)
        return;
    // What is left is never parsed.
    socket->readAll();
    m_connections.erase(tracked);
    drop(socket);
}

const void *GuardedServer::markUpgraded(const QHostAddress &address, quint16 port)
{
    for (Tracked &tracked : m_connections) {
        const QTcpSocket *socket = tracked.socket;
        if (socket && socket->peerPort() == port && socket->peerAddress() == address) {
            tracked.upgraded = true;
            return socket;
        }
    }
    return nullptr;
}

// The upgrade took every connection of the socket's signals, and the channel
// owns the socket now: the channel tells when its place is free.
void GuardedServer::release(const void *connection)
{
    m_connections.remove(static_cast<QTcpSocket *>(const_cast<void *>(connection)));
}

void GuardedServer::requestAnswered(QTcpSocket *socket)
{
    const auto tracked = m_connections.find(socket);
    if (tracked == m_connections.end())
        return;
    tracked->bytes = 0;
    tracked->deadline = QDeadlineTimer(RequestTimeLimitMs);
}

void GuardedServer::closeOverdue()
{
    QList<QTcpSocket *> overdue;
    for (const Tracked &tracked : std::as_const(m_connections)) {
        if (!tracked.upgraded && tracked.deadline.hasExpired())
            overdue.append(tracked.socket);
    }
    for (QTcpSocket *socket : overdue) {
        m_connections.remove(socket);
        drop(socket);
    }
}

void GuardedServer::drop(QTcpSocket *socket)
{
    if (!socket)
        return;
    socket->abort();
    socket->deleteLater();
}

HttpFront::HttpFront(const WebAccess &access, GuardedServer &server, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_access(access)
    , m_server(server)
{
    bind(&server);
}

namespace {

bool isUpgrade(const QHttpServerRequest &request)
{
    return request.value(QByteArrayLiteral("upgrade")).compare(QByteArrayLiteral("websocket"), Qt::CaseInsensitive) == 0;
}

std::optional<HttpAnswer> refusedUpgrade(const WebAccess &access, const QHttpServerRequest &request)
{
    return access.refusedUpgrade(request.url(), request.value(QByteArrayLiteral("cookie")),
                                 request.value(QByteArrayLiteral("origin")), request.value(QByteArrayLiteral("host")));
}

} // namespace

// A request to open the live channel is answered by the channel itself once
// accepted here; one refused is answered in missingHandler().
bool HttpFront::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    if (isUpgrade(request)) {
        return !refusedUpgrade(m_access, request);
    }
    const QByteArray method = request.method() == QHttpServerRequest::Method::Get ? QByteArrayLiteral("GET")
                                                                                  : QByteArrayLiteral("other");
    respond(request, socket,
            m_access.answer(method, request.url(), request.value(QByteArrayLiteral("cookie")),
                            request.value(QByteArrayLiteral("host"))));
    return true;
}

void HttpFront::channelEnded(const void *connection)
{
    m_server.release(connection);
}

void HttpFront::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    if (const std::optional<HttpAnswer> refused = refusedUpgrade(m_access, request))
        respond(request, socket, *refused);
}

void HttpFront::respond(const QHttpServerRequest &request, QTcpSocket *socket, const HttpAnswer &answer)
{
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(QHttpServerResponder::StatusCode(int(answer.status)));
    for (const auto &[name, value] : WebAccess::securityHeaders() + answer.headers)
        responder.writeHeader(name, value);
    responder.writeHeader(QByteArrayLiteral("Content-Length"), QByteArray::number(answer.body.size()));
    responder.writeBody(answer.body);
    m_server.requestAnswered(socket);
}

} // namespace granovia::web
