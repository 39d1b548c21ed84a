#include "app/WebCommand.h"

#include "config/AppPaths.h"
#include "config/Config.h"
#include "config/IniFile.h"
#include "store/DbError.h"
#include "web/WebServer.h"
#include "web/WebSettings.h"

#include <QCoreApplication>
#include <QTextStream>

namespace granovia::web {

namespace {

const QString ListenSwitch = QStringLiteral("--listen");

QString usage()
{
    return QStringLiteral("Použití: granovia-silo --web [--listen ADRESA:PORT]");
}

// Puts the command line's listen address into listen; what is wrong with
// the arguments, if anything.
std::optional<QString> readListen(const QStringList &arguments, QString &listen)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == WebSwitch)
            continue;
        if (argument != ListenSwitch || i + 1 >= arguments.size() || !listen.isEmpty())
            return QStringLiteral("neznámý nebo neúplný argument %1").arg(argument);
        listen = arguments.at(++i);
    }
    return std::nullopt;
}

} // namespace

bool isWebCommand(int argc, char **argv)
{
    const QByteArray name = WebSwitch.toLatin1();
    for (int i = 1; i < argc; ++i) {
        if (name == argv[i])
            return true;
    }
    return false;
}

int runWebCommand(const QStringList &arguments, const AppPaths &paths, QTextStream &err)
{
    QString listen;
    if (const std::optional<QString> error = readListen(arguments, listen)) {
        err << paths.executableFileName() << ": " << *error << "\n" << usage() << Qt::endl;
        return WebBadArguments;
    }
    try {
        WebSettings settings = readWebSettings(IniFile(paths.ownIniPath()), IniFile(paths.sharedIniPath()), paths);
        if (!listen.isEmpty())
            settings.listen = listen;
        const auto checked = checkedListen(settings);
        if (const QString *refused = std::get_if<QString>(&checked)) {
            err << *refused << Qt::endl;
            return WebRefused;
        }
        const ConnectionSettings database = connectionSettings(readStartConfig(paths), paths);
        WebServer server(settings, database);
        if (const std::optional<QString> failed = server.start(std::get<ListenAddress>(checked))) {
            err << *failed << Qt::endl;
            return WebRefused;
        }
        return QCoreApplication::exec();
    } catch (const AppError &error) {
        err << error.message() << Qt::endl;
        return WebRefused;
    }
}

} // namespace granovia::web
