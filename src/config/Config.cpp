#include "config/Config.h"

#include "store/DbError.h"
#include "config/HostInfo.h"

namespace granovia {

namespace {

const QString DefaultPassword = QStringLiteral("tovkar");
const QString DefaultUser = QStringLiteral("root");
const QString DefaultPort = QStringLiteral("3306");
const QString DefaultStartRecordNumber = QStringLiteral("77");
const QString PanelSwitch = QStringLiteral("/P");
const QString TlsOnlyValue = QStringLiteral("1");
const QString ClearTextValue = QStringLiteral("0");

} // namespace

StartConfig readStartConfig(const IniFile &own, const IniFile &shared, const QString &localIpv4)
{
    const auto readOwn = [&own](const char *key, const QString &fallback) {
        return own.readString(config::LogOnSection, QLatin1String(key), fallback);
    };
    const auto readShared = [&shared](const char *key, const QString &fallback) {
        return shared.readString(config::LogOnSection, QLatin1String(key), fallback);
    };

    StartConfig c;
    c.host = readOwn("IP", localIpv4);
    c.password = readOwn("Password", DefaultPassword);
    c.user = readOwn("User", DefaultUser);
    c.sqlPort = readOwn("SQLport", DefaultPort);
    c.sqlPortOpen = readOwn("SQLportopen", QString());
    c.ssl = readOwn("SSL", QString());
    c.sslCa = readOwn("SSLCA", QString());
    c.reportLimit = readOwn("ReportLimit", QString());

    c.host = readShared("IP", c.host);
    c.password = readShared("Password", c.password);
    c.user = readShared("User", c.user);
    c.database = readShared("Database", config::DefaultDatabase);
    c.sqlPort = readShared("SQLport", c.sqlPort);
    c.sqlPortOpen = readShared("SQLportopen", c.sqlPortOpen);
    c.cisloPc = readShared("CisloPC", DefaultStartRecordNumber);
    c.stredisko = readShared("Stredisko", DefaultStartRecordNumber);
    // An empty SSL in the shared file leaves the own file's choice standing:
    // TLS is never switched off by a value that says nothing.
    const QString sharedSsl = readShared("SSL", QString());
    if (!sharedSsl.isEmpty())
        c.ssl = sharedSsl;
    c.sslCa = readShared("SSLCA", c.sslCa);
    c.reportLimit = readShared("ReportLimit", c.reportLimit);
    return c;
}

bool StartConfig::tlsOnly() const
{
    if (ssl == TlsOnlyValue)
        return true;
    if (ssl.isEmpty() || ssl == ClearTextValue)
        return false;
    throw AppError(QStringLiteral("Neplatná hodnota „%1“ klíče SSL v sekci [%2]: platí 1 (jen přes TLS), "
                                  "0 nebo prázdná hodnota (bez TLS).")
                       .arg(ssl, config::LogOnSection));
}

std::chrono::seconds StartConfig::reportSeconds() const
{
    if (reportLimit.trimmed().isEmpty())
        return config::DefaultReportLimit;
    bool ok = false;
    const qint64 seconds = reportLimit.trimmed().toLongLong(&ok);
    if (!ok || seconds < 1 || seconds > config::LongestReportLimit.count()) {
        throw AppError(QStringLiteral("Neplatná hodnota „%1“ klíče %2 v sekci [%3]: platí počet sekund od 1 do %4.")
                           .arg(reportLimit, config::ReportLimitKey, config::LogOnSection)
                           .arg(config::LongestReportLimit.count()));
    }
    return std::chrono::seconds(seconds);
}

StartConfig readStartConfig(const AppPaths &paths)
{
    return readStartConfig(IniFile(paths.ownIniPath()), IniFile(paths.sharedIniPath()), hostinfo::localIpv4Address());
}

ConnectionSettings connectionSettings(const StartConfig &config, const AppPaths &paths)
{
    ConnectionSettings settings;
    settings.host = config.host;
    settings.port = parsePort(config.sqlPort);
    settings.user = config.user;
    settings.password = config.password;
    settings.database = config.database;
    settings.tlsOnly = config.tlsOnly();
    settings.tlsCaFile = config.sslCa.isEmpty() ? QString() : paths.fileBesideProgram(config.sslCa);
    return settings;
}

bool isPanelMode(const QStringList &arguments)
{
    if (arguments.size() < 2)
        return false;
    // Only the letters a to z are folded.
    QString first = arguments.at(1);
    for (QChar &ch : first) {
        if (ch >= QLatin1Char('a') && ch <= QLatin1Char('z'))
            ch = QChar(ch.unicode() - ('a' - 'A'));
    }
    return first == PanelSwitch;
}

} // namespace granovia
