#include "journal/JournalLine.h"

#include "store/Connection.h"
#include "store/Schema.h"
#include "core/SiloLabel.h"

#include <algorithm>

namespace granovia::journal {

namespace {

namespace j = schema::ppsilap;

// The server compares texts with their trailing blanks ignored.
bool blank(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c == u' '; });
}

std::optional<QString> textOrNull(const Result &row, const QString &field)
{
    return row.isNull(field) ? std::nullopt : std::optional<QString>(row.toText(field));
}

// A silo's label, or the journal's text where it names no silo.
QString siloText(const QString &journalText)
{
    const std::optional<int> silo = silolabel::siloOfJournalText(journalText);
    return silo ? silolabel::label(*silo) : journalText;
}

// The codes of kindCodeExpression, in the order of LineKind.
constexpr LineKind CodedKinds[] = {LineKind::Transfer, LineKind::Removal, LineKind::Intake, LineKind::Other};

} // namespace

LineKind kindOf(const std::optional<QString> &silob, const std::optional<QString> &cislopp)
{
    if (!silob)
        return LineKind::Other;
    if (!blank(*silob))
        return LineKind::Transfer;
    return cislopp && blank(*cislopp) ? LineKind::Removal : LineKind::Intake;
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
        return silolabel::siloOfJournalText(*silob);
    case LineKind::Intake:
        return silolabel::siloOfJournalText(silo);
    case LineKind::Removal:
    case LineKind::Other:
        break;
    }
    return std::nullopt;
}

QStringList lineColumns()
{
    return {j::Id,       j::Datum,  j::Silo,   j::Silob,   j::Cislopp,
            j::Mnozstvi, j::Partie, j::NazDru, j::NazOdru, j::Stupen};
}

JournalLine readLine(const Result &row)
{
    return {row.toInt(j::Id),
            row.toText(j::Datum),
            row.toText(j::Silo),
            textOrNull(row, j::Silob),
            textOrNull(row, j::Cislopp),
            row.toDouble(j::Mnozstvi),
            {row.toText(j::Partie), row.toText(j::NazDru), row.toText(j::NazOdru), row.toText(j::Stupen)}};
}

QString fromText(const JournalLine &line)
{
    return line.kind() == LineKind::Intake ? FromOutside : siloText(line.silo);
}

QString toText(const JournalLine &line)
{
    switch (line.kind()) {
    case LineKind::Transfer:
        return siloText(*line.silob);
    case LineKind::Intake:
        return siloText(line.silo);
    case LineKind::Removal:
        return OutOfSilos;
    case LineKind::Other:
        break;
    }
    return {};
}

QString kindCondition(LineKind kind, const QString &prefix)
{
    const QString silob = prefix + j::Silob;
    const QString cislopp = prefix + j::Cislopp;
    switch (kind) {
    case LineKind::Transfer:
        return QStringLiteral("%1 <> ''").arg(silob);
    case LineKind::Removal:
        return QStringLiteral("%1 = '' and %2 = ''").arg(silob, cislopp);
    case LineKind::Intake:
        return QStringLiteral("%1 = '' and (%2 is null or %2 <> '')").arg(silob, cislopp);
    case LineKind::Other:
        break;
    }
    return QStringLiteral("%1 is null").arg(silob);
}

QString ofThisModule(const QString &prefix)
{
    return QStringLiteral("%1%2 <> ''").arg(prefix, j::Silo);
}

QString kindCodeExpression()
{
    QStringList cases;
    for (qsizetype code = 0; code < qsizetype(std::size(CodedKinds)) - 1; ++code)
        cases.append(QStringLiteral("when %1 then %2").arg(kindCondition(CodedKinds[code])).arg(code));
    return QStringLiteral("case %1 else %2 end").arg(cases.join(u' ')).arg(std::size(CodedKinds) - 1);
}

LineKind kindOfCode(qint64 code)
{
    return code >= 0 && code < qint64(std::size(CodedKinds)) ? CodedKinds[code] : LineKind::Other;
}

QString toColumnExpression()
{
    return QStringLiteral("if(%1 = '', if(%2 = '', 'M', %3), %1)").arg(j::Silob, j::Cislopp, j::Silo);
}

QString fromColumnExpression()
{
    return QStringLiteral("if(%2 = '' and %1 = '', %3, if(%1 = '', 'N', %3))").arg(j::Silob, j::Cislopp, j::Silo);
}

} // namespace granovia::journal
