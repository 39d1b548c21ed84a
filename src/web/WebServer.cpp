#include "web/WebServer.h"

#include "web/HttpFront.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslKey>
#include <QWebSocket>

namespace granovia::web {

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

WebServer::WebServer(const WebSettings &settings, const ConnectionSettings &database, QObject *parent)
    : QObject(parent)
    , m_access(settings.token, settings.https())
    , m_feed(database)
    , m_settings(settings)
{
    m_heartbeat.setInterval(HeartbeatMs);
    connect(&m_heartbeat, &QTimer::timeout, this, &WebServer::sendStatus);
    connect(&m_feed, &BoardFeed::boardChanged, this, &WebServer::sendBoard);
    connect(&m_feed, &BoardFeed::liveChanged, this, &WebServer::sendStatus);
}

std::optional<QString> WebServer::setUpTls(const WebSettings &settings)
{
    if (!settings.https())
        return std::nullopt;
    const QList<QSslCertificate> chain = QSslCertificate::fromData(readFile(settings.certFile), QSsl::Pem);
    const QSslKey key(readFile(settings.keyFile), QSsl::Rsa, QSsl::Pem);
    const QSslKey ecKey(readFile(settings.keyFile), QSsl::Ec, QSsl::Pem);
    if (chain.isEmpty() || (key.isNull() && ecKey.isNull()))
        return QStringLiteral("Certifikát %1 nebo klíč %2 pro HTTPS nelze přečíst.")
            .arg(settings.certFile, settings.keyFile);
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key.isNull() ? ecKey : key);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_tls = tls;
    return std::nullopt;
}

std::optional<QString> WebServer::start(const ListenAddress &listen)
{
    if (const std::optional<QString> failed = setUpTls(m_settings))
        return failed;
    m_server = new GuardedServer(m_tls, this);
    if (!m_server->listen(listen.address, listen.port))
        return QStringLiteral("Webová tabule nemůže naslouchat na %1:%2 (%3).")
            .arg(listen.address.toString())
            .arg(listen.port)
            .arg(m_server->errorString());
    m_http = new HttpFront(m_access, *m_server, this);
    connect(m_http, &HttpFront::newWebSocketConnection, this, &WebServer::acceptLiveChannels);
    m_feed.start();
    m_heartbeat.start();
    return std::nullopt;
}

void WebServer::acceptLiveChannels()
{
    while (m_http->hasPendingWebSocketConnections()) {
        QWebSocket *socket = m_http->nextPendingWebSocketConnection().release();
        if (socket)
            admit(socket);
    }
}

// The HTTP front let only admitted requests open the channel.
void WebServer::admit(QWebSocket *socket)
{
    const void *connection = m_server->markUpgraded(socket->peerAddress(), socket->peerPort());
    socket->setParent(this);
    connect(socket, &QWebSocket::disconnected, this, [this, socket, connection] {
        m_viewers.remove(socket);
        m_http->channelEnded(connection);
        socket->deleteLater();
    });
    socket->setMaxAllowedIncomingFrameSize(MaxMessageBytes);
    socket->setMaxAllowedIncomingMessageSize(MaxMessageBytes);
    connect(socket, &QWebSocket::textMessageReceived, this,
            [this, socket](const QString &message) { choose(socket, message); });
    m_viewers.insert(socket, {});
    send(socket, QString::fromUtf8(m_feed.statusMessage()));
    if (!m_feed.boardMessage().isEmpty())
        send(socket, QString::fromUtf8(m_feed.boardMessage()));
}

// The page says which view it shows: {"silo": 7, "page": 2}, silo 0 for the
// front page.
void WebServer::choose(QWebSocket *socket, const QString &message)
{
    const QJsonObject request = QJsonDocument::fromJson(message.toUtf8()).object();
    const auto viewer = m_viewers.find(socket);
    if (viewer == m_viewers.end())
        return;
    *viewer = View{request.value(QStringLiteral("silo")).toInt(), request.value(QStringLiteral("page")).toInt(1)};
    if (viewer->silo != 0)
        sendSiloPage(socket, *viewer);
}

void WebServer::sendSiloPage(QWebSocket *socket, const View &view)
{
    const QByteArray page = m_feed.siloMessage(view.silo, view.page);
    if (!page.isEmpty())
        send(socket, QString::fromUtf8(page));
}

// A page let go while the message goes out leaves the viewers; the copy
// of them stays whole.
void WebServer::sendBoard()
{
    const QString board = QString::fromUtf8(m_feed.boardMessage());
    const QHash<QWebSocket *, View> viewers = m_viewers;
    for (auto viewer = viewers.cbegin(); viewer != viewers.cend(); ++viewer) {
        send(viewer.key(), board);
        if (viewer->silo != 0 && m_viewers.contains(viewer.key()))
            sendSiloPage(viewer.key(), *viewer);
    }
}

void WebServer::sendStatus()
{
    const QString status = QString::fromUtf8(m_feed.statusMessage());
    for (QWebSocket *socket : m_viewers.keys())
        send(socket, status);
}

// A page that does not read what it is sent is let go, so that memory
// stays flat; it opens its channel again when it can.
void WebServer::send(QWebSocket *socket, const QString &message)
{
    if (socket->bytesToWrite() > MaxUnsentBytes) {
        socket->abort();
        return;
    }
    socket->sendTextMessage(message);
}

} // namespace granovia::web
