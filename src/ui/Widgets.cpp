#include "ui/Widgets.h"

#include "ui/Skin.h"

namespace granovia::ui {

namespace {

QString buttonStyle(const char *type)
{
    return QStringLiteral("%1 { color: %2; background: %3; border: 1px solid %4; border-radius: 2px; }"
                          "%1:pressed { background: %4; }")
        .arg(QLatin1String(type), skin::ButtonText.name(), skin::ButtonFace.name(), skin::FixedText.name());
}

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
    setStyleSheet(buttonStyle("QPushButton"));
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
