#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <optional>

class QLabel;

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

// A BusyNotice of a short text in the middle of the window, for windows that
// prepare no notice of their own.
class BusyNote final {
public:
    BusyNote(QWidget *window, const QString &text);
    ~BusyNote();
    Q_DISABLE_COPY_MOVE(BusyNote)

private:
    QPointer<QLabel> m_label;
    std::optional<BusyNotice> m_notice;
};

} // namespace granovia::ui
