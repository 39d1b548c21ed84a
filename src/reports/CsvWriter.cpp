// CSV as Czech spreadsheet programs open it: UTF-8 with a byte order mark,
// ";" between fields, quantities with the decimal comma, times as
// "yyyy-mm-dd hh:nn:ss", lines ended by CR LF. Quantities and times are
// read as values; a text that a spreadsheet would run as a formula or read
// as a number or a date (=1+1, @A1, -5, a lot 0141 or 2026-01-02) stands in
// quotes behind a leading ', so that it opens as the text it is and runs
// nothing.
#include "reports/ReportFiles.h"
#include "reports/ReportWriters.h"

#include <QIODevice>
#include <QRegularExpression>

namespace granovia::reports {

namespace {

const QByteArray ByteOrderMark("\xEF\xBB\xBF");
const QByteArray LineEnd("\r\n");
constexpr QChar Separator = u';';
constexpr QChar Quote = u'"';

constexpr QChar TextMark = u'\'';
// What a spreadsheet starts a formula with, or reads as a sign.
const QString FormulaStarts = QStringLiteral("=+-@\t\r");

// A text a spreadsheet would not take as text: a formula, or what reads as
// a number, a date or a time (a digit first, after blanks or a bracket, or
// a decimal separator before one).
bool readAsOtherThanText(const QString &text)
{
    if (text.isEmpty())
        return false;
    if (FormulaStarts.contains(text.front()))
        return true;
    static const QRegularExpression numberLike(QStringLiteral("^[ (]*[.,]?[0-9]"));
    return numberLike.match(text).hasMatch();
}

// A field holding the separator, a quote or a line break stands in quotes,
// its quotes doubled; so does a text behind its mark.
QString field(const QString &text, CellType type)
{
    const QString value = type == CellType::Text && readAsOtherThanText(text) ? TextMark + text : text;
    const bool quote = value != text || value.contains(Separator) || value.contains(Quote) || value.contains(u'\n')
        || value.contains(u'\r');
    if (!quote)
        return value;
    QString doubled = value;
    doubled.replace(Quote, QStringLiteral("\"\""));
    return Quote + doubled + Quote;
}

class CsvLines final {
public:
    explicit CsvLines(QIODevice &device)
        : m_device(device)
    {
    }
    // Cells of the types given; those beyond them are texts.
    void line(const QStringList &fields, const QList<CellType> &types = {})
    {
        QStringList quoted;
        quoted.reserve(fields.size());
        for (qsizetype i = 0; i < fields.size(); ++i)
            quoted.append(field(fields.at(i), types.value(i, CellType::Text)));
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
        QList<CellType> types;
        for (qsizetype i = 0; i < row.cells.size() && i < section.columns.size(); ++i) {
            types.append(section.columns.at(i).type);
            fields.append(cellText(row.cells.at(i), types.last()));
        }
        csv.line(fields, types);
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
        csv.line({total.label, cellText(total.tonnes, CellType::Quantity)}, {CellType::Text, CellType::Quantity});
    rows.finish();
}

} // namespace granovia::reports
