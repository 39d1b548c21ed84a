#pragma once

#include "journal/JournalLine.h"
#include "journal/JournalPager.h"
#include "reports/ReportSql.h"

#include <QList>

namespace granovia {
class Connection;
}

namespace granovia::reports {

using journal::JournalLine;

// Reads the lines of a filter page by page, newest first, through the
// journal's pager. Throws DbError.
class JournalReader final {
public:
    JournalReader(Connection &connection, JournalFilter filter);

    // The next lines, at most `limit`; empty once every line has been read.
    QList<JournalLine> next(int limit);
    bool atEnd() const { return m_pager.atEnd(); }
    const JournalFilter &filter() const { return m_filter; }

private:
    Connection &m_connection;
    JournalFilter m_filter;
    journal::JournalPager m_pager;
};

struct JournalTotals {
    qint64 lines = 0;
    double incoming = 0;
    double outgoing = 0;
};

// Throws DbError.
JournalTotals journalTotals(Connection &connection, const JournalFilter &filter);

} // namespace granovia::reports
