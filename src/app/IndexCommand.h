#pragma once

#include <QStringList>

class QTextStream;

namespace granovia {

class AppPaths;

// Makes the journal's missing recommended indexes, for the administrator:
//   granovia-silo --create-indexes
// online (the journal stays in use meanwhile), all in one statement so that
// they come together or not at all, with its progress on standard error.
// Run again, it adds nothing. It reads the console's two INI files.
namespace indexcommand {

// Whether the program was started to make the indexes (argv as main has it).
bool isIndexCommand(int argc, char **argv);

// Exit codes.
constexpr int Done = 0;
constexpr int Failed = 1;
constexpr int BadArguments = 2;

// The arguments with the program's name first; tells on err what it does
// and, when it cannot, why, in Czech.
int run(const QStringList &arguments, const AppPaths &paths, QTextStream &err);

} // namespace indexcommand

} // namespace granovia
