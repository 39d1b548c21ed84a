#pragma once

#include "reports/ReportFiles.h"

// What the writers share; not for use outside the reports.
namespace granovia::reports::detail {

// A file that could not be written, for the caller to name.
struct WriteFailure {
    QString reason;
};

// Counts the rows written and asks the progress now and then.
class RowProgress final {
public:
    RowProgress(const Report &report, const Progress &progress);
    // Throws ReportCancelled when the progress says stop.
    void step();
    void finish();

private:
    const Progress &m_progress;
    qint64 m_total = 0;
    qint64 m_done = 0;
};

// The lines above the tables: the name, who made it when, the notes.
QStringList headLines(const Report &report, const ReportOrigin &origin);

// Writes the XLSX file at path, which must not be the final name. Throws
// WriteFailure, and ReportError for a report too long for a sheet.
void writeXlsx(const Report &report, const ReportOrigin &origin, const QString &path, const Progress &progress);

} // namespace granovia::reports::detail
