#include "ui/HotKey.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPointer>
#include <QShortcut>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <array>
#include <vector>

#ifdef GRANOVIA_HAVE_XCB
#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#endif

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace granovia::ui {

namespace {

// Silent unless asked for: a refused key is not reported.
Q_LOGGING_CATEGORY(lcHotKey, "granovia.hotkey", QtWarningMsg)

constexpr int ShortcutKeyMask = 0x1fff;
constexpr int ShortcutShift = 0x2000;
constexpr int ShortcutCtrl = 0x4000;
constexpr int ShortcutAlt = 0x8000;
constexpr int VirtualKeyF1 = 0x70;
constexpr int VirtualKeyF24 = 0x87;
constexpr int VirtualKey0 = 0x30;
constexpr int VirtualKey9 = 0x39;
constexpr int VirtualKeyA = 0x41;
constexpr int VirtualKeyZ = 0x5a;

Qt::Key keyOfVirtualKey(int virtualKey)
{
    if (virtualKey >= VirtualKeyF1 && virtualKey <= VirtualKeyF24)
        return Qt::Key(Qt::Key_F1 + (virtualKey - VirtualKeyF1));
    // Digits and letters share their codes with Qt's keys.
    if ((virtualKey >= VirtualKey0 && virtualKey <= VirtualKey9) || (virtualKey >= VirtualKeyA && virtualKey <= VirtualKeyZ))
        return Qt::Key(virtualKey);
    return Qt::Key_unknown;
}

} // namespace

// One way of receiving the key; it stops receiving it when destroyed.
class HotKey::Backend {
public:
    virtual ~Backend() = default;
    virtual Kind kind() const = 0;
};

// The application's own shortcut: works while one of its windows is active,
// or, where the system refused the key, while the window itself is.
class HotKey::ShortcutBackend final : public Backend {
public:
    ShortcutBackend(QKeyCombination key, QWidget *window, HotKey *owner, Qt::ShortcutContext context)
        : m_shortcut(new QShortcut(QKeySequence(key), window))
        , m_kind(context == Qt::ApplicationShortcut ? Kind::ApplicationShortcut : Kind::WindowShortcut)
    {
        m_shortcut->setContext(context);
        QObject::connect(m_shortcut, &QShortcut::activated, owner, &HotKey::activated);
    }
    // The window may have taken its child shortcut with it already.
    ~ShortcutBackend() override { delete m_shortcut.data(); }
    Kind kind() const override { return m_kind; }

private:
    QPointer<QShortcut> m_shortcut;
    Kind m_kind;
};

#ifdef GRANOVIA_HAVE_XCB
// The key as the X server knows it: its key codes (a keysym may sit on
// several keys) and the mask of its modifiers.
class X11Key final {
public:
    // An X event of this key activates owner: true, and the event is taken.
    bool activateOn(const QByteArray &eventType, void *message, HotKey *owner) const
    {
        if (eventType != "xcb_generic_event_t" || !matches(static_cast<const xcb_generic_event_t *>(message)))
            return false;
        // Queued: the receiver may end this registration, which must not
        // happen inside the filter call.
        QMetaObject::invokeMethod(owner, &HotKey::activated, Qt::QueuedConnection);
        return true;
    }

    X11Key(xcb_connection_t *connection, QKeyCombination key)
        : m_modifiers(modifiersOf(key.keyboardModifiers()))
    {
        const xcb_keysym_t keysym = keysymOf(key.key());
        if (keysym == 0)
            return;
        xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(connection);
        if (xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols, keysym)) {
            for (xcb_keycode_t *code = codes; *code != XCB_NO_SYMBOL; ++code)
                m_keycodes.push_back(*code);
            free(codes);
        }
        xcb_key_symbols_free(symbols);
    }

    bool isKnown() const { return !m_keycodes.empty(); }
    const std::vector<xcb_keycode_t> &keycodes() const { return m_keycodes; }
    quint16 modifiers() const { return m_modifiers; }

    // A press of the key, whatever Caps Lock and Num Lock stand at.
    bool matches(const xcb_generic_event_t *event) const
    {
        if ((event->response_type & ~SentEventFlag) != XCB_KEY_PRESS)
            return false;
        const auto *press = reinterpret_cast<const xcb_key_press_event_t *>(event);
        return std::find(m_keycodes.begin(), m_keycodes.end(), press->detail) != m_keycodes.end()
            && (press->state & RelevantModifiers) == m_modifiers;
    }

private:
    static constexpr quint8 SentEventFlag = 0x80;
    static constexpr quint16 RelevantModifiers =
        XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

    static xcb_keysym_t keysymOf(Qt::Key key)
    {
        if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
            return XK_F1 + (key - Qt::Key_F1);
        if (key >= Qt::Key_A && key <= Qt::Key_Z)
            return XK_a + (key - Qt::Key_A);
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return XK_0 + (key - Qt::Key_0);
        return 0;
    }

    static quint16 modifiersOf(Qt::KeyboardModifiers modifiers)
    {
        quint16 mask = 0;
        mask |= modifiers.testFlag(Qt::ShiftModifier) ? XCB_MOD_MASK_SHIFT : 0;
        mask |= modifiers.testFlag(Qt::ControlModifier) ? XCB_MOD_MASK_CONTROL : 0;
        mask |= modifiers.testFlag(Qt::AltModifier) ? XCB_MOD_MASK_1 : 0;
        mask |= modifiers.testFlag(Qt::MetaModifier) ? XCB_MOD_MASK_4 : 0;
        return mask;
    }

    quint16 m_modifiers;
    std::vector<xcb_keycode_t> m_keycodes;
};

