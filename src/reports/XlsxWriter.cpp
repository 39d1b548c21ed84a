// The spreadsheet through libxlsxwriter: one sheet, the head lines above a
// header row per table, quantities and times as typed cells, then the totals.
#include "reports/ReportWriters.h"

#include "store/SqlText.h"

#include <xlsxwriter.h>

#include <QFile>
#include <memory>

namespace granovia::reports::detail {

namespace {

const char *const SheetName = "Sestava";
const char *const QuantityFormat = "0.000";
const char *const TimestampFormat = "yyyy-mm-dd hh:mm:ss";
// Column widths in characters are the printed widths and a little more.
constexpr double WidthMargin = 2;

struct CloseWorkbook {
    void operator()(lxw_workbook *workbook) const { workbook_close(workbook); }
};

class Sheet final {
public:
    explicit Sheet(const QString &path)
    {
        lxw_workbook_options options{};
        // Rows go straight to the file, so that a long journal needs little memory.
        options.constant_memory = LXW_TRUE;
        const QByteArray name = QFile::encodeName(path);
        m_workbook.reset(workbook_new_opt(name.constData(), &options));
        if (!m_workbook)
            throw WriteFailure{QStringLiteral("sešit XLSX nelze založit")};
        m_sheet = workbook_add_worksheet(m_workbook.get(), SheetName);
        m_bold = workbook_add_format(m_workbook.get());
        format_set_bold(m_bold);
        m_quantity = workbook_add_format(m_workbook.get());
        format_set_num_format(m_quantity, QuantityFormat);
        m_timestamp = workbook_add_format(m_workbook.get());
        format_set_num_format(m_timestamp, TimestampFormat);
    }

    void widths(const QList<ReportColumn> &columns)
    {
        for (qsizetype i = 0; i < columns.size(); ++i)
            worksheet_set_column(m_sheet, lxw_col_t(i), lxw_col_t(i), columns.at(i).width + WidthMargin, nullptr);
    }
    void text(int column, const QString &value, bool bold = false)
    {
        check(worksheet_write_string(m_sheet, m_row, lxw_col_t(column), value.toUtf8().constData(),
                                     bold ? m_bold : nullptr));
    }
    void quantity(int column, double value)
    {
        check(worksheet_write_number(m_sheet, m_row, lxw_col_t(column), value, m_quantity));
    }
    // A time the server wrote; the zero date and other texts that are no
    // real time stay text.
    void timestamp(int column, const QString &value)
    {
        const std::optional<QDateTime> time = parseTimestamp(value);
        if (!time) {
            if (!value.isEmpty())
                text(column, value);
            return;
        }
        const QDate d = time->date();
        const QTime t = time->time();
        lxw_datetime cell{d.year(), d.month(), d.day(), t.hour(), t.minute(), double(t.second())};
        check(worksheet_write_datetime(m_sheet, m_row, lxw_col_t(column), &cell, m_timestamp));
    }
    void nextRow() { ++m_row; }
    lxw_row_t row() const { return m_row; }

    void close()
    {
        const lxw_error error = workbook_close(m_workbook.release());
        if (error != LXW_NO_ERROR)
            throw WriteFailure{QString::fromUtf8(lxw_strerror(error))};
    }

private:
    static void check(lxw_error error)
    {
        if (error != LXW_NO_ERROR)
            throw WriteFailure{QString::fromUtf8(lxw_strerror(error))};
    }

    std::unique_ptr<lxw_workbook, CloseWorkbook> m_workbook;
    lxw_worksheet *m_sheet = nullptr;
    lxw_format *m_bold = nullptr;
    lxw_format *m_quantity = nullptr;
    lxw_format *m_timestamp = nullptr;
    lxw_row_t m_row = 0;
};

void writeCell(Sheet &sheet, int column, const QVariant &cell, CellType type)
{
    switch (type) {
    case CellType::Quantity:
        sheet.quantity(column, cell.toDouble());
        break;
    case CellType::Timestamp:
        sheet.timestamp(column, cell.toString());
        break;
    case CellType::Text:
        if (!cell.toString().isEmpty())
            sheet.text(column, cell.toString());
        break;
    }
}

void writeSection(Sheet &sheet, const ReportSection &section, RowProgress &progress)
{
    if (!section.caption.isEmpty()) {
        sheet.text(0, section.caption, true);
        sheet.nextRow();
    }
    for (qsizetype i = 0; i < section.columns.size(); ++i)
        sheet.text(int(i), section.columns.at(i).title, true);
    sheet.nextRow();
    section.forEachRow([&](const ReportRow &row) {
        for (qsizetype i = 0; i < row.cells.size() && i < section.columns.size(); ++i)
            writeCell(sheet, int(i), row.cells.at(i), section.columns.at(i).type);
        sheet.nextRow();
        progress.step();
    });
}

// Head lines, a blank row and a header row per table, a blank row and the totals.
qint64 rowsNeeded(const Report &report, const QStringList &head)
{
    qint64 rows = head.size() + 1 + report.totals.size();
    for (const ReportSection &section : report.sections)
        rows += 1 + (section.caption.isEmpty() ? 0 : 1) + 1 + section.rowCount;
    return rows;
}

} // namespace

void writeXlsx(const Report &report, const ReportOrigin &origin, const QString &path, const Progress &progress)
{
    const QStringList head = headLines(report, origin);
    if (rowsNeeded(report, head) > MaxSheetRows) {
        throw ReportError(QStringLiteral("Sestava má víc řádků, než pojme list XLSX (%1).\nZužte výběr nebo uložte CSV.")
                              .arg(MaxSheetRows));
    }
    RowProgress rows(report, progress);
    Sheet sheet(path);
    if (!report.sections.isEmpty())
        sheet.widths(report.sections.first().columns);
    for (qsizetype i = 0; i < head.size(); ++i) {
        sheet.text(0, head.at(i), i == 0);
        sheet.nextRow();
    }
    for (const ReportSection &section : report.sections) {
        sheet.nextRow();
        writeSection(sheet, section, rows);
    }
    sheet.nextRow();
    for (const ReportTotal &total : report.totals) {
        sheet.text(0, total.label, true);
        sheet.quantity(1, total.tonnes);
        sheet.nextRow();
    }
    rows.finish();
    sheet.close();
}

} // namespace granovia::reports::detail
