#pragma once

#include <QKeyCombination>
#include <QObject>
#include <memory>

class QWidget;

namespace granovia::ui {

// A key combination that reaches the program wherever the input focus is,
// registered for as long as the object lives.
//
// On X11 the program grabs the key at the X server for the root window; on
// Windows it registers a system hot key for the window. Where the platform
// has neither (offscreen, Wayland) the key works as an application-wide
// shortcut, that is only while one of the program's windows is active. When
// the system refuses the key (another program holds it), standard error says
// so, and the key works only while the program has the focus: on X11 the
// program then holds the keyboard while one of its windows has the focus,
// so that the key comes to it and not to its holder; elsewhere it is the
// window's own shortcut. refusedBySystem() tells the window to offer another
// way too.
class HotKey final : public QObject {
    Q_OBJECT
public:
    enum class Kind { None, X11Grab, WindowsHotKey, ApplicationShortcut, WindowShortcut };

    HotKey(QKeyCombination key, QWidget *window);
    ~HotKey() override;
    Q_DISABLE_COPY_MOVE(HotKey)

    // The combination of a shortcut value in the classic encoding: the key in
    // the low 13 bits (a Windows virtual key), 0x2000 Shift, 0x4000 Ctrl,
    // 0x8000 Alt. 24697 (0x6079) is Ctrl+Shift+F10.
    static QKeyCombination fromShortcutValue(int value);

    Kind kind() const;
    QKeyCombination key() const { return m_key; }
    bool refusedBySystem() const { return kind() == Kind::WindowShortcut; }

signals:
    void activated();

private:
    class Backend;
    class X11Backend;
    class X11WhileFocusedBackend;
    class WindowsBackend;
    class ShortcutBackend;

    void fallBackToWindow(QWidget *window);

    QKeyCombination m_key;
    std::unique_ptr<Backend> m_backend;
};

} // namespace granovia::ui
