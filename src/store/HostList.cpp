#include "store/HostList.h"

#include "store/DbError.h"

#include <QRegularExpression>

namespace granovia {

namespace {

const QString LocalHostName = QStringLiteral("localhost");
const QString LoopbackAddress = QStringLiteral("127.0.0.1");

// "[v6]:port" or "[v6]", "host:port", or a host without a port (an IPv6
// address written bare has more than one colon and takes the default port).
ServerAddress parseHost(const QString &entry, unsigned int defaultPort)
{
    static const QRegularExpression bracketed(QStringLiteral("^\\[([^\\]]*)\\](?::(.*))?$"));
    ServerAddress address{entry, defaultPort};
    if (const QRegularExpressionMatch match = bracketed.match(entry); match.hasMatch()) {
        address.host = match.captured(1);
        if (match.hasCaptured(2))
            address.port = parsePort(match.captured(2));
    } else if (entry.count(u':') == 1) {
        const qsizetype colon = entry.indexOf(u':');
        address.host = entry.left(colon).trimmed();
        address.port = parsePort(entry.mid(colon + 1).trimmed());
    }
    if (address.host.compare(LocalHostName, Qt::CaseInsensitive) == 0)
        address.host = LoopbackAddress;
    return address;
}

} // namespace

unsigned int parsePort(const QString &text)
{
    // Leading blanks and a sign are allowed, as in any integer field; nothing else.
    static const QRegularExpression decimal(QStringLiteral("^ *[+-]?[0-9]+$"));
    bool ok = false;
    const int value = decimal.match(text).hasMatch() ? text.trimmed().toInt(&ok) : 0;
    // A number that is no port would wrap around to another one.
    if (!ok || value < MinPort || value > MaxPort)
        throw ConversionError(text);
    return static_cast<unsigned int>(value);
}

QList<ServerAddress> parseHostList(const QString &text, unsigned int defaultPort)
{
    if (!text.contains(u','))
        return {parseHost(text.trimmed(), defaultPort)};
    QList<ServerAddress> hosts;
    for (const QString &entry : text.split(u',')) {
        if (!entry.trimmed().isEmpty())
            hosts.append(parseHost(entry.trimmed(), defaultPort));
    }
    // Commas alone name no host: the empty host, as the empty text.
    if (hosts.isEmpty())
        hosts.append({QString(), defaultPort});
    return hosts;
}

} // namespace granovia
