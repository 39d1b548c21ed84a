#include "ui/SkinnedFrame.h"

#include "ui/Skin.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QWindow>

namespace granovia::ui {

namespace {

const QSize WindowButtonSize(22, 20);
constexpr int GlyphSide = 10;
constexpr int TitleMargin = 4;
constexpr int CaptionGap = 4;
// How far into the window the edges and corners take a resize.
constexpr int GripThickness = 4;
constexpr int CornerSize = 8;

enum class Glyph { Minimize, Maximize, Restore, Close };

QIcon glyphIcon(Glyph glyph)
{
    QPixmap pixmap(GlyphSide, GlyphSide);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QPen(skin::FixedText, 1));
    const int last = GlyphSide - 1;
    switch (glyph) {
    case Glyph::Minimize:
        painter.fillRect(1, last - 1, GlyphSide - 2, 2, skin::FixedText);
        break;
    case Glyph::Maximize:
        painter.drawRect(0, 0, last, last);
        painter.drawLine(0, 1, last, 1);
        break;
    case Glyph::Restore:
        painter.drawRect(2, 0, last - 2, last - 2);
        painter.fillRect(0, 3, last - 2, last - 2, skin::FrameBackground);
        painter.drawRect(0, 3, last - 3, last - 3);
        break;
    case Glyph::Close:
        painter.setPen(QPen(skin::FixedText, 2));
        painter.drawLine(1, 1, last - 1, last - 1);
        painter.drawLine(1, last - 1, last - 1, 1);
        break;
    }
    return QIcon(pixmap);
}

QToolButton *windowButton(const QIcon &icon, const QString &name, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setIcon(icon);
    button->setAutoRaise(true);
    button->setFixedSize(WindowButtonSize);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAccessibleName(name);
    button->setToolTip(name);
    return button;
}

// A strip along an edge or a corner of a sizeable window: the resize cursor,
// and a press hands the resize to the window system.
class EdgeGrip final : public QWidget {
public:
    EdgeGrip(QWidget *window, Qt::Edges edges, QWidget *parent)
        : QWidget(parent)
        , m_window(window)
        , m_edges(edges)
    {
        setCursor(cursorFor(edges));
    }
    Qt::Edges edges() const { return m_edges; }

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton && m_window->windowHandle())
            m_window->windowHandle()->startSystemResize(m_edges);
        event->accept();
    }

private:
    static Qt::CursorShape cursorFor(Qt::Edges edges)
    {
        const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
        const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
        if (horizontal && vertical) {
            const bool falling = edges == (Qt::TopEdge | Qt::LeftEdge) || edges == (Qt::BottomEdge | Qt::RightEdge);
            return falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor;
        }
        return horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor;
    }

    QWidget *m_window;
    Qt::Edges m_edges;
};

// Edges run the full length of their side; corners, made later, lie on top.
QRect gripPlace(Qt::Edges edges, const QSize &frame)
{
    const bool sideways = edges & (Qt::LeftEdge | Qt::RightEdge);
    const bool upright = edges & (Qt::TopEdge | Qt::BottomEdge);
    const bool corner = sideways && upright;
    const int w = corner ? CornerSize : sideways ? GripThickness : frame.width();
    const int h = corner ? CornerSize : upright ? GripThickness : frame.height();
    return {edges & Qt::RightEdge ? frame.width() - w : 0, edges & Qt::BottomEdge ? frame.height() - h : 0, w, h};
}

} // namespace

FrameStyle FrameStyle::mainWindow()
{
    return {true, true, skin::FrameBorder};
}

FrameStyle FrameStyle::dialog()
{
    return {true, false, skin::FrameBorder};
}

FrameStyle FrameStyle::bare(const QColor &border)
{
    return {false, false, border};
}

FrameTitleBar::FrameTitleBar(QWidget *window, bool sizeable, QWidget *parent)
    : QWidget(parent)
    , m_window(window)
    , m_sizeable(sizeable)
{
    setFixedHeight(Height);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(TitleMargin, 0, TitleMargin, 0);
    layout->setSpacing(0);

    m_menu = windowButton(skin::applicationIcon(), QStringLiteral("Systémová nabídka"), this);
    connect(m_menu, &QToolButton::clicked, this, &FrameTitleBar::showSystemMenu);
    m_caption = new QLabel(this);
    m_caption->setFont(skin::font(skin::Pt8, true));
    QPalette captionPalette = m_caption->palette();
    captionPalette.setColor(QPalette::WindowText, skin::FixedText);
    m_caption->setPalette(captionPalette);
    // The bar, not the caption, takes the presses that move the window.
    m_caption->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(m_menu);
    layout->addSpacing(CaptionGap);
    layout->addWidget(m_caption, 1);

    if (m_sizeable) {
        m_minimize = windowButton(glyphIcon(Glyph::Minimize), QStringLiteral("Minimalizovat"), this);
        m_maximize = windowButton(glyphIcon(Glyph::Maximize), QStringLiteral("Maximalizovat"), this);
        connect(m_minimize, &QToolButton::clicked, m_window, &QWidget::showMinimized);
        connect(m_maximize, &QToolButton::clicked, this, &FrameTitleBar::toggleMaximized);
        layout->addWidget(m_minimize);
        layout->addWidget(m_maximize);
    }
    m_close = windowButton(glyphIcon(Glyph::Close), QStringLiteral("Zavřít"), this);
    // The same close as the window manager's: the window's own close handling runs.
    connect(m_close, &QToolButton::clicked, m_window, &QWidget::close);
    layout->addWidget(m_close);
    sync();
}

