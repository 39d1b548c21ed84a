#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

namespace granovia {
class AppPaths;
}

// The web board server, a read-only live view of the silos for browsers:
//   granovia-silo --web [--listen ADDR:PORT]
// It reads the console's two INI files for the database and section [Web]
// for itself, needs no display, writes no start record and runs until it is
// stopped.
namespace granovia::web {

inline const QString WebSwitch = QStringLiteral("--web");

bool isWebCommand(int argc, char **argv);

// Exit codes besides running for ever.
constexpr int WebRefused = 1;
constexpr int WebBadArguments = 2;

// Starts the server on the running application's event loop and runs it.
// Returns when it could not start (the Czech reason on err), or when the
// loop ends.
int runWebCommand(const QStringList &arguments, const AppPaths &paths, QTextStream &err);

} // namespace granovia::web
