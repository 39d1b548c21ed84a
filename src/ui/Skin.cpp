#include "ui/Skin.h"

#include <QFile>
#include <QFontDatabase>
#include <QPainter>
#include <QPalette>
#include <QWidget>
#include <utility>

namespace granovia::skin {

namespace {

const QString Family = QStringLiteral("Tahoma");
const char *const FontFiles[] = {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"};
constexpr int IconSizes[] = {16, 32};

// A silo drawn in the skin's colours on a square of side pixels: a cone
// roof over a body whose lower half holds seed.
QPixmap siloPicture(int side)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal left = side * 0.22;
    const qreal right = side * 0.78;
    const qreal eaves = side * 0.32;
    const qreal bottom = side * 0.94;
    const QRectF body(left, eaves, right - left, bottom - eaves);
    painter.setPen(QPen(FixedText, side / 16.0));
    painter.setBrush(FixedBackground);
    painter.drawRect(body);
    painter.fillRect(body.adjusted(0, body.height() / 2, 0, 0), ButtonFace);
    const QPointF roof[] = {{left, eaves}, {side / 2.0, side * 0.06}, {right, eaves}};
    painter.drawPolygon(roof, 3);
    return pixmap;
}

} // namespace

void registerFonts()
{
    static bool registered = false;
    if (std::exchange(registered, true))
        return;
    for (const char *path : FontFiles) {
        if (QFile::exists(QString::fromLatin1(path)))
            QFontDatabase::addApplicationFont(QString::fromLatin1(path));
    }
}

QFont font(int pixelSize, bool bold)
{
    QFont f(Family);
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QIcon applicationIcon()
{
    QIcon icon;
    for (const int side : IconSizes)
        icon.addPixmap(siloPicture(side));
    return icon;
}

void applyPalette(QWidget *widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, Background);
    palette.setColor(QPalette::Base, Background);
    palette.setColor(QPalette::WindowText, Text);
    palette.setColor(QPalette::Text, Text);
    palette.setColor(QPalette::Highlight, Background);
    palette.setColor(QPalette::HighlightedText, Text);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace granovia::skin
