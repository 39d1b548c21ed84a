#include "config/HostInfo.h"

#include "store/SqlText.h"

#include <QDateTime>
#include <QFileInfo>
#include <arpa/inet.h>
#include <netdb.h>
#include <pwd.h>
#include <unistd.h>

namespace granovia::hostinfo {

namespace {

constexpr size_t HostNameBufferSize = 255; // a host name of up to 254 characters
// Last-write times are kept to 2 s, as the start journal has always had them.
constexpr qint64 FileTimeResolutionMs = 2000;

QString ownHostName()
{
    char buffer[HostNameBufferSize] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0)
        return {};
    return QString::fromLocal8Bit(buffer);
}

} // namespace

QString ipv4AddressOf(const QString &hostName)
{
    const QByteArray name = hostName.toLocal8Bit();
    if (name.isEmpty())
        return NoAddress;
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    addrinfo *found = nullptr;
    if (getaddrinfo(name.constData(), nullptr, &hints, &found) != 0 || !found)
        return NoAddress;
    const auto *address = reinterpret_cast<const sockaddr_in *>(found->ai_addr);
    char text[INET_ADDRSTRLEN] = {};
    const bool ok = inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr;
    freeaddrinfo(found);
    return ok ? QString::fromLatin1(text) : NoAddress;
}

QString localIpv4Address()
{
    return ipv4AddressOf(ownHostName());
}

QString limitedName(const QString &name, qsizetype maxLength)
{
    return (name.isEmpty() || name.size() > maxLength) ? UnknownName : name;
}

QString userName()
{
    const passwd *entry = getpwuid(geteuid());
    const QString name = entry ? QString::fromLocal8Bit(entry->pw_name) : qEnvironmentVariable("USER");
    return limitedName(name, MaxUserNameLength);
}

QString computerName()
{
    // A computer name carries no domain: the host name up to its first dot.
    return limitedName(ownHostName().section(QLatin1Char('.'), 0, 0), MaxComputerNameLength);
}

QString fileTimeText(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return ZeroTimestamp;
    const QDateTime written = info.lastModified().toLocalTime();
    const qint64 ms = written.toMSecsSinceEpoch();
    return formatTimestamp(QDateTime::fromMSecsSinceEpoch(ms - ms % FileTimeResolutionMs));
}

QString formatFileVersion(const std::optional<FileVersion> &version)
{
    if (!version)
        return QStringLiteral("-1.0.0.0");
    return QStringLiteral("%1.%2.%3.%4").arg(version->major).arg(version->minor).arg(version->patch).arg(version->build);
}

FileVersion programVersion()
{
    return {GRANOVIA_VERSION_MAJOR, GRANOVIA_VERSION_MINOR, GRANOVIA_VERSION_PATCH, GRANOVIA_VERSION_TWEAK};
}

StartEnvironment startEnvironment(const QString &executablePath)
{
    return {
        &localIpv4Address,
        &userName,
        &computerName,
        [executablePath] { return fileTimeText(executablePath); },
        [] { return formatFileVersion(programVersion()); },
        &QDateTime::currentDateTime,
    };
}

} // namespace granovia::hostinfo
