#include "ui/QtCzech.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>

namespace granovia::ui {

void installCzechQtTexts(QCoreApplication &application)
{
    auto *translator = new QTranslator(&application);
    const QString directory = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QLocale(QLocale::Czech, QLocale::Czechia), QStringLiteral("qtbase"), QStringLiteral("_"),
                          directory)) {
        std::fprintf(stderr, "Qt's Czech texts (qtbase_cs.qm) are missing in %s\n", qPrintable(directory));
        delete translator;
        return;
    }
    QCoreApplication::installTranslator(translator);
}

} // namespace granovia::ui
