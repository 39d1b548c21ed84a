#include "ui/Dialogs.h"

#include "ui/Skin.h"
#include "ui/SkinnedFrame.h"
#include "ui/Widgets.h"

#include <QDialog>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace granovia::ui {

namespace {

constexpr int OkButton = 1;
constexpr int CancelButton = 2;
constexpr int DialogMargin = 12;
constexpr int IconSide = 32;
constexpr int TextMinimumWidth = 220;
const QSize ButtonSize(75, 23);
// Long enough for the window manager to take an answered dialog away and
// for the window below to paint the place again.
constexpr std::chrono::milliseconds DialogClearTime{150};

DialogResponder *g_responder = nullptr;

QStyle::StandardPixmap iconPixmap(DialogIcon icon)
{
    return icon == DialogIcon::Stop ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxQuestion;
}

// A modal dialog in the console's skinned frame: the caption in the title
// bar, an icon, the text, an entry field for input, and a row of buttons.
// It answers with the number of the button pressed; Esc, the frame's close
// button and the window manager answer with the last one.
class SkinnedDialog final : public QDialog {
public:
    SkinnedDialog(QWidget *owner, const DialogRequest &request)
        : QDialog(owner)
        , m_cancel(int(request.buttons.size()))
    {
        setWindowTitle(request.caption);
        setFont(skin::font(skin::Pt8));
        auto *frame = new SkinnedFrame(this, FrameStyle::dialog());
        auto *body = new QVBoxLayout;
        body->setContentsMargins(DialogMargin, DialogMargin, DialogMargin, DialogMargin);
        body->setSpacing(DialogMargin);
        frame->clientLayout()->addLayout(body);

        auto *message = new QHBoxLayout;
        message->setSpacing(DialogMargin);
        if (request.icon != DialogIcon::None) {
            auto *icon = new QLabel;
            icon->setPixmap(style()->standardIcon(iconPixmap(request.icon)).pixmap(IconSide, IconSide));
            icon->setAlignment(Qt::AlignTop);
            message->addWidget(icon);
        }
        auto *text = new QLabel(request.text);
        text->setWordWrap(true);
        text->setMinimumWidth(TextMinimumWidth);
        QPalette textPalette = text->palette();
        textPalette.setColor(QPalette::WindowText, skin::Text);
        text->setPalette(textPalette);
        message->addWidget(text, 1);
        body->addLayout(message);
        if (request.hasInput) {
            m_entry = new QLineEdit(request.value);
            m_entry->setAccessibleName(request.text);
            // Typing replaces the old value, as in a spreadsheet's cell.
            m_entry->selectAll();
            body->addWidget(m_entry);
        }
        body->addLayout(buttonRow(request.buttons));
        setFixedSize(sizeHint());
    }

    DialogAnswer run()
    {
        placeOverOwner();
        exec();
        return {m_clicked, m_entry ? m_entry->text() : QString()};
    }

    void reject() override
    {
        m_clicked = m_cancel;
        QDialog::reject();
    }

private:
    QHBoxLayout *buttonRow(const QStringList &captions)
    {
        auto *row = new QHBoxLayout;
        row->addStretch();
        for (int number = 1; number <= captions.size(); ++number) {
            auto *button = new SuiButton(captions.at(number - 1), skin::Pt8, false);
            button->setMinimumSize(ButtonSize);
            button->setDefault(number == 1);
            connect(button, &QPushButton::clicked, this, [this, number] {
                m_clicked = number;
                accept();
            });
            row->addWidget(button);
        }
        row->addStretch();
        return row;
    }

    // Centred on the owner's window, yet always on a screen: a parked
    // console must not take its dialogs below the screen with it.
    void placeOverOwner()
    {
        const QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
        QRect place(QPoint(), size());
        place.moveCenter(owner ? owner->frameGeometry().center() : screen()->availableGeometry().center());
        const QRect area = (owner ? owner->screen() : screen())->availableGeometry();
        place.moveLeft(std::clamp(place.left(), area.left(), std::max(area.left(), area.right() - place.width() + 1)));
        place.moveTop(std::clamp(place.top(), area.top(), std::max(area.top(), area.bottom() - place.height() + 1)));
        move(place.topLeft());
    }

    QLineEdit *m_entry = nullptr;
    int m_cancel;
    int m_clicked = 0;
};

} // namespace

void setDialogResponder(DialogResponder *responder)
{
    g_responder = responder;
}

DialogAnswer execDialog(QWidget *owner, const DialogRequest &request)
{
    if (g_responder)
        return g_responder->answer(owner, request);
    for (QWidget *window = request.hasInput ? nullptr : owner; window; window = window->parentWidget()) {
        if (auto *own = dynamic_cast<OwnDialogs *>(window))
            return own->showOwnDialog(request);
    }
    SkinnedDialog dialog(owner, request);
    return dialog.run();
}

DialogAnswer execDialog(QWidget *owner, const DialogRequest &request, const std::function<DialogAnswer()> &ownLook)
{
    if (g_responder)
        return g_responder->answer(owner, request);
    return ownLook();
}

void clearAnsweredDialog()
{
    if (g_responder || !qGuiApp)
        return;
    QGuiApplication::sync();
    QEventLoop settle;
    QTimer::singleShot(DialogClearTime, &settle, &QEventLoop::quit);
    settle.exec(QEventLoop::ExcludeUserInputEvents);
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
