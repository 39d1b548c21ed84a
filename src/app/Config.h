#pragma once

#include "app/IniFile.h"

#include <QString>
#include <QStringList>

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
    QString ssl;   // "1": TLS only
    QString sslCa; // the CA file, relative to the program's folder unless absolute

    bool tlsOnly() const;
};

namespace config {
inline const QString LogOnSection = QStringLiteral("LogOn");
inline const QString FormSection = QStringLiteral("TForm1");
inline const QString FormVersionKey = QStringLiteral("FormVersion");
inline const QString DefaultDatabase = QStringLiteral("granovia");
inline const QString ModuleName = QStringLiteral("Údržba číselníků");
} // namespace config

// Stage 1 reads the own INI file over the built-in defaults, stage 2 the
// shared INI file over stage 1. localIpv4 is the default host.
StartConfig readStartConfig(const IniFile &own, const IniFile &shared, const QString &localIpv4);

// "/P" as the first argument, in any letter case, runs the board terminal.
bool isPanelMode(const QStringList &arguments);

} // namespace granovia
