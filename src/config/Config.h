#pragma once

#include "config/AppPaths.h"
#include "config/IniFile.h"
#include "store/Connection.h"

#include <QString>
#include <QStringList>
#include <chrono>

namespace granovia {

// What the start-up reads from the two INI files, section "LogOn".
struct StartConfig {
    QString host;
    QString password;
    QString user;
    QString database;
    QString sqlPort;
    QString sqlPortOpen;
    QString cisloPc;
    QString stredisko;
    QString ssl;   // "1": TLS only; "0" or empty: clear text; anything else is refused
    QString sslCa; // the CA file, relative to the program's folder unless absolute
    QString reportLimit; // seconds a report's statement may run; empty for the default

    // Throws AppError, naming the key, for an SSL value that is neither
    // "1", "0" nor empty: a value nobody meant must never mean clear text.
    bool tlsOnly() const;
    // How long one statement of a report may run before the report gives
    // up. Throws AppError, naming the key, for a value that is no whole
    // number of seconds from 1 to a day.
    std::chrono::seconds reportSeconds() const;
};

namespace config {
inline const QString LogOnSection = QStringLiteral("LogOn");
inline const QString FormSection = QStringLiteral("TForm1");
inline const QString FormVersionKey = QStringLiteral("FormVersion");
inline const QString DefaultDatabase = QStringLiteral("granovia");
inline const QString ModuleName = QStringLiteral("Údržba číselníků");
inline const QString ReportLimitKey = QStringLiteral("ReportLimit");
// A report's statement runs this long at most unless the INI says otherwise.
constexpr std::chrono::seconds DefaultReportLimit{600};
constexpr std::chrono::seconds LongestReportLimit{24 * 60 * 60};
} // namespace config

// Stage 1 reads the own INI file over the built-in defaults, stage 2 the
// shared INI file over stage 1. localIpv4 is the default host.
StartConfig readStartConfig(const IniFile &own, const IniFile &shared, const QString &localIpv4);

// Both INI files of this installation, the host's own address the default host.
StartConfig readStartConfig(const AppPaths &paths);

// The settings of a session with the configured server (host list, port,
// user, password, database, TLS and its CA file), the same for every face of
// the program. Throws ConversionError for a port that is no port, AppError
// for an SSL value that means nothing.
ConnectionSettings connectionSettings(const StartConfig &config, const AppPaths &paths);

// "/P" as the first argument, in any letter case, runs the board terminal.
bool isPanelMode(const QStringList &arguments);

} // namespace granovia
