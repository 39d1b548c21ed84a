#include "ui/ScanInput.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>

namespace granovia::ui {

namespace {

// A key that adds a character to a code: printable, without a command modifier.
bool isCodeKey(const QKeyEvent *key)
{
    const Qt::KeyboardModifiers commands = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    return !key->text().isEmpty() && key->text().at(0).isPrint() && !(key->modifiers() & commands);
}

// Shift and the like, which a scanner presses around its characters as a
// keyboard does: they neither add to a code nor end one.
bool isModifierKey(const QKeyEvent *key)
{
    switch (key->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

bool isEnter(const QKeyEvent *key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

} // namespace

ScanInput::ScanInput()
    : QObject(qApp)
{
    m_releaseTimer.setSingleShot(true);
    m_releaseTimer.setInterval(ReleaseAfterMs);
    connect(&m_releaseTimer, &QTimer::timeout, this, &ScanInput::release);
    qApp->installEventFilter(this);
}

ScanInput &ScanInput::instance()
{
    static QPointer<ScanInput> input;
    if (!input)
        input = new ScanInput;
    return *input;
}

void ScanInput::attach(QWidget *window, Handler handler)
{
    m_listeners.removeIf([](const Listener &l) { return !l.window; });
    m_listeners.append({window, std::move(handler)});
}

// Keys typed in an attached window, or in a dialog over one.
bool ScanInput::covers(QObject *watched) const
{
    const auto *widget = qobject_cast<QWidget *>(watched);
    for (QWidget *window = widget ? widget->window() : nullptr; window;) {
        if (std::any_of(m_listeners.cbegin(), m_listeners.cend(), [window](const Listener &l) { return l.window == window; }))
            return true;
        if (!qobject_cast<QDialog *>(window) || !window->parentWidget())
            return false;
        window = window->parentWidget()->window();
    }
    return false;
}

bool ScanInput::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (event == m_releasing || (type != QEvent::KeyPress && type != QEvent::KeyRelease) || !covers(watched))
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    if (isModifierKey(key))
        return false;
    if (type == QEvent::KeyPress)
        return keyPress(watched, key);
    if (isEnter(key) && m_swallowEnterRelease) {
        m_swallowEnterRelease = false;
        return true;
    }
    // The release of a held key waits with it, so that keys arrive in order.
    if (!m_held.empty() && isCodeKey(key)) {
        hold(watched, key);
        return true;
    }
    return false;
}

bool ScanInput::keyPress(QObject *watched, QKeyEvent *key)
{
    const bool quick = !m_held.empty() && key->timestamp() - m_lastKeyAt <= MaxKeyGapMs;
    if (isEnter(key) && quick && m_code.size() >= MinCodeLength && !key->isAutoRepeat()) {
        const QString code = m_code;
        m_held.clear();
        m_code.clear();
        m_releaseTimer.stop();
        m_swallowEnterRelease = true;
        // After the event is done with, so that no handler runs inside it.
        const QPointer<QWidget> window = static_cast<QWidget *>(watched)->window();
        QMetaObject::invokeMethod(this, [this, window, code] { dispatch(window, code); }, Qt::QueuedConnection);
        return true;
    }
    const bool codeKey = isCodeKey(key) && !key->isAutoRepeat();
    if (!quick || !codeKey)
        release();
    if (!codeKey)
        return false;
    hold(watched, key);
    m_code += key->text();
    m_lastKeyAt = key->timestamp();
    m_releaseTimer.start();
    return true;
}

void ScanInput::hold(QObject *watched, QKeyEvent *key)
{
    m_held.push_back({watched, std::unique_ptr<QKeyEvent>(static_cast<QKeyEvent *>(key->clone()))});
}

// The held keys go on to where they were typed: a person typed them.
void ScanInput::release()
{
    m_releaseTimer.stop();
    std::vector<Held> held = std::move(m_held);
    m_held.clear();
    m_code.clear();
    for (Held &h : held) {
        if (!h.receiver)
            continue;
        m_releasing = h.event.get();
        QCoreApplication::sendEvent(h.receiver, h.event.get());
    }
    m_releasing = nullptr;
}

// To the window the code was typed in, when nothing modal is over it.
void ScanInput::dispatch(QWidget *window, const QString &code)
{
    QWidget *front = QApplication::activeModalWidget();
    if (!window || (front && front != window))
        return;
    for (const Listener &listener : std::as_const(m_listeners)) {
        if (listener.window == window) {
            listener.handler(code);
            return;
        }
    }
}

} // namespace granovia::ui
