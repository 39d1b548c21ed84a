#include "web/BoardData.h"

#include "config/NumberFormat.h"
#include "journal/Reversals.h"
#include "reports/JournalReader.h"
#include "store/Schema.h"
#include "core/SiloLabel.h"
#include "store/SiloSnapshot.h"
#include "store/SqlText.h"

#include <QMap>
#include <QSet>

namespace granovia::web {

namespace {

constexpr int QuantityDecimals = 3;
constexpr long double PercentBase = 100;

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

QList<MarkedLine> markReversals(Connection &connection, const QList<journal::JournalLine> &lines)
{
    journal::ReversalMarks marks;
    for (const journal::JournalLine &line : lines)
        marks.note(line);
    marks.resolve(connection);
    QList<MarkedLine> marked;
    marked.reserve(lines.size());
    for (const journal::JournalLine &line : lines)
        marked.append({line, marks.isCancelled(line.id)});
    return marked;
}

QList<MarkedLine> readLatestLines(Connection &connection)
{
    reports::JournalReader reader(connection, {});
    return markReversals(connection, reader.next(LatestLineCount));
}

SiloPage readSiloPage(Connection &connection, int silo, int page)
{
    reports::JournalFilter filter;
    filter.silo = silo;
    reports::JournalReader reader(connection, filter);
    QList<journal::JournalLine> lines;
    for (int read = 0; read < page && !reader.atEnd(); ++read)
        lines += reader.next(SiloPageSize);
    const QList<MarkedLine> marked = markReversals(connection, lines);
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
    const journal::JournalLine &line = marked.line;
    return {
        {QStringLiteral("id"), line.id},
        {QStringLiteral("from"), journal::fromText(line)},
        {QStringLiteral("to"), journal::toText(line)},
        {QStringLiteral("quantity"), numbers::fixed(line.mnozstvi, QuantityDecimals)},
        {QStringLiteral("lot"), line.lot.partie},
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
