#include "ui/Skin.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleOption>
#include <QWidget>
#include <utility>

namespace granovia::skin {

namespace {

const QString Family = QStringLiteral("Tahoma");
const char *const FontFiles[] = {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"};
constexpr int IconSizes[] = {16, 32};
// Texts kept at most: the console shows a few hundred different ones.
constexpr qsizetype MaxLaidOutTexts = 4096;

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

// The platform's look, with splitter bars in the frame colour.
class SkinStyle final : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (element == CE_Splitter) {
            painter->fillRect(option->rect, FrameBorder);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

} // namespace

void installStyle()
{
    if (!dynamic_cast<const SkinStyle *>(QApplication::style()))
        QApplication::setStyle(new SkinStyle);
}

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
    static QHash<std::pair<int, bool>, QFont> fonts;
    auto found = fonts.constFind({pixelSize, bold});
    if (found == fonts.constEnd()) {
        QFont f(Family);
        f.setStyleHint(QFont::SansSerif);
        f.setPixelSize(pixelSize);
        f.setBold(bold);
        found = fonts.insert({pixelSize, bold}, f);
    }
    return *found;
}

const LaidOutText &laidOut(const QString &text, const QFont &font)
{
    // The skin's fonts differ in size and weight only.
    using Key = std::pair<QString, std::pair<int, int>>;
    static QHash<Key, LaidOutText> texts;
    const Key key{text, {font.pixelSize(), font.weight()}};
    auto found = texts.constFind(key);
    if (found == texts.constEnd()) {
        if (texts.size() >= MaxLaidOutTexts)
            texts.clear();
        LaidOutText laid{QStaticText(text), 0, 0};
        laid.text.setTextFormat(Qt::PlainText);
        laid.text.setPerformanceHint(QStaticText::AggressiveCaching);
        laid.text.prepare(QTransform(), font);
        const QFontMetrics metrics(font);
        laid.advance = metrics.horizontalAdvance(text);
        laid.ascent = metrics.ascent();
        found = texts.insert(key, laid);
    }
    return *found;
}

void paintGridLines(QPainter *painter, const QRect &cell)
{
    painter->fillRect(QRect(cell.right() + 1, cell.top(), GridLineWidth, cell.height() + GridLineWidth), GridLine);
    painter->fillRect(QRect(cell.left(), cell.bottom() + 1, cell.width(), GridLineWidth), GridLine);
}

void paintFocusFrame(QPainter *painter, const QRect &area, const QColor &colour)
{
    painter->save();
    QPen pen(colour);
    pen.setStyle(Qt::DotLine);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(area.adjusted(0, 0, -1, -1));
    painter->restore();
}

void drawLaidOut(QPainter *painter, const QPoint &baseline, const LaidOutText &text)
{
    painter->drawStaticText(QPoint(baseline.x(), baseline.y() - text.ascent), text.text);
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

void applyMenuPalette(QWidget *menu)
{
    QPalette palette = menu->palette();
    for (const QPalette::ColorRole background : {QPalette::Window, QPalette::Base})
        palette.setColor(background, FrameBackground);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::WindowText, Text);
        palette.setColor(group, QPalette::Text, Text);
        palette.setColor(group, QPalette::ButtonText, Text);
    }
    for (const QPalette::ColorRole text : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, text, NotLoadedText);
    palette.setColor(QPalette::Highlight, FixedBackground);
    palette.setColor(QPalette::HighlightedText, FixedText);
    menu->setPalette(palette);
}

} // namespace granovia::skin
