#pragma once

#include <QList>
#include <QString>

namespace granovia {

// One database server as the program connects to it: always over TCP.
struct ServerAddress {
    QString host;
    unsigned int port = 0;
    bool operator==(const ServerAddress &) const = default;
};

constexpr int MinPort = 1;
constexpr int MaxPort = 65535;
// A port text read as a decimal integer; ConversionError when it is none or
// lies outside MinPort..MaxPort.
unsigned int parsePort(const QString &text);

// The servers of an "IP" text: hosts separated by commas, each "host" or
// "host:port" ("[address]:port" for an IPv6 address), with defaultPort for a
// host that names none. Blanks around a host and empty entries between
// commas are left out; the empty text is the empty host, which the client
// library takes for this machine. "localhost" is 127.0.0.1, so that it too
// goes over TCP. A port text that is no port throws ConversionError.
QList<ServerAddress> parseHostList(const QString &text, unsigned int defaultPort);

} // namespace granovia
