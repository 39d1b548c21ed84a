#include "ui/ErrorDisplay.h"

#include "store/DbError.h"
#include "ui/Dialogs.h"

namespace granovia::ui {

namespace {

QString messageOf(const std::exception &error)
{
    if (const auto *appError = dynamic_cast<const AppError *>(&error))
        return appError->message();
    return QString::fromLocal8Bit(error.what());
}

} // namespace

void showError(QWidget *owner, const std::exception &error)
{
    writeServerText(error);
    MessageDialog box(owner, {QStringLiteral("OK")}, DialogIcon::Stop, messageOf(error));
    box.showModal();
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    bool handled = false;
    guarded(activeWindow(), [&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace granovia::ui
