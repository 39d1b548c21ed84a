#pragma once

#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

class QTextStream;

namespace granovia {
class AppPaths;
}

// Silo labels without a window:
//   granovia-silo --labels [--silo N]... [--size WxH] --out FILE.pdf
// All silos with a row without --silo; A4 sheets with a grid without
// --size, one label of W x H mm a page with it. Exit status and errors as
// for --report.
namespace granovia::reports {

struct LabelsRequest {
    QList<int> silos; // empty for all
    std::optional<QSizeF> labelMm;
    QString out;
};

inline const QString LabelsSwitch = QStringLiteral("--labels");

bool isLabelsCommand(int argc, char **argv);
// The arguments after the program's name: the request, or what is wrong.
std::variant<LabelsRequest, QString> parseLabelsArguments(const QStringList &arguments);
QString labelsUsage();

// Writes the labels of the arguments (program name first) and tells what
// went wrong on err; exit codes as runReportCommand's.
int runLabelsCommand(const QStringList &arguments, const AppPaths &paths, QTextStream &err);

} // namespace granovia::reports
