#pragma once

#include "store/WaitBudget.h"

#include <QApplication>
#include <exception>
#include <utility>

namespace granovia::ui {

// The application's error display: the message in a box with one "OK".
void showError(QWidget *owner, const std::exception &error);

// Runs an operator's action and shows any error it raises; false on error.
// Every handler goes through this, so that no error reaches the event loop.
// The action's database waits share one budget.
template <typename Action>
bool guarded(QWidget *owner, Action &&action)
{
    const WaitBudget budget;
    try {
        std::forward<Action>(action)();
        return true;
    } catch (const std::exception &error) {
        showError(owner, error);
    }
    return false;
}

// The last line of defence: an exception that a handler let through is shown
// instead of crossing Qt's event loop.
class Application final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace granovia::ui
