#pragma once

#include "journal/JournalLine.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>

namespace granovia {
class Connection;
}

// What the web board shows, read from the database and written as the JSON
// that its pages draw. Every read throws DbError.
namespace granovia::web {

// The newest journal lines on the board's front page.
constexpr int LatestLineCount = 50;
// A silo's own page shows its lines in pages of this many, newest first,
// up to MaxSiloPage pages back.
constexpr int SiloPageSize = 50;
constexpr int MaxSiloPage = 40;

struct SiloView {
    int silo = 0;
    QString partie;
    QString druh;
    QString odruda;
    double stav = 0;
    double kapacita = 0;
};

// A journal line and whether a reversal cancels it (or it is one).
struct MarkedLine {
    journal::JournalLine line;
    bool reversed = false;
};

// Every silo that has a row, 1 to 100 in order; of two rows of one silo
// number, the one with the lower id, as everywhere.
QList<SiloView> readSilos(Connection &connection);
QList<MarkedLine> readLatestLines(Connection &connection);

struct SiloPage {
    QList<MarkedLine> lines;
    bool more = false;
};
// Page 1 is the newest. The lines of the pages before it are read too, for
// the marks of reversals that came later.
SiloPage readSiloPage(Connection &connection, int silo, int page);

// Marks the reversals among the lines and the lines they reverse, by the
// journal's one rule; a mark that names a line outside them is settled by
// reading that line.
QList<MarkedLine> markReversals(Connection &connection, const QList<journal::JournalLine> &lines);

// The silo as the pages show it: its label ("SILO: 07"), lot, species,
// variety, stock and capacity in tonnes ("20,000"), fill percentage ("45 %")
// and the fill as a fraction of 1 for the bar.
QJsonObject siloJson(const SiloView &silo);
// ZE, DO, quantity ("1,500"), lot, time ("d.M.yyyy H:mm:ss") and the mark.
QJsonObject lineJson(const MarkedLine &line);
QJsonArray linesJson(const QList<MarkedLine> &lines);

} // namespace granovia::web
