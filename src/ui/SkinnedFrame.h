#pragma once

#include <QColor>
#include <QWidget>
#include <optional>

class QLabel;
class QToolButton;
class QVBoxLayout;

namespace granovia::ui {

// What a window's skinned frame carries.
struct FrameStyle {
    bool titleBar = true;
    // Minimise and maximise buttons, and resizing at the edges; without them
    // the title bar holds only the close button.
    bool sizeable = true;
    QColor border;

    static FrameStyle mainWindow();
    static FrameStyle dialog();
    static FrameStyle bare(const QColor &border);
};

// The title bar of a skinned frame: the application icon that opens the
// system menu, the window's caption, and the window buttons. Dragging it
// moves the window and a double-click maximises or restores it, both through
// the window system.
class FrameTitleBar final : public QWidget {
    Q_OBJECT
public:
    static constexpr int Height = 30;

    FrameTitleBar(QWidget *window, bool sizeable, QWidget *parent);

    QLabel *caption() const { return m_caption; }
    QToolButton *closeButton() const { return m_close; }
    QToolButton *maximizeButton() const { return m_maximize; }
    // Follows the window's caption and state.
    void sync();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void toggleMaximized();
    void showSystemMenu();

    QWidget *m_window;
    bool m_sizeable;
    QToolButton *m_menu = nullptr;
    QLabel *m_caption = nullptr;
    QToolButton *m_minimize = nullptr;
    QToolButton *m_maximize = nullptr;
    QToolButton *m_close = nullptr;
    std::optional<QPoint> m_pressedAt;
};

// The skinned frame that covers a frameless window: a 1 px border around the
// design client area, whose top holds the title bar. The window places its
// content in client(): by layout below the title bar, or at design positions.
class SkinnedFrame final : public QWidget {
    Q_OBJECT
public:
    static constexpr int BorderWidth = 1;

    SkinnedFrame(QWidget *window, const FrameStyle &style);

    // The window's outer size for a design client area.
    static QSize outerSize(const QSize &clientSize);

    QWidget *client() const { return m_client; }
    // Below the title bar, for content laid out from the top down.
    QVBoxLayout *clientLayout() const { return m_clientLayout; }
    FrameTitleBar *titleBar() const { return m_titleBar; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createGrips();
    void placeGrips();

    QWidget *m_window;
    FrameStyle m_style;
    QWidget *m_client = nullptr;
    QVBoxLayout *m_clientLayout = nullptr;
    FrameTitleBar *m_titleBar = nullptr;
    QList<QWidget *> m_grips;
};

} // namespace granovia::ui
