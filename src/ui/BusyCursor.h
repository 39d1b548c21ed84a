#pragma once

#include <QPointer>
#include <QString>

class QLabel;
class QWidget;

namespace granovia::ui {

// The wait cursor over all of the program's windows while a database call
// takes long; the connection's busy indicator. Calls on other threads than
// the user-interface thread change nothing.
void showBusyCursor(bool busy);

// While one lives, a database call that takes long also shows this short
// text in the middle of the window, beside the wait cursor, until the call
// ends. It is painted at once: the window's event loop waits with the call.
class BusyNote final {
public:
    BusyNote(QWidget *window, const QString &text);
    ~BusyNote();
    Q_DISABLE_COPY_MOVE(BusyNote)

private:
    QPointer<QLabel> m_label;
};

} // namespace granovia::ui
