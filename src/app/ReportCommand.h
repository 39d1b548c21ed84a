#pragma once

#include "reports/ReportSql.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <csignal>
#include <optional>
#include <variant>

class QTextStream;

namespace granovia {
class AppPaths;
class DbError;
}

// The reports without a window, for scheduled jobs and other tools:
//   granovia-silo --report stock [--at "yyyy-mm-dd hh:nn:ss"] --out FILE
//   granovia-silo --report history [--silo N] [--lot TEXT | --lot-prefix TEXT] [--from "yyyy-mm-dd"] [--to "yyyy-mm-dd"] --out FILE
//   granovia-silo --report lot --lot TEXT --out FILE
// The format follows FILE's extension. A run reads the console's two INI
// files, needs no display, writes no start record and runs beside an open
// console. Lots compare exactly; --lot-prefix looks for the lots that start
// with TEXT.
namespace granovia::reports {

enum class ReportKind { Stock, History, Lot };

struct ReportRequest {
    ReportKind kind = ReportKind::Stock;
    // The stock's moment; none for now.
    std::optional<QDateTime> at;
    // The history's filter; the lot report's lot is its lot.
    JournalFilter filter;
    QString out;
};

inline const QString ReportSwitch = QStringLiteral("--report");

// Whether the program was started to write a report (argv as main has it).
bool isReportCommand(int argc, char **argv);
// The arguments after the program's name: the request, or what is wrong.
std::variant<ReportRequest, QString> parseReportArguments(const QStringList &arguments);
QString reportUsage();

// The message of a run whose connection failed, as the console says it, with
// the server's own words below.
QString connectionFailedText(const DbError &error);

// Exit codes of a report run.
constexpr int ReportWritten = 0;
constexpr int ReportFailed = 1;
constexpr int BadArguments = 2;

// SIGINT, SIGTERM and SIGHUP, which stop a report run.
sigset_t stopSignals();
// Blocks them in the calling thread and every thread it starts later, so
// that the run takes them itself: called first thing, before any thread.
void blockStopSignals();

// Runs the report of the arguments (program name first) and tells what went
// wrong on err: usage for bad arguments, the Czech message otherwise.
int runReportCommand(const QStringList &arguments, const AppPaths &paths, QTextStream &err);

} // namespace granovia::reports
