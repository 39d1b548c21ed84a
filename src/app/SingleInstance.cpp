#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace granovia {

namespace {

constexpr int ActivationTimeoutMs = 2000;
const QByteArray ActivateMessage = QByteArrayLiteral("activate\n");
constexpr mode_t PrivateDirectoryMode = 0700;
constexpr mode_t PrivateFileMode = 0600;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Empty when only this user can write to the directory, else what is wrong.
QString privacyProblem(const QString &directory)
{
    struct stat info {};
    if (lstat(QFile::encodeName(directory).constData(), &info) != 0)
        return QStringLiteral("%1: %2").arg(directory, systemError());
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("%1 is not a directory").arg(directory);
    if (info.st_uid != geteuid())
        return QStringLiteral("%1 belongs to another user").arg(directory);
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return QStringLiteral("%1 is writable by other users").arg(directory);
    return {};
}

} // namespace

QString SingleInstance::guardDirectory()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime;
    return QDir::temp().filePath(QStringLiteral("granovia-%1").arg(geteuid()));
}

SingleInstance::SingleInstance(const QString &executableFileName, QObject *parent)
    : QObject(parent)
    , m_name(executableFileName.toUpper())
    , m_directory(guardDirectory())
{
    // Without a runtime directory the guard makes its own; mkdir does not
    // follow a name someone else planted, which the owner check then refuses.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        mkdir(QFile::encodeName(m_directory).constData(), PrivateDirectoryMode);
    if (const QString problem = privacyProblem(m_directory); !problem.isEmpty()) {
        runAlone(problem);
        return;
    }
    m_primary = takeLock(path(QStringLiteral(".lock")));
    if (m_primary)
        listen();
}

SingleInstance::~SingleInstance()
{
    if (m_lockFile >= 0)
        ::close(m_lockFile);
}

QString SingleInstance::path(const QString &suffix) const
{
    return QDir(m_directory).filePath(m_name + suffix);
}

// True when this process now holds the lock, or runs alone without one.
bool SingleInstance::takeLock(const QString &lockPath)
{
    const QByteArray name = QFile::encodeName(lockPath);
    m_lockFile = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, PrivateFileMode);
    if (m_lockFile < 0 && errno == EACCES) {
        // A file this user cannot open names no process of his: replace it.
        ::unlink(name.constData());
        m_lockFile = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, PrivateFileMode);
    }
    if (m_lockFile < 0) {
        runAlone(QStringLiteral("%1: %2").arg(lockPath, systemError()));
        return true;
    }
    if (flock(m_lockFile, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return false;
        runAlone(QStringLiteral("%1: %2").arg(lockPath, systemError()));
        return true;
    }
    // For whoever looks: the process that holds the lock.
    const QByteArray pid = QByteArray::number(qint64(getpid())) + '\n';
    if (ftruncate(m_lockFile, 0) == 0 && ::write(m_lockFile, pid.constData(), size_t(pid.size())) < 0)
        std::fprintf(stderr, "%s: %s\n", name.constData(), std::strerror(errno));
    return true;
}

void SingleInstance::runAlone(const QString &reason)
{
    m_primary = true;
    std::fprintf(stderr, "%s: no single-instance guard, running as the only instance: %s\n",
                 qPrintable(m_name), qPrintable(reason));
}

void SingleInstance::listen()
{
    const QString serverName = path(QStringLiteral(".sock"));
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
    socket.connectToServer(path(QStringLiteral(".sock")));
    if (!socket.waitForConnected(ActivationTimeoutMs))
        return;
    socket.write(ActivateMessage);
    socket.waitForBytesWritten(ActivationTimeoutMs);
    socket.disconnectFromServer();
}

} // namespace granovia
