#pragma once

#include "journal/JournalLine.h"
#include "reports/ReportSql.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariantList>
#include <functional>

namespace granovia {
class Connection;
}

// A report as every output shows it (the window, CSV, XLSX, print and PDF):
// its name and notes, its tables, and its totals. Cells are typed, so that
// each output writes them its own way: texts, quantities in tonnes, and
// times as the server wrote them.
namespace granovia::reports {

using journal::JournalLine;

struct LotTrace;
struct StockAtMoment;

enum class CellType { Text, Quantity, Timestamp };

struct ReportColumn {
    QString title;
    CellType type = CellType::Text;
    // Share of the printed line, in average characters.
    int width = 0;
};

struct ReportRow {
    QVariantList cells; // QString for texts and times, double for quantities
    // The row shows an inconsistency between the journal and the silos.
    bool marked = false;
};

using RowVisitor = std::function<void(const ReportRow &)>;

struct ReportSection {
    QString caption; // empty for a report of one table
    QList<ReportColumn> columns;
    qint64 rowCount = 0;
    // Visits every row in order; may read the database (throws DbError).
    std::function<void(const RowVisitor &)> forEachRow;
};

struct ReportTotal {
    QString label;
    double tonnes = 0;
};

struct Report {
    QString name;
    QStringList notes;
    QList<ReportSection> sections;
    QList<ReportTotal> totals;
};

// Who made a report, where and when: the print header, and the first lines
// of the files.
struct ReportOrigin {
    QString workstation; // CisloPC
    QString centre;      // Stredisko
    QDateTime made;
};
QString originText(const ReportOrigin &origin);

// A cell as the window and the files show it: quantities with three
// decimals and the decimal comma, times as the server wrote them.
QString cellText(const QVariant &cell, CellType type);

// The journal view's columns and one line's cells in them.
QList<ReportColumn> journalColumns();
ReportRow journalRow(const JournalLine &line);
// What the filter shows, in words, for the notes.
QString filterText(const JournalFilter &filter);

// The filtered journal, newest first, read page by page as it is written.
// Reads the journal's newest id and the totals now, in a read-only
// snapshot that the report holds on the connection while it lives, and its
// rows in the same snapshot. Throws DbError.
Report historyReport(Connection &connection, JournalFilter filter);
Report lotReport(const LotTrace &trace);
Report stockReport(const StockAtMoment &stock);
// The report with every row read now, for a device that paints it later
// (the print preview) and must read nothing itself. Throws DbError.
Report withRowsRead(const Report &report);

inline const QString HistoryReportName = QStringLiteral("Pohyby osiva");
inline const QString RebuiltNote =
    QStringLiteral("Stav je sestaven zpětně z dnešního stavu sil a z historie pohybů po zvoleném okamžiku.");

} // namespace granovia::reports
