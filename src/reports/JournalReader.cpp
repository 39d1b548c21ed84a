#include "reports/JournalReader.h"

#include "store/Connection.h"

namespace granovia::reports {

JournalReader::JournalReader(Connection &connection, JournalFilter filter)
    : m_connection(connection)
    , m_filter(std::move(filter))
{
}

QList<JournalLine> JournalReader::next(int limit)
{
    QList<JournalLine> lines;
    // A stage that runs dry hands on to the next within the same call.
    while (lines.isEmpty() && m_stage != Stage::Done)
        lines = m_stage == Stage::Dated ? readDated(limit) : readUndated(limit);
    return lines;
}

QList<JournalLine> JournalReader::readDated(int limit)
{
    QList<JournalLine> lines = read(journalPageStatement(m_filter, m_after, limit, m_connection.escaper()));
    if (!lines.isEmpty())
        m_after = JournalKey{lines.last().datum, lines.last().id};
    if (lines.size() < limit)
        m_stage = m_filter.hasDates() ? Stage::Done : Stage::Undated;
    return lines;
}

QList<JournalLine> JournalReader::readUndated(int limit)
{
    QList<JournalLine> lines = read(journalUndatedPageStatement(m_filter, m_belowId, limit, m_connection.escaper()));
    if (!lines.isEmpty())
        m_belowId = lines.last().id;
    if (lines.size() < limit)
        m_stage = Stage::Done;
    return lines;
}

QList<JournalLine> JournalReader::read(const QString &statement)
{
    Result result = m_connection.query(statement);
    QList<JournalLine> lines;
    lines.reserve(result.rowCount());
    while (result.next())
        lines.append(journal::readLine(result));
    return lines;
}

JournalTotals journalTotals(Connection &connection, const JournalFilter &filter)
{
    Result result = connection.query(journalTotalsStatement(filter, connection.escaper()));
    result.next();
    return {result.toInt(LinesColumn), result.toDouble(IncomingColumn), result.toDouble(OutgoingColumn)};
}

} // namespace granovia::reports
