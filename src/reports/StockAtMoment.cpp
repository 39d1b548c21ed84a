#include "reports/StockAtMoment.h"

#include "journal/JournalLine.h"
#include "reports/ReportSql.h"
#include "store/Connection.h"
#include "store/Schema.h"
#include "core/SiloLabel.h"
#include "store/Stock.h"

#include <QHash>
#include <map>

namespace granovia::reports {

namespace {

namespace s = schema::ppsila;
namespace j = schema::ppsilap;

using Silos = std::map<int, SiloAtMoment>;
using journal::JournalLine;
using journal::LineKind;

Silos readSilosNow(Connection &connection)
{
    Silos silos;
    Result result = connection.query(silosNowStatement());
    while (result.next()) {
        const qint64 number = result.toInt(s::Silo);
        if (number < silolabel::FirstSilo || number > silolabel::LastSilo)
            continue;
        // Of one silo number the lowest id comes first, and counts.
        if (const auto seen = silos.find(int(number)); seen != silos.end()) {
            seen->second.severalRows = true;
            continue;
        }
        silos[int(number)] = {int(number),
                result.toDouble(s::Stav),
                result.toDouble(s::Kapacita),
                result.toText(s::Partie),
                result.toText(s::NazDru),
                result.toText(s::NazOdru),
                result.toText(s::Stupen),
                false,
                false};
    }
    return silos;
}

// The texts that named each silo in the journal after the moment.
using TextsSeen = QHash<int, QStringList>;

void note(Silos &silos, TextsSeen &texts, const QString &text, double undo)
{
    const std::optional<int> number = silolabel::siloOfJournalText(text);
    if (!number || !silos.count(*number))
        return;
    SiloAtMoment &silo = silos[*number];
    silo.stav += undo;
    silo.changedSince = true;
    if (!texts[*number].contains(text))
        texts[*number].append(text);
}

TextsSeen undoChangesAfter(Connection &connection, const QString &moment, Silos &silos)
{
    TextsSeen texts;
    Result result = connection.query(changesAfterStatement(moment));
    while (result.next()) {
        const QString silo = result.toText(j::Silo);
        const QString silob = result.toText(j::Silob);
        const double quantity = result.toDouble(j::Mnozstvi);
        switch (journal::kindOfCode(result.toInt(KindColumn))) {
        case LineKind::Transfer:
            note(silos, texts, silo, quantity);
            note(silos, texts, silob, -quantity);
            break;
        case LineKind::Removal:
            note(silos, texts, silo, quantity);
            break;
        case LineKind::Intake:
            note(silos, texts, silo, -quantity);
            break;
        case LineKind::Other:
            break;
        }
    }
    return texts;
}

// The silos whose lot at the moment the journal has to tell: changed since,
// and holding something then.
QList<SiloTexts> silosToLookUp(const Silos &silos, const TextsSeen &seen)
{
    QList<SiloTexts> lookUp;
    for (const auto &[number, silo] : silos) {
        if (!silo.changedSince || stock::isNone(silo.stav))
            continue;
        // This module's two digits, and what other modules wrote since: a
        // text that never names the silo would cost a search of the whole
        // journal before the moment.
        QStringList texts{silolabel::digits(number)};
        for (const QString &text : seen.value(number)) {
            if (!texts.contains(text))
                texts.append(text);
        }
        lookUp.append({number, texts});
    }
    return lookUp;
}

bool isNewer(const JournalLine &line, const JournalLine &than)
{
    return line.datum != than.datum ? line.datum > than.datum : line.id > than.id;
}

// Per silo, the line that `better` prefers among those the statement found.
template <typename Better>
QHash<int, JournalLine> pickLines(Connection &connection, const QString &statement, Better better)
{
    QHash<int, JournalLine> picked;
    Result result = connection.query(statement);
    while (result.next()) {
        const int silo = int(result.toInt(ForSiloColumn));
        JournalLine line = journal::readLine(result);
        const auto it = picked.constFind(silo);
        if (it == picked.cend() || better(line, *it))
            picked.insert(silo, std::move(line));
    }
    return picked;
}

void takeLot(SiloAtMoment &silo, const JournalLine &line)
{
    silo.partie = line.lot.partie;
    silo.druh = line.lot.druh;
    silo.odruda = line.lot.odruda;
    silo.stupen = line.lot.stupen;
}

void clearLot(SiloAtMoment &silo)
{
    takeLot(silo, JournalLine{});
}

void lotsFromJournal(Connection &connection, const QString &moment, Silos &silos, const TextsSeen &seen)
{
    for (auto &[number, silo] : silos) {
        if (silo.changedSince || stock::isNone(silo.stav))
            clearLot(silo);
    }
    QList<SiloTexts> lookUp = silosToLookUp(silos, seen);
    if (lookUp.isEmpty())
        return;
    const Escape escape = connection.escaper();
    const QHash<int, JournalLine> last = pickLines(connection, lastLinesAtStatement(moment, lookUp, escape), isNewer);
    QList<SiloTexts> notFound;
    for (const SiloTexts &silo : std::as_const(lookUp)) {
        if (last.contains(silo.silo))
            takeLot(silos[silo.silo], last.value(silo.silo));
        else
            notFound.append(silo);
    }
    if (notFound.isEmpty())
        return;
    const auto isOlder = [](const JournalLine &line, const JournalLine &than) { return isNewer(than, line); };
    const QHash<int, JournalLine> first =
        pickLines(connection, firstLinesAfterStatement(moment, notFound, escape), isOlder);
    // Only seed taken out tells what the silo held before; seed put in does not.
    for (const SiloTexts &silo : std::as_const(notFound)) {
        const auto it = first.constFind(silo.silo);
        if (it != first.cend() && it->sourceSilo() == silo.silo)
            takeLot(silos[silo.silo], *it);
        else
            silos[silo.silo].lotUnknown = true;
    }
}

} // namespace

bool SiloAtMoment::isNegative() const
{
    return stav < -stock::Negligible;
}

bool SiloAtMoment::isOverCapacity() const
{
    return stav > kapacita + stock::Negligible;
}

StockAtMoment rebuildStock(Connection &connection, const QDateTime &moment)
{
    const QString momentText = formatTimestamp(moment);
    const Transaction snapshot(connection, Transaction::Mode::ReadSnapshot);
    Silos silos = readSilosNow(connection);
    const TextsSeen seen = undoChangesAfter(connection, momentText, silos);
    lotsFromJournal(connection, momentText, silos, seen);
    StockAtMoment result{moment, {}};
    for (auto &[number, silo] : silos) {
        if (stock::isNone(silo.stav))
            silo.stav = 0;
        result.silos.append(silo);
    }
    return result;
}

} // namespace granovia::reports
