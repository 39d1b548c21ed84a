// CSV as Czech spreadsheet programs open it: UTF-8 with a byte order mark,
// ";" between fields, quantities with the decimal comma, times as
// "yyyy-mm-dd hh:nn:ss", lines ended by CR LF.
#include "reports/ReportFiles.h"
#include "reports/ReportWriters.h"

#include <QIODevice>

namespace granovia::reports {

namespace {

const QByteArray ByteOrderMark("\xEF\xBB\xBF");
const QByteArray LineEnd("\r\n");
constexpr QChar Separator = u';';
constexpr QChar Quote = u'"';

// A field holding the separator, a quote or a line break stands in quotes,
// its quotes doubled.
QString field(const QString &text)
{
    const bool quote = text.contains(Separator) || text.contains(Quote) || text.contains(u'\n') || text.contains(u'\r');
    if (!quote)
        return text;
    QString doubled = text;
    doubled.replace(Quote, QStringLiteral("\"\""));
    return Quote + doubled + Quote;
}

class CsvLines final {
public:
    explicit CsvLines(QIODevice &device)
        : m_device(device)
    {
    }
    void line(const QStringList &fields)
    {
        QStringList quoted;
        quoted.reserve(fields.size());
        for (const QString &text : fields)
            quoted.append(field(text));
        m_device.write(quoted.join(Separator).toUtf8() + LineEnd);
    }
    void blank() { m_device.write(LineEnd); }

private:
    QIODevice &m_device;
};

void writeSection(CsvLines &csv, const ReportSection &section, detail::RowProgress &progress)
{
    if (!section.caption.isEmpty())
        csv.line({section.caption});
    QStringList titles;
    for (const ReportColumn &column : section.columns)
        titles.append(column.title);
    csv.line(titles);
    section.forEachRow([&](const ReportRow &row) {
        QStringList fields;
        for (qsizetype i = 0; i < row.cells.size() && i < section.columns.size(); ++i)
            fields.append(cellText(row.cells.at(i), section.columns.at(i).type));
        csv.line(fields);
        progress.step();
    });
}

} // namespace

void writeCsv(const Report &report, const ReportOrigin &origin, QIODevice &device, const Progress &progress)
{
    detail::RowProgress rows(report, progress);
    device.write(ByteOrderMark);
    CsvLines csv(device);
    for (const QString &line : detail::headLines(report, origin))
        csv.line({line});
    for (const ReportSection &section : report.sections) {
        csv.blank();
        writeSection(csv, section, rows);
    }
    csv.blank();
    for (const ReportTotal &total : report.totals)
        csv.line({total.label, cellText(total.tonnes, CellType::Quantity)});
    rows.finish();
}

} // namespace granovia::reports
