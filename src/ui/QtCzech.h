#pragma once

class QCoreApplication;

namespace granovia::ui {

// Qt's own texts (the print preview's tooltips, the print and file dialogs,
// the standard buttons) in Czech, whatever the machine's locale: the program
// speaks Czech to every operator. Standard error says so when the
// translations are missing; the texts stay English then.
void installCzechQtTexts(QCoreApplication &application);

} // namespace granovia::ui