// A passive grab of the key at the X server, on every root window, so that
// the key press comes to this program whichever window has the focus.
class HotKey::X11Backend final : public Backend, public QAbstractNativeEventFilter {
public:
    static std::unique_ptr<X11Backend> create(QKeyCombination key, HotKey *owner)
    {
        auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11 || !x11->connection())
            return nullptr;
        auto backend = std::unique_ptr<X11Backend>(new X11Backend(x11->connection(), key, owner));
        if (!backend->grab())
            return nullptr;
        QCoreApplication::instance()->installNativeEventFilter(backend.get());
        return backend;
    }

    ~X11Backend() override
    {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
        ungrab();
    }

    Kind kind() const override { return Kind::X11Grab; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        return m_key.activateOn(eventType, message, m_owner);
    }

private:
    // Caps Lock and (usually) Num Lock: the key must work with either on.
    static constexpr std::array<quint16, 4> LockVariants{0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                                         XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

    X11Backend(xcb_connection_t *connection, QKeyCombination key, HotKey *owner)
        : m_connection(connection)
        , m_owner(owner)
        , m_key(connection, key)
    {
        for (auto roots = xcb_setup_roots_iterator(xcb_get_setup(connection)); roots.rem; xcb_screen_next(&roots))
            m_roots.push_back(roots.data->root);
    }

    // False when the server refuses a grab (another client holds the key).
    bool grab()
    {
        if (!m_key.isKnown())
            return false;
        std::vector<xcb_void_cookie_t> cookies;
        forEachGrab([&](xcb_window_t root, xcb_keycode_t code, quint16 modifiers) {
            cookies.push_back(xcb_grab_key_checked(m_connection, 1, root, modifiers, code, XCB_GRAB_MODE_ASYNC,
                                                   XCB_GRAB_MODE_ASYNC));
        });
        bool granted = true;
        for (const xcb_void_cookie_t &cookie : cookies) {
            if (xcb_generic_error_t *error = xcb_request_check(m_connection, cookie)) {
                granted = false;
                free(error);
            }
        }
        m_grabbed = true;
        if (!granted) {
            qCDebug(lcHotKey) << "the X server refused the key grab";
            ungrab();
        }
        return granted;
    }

    void ungrab()
    {
        if (!std::exchange(m_grabbed, false))
            return;
        forEachGrab([&](xcb_window_t root, xcb_keycode_t code, quint16 modifiers) {
            xcb_ungrab_key(m_connection, code, root, modifiers);
        });
        xcb_flush(m_connection);
    }

    template <typename Action>
    void forEachGrab(Action &&action) const
    {
        for (xcb_window_t root : m_roots) {
            for (xcb_keycode_t code : m_key.keycodes()) {
                for (quint16 variant : LockVariants)
                    action(root, code, quint16(m_key.modifiers() | variant));
            }
        }
    }

    xcb_connection_t *m_connection;
    HotKey *m_owner;
    X11Key m_key;
    std::vector<xcb_window_t> m_roots;
    bool m_grabbed = false;
};

// Where another client holds the key at the X server, its passive grab on
// the root window takes every press of the key, whichever window has the
// focus. While one of the program's windows has the focus, the program holds
// the keyboard itself (an active grab, which passive grabs yield to), its own
// windows still getting their keys as usual; it lets go as soon as none of
// its windows has the focus, and the key belongs to its holder again.
class HotKey::X11WhileFocusedBackend final : public Backend, public QAbstractNativeEventFilter {
public:
    static std::unique_ptr<X11WhileFocusedBackend> create(QKeyCombination key, HotKey *owner)
    {
        auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11 || !x11->connection())
            return nullptr;
        auto backend = std::unique_ptr<X11WhileFocusedBackend>(new X11WhileFocusedBackend(x11->connection(), key, owner));
        if (!backend->m_key.isKnown())
            return nullptr;
        QCoreApplication::instance()->installNativeEventFilter(backend.get());
        backend->follow(QGuiApplication::focusWindow());
        return backend;
    }

    ~X11WhileFocusedBackend() override
    {
        QObject::disconnect(m_focusFollower);
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
        follow(nullptr);
    }

    Kind kind() const override { return Kind::WindowShortcut; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        return m_key.activateOn(eventType, message, m_owner);
    }

