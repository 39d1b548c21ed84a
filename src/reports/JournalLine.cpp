#include "reports/JournalLine.h"

#include "store/Connection.h"
#include "store/Schema.h"
#include "core/SiloLabel.h"

#include <QStringList>

namespace granovia::reports {

namespace {

namespace col = schema::ppsilap;

// A silo's label, or the journal's text where it names no silo.
QString siloText(const QString &journalText)
{
    const std::optional<int> silo = silolabel::siloOfJournalText(journalText);
    return silo ? silolabel::label(*silo) : journalText;
}

} // namespace

LineKind kindOf(const QString &silob, const QString &cislopp)
{
    if (!silob.trimmed().isEmpty())
        return LineKind::Transfer;
    return cislopp.trimmed().isEmpty() ? LineKind::Removal : LineKind::Intake;
}

std::optional<int> JournalLine::sourceSilo() const
{
    if (kind() == LineKind::Intake)
        return std::nullopt;
    return silolabel::siloOfJournalText(silo);
}

std::optional<int> JournalLine::targetSilo() const
{
    switch (kind()) {
    case LineKind::Transfer:
        return silolabel::siloOfJournalText(silob);
    case LineKind::Intake:
        return silolabel::siloOfJournalText(silo);
    case LineKind::Removal:
        break;
    }
    return std::nullopt;
}

QStringList journalLineColumns()
{
    return {col::Id,      col::Datum,  col::Silo,   col::Silob,   col::Cislopp,
            col::Mnozstvi, col::Partie, col::NazDru, col::NazOdru, col::Stupen};
}

JournalLine readLine(const Result &result)
{
    JournalLine line;
    line.id = result.toInt(col::Id);
    line.datum = result.toText(col::Datum);
    line.silo = result.toText(col::Silo);
    line.silob = result.toText(col::Silob);
    line.cislopp = result.toText(col::Cislopp);
    line.mnozstvi = result.toDouble(col::Mnozstvi);
    line.partie = result.toText(col::Partie);
    line.druh = result.toText(col::NazDru);
    line.odruda = result.toText(col::NazOdru);
    line.stupen = result.toText(col::Stupen);
    return line;
}

QString fromText(const JournalLine &line)
{
    return line.kind() == LineKind::Intake ? FromOutside : siloText(line.silo);
}

QString toText(const JournalLine &line)
{
    switch (line.kind()) {
    case LineKind::Transfer:
        return siloText(line.silob);
    case LineKind::Intake:
        return siloText(line.silo);
    case LineKind::Removal:
        break;
    }
    return OutOfSilos;
}

} // namespace granovia::reports
