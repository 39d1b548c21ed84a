#include "reports/LotTrace.h"

#include "reports/ReportSql.h"
#include "store/Connection.h"
#include "store/Schema.h"
#include "core/SiloLabel.h"
#include "store/Stock.h"

namespace granovia::reports {

namespace {

namespace s = schema::ppsila;

QList<LotHolder> readHolders(Connection &connection, const QString &lot)
{
    QList<LotHolder> holders;
    Result result = connection.query(lotHoldersStatement(lot, connection.escaper()));
    while (result.next()) {
        const double stav = result.toDouble(s::Stav);
        const qint64 silo = result.toInt(s::Silo);
        if (stock::isNone(stav) || silo < silolabel::FirstSilo || silo > silolabel::LastSilo)
            continue;
        holders.append({int(silo), stav, result.toDouble(s::Kapacita), result.toText(s::NazDru),
                        result.toText(s::NazOdru), result.toText(s::Stupen), result.toText(s::Navoz),
                        result.toInt(SiloRowsColumn) > 1});
    }
    return holders;
}

} // namespace

LotTrace traceLot(Connection &connection, const QString &lot)
{
    LotTrace trace;
    trace.lot = lot;
    const Transaction snapshot(connection, Transaction::Mode::ReadSnapshot);
    Result result = connection.query(lotLinesStatement(lot, connection.escaper()));
    trace.lines.reserve(result.rowCount());
    while (result.next()) {
        JournalLine line = journal::readLine(result);
        if (line.kind() == journal::LineKind::Intake)
            trace.cameIn += line.mnozstvi;
        else if (line.kind() == journal::LineKind::Removal)
            trace.left += line.mnozstvi;
        trace.lines.append(std::move(line));
    }
    trace.holders = readHolders(connection, lot);
    for (const LotHolder &holder : std::as_const(trace.holders))
        trace.inStore += holder.stav;
    return trace;
}

} // namespace granovia::reports