private:
    X11WhileFocusedBackend(xcb_connection_t *connection, QKeyCombination key, HotKey *owner)
        : m_connection(connection)
        , m_owner(owner)
        , m_key(connection, key)
    {
        m_focusFollower = QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, owner,
                                           [this](QWindow *window) { follow(window); });
    }

    // The grab goes with the focus from window to window of the program: the
    // window that has the focus is the grab's window, so that the grab moves
    // no focus. The server ends a grab whose window goes from the screen.
    void follow(QWindow *focused)
    {
        if (!focused) {
            xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
            xcb_flush(m_connection);
            return;
        }
        const auto cookie = xcb_grab_keyboard(m_connection, 1, xcb_window_t(focused->winId()), XCB_CURRENT_TIME,
                                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        xcb_grab_keyboard_reply_t *reply = xcb_grab_keyboard_reply(m_connection, cookie, nullptr);
        if (!reply || reply->status != XCB_GRAB_STATUS_SUCCESS)
            qCDebug(lcHotKey) << "the keyboard could not be held for the hot key";
        free(reply);
    }

    xcb_connection_t *m_connection;
    HotKey *m_owner;
    X11Key m_key;
    QMetaObject::Connection m_focusFollower;
};
#endif

#ifdef Q_OS_WIN
// A system hot key of the window, delivered as WM_HOTKEY.
class HotKey::WindowsBackend final : public Backend, public QAbstractNativeEventFilter {
public:
    static std::unique_ptr<WindowsBackend> create(QKeyCombination key, QWidget *window, HotKey *owner)
    {
        const UINT virtualKey = virtualKeyOf(key.key());
        if (virtualKey == 0)
            return nullptr;
        const HWND handle = HWND(window->winId());
        if (!RegisterHotKey(handle, HotKeyId, modifiersOf(key.keyboardModifiers()), virtualKey))
            return nullptr;
        auto backend = std::unique_ptr<WindowsBackend>(new WindowsBackend(handle, owner));
        QCoreApplication::instance()->installNativeEventFilter(backend.get());
        return backend;
    }
    ~WindowsBackend() override
    {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
        UnregisterHotKey(m_handle, HotKeyId);
    }
    Kind kind() const override { return Kind::WindowsHotKey; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "windows_generic_MSG")
            return false;
        const auto *msg = static_cast<const MSG *>(message);
        if (msg->message != WM_HOTKEY || msg->wParam != WPARAM(HotKeyId))
            return false;
        QMetaObject::invokeMethod(m_owner, &HotKey::activated, Qt::QueuedConnection);
        return true;
    }

private:
    static constexpr int HotKeyId = 1;
    WindowsBackend(HWND handle, HotKey *owner)
        : m_handle(handle)
        , m_owner(owner)
    {
    }
    static UINT virtualKeyOf(Qt::Key key)
    {
        if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
            return VK_F1 + (key - Qt::Key_F1);
        if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
            return UINT(key);
        return 0;
    }
    static UINT modifiersOf(Qt::KeyboardModifiers modifiers)
    {
        return (modifiers.testFlag(Qt::AltModifier) ? MOD_ALT : 0) | (modifiers.testFlag(Qt::ControlModifier) ? MOD_CONTROL : 0)
               | (modifiers.testFlag(Qt::ShiftModifier) ? MOD_SHIFT : 0) | MOD_NOREPEAT;
    }
    HWND m_handle;
    HotKey *m_owner;
};
#endif

HotKey::HotKey(QKeyCombination key, QWidget *window)
    : QObject(window)
    , m_key(key)
{
#ifdef Q_OS_WIN
    m_backend = WindowsBackend::create(key, window, this);
#else
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        m_backend = std::make_unique<ShortcutBackend>(key, window, this, Qt::ApplicationShortcut);
        return;
    }
#ifdef GRANOVIA_HAVE_XCB
    m_backend = X11Backend::create(key, this);
#endif
#endif
    if (!m_backend)
        fallBackToWindow(window);
}

void HotKey::fallBackToWindow(QWidget *window)
{
    std::fprintf(stderr, "%s is held by another program; it works here only while the window \"%s\" is active\n",
                 qPrintable(QKeySequence(m_key).toString(QKeySequence::PortableText)),
                 qPrintable(window->windowTitle()));
#ifdef GRANOVIA_HAVE_XCB
    m_backend = X11WhileFocusedBackend::create(m_key, this);
    if (m_backend)
        return;
#endif
    m_backend = std::make_unique<ShortcutBackend>(m_key, window, this, Qt::WindowShortcut);
}

HotKey::~HotKey() = default;

QKeyCombination HotKey::fromShortcutValue(int value)
{
    Qt::KeyboardModifiers modifiers;
    modifiers.setFlag(Qt::ShiftModifier, (value & ShortcutShift) != 0);
    modifiers.setFlag(Qt::ControlModifier, (value & ShortcutCtrl) != 0);
    modifiers.setFlag(Qt::AltModifier, (value & ShortcutAlt) != 0);
    return QKeyCombination(modifiers, keyOfVirtualKey(value & ShortcutKeyMask));
}

HotKey::Kind HotKey::kind() const
{
    return m_backend ? m_backend->kind() : Kind::None;
}

} // namespace granovia::ui
