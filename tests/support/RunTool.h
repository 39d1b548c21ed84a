#pragma once

// Runs a tool of the test machine (a server script, openssl) to its end.
#include <QProcess>
#include <QString>
#include <QStringList>

namespace granovia::test {

inline constexpr int ToolTimeoutMs = 120000;

// A tool's end: whether it succeeded, and all it printed.
struct Ran {
    bool ok = false;
    QByteArray output;
};

inline Ran run(const QString &program, const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(ToolTimeoutMs);
    return {finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
            process.readAll()};
}

} // namespace granovia::test
