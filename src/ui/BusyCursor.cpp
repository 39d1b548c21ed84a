#include "ui/BusyCursor.h"

#include <QCursor>
#include <QGuiApplication>
#include <QThread>

namespace granovia::ui {

void showBusyCursor(bool busy)
{
    if (!qGuiApp || QThread::currentThread() != qGuiApp->thread())
        return;
    // The window does not get back to its event loop before the call ends;
    // the platform applies an override cursor at once.
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

} // namespace granovia::ui
