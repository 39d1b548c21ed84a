#pragma once

#include "ui/Dialogs.h"

#include <QDialog>
#include <array>

class QLabel;
class QPushButton;

namespace granovia {

class Result;

// What the info dialog shows of one silo.
struct SiloInfo {
    static constexpr int RowCount = 8;
    QString title; // the button caption without its line break: "SILO12"
    // partie, naz_dru, naz_odru, stupen, quantity (empty for no stock),
    // filling date, last movement, remaining capacity
    std::array<QString, RowCount> values;
};

// The info of a ppsila row, in the forms of the console's detail panels.
SiloInfo siloInfoOf(const QString &title, const Result &row);

// `infos`: a silo's content, and the question whether to take it.
class Tinfos final : public QDialog {
    Q_OBJECT
public:
    static constexpr int Take = 1;   // "do přesunu"
    static constexpr int Cancel = 2; // "storno", or closed any other way

    explicit Tinfos(QWidget *owner);

    // Shows the info modally and returns Take or Cancel. An installed dialog
    // responder gets a request whose text is the title and then the eight
    // values, one per line, in the order of SiloInfo::values.
    int showModal(const SiloInfo &info);

    QLabel *suiImagePanel1 = nullptr;
    std::array<QLabel *, SiloInfo::RowCount> values{}; // Label8 .. Label15
    QPushButton *suiButton1 = nullptr;
    QPushButton *suiButton2 = nullptr;

private:
    void setInfo(const SiloInfo &info);
    int execOwn();
};

// `foznam`: a notice with one "OK". The board's other notices and questions
// (a database error, say) come in the same look, with their own buttons.
// The text grows the dialog downwards where it needs more than its place.
class Tfoznam final : public QDialog {
    Q_OBJECT
public:
    static constexpr int Ok = 1;

    explicit Tfoznam(QWidget *owner, const QStringList &captions = {QStringLiteral("OK")});

    // Shows the notice modally; a responder gets the notice as its text.
    void showModal(const QString &notice);
    // Shows the text modally and returns the 1-based number of the button
    // touched; closed any other way, the last button's.
    int showOwn(const QString &text);

    QLabel *text = nullptr;
    QPushButton *suiButton1 = nullptr;

private:
    void fitToText();

    QList<QPushButton *> m_buttons;
};

} // namespace granovia
