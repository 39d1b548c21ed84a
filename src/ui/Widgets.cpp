#include "ui/Widgets.h"

#include "ui/Skin.h"

#include <QPainter>
#include <QKeyEvent>

namespace granovia::ui {

namespace {

constexpr qreal ButtonCornerRadius = 2;
constexpr int FocusFrameInset = 3;

} // namespace

TitleStrip::TitleStrip(const QString &caption, QWidget *parent)
    : QLabel(caption, parent)
{
    setAlignment(Qt::AlignCenter);
    setFixedHeight(Height);
    setFont(skin::font(skin::Pt8, true));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, skin::FixedBackground);
    palette.setColor(QPalette::WindowText, skin::FixedText);
    setPalette(palette);
    setAutoFillBackground(true);
}

SuiButton::SuiButton(const QString &caption, int pixelSize, bool bold, QWidget *parent)
    : QPushButton(caption, parent)
{
    setFont(skin::font(pixelSize, bold));
    setCursor(Qt::PointingHandCursor);
}

void SuiButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(skin::FixedText);
    painter.setBrush(isDown() ? skin::FixedText : skin::ButtonFace);
    // The border's centre line, so that its pixel lies inside the button.
    const qreal half = 0.5;
    painter.drawRoundedRect(QRectF(rect()).adjusted(half, half, -half, -half), ButtonCornerRadius, ButtonCornerRadius);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QFontMetrics metrics(font());
    const skin::LaidOutText &caption = skin::laidOut(text(), font());
    painter.setFont(font());
    painter.setPen(skin::ButtonText);
    skin::drawLaidOut(&painter,
                      QPoint((width() - caption.advance) / 2, (height() - metrics.height()) / 2 + caption.ascent),
                      caption);
    if (hasFocus()) {
        skin::paintFocusFrame(&painter,
                              rect().adjusted(FocusFrameInset, FocusFrameInset, -FocusFrameInset, -FocusFrameInset),
                              skin::ButtonText);
    }
}

bool SuiButton::keysRefused(const QKeyEvent *event) const
{
    const bool clickKey = isEnterKey(event) || event->key() == Qt::Key_Space;
    return m_keysOnlyWhenTabbedTo && clickKey && (event->isAutoRepeat() || !m_tabbedTo);
}

void SuiButton::focusInEvent(QFocusEvent *event)
{
    m_tabbedTo = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QPushButton::focusInEvent(event);
}

void SuiButton::keyReleaseEvent(QKeyEvent *event)
{
    if (keysRefused(event)) {
        event->ignore();
        return;
    }
    QPushButton::keyReleaseEvent(event);
}

void SuiButton::keyPressEvent(QKeyEvent *event)
{
    if (keysRefused(event)) {
        event->ignore();
        return;
    }
    if (isEnterKey(event)) {
        animateClick();
        return;
    }
    QPushButton::keyPressEvent(event);
}

bool isEnterKey(const QKeyEvent *event)
{
    return (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier;
}

SuiArrowButton::SuiArrowButton(Qt::ArrowType arrow, const QString &accessibleName, QWidget *parent)
    : QToolButton(parent)
{
    setArrowType(arrow);
    setAccessibleName(accessibleName);
    setToolTip(accessibleName);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void SuiArrowButton::paintEvent(QPaintEvent *event)
{
    QToolButton::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    skin::paintFocusFrame(&painter, rect().adjusted(FocusFrameInset, FocusFrameInset, -FocusFrameInset, -FocusFrameInset));
}

void SuiArrowButton::keyPressEvent(QKeyEvent *event)
{
    if (isEnterKey(event)) {
        animateClick();
        return;
    }
    QToolButton::keyPressEvent(event);
}

} // namespace granovia::ui
