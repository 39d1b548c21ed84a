#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <unistd.h>

namespace granovia {

namespace {

constexpr int ActivationTimeoutMs = 2000;
const QByteArray ActivateMessage = QByteArrayLiteral("activate\n");

// The guard is per user: it lives in the user's runtime directory or, where
// there is none, carries the user's id in its name.
QString guardPath(const QString &name)
{
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty())
        return QDir(runtimeDir).filePath(name);
    return QDir::temp().filePath(QStringLiteral("%1-%2").arg(geteuid()).arg(name));
}

} // namespace

SingleInstance::SingleInstance(const QString &executableFileName, QObject *parent)
    : QObject(parent)
    , m_name(executableFileName.toUpper())
    , m_lock(std::make_unique<QLockFile>(guardPath(m_name + QStringLiteral(".lock"))))
{
    // Never stale by age: only a lock whose process is gone is taken over.
    m_lock->setStaleLockTime(0);
    m_primary = m_lock->tryLock(0);
    if (m_primary)
        listen();
}

SingleInstance::~SingleInstance() = default;

void SingleInstance::listen()
{
    const QString serverName = guardPath(m_name + QStringLiteral(".sock"));
    QLocalServer::removeServer(serverName); // left behind by a crashed instance
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *peer = m_server.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->readAll().contains(ActivateMessage))
                    emit activationRequested();
            });
        }
    });
    m_server.listen(serverName);
}

void SingleInstance::activateRunning()
{
    QLocalSocket socket;
    socket.connectToServer(guardPath(m_name + QStringLiteral(".sock")));
    if (!socket.waitForConnected(ActivationTimeoutMs))
        return;
    socket.write(ActivateMessage);
    socket.waitForBytesWritten(ActivationTimeoutMs);
    socket.disconnectFromServer();
}

} // namespace granovia
