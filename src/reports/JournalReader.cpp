#include "reports/JournalReader.h"

#include "store/Connection.h"

namespace granovia::reports {

JournalReader::JournalReader(Connection &connection, JournalFilter filter)
    : m_connection(connection)
    , m_filter(std::move(filter))
    , m_pager(journal::lineColumns().join(QStringLiteral(", ")), journalConditions(m_filter, connection.escaper()))
{
}

QList<JournalLine> JournalReader::next(int limit)
{
    QList<JournalLine> lines;
    // A stage that runs dry hands on to the next within the same call.
    while (lines.isEmpty() && !m_pager.atEnd()) {
        Result result = m_connection.query(m_pager.nextStatement(limit, m_connection.escaper()));
        lines.reserve(result.rowCount());
        while (result.next())
            lines.append(journal::readLine(result));
        m_pager.pageRead(lines.size(), limit, lines.isEmpty() ? QString() : lines.last().datum,
                         lines.isEmpty() ? 0 : lines.last().id);
    }
    return lines;
}

JournalTotals journalTotals(Connection &connection, const JournalFilter &filter)
{
    Result result = connection.query(journalTotalsStatement(filter, connection.escaper()));
    result.next();
    return {result.toInt(LinesColumn), result.toDouble(IncomingColumn), result.toDouble(OutgoingColumn)};
}

} // namespace granovia::reports
