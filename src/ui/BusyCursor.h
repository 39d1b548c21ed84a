#pragma once

#include <QPointer>
#include <QWidget>

namespace granovia::ui {

// The wait cursor over all of the program's windows while a database call
// takes long; the connection's busy indicator. Calls on other threads than
// the user-interface thread change nothing.
void showBusyCursor(bool busy);

// While it lives, the busy indicator also shows notice, a widget that its
// window has prepared to say why the operator waits, and hides it again when
// the call ends. The notice is painted at once: the program does not return
// to its event loop before the waiting call ends.
class BusyNotice final {
public:
    explicit BusyNotice(QWidget *notice);
    ~BusyNotice();
    Q_DISABLE_COPY_MOVE(BusyNotice)

private:
    QPointer<QWidget> m_previous;
};

} // namespace granovia::ui
