#include "web/WebSettings.h"

#include "config/AppPaths.h"
#include "config/IniFile.h"

#include <QDir>

namespace granovia::web {

namespace {

constexpr int DecimalBase = 10;

QString readKey(const IniFile &own, const IniFile &shared, const QString &key)
{
    return shared.readString(WebSection, key, own.readString(WebSection, key, QString()));
}

QString programFile(const QString &name, const AppPaths &paths)
{
    if (name.isEmpty() || QDir::isAbsolutePath(name))
        return name;
    return paths.fileBesideProgram(name);
}

} // namespace

WebSettings readWebSettings(const IniFile &own, const IniFile &shared, const AppPaths &paths)
{
    WebSettings settings;
    const QString listen = readKey(own, shared, QStringLiteral("Listen"));
    if (!listen.isEmpty())
        settings.listen = listen;
    settings.token = readKey(own, shared, QStringLiteral("Token"));
    settings.certFile = programFile(readKey(own, shared, QStringLiteral("Cert")), paths);
    settings.keyFile = programFile(readKey(own, shared, QStringLiteral("Key")), paths);
    return settings;
}

std::optional<ListenAddress> parseListen(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return std::nullopt;
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(u':'))
        return std::nullopt;
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok, DecimalBase);
    const QHostAddress address(host);
    if (!ok || port == 0 || port > std::numeric_limits<quint16>::max() || address.isNull())
        return std::nullopt;
    return ListenAddress{address, quint16(port)};
}

std::variant<ListenAddress, QString> checkedListen(const WebSettings &settings)
{
    const std::optional<ListenAddress> listen = parseListen(settings.listen);
    if (!listen)
        return QStringLiteral("Neplatná adresa „%1“ klíče Listen v sekci [%2] (nebo --listen): platí adresa:port, "
                              "například 127.0.0.1:8470.")
            .arg(settings.listen, WebSection);
    if (!listen->address.isLoopback() && settings.token.size() < MinimumTokenLength)
        return QStringLiteral("Webová tabule na adrese %1 by byla dostupná z jiných počítačů: nastavte v sekci [%2] "
                              "klíč Token alespoň o %3 znacích, nebo naslouchejte jen na 127.0.0.1.")
            .arg(settings.listen, WebSection)
            .arg(MinimumTokenLength);
    if (settings.certFile.isEmpty() != settings.keyFile.isEmpty())
        return QStringLiteral("Pro HTTPS patří do sekce [%1] oba klíče, Cert i Key.").arg(WebSection);
    return *listen;
}

} // namespace granovia::web