void FrameTitleBar::sync()
{
    m_caption->setText(m_window->windowTitle());
    if (!m_maximize)
        return;
    const bool maximized = m_window->isMaximized();
    m_maximize->setIcon(glyphIcon(maximized ? Glyph::Restore : Glyph::Maximize));
    const QString name = maximized ? QStringLiteral("Obnovit") : QStringLiteral("Maximalizovat");
    m_maximize->setAccessibleName(name);
    m_maximize->setToolTip(name);
}

void FrameTitleBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_pressedAt = event->position().toPoint();
    event->accept();
}

void FrameTitleBar::mouseMoveEvent(QMouseEvent *event)
{
    // The move starts once the pointer has really moved, so that the presses
    // of a double-click stay with the bar.
    if (!m_pressedAt || !(event->buttons() & Qt::LeftButton))
        return;
    if ((event->position().toPoint() - *m_pressedAt).manhattanLength() < QApplication::startDragDistance())
        return;
    m_pressedAt.reset();
    if (m_window->windowHandle())
        m_window->windowHandle()->startSystemMove();
}

void FrameTitleBar::mouseReleaseEvent(QMouseEvent *event)
{
    m_pressedAt.reset();
    event->accept();
}

void FrameTitleBar::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_sizeable)
        toggleMaximized();
    event->accept();
}

void FrameTitleBar::toggleMaximized()
{
    if (m_window->isMaximized())
        m_window->showNormal();
    else
        m_window->showMaximized();
}

void FrameTitleBar::showSystemMenu()
{
    QMenu menu(this);
    if (m_sizeable) {
        const bool maximized = m_window->isMaximized();
        menu.addAction(QStringLiteral("Obnovit"), m_window, &QWidget::showNormal)->setEnabled(maximized);
        menu.addAction(QStringLiteral("Minimalizovat"), m_window, &QWidget::showMinimized);
        menu.addAction(QStringLiteral("Maximalizovat"), m_window, &QWidget::showMaximized)->setEnabled(!maximized);
        menu.addSeparator();
    }
    menu.addAction(QStringLiteral("Zavřít"), m_window, &QWidget::close);
    menu.exec(m_menu->mapToGlobal(QPoint(0, m_menu->height())));
}

SkinnedFrame::SkinnedFrame(QWidget *window, const FrameStyle &style)
    : QWidget(window)
    , m_window(window)
    , m_style(style)
{
    window->setWindowFlag(Qt::FramelessWindowHint);
    window->setWindowIcon(skin::applicationIcon());
    auto *windowLayout = new QVBoxLayout(window);
    windowLayout->setContentsMargins(0, 0, 0, 0);
    windowLayout->addWidget(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(BorderWidth, BorderWidth, BorderWidth, BorderWidth);
    m_client = new QWidget(this);
    layout->addWidget(m_client);
    m_clientLayout = new QVBoxLayout(m_client);
    m_clientLayout->setContentsMargins(0, 0, 0, 0);
    m_clientLayout->setSpacing(0);
    if (style.titleBar) {
        m_titleBar = new FrameTitleBar(window, style.sizeable, m_client);
        // At the top also when the window places its content by position.
        m_clientLayout->addWidget(m_titleBar, 0, Qt::AlignTop);
    }
    if (style.sizeable)
        createGrips();
    window->installEventFilter(this);
}

QSize SkinnedFrame::outerSize(const QSize &clientSize)
{
    return clientSize + QSize(2 * BorderWidth, 2 * BorderWidth);
}

void SkinnedFrame::createGrips()
{
    const Qt::Edges all[] = {Qt::LeftEdge,
                             Qt::RightEdge,
                             Qt::TopEdge,
                             Qt::BottomEdge,
                             Qt::TopEdge | Qt::LeftEdge,
                             Qt::TopEdge | Qt::RightEdge,
                             Qt::BottomEdge | Qt::LeftEdge,
                             Qt::BottomEdge | Qt::RightEdge};
    for (const Qt::Edges edges : all)
        m_grips.append(new EdgeGrip(m_window, edges, this));
}

void SkinnedFrame::placeGrips()
{
    const bool shown = !m_window->isMaximized();
    for (QWidget *grip : std::as_const(m_grips)) {
        grip->setGeometry(gripPlace(static_cast<EdgeGrip *>(grip)->edges(), size()));
        grip->setVisible(shown);
    }
}

bool SkinnedFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window
        && (event->type() == QEvent::WindowTitleChange || event->type() == QEvent::WindowStateChange)) {
        if (m_titleBar)
            m_titleBar->sync();
        placeGrips();
    }
    return QWidget::eventFilter(watched, event);
}

void SkinnedFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), skin::FrameBackground);
    painter.setPen(m_style.border);
    painter.drawRect(rect().adjusted(0, 0, -BorderWidth, -BorderWidth));
}

void SkinnedFrame::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeGrips();
}

} // namespace granovia::ui
