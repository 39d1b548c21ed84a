#include "config/AppPaths.h"
#include "config/Config.h"
#include "app/SingleInstance.h"
#include "board/TForm2.h"
#include "console/TForm1.h"
#include "app/LabelsCommand.h"
#include "app/IndexCommand.h"
#include "app/ReportCommand.h"
#include "app/WebCommand.h"
#include "ui/ErrorDisplay.h"
#include "ui/QtCzech.h"

#include <QGuiApplication>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

using namespace granovia;

// A report or labels run opens no window: it needs no display and no
// single-instance guard, and writes no start record.
// Standard error carries the report's own message alone: Qt's notes about
// the platform it runs on are nothing for the job that ran it.
void onlyFailures(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

int runReport(int argc, char *argv[])
{
    reports::blockStopSignals();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(onlyFailures);
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList arguments = QCoreApplication::arguments();
    if (reports::isLabelsCommand(argc, argv))
        return reports::runLabelsCommand(arguments, AppPaths::ofRunningProgram(), err);
    return reports::runReportCommand(arguments, AppPaths::ofRunningProgram(), err);
}

// The web board server needs no display and no single-instance guard, and
// writes no start record.
int runWeb(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    return web::runWebCommand(QCoreApplication::arguments(), AppPaths::ofRunningProgram(), err);
}

// The administrator's command: no window either.
int runCreateIndexes(int argc, char *argv[])
{
    qInstallMessageHandler(onlyFailures);
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    return indexcommand::run(QCoreApplication::arguments(), AppPaths::ofRunningProgram(), err);
}

int main(int argc, char *argv[])
{
    if (reports::isReportCommand(argc, argv) || reports::isLabelsCommand(argc, argv))
        return runReport(argc, argv);
    if (web::isWebCommand(argc, argv))
        return runWeb(argc, argv);
    if (indexcommand::isIndexCommand(argc, argv))
        return runCreateIndexes(argc, argv);
    ui::Application app(argc, argv);
    ui::installCzechQtTexts(app);
    const QStringList arguments = QCoreApplication::arguments();

    SingleInstance guard(AppPaths::ofRunningProgram().executableFileName());
    const bool secondInstance = !guard.isPrimary();
    if (secondInstance)
        guard.activateRunning();

    TForm1 form(ConsoleContext::ofRunningProgram(arguments));
    form.openBoard = [](TForm1 &console) { TForm2::showBoard(console.desk(), &console); };
    QObject::connect(&guard, &SingleInstance::activationRequested, &form, &TForm1::bringToFront);
    QObject::connect(&form, &TForm1::endRequested, &app, &QCoreApplication::exit, Qt::QueuedConnection);

    if (secondInstance) {
        // A second start does all its own start-up work, then ends by itself
        // without ever showing its window.
        form.FormShow();
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    } else {
        // A board terminal's console is parked below the screen, where nobody
        // sees what has the keyboard: the keyboard rests on the window itself,
        // so that no key that closes a notice goes on to press one of its buttons.
        if (isPanelMode(arguments))
            form.setFocus();
        form.show();
    }
    return app.exec();
}
