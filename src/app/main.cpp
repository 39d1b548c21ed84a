#include "app/AppPaths.h"
#include "app/SingleInstance.h"
#include "board/TForm2.h"
#include "console/TForm1.h"
#include "ui/ErrorDisplay.h"

#include <QTimer>

using namespace granovia;

int main(int argc, char *argv[])
{
    ui::Application app(argc, argv);
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
        form.show();
    }
    return app.exec();
}
