#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace granovia::ui {

enum class DialogIcon { None, Stop, Question };

// One modal dialog as the code asks for it.
struct DialogRequest {
    QString caption;
    QString text;
    QStringList buttons; // the first is the default, the last the cancel
    DialogIcon icon = DialogIcon::None;
    bool hasInput = false;
    QString value;
};

// The operator's answer: the 1-based number of the button, and the edited
// value of an input dialog.
struct DialogAnswer {
    int button = 0;
    QString value;
};

// Answers dialogs in place of a person (tests, unattended runs).
class DialogResponder {
public:
    virtual ~DialogResponder() = default;
    virtual DialogAnswer answer(QWidget *owner, const DialogRequest &request) = 0;
};

// A window whose notices and questions have a look of its own, such as the
// touch board's large dialogs: every notice and question owned by it, or by
// one of its dialogs, comes in that look. Input dialogs keep the usual one.
class OwnDialogs {
public:
    virtual ~OwnDialogs() = default;
    virtual DialogAnswer showOwnDialog(const DialogRequest &request) = 0;
};

// Installs responder in place of the real dialogs; nullptr restores them.
void setDialogResponder(DialogResponder *responder);

// Shows the dialog modally, centred on owner, in the look of the window
// that owns it (see OwnDialogs). A dialog closed other than by
// one of its buttons answers with its last button (the cancel, or the only one).
DialogAnswer execDialog(QWidget *owner, const DialogRequest &request);
// A window's dialog with a look of its own: ownLook shows it, unless a
// responder is installed, which then answers the request in its place.
DialogAnswer execDialog(QWidget *owner, const DialogRequest &request, const std::function<DialogAnswer()> &ownLook);

// Lets the window system take the dialog answered last off the screen, and
// the windows below it paint again, before a wait that holds the event loop
// (a movement waiting on locks). The operator's input waits meanwhile.
// Nothing to do when a responder answered in place of a real dialog.
void clearAnsweredDialog();

// A notice or question dialog owned by a window: its text is set just before
// it is shown, and it returns 1 for its first button and 2 for its second.
class MessageDialog final {
public:
    MessageDialog(QWidget *owner, QStringList buttons, DialogIcon icon, QString text = {});
    void setText(const QString &text) { m_request.text = text; }
    const QString &text() const { return m_request.text; }
    int showModal();

private:
    QWidget *m_owner;
    DialogRequest m_request;
};

// An input dialog owned by a window, with a prompt and an unmasked value.
class InputDialog final {
public:
    InputDialog(QWidget *owner, QString prompt, QString okText, QString cancelText);
    void setValue(const QString &value) { m_request.value = value; }
    const QString &value() const { return m_request.value; }
    // 1 for OK, 2 for cancel; the value is kept only on OK.
    int showModal();

private:
    QWidget *m_owner;
    DialogRequest m_request;
};

inline const QString ApplicationCaption = QStringLiteral("Granovia - silo");

} // namespace granovia::ui
