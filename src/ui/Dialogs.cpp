#include "ui/Dialogs.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace granovia::ui {

namespace {

constexpr int OkButton = 1;
constexpr int CancelButton = 2;

DialogResponder *g_responder = nullptr;

QMessageBox::Icon messageIcon(DialogIcon icon)
{
    switch (icon) {
    case DialogIcon::Stop:
        return QMessageBox::Critical;
    case DialogIcon::Question:
        return QMessageBox::Question;
    case DialogIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

DialogAnswer execMessage(QWidget *owner, const DialogRequest &request)
{
    QMessageBox box(messageIcon(request.icon), request.caption, request.text, QMessageBox::NoButton, owner);
    QList<QAbstractButton *> buttons;
    for (const QString &caption : request.buttons) {
        QPushButton *button = box.addButton(caption, QMessageBox::AcceptRole);
        button->setCursor(Qt::PointingHandCursor);
        buttons.append(button);
    }
    if (!buttons.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton *>(buttons.first()));
        box.setEscapeButton(buttons.last());
    }
    box.exec();
    const auto clicked = buttons.indexOf(box.clickedButton());
    return {clicked >= 0 ? int(clicked) + 1 : int(buttons.size()), {}};
}

DialogAnswer execInput(QWidget *owner, const DialogRequest &request)
{
    QInputDialog dialog(owner);
    dialog.setWindowTitle(request.caption);
    dialog.setLabelText(request.text);
    dialog.setTextValue(request.value);
    dialog.setOkButtonText(request.buttons.value(0));
    dialog.setCancelButtonText(request.buttons.value(1));
    for (QPushButton *button : dialog.findChildren<QPushButton *>())
        button->setCursor(Qt::PointingHandCursor);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    return {accepted ? OkButton : CancelButton, dialog.textValue()};
}

} // namespace

void setDialogResponder(DialogResponder *responder)
{
    g_responder = responder;
}

DialogAnswer execDialog(QWidget *owner, const DialogRequest &request)
{
    if (g_responder)
        return g_responder->answer(owner, request);
    return request.hasInput ? execInput(owner, request) : execMessage(owner, request);
}

DialogAnswer execDialog(QWidget *owner, const DialogRequest &request, const std::function<DialogAnswer()> &ownLook)
{
    if (g_responder)
        return g_responder->answer(owner, request);
    return ownLook();
}

MessageDialog::MessageDialog(QWidget *owner, QStringList buttons, DialogIcon icon, QString text)
    : m_owner(owner)
    , m_request{ApplicationCaption, std::move(text), std::move(buttons), icon, false, {}}
{
}

int MessageDialog::showModal()
{
    return execDialog(m_owner, m_request).button;
}

InputDialog::InputDialog(QWidget *owner, QString prompt, QString okText, QString cancelText)
    : m_owner(owner)
    , m_request{ApplicationCaption, std::move(prompt), {std::move(okText), std::move(cancelText)},
                DialogIcon::None,   true,              {}}
{
}

int InputDialog::showModal()
{
    const DialogAnswer answer = execDialog(m_owner, m_request);
    if (answer.button == OkButton)
        m_request.value = answer.value;
    return answer.button == OkButton ? OkButton : CancelButton;
}

} // namespace granovia::ui
