#include "web/BoardData.h"

#include "config/NumberFormat.h"
#include "movements/Reversal.h"
#include "reports/JournalReader.h"
#include "store/Schema.h"
#include "store/SiloLabel.h"
#include "store/SiloSnapshot.h"
#include "store/SqlText.h"

#include <QMap>
#include <QSet>

namespace granovia::web {

namespace {

constexpr int QuantityDecimals = 3;
constexpr long double PercentBase = 100;

// The journal model's word on reversals, in one place.
std::optional<qint64> reversedLineOf(const reports::JournalLine &line)
{
    movement::JournalEntry entry;
    entry.id = line.id;
    entry.silo = line.silo;
    entry.silob = line.silob;
    entry.cislopp = line.cislopp;
    return movement::reversedLineOf(entry);
}

QString tonnes(double value)
{
    return numbers::fixed(value, QuantityDecimals);
}

QString timeText(const QString &datum)
{
    const std::optional<QDateTime> time = parseTimestamp(datum);
    return time ? numbers::dateTimeText(*time) : datum;
}

} // namespace

QList<SiloView> readSilos(Connection &connection)
{
    connection.execute(SetNames);
    Result rows = connection.query(selectAllSilos());
    QMap<int, SiloView> bySilo;
    // Of one silo number the lowest id comes last and stays.
    while (rows.next()) {
        const SiloRow row = siloRowOf(rows);
        if (row.silo < silolabel::FirstSilo || row.silo > silolabel::LastSilo)
            continue;
        bySilo.insert(int(row.silo), SiloView{int(row.silo), rows.toText(schema::ppsila::Partie), row.druh,
                                              row.odruda, row.stav, row.kapacita});
    }
    return bySilo.values();
}

QList<MarkedLine> markReversals(const QList<reports::JournalLine> &lines)
{
    QSet<qint64> reversed;
    for (const reports::JournalLine &line : lines) {
        if (const std::optional<qint64> target = reversedLineOf(line))
            reversed << *target << line.id;
    }
    QList<MarkedLine> marked;
    marked.reserve(lines.size());
    for (const reports::JournalLine &line : lines)
        marked.append({line, reversed.contains(line.id)});
    return marked;
}

QList<MarkedLine> readLatestLines(Connection &connection)
{
    reports::JournalReader reader(connection, {});
    return markReversals(reader.next(LatestLineCount));
}

SiloPage readSiloPage(Connection &connection, int silo, int page)
{
    reports::JournalFilter filter;
    filter.silo = silo;
    reports::JournalReader reader(connection, filter);
    QList<reports::JournalLine> lines;
    for (int read = 0; read < page && !reader.atEnd(); ++read)
        lines += reader.next(SiloPageSize);
    const QList<MarkedLine> marked = markReversals(lines);
    const qsizetype first = qsizetype(page - 1) * SiloPageSize;
    SiloPage result;
    result.lines = marked.mid(first);
    result.more = !reader.atEnd() && !reader.next(1).isEmpty();
    return result;
}

QJsonObject siloJson(const SiloView &silo)
{
    const long double percent = fillPercent(silo.stav, silo.kapacita);
    return {
        {QStringLiteral("silo"), silo.silo},
        {QStringLiteral("label"), silolabel::label(silo.silo)},
        {QStringLiteral("lot"), silo.partie},
        {QStringLiteral("species"), silo.druh},
        {QStringLiteral("variety"), silo.odruda},
        {QStringLiteral("stock"), tonnes(silo.stav)},
        {QStringLiteral("capacity"), tonnes(silo.kapacita)},
        {QStringLiteral("percent"), numbers::fixed(percent, 0) + QStringLiteral(" %")},
        {QStringLiteral("fill"), double(std::clamp<long double>(percent / PercentBase, 0, 1))},
    };
}

QJsonObject lineJson(const MarkedLine &marked)
{
    const reports::JournalLine &line = marked.line;
    return {
        {QStringLiteral("id"), line.id},
        {QStringLiteral("from"), reports::fromText(line)},
        {QStringLiteral("to"), reports::toText(line)},
        {QStringLiteral("quantity"), numbers::fixed(line.mnozstvi, QuantityDecimals)},
        {QStringLiteral("lot"), line.partie},
        {QStringLiteral("time"), timeText(line.datum)},
        {QStringLiteral("reversed"), marked.reversed},
    };
}

QJsonArray linesJson(const QList<MarkedLine> &lines)
{
    QJsonArray array;
    for (const MarkedLine &line : lines)
        array.append(lineJson(line));
    return array;
}

} // namespace granovia::web
