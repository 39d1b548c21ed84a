#include "ui/Skin.h"

#include <QFile>
#include <QFontDatabase>
#include <QPalette>
#include <QWidget>
#include <utility>

namespace granovia::skin {

namespace {

const QString Family = QStringLiteral("Tahoma");
const char *const FontFiles[] = {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"};

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
