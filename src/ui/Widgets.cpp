#include "ui/Widgets.h"

#include "ui/Skin.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

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
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(FocusFrameInset, FocusFrameInset, -FocusFrameInset, -FocusFrameInset);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

SuiArrowButton::SuiArrowButton(Qt::ArrowType arrow, const QString &accessibleName, QWidget *parent)
    : QToolButton(parent)
{
    setArrowType(arrow);
    setAccessibleName(accessibleName);
    setToolTip(accessibleName);
    setCursor(Qt::PointingHandCursor);
}

} // namespace granovia::ui
