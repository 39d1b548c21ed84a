#include "reports/Report.h"

#include "reports/JournalReader.h"
#include "reports/LotTrace.h"
#include "reports/StockAtMoment.h"
#include "config/NumberFormat.h"
#include "store/Connection.h"
#include "store/Schema.h"
#include "core/SiloLabel.h"
#include "store/Stock.h"
#include "store/WaitBudget.h"

#include <map>
#include <memory>

namespace granovia::reports {

namespace {

// Lines read at once for a file: few statements, little memory.
constexpr int ExportPageSize = 5000;
constexpr int QuantityDecimals = 3;
const QString DayFormat = QStringLiteral("yyyy-MM-dd");
const QString SeveralRowsNote =
    QStringLiteral("Pro %1 je v tabulce sil více řádků! Sestava pracuje s řádkem s nejnižším id.");

QString dayText(const QDate &day)
{
    return day.toString(DayFormat);
}

QList<ReportColumn> stockColumns()
{
    return {{QStringLiteral("silo"), CellType::Text, 9},     {QStringLiteral("stav"), CellType::Quantity, 10},
            {QStringLiteral("kapacita"), CellType::Quantity, 10}, {QStringLiteral("partie"), CellType::Text, 14},
            {QStringLiteral("druh"), CellType::Text, 16},    {QStringLiteral("odrůda"), CellType::Text, 14},
            {QStringLiteral("stupeň"), CellType::Text, 7},   {QStringLiteral("poznámka"), CellType::Text, 22}};
}

QList<ReportColumn> holderColumns()
{
    return {{QStringLiteral("silo"), CellType::Text, 9},    {QStringLiteral("stav"), CellType::Quantity, 10},
            {QStringLiteral("kapacita"), CellType::Quantity, 10}, {QStringLiteral("druh"), CellType::Text, 16},
            {QStringLiteral("odrůda"), CellType::Text, 14}, {QStringLiteral("stupeň"), CellType::Text, 7},
            {QStringLiteral("ze dne"), CellType::Timestamp, 19}};
}

QString inconsistencyText(const SiloAtMoment &silo)
{
    QStringList notes;
    if (silo.isNegative())
        notes.append(QStringLiteral("záporný stav"));
    if (silo.isOverCapacity())
        notes.append(QStringLiteral("nad kapacitu"));
    if (silo.severalRows)
        notes.append(QStringLiteral("více řádků sila"));
    if (silo.lotUnknown)
        notes.append(QStringLiteral("partie neznámá"));
    return notes.join(QStringLiteral(", "));
}

ReportRow stockRow(const SiloAtMoment &silo)
{
    return {{silolabel::label(silo.silo), silo.stav, silo.kapacita, silo.partie, silo.druh, silo.odruda, silo.stupen,
             inconsistencyText(silo)},
            silo.isNegative() || silo.isOverCapacity()};
}

ReportRow holderRow(const LotHolder &holder)
{
    return {{silolabel::label(holder.silo), holder.stav, holder.kapacita, holder.druh, holder.odruda, holder.stupen,
             holder.navoz},
            holder.severalRows};
}

// As the console tells at start: the silo numbers with more rows, of which
// the lowest id counts.
template <typename Item>
QStringList severalRowsNote(const QList<Item> &items)
{
    QStringList labels;
    for (const Item &item : items) {
        if (item.severalRows)
            labels.append(silolabel::label(item.silo));
    }
    if (labels.isEmpty())
        return {};
    return {SeveralRowsNote.arg(labels.join(QStringLiteral(", ")))};
}

template <typename Item, typename Convert>
ReportSection sectionOf(const QString &caption, QList<ReportColumn> columns, const QList<Item> &items, Convert convert)
{
    return {caption, std::move(columns), items.size(), [items, convert](const RowVisitor &visit) {
                for (const Item &item : items)
                    visit(convert(item));
            }};
}

QList<ReportTotal> speciesTotals(const StockAtMoment &stock)
{
    std::map<QString, double> bySpecies;
    double all = 0;
    for (const SiloAtMoment &silo : stock.silos) {
        if (stock::isNone(silo.stav))
            continue;
        bySpecies[silo.druh] += silo.stav;
        all += silo.stav;
    }
    QList<ReportTotal> totals;
    for (const auto &[druh, tonnes] : bySpecies)
        totals.append({druh.isEmpty() ? QStringLiteral("Celkem bez druhu") : QStringLiteral("Celkem ") + druh, tonnes});
    totals.append({QStringLiteral("Celkem"), all});
    return totals;
}

} // namespace

QString originText(const ReportOrigin &origin)
{
    return QStringLiteral("Pracoviště %1, středisko %2, sestaveno %3")
        .arg(origin.workstation, origin.centre, formatTimestamp(origin.made));
}

QString cellText(const QVariant &cell, CellType type)
{
    if (type == CellType::Quantity)
        return numbers::fixed(cell.toDouble(), QuantityDecimals);
    return cell.toString();
}

QList<ReportColumn> journalColumns()
{
    return {{QStringLiteral("datum"), CellType::Timestamp, 19}, {QStringLiteral("ZE"), CellType::Text, 9},
            {QStringLiteral("DO"), CellType::Text, 9},          {QStringLiteral("množství"), CellType::Quantity, 10},
            {QStringLiteral("partie"), CellType::Text, 14},     {QStringLiteral("druh"), CellType::Text, 16},
            {QStringLiteral("odrůda"), CellType::Text, 14},     {QStringLiteral("stupeň"), CellType::Text, 7},
            {QStringLiteral("doklad"), CellType::Text, 12}};
}

ReportRow journalRow(const JournalLine &line)
{
    return {{line.datum, journal::fromText(line), journal::toText(line), line.mnozstvi, line.lot.partie, line.lot.druh,
             line.lot.odruda, line.lot.stupen, line.documentText()},
            false};
}

QString filterText(const JournalFilter &filter)
{
    QStringList parts;
    if (filter.silo)
        parts.append(QStringLiteral("silo %1").arg(silolabel::label(*filter.silo)));
    if (!filter.lot.isEmpty()) {
        parts.append(filter.lotPrefix ? QStringLiteral("partie začínající %1").arg(filter.lot)
                                      : QStringLiteral("partie %1").arg(filter.lot));
    }
    if (filter.from)
        parts.append(QStringLiteral("od %1").arg(dayText(*filter.from)));
    if (filter.to)
        parts.append(QStringLiteral("do %1").arg(dayText(*filter.to)));
    return QStringLiteral("Výběr: ") + (parts.isEmpty() ? QStringLiteral("všechny pohyby") : parts.join(QStringLiteral(", ")));
}

Report historyReport(Connection &connection, JournalFilter filter)
{
    // Held while the report lives, so that its rows, read as it is written,
    // belong to the moment of its totals.
    const auto snapshot = std::make_shared<Transaction>(connection, Transaction::Mode::ReadSnapshot);
    if (!filter.upToId) {
        Result newest = connection.query(newestJournalIdStatement());
        newest.next();
        filter.upToId = newest.toInt(schema::ppsilap::Id);
    }
    const JournalTotals totals = journalTotals(connection, filter);
    ReportSection lines{{}, journalColumns(), totals.lines, [&connection, filter, snapshot](const RowVisitor &visit) {
                            JournalReader reader(connection, filter);
                            while (!reader.atEnd()) {
                                // A file of millions of lines takes its time; each page has its own wait.
                                const WaitBudget page(WaitBudget::Start::Fresh);
                                for (const JournalLine &line : reader.next(ExportPageSize))
                                    visit(journalRow(line));
                            }
                        }};
    const QString silo = filter.silo ? silolabel::label(*filter.silo) : QString();
    return {HistoryReportName,
            {filterText(filter), QStringLiteral("Řádků: %1").arg(totals.lines)},
            {lines},
            {{silo.isEmpty() ? QStringLiteral("Přišlo zvenčí") : QStringLiteral("Přišlo do %1").arg(silo), totals.incoming},
             {silo.isEmpty() ? QStringLiteral("Odešlo ze sil") : QStringLiteral("Odešlo z %1").arg(silo), totals.outgoing}}};
}

Report lotReport(const LotTrace &trace)
{
    return {QStringLiteral("Partie %1").arg(trace.lot),
            QStringList{QStringLiteral("Pohyby partie v časovém pořadí a sila, která ji nyní drží")}
                + severalRowsNote(trace.holders),
            {sectionOf(QStringLiteral("Pohyby partie"), journalColumns(), trace.lines, journalRow),
             sectionOf(QStringLiteral("Uloženo v silech"), holderColumns(), trace.holders, holderRow)},
            {{QStringLiteral("Přišlo zvenčí"), trace.cameIn},
             {QStringLiteral("Odešlo ze sil"), trace.left},
             {QStringLiteral("Uloženo nyní"), trace.inStore}}};
}

Report stockReport(const StockAtMoment &stock)
{
    return {QStringLiteral("Stav sil k %1").arg(formatTimestamp(stock.moment)),
            QStringList{RebuiltNote} + severalRowsNote(stock.silos),
            {sectionOf(QString(), stockColumns(), stock.silos, stockRow)},
            speciesTotals(stock)};
}

Report withRowsRead(const Report &report)
{
    Report read = report;
    for (ReportSection &section : read.sections) {
        QList<ReportRow> rows;
        section.forEachRow([&rows](const ReportRow &row) { rows.append(row); });
        section.rowCount = rows.size();
        section.forEachRow = [rows](const RowVisitor &visit) {
            for (const ReportRow &row : rows)
                visit(row);
        };
    }
    return read;
}

} // namespace granovia::reports
