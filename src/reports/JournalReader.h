#pragma once

#include "journal/JournalLine.h"
#include "reports/ReportSql.h"

#include <QList>
#include <optional>

namespace granovia {
class Connection;
}

namespace granovia::reports {

using journal::JournalLine;

// Reads the lines of a filter page by page, newest first: the dated lines
// by keyset on (datum, id), then the undated ones. Throws DbError.
class JournalReader final {
public:
    JournalReader(Connection &connection, JournalFilter filter);

    // The next lines, at most `limit`; empty once every line has been read.
    QList<JournalLine> next(int limit);
    bool atEnd() const { return m_stage == Stage::Done; }
    const JournalFilter &filter() const { return m_filter; }

private:
    enum class Stage { Dated, Undated, Done };
    QList<JournalLine> readDated(int limit);
    QList<JournalLine> readUndated(int limit);
    QList<JournalLine> read(const QString &statement);

    Connection &m_connection;
    JournalFilter m_filter;
    Stage m_stage = Stage::Dated;
    std::optional<JournalKey> m_after;
    std::optional<qint64> m_belowId;
};

struct JournalTotals {
    qint64 lines = 0;
    double incoming = 0;
    double outgoing = 0;
};

// Throws DbError.
JournalTotals journalTotals(Connection &connection, const JournalFilter &filter);

} // namespace granovia::reports
