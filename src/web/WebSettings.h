#pragma once

#include <QHostAddress>
#include <QString>
#include <optional>
#include <variant>

namespace granovia {
class AppPaths;
class IniFile;
}

// The web board's own settings: section [Web] of the program's own INI file,
// whose values the suite's shared file replaces, as for [LogOn].
namespace granovia::web {

inline const QString WebSection = QStringLiteral("Web");
inline const QString DefaultListen = QStringLiteral("127.0.0.1:8470");
// A token that guards a board reachable from other machines is at least this long.
constexpr qsizetype MinimumTokenLength = 16;

struct ListenAddress {
    QHostAddress address;
    quint16 port = 0;
};

struct WebSettings {
    QString listen = DefaultListen;
    QString token;
    // PEM files, absolute; both empty for plain HTTP.
    QString certFile;
    QString keyFile;

    bool https() const { return !certFile.isEmpty() || !keyFile.isEmpty(); }
};

// Own file first, the shared file's values over it; Cert and Key relative to
// the program's folder unless absolute.
WebSettings readWebSettings(const IniFile &own, const IniFile &shared, const AppPaths &paths);

// "address:port", an IPv6 address in brackets ("[::1]:8470"); nothing for
// any other text.
std::optional<ListenAddress> parseListen(const QString &text);

// What the server listens on, or the Czech reason it must not start: an
// unreadable address, a reachable board without a long enough token, or
// only one of Cert and Key.
std::variant<ListenAddress, QString> checkedListen(const WebSettings &settings);

} // namespace granovia::web
