// The report on pages, for PDF and for the printer: the head on every page,
// the tables line by line with their header row repeated after a page
// break, the totals at the end, and "strana 1 / 3" at the foot. Every line
// is as high as every other, so the pages are counted by laying the report
// out once without painting.
#include "reports/ReportFiles.h"
#include "reports/ReportWriters.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>
#include <numeric>

namespace granovia::reports {

namespace {

constexpr double MarginMm = 12;
constexpr double PointsPerInch = 72;
constexpr double TitlePoints = 13;
constexpr double TextPoints = 8;
constexpr double TablePoints = 7.5;
constexpr double RowSpacing = 1.35;
constexpr double GapPoints = 4;
constexpr double InsetPoints = 3;
constexpr int MinimumLinesPerPage = 3;
const QColor HeaderFill(229, 217, 194);
const QColor MarkFill(255, 214, 214);
const QColor RuleColour(64, 52, 26);
const QColor TextColour(0, 0, 0);
// The value of a total stands where the tables' quantities end.
constexpr double TotalsLabelShare = 0.35;
constexpr double TotalsValueShare = 0.12;
const QString FontFamily = QStringLiteral("DejaVu Sans");
// A line break within a text shows as this mark: every text keeps to its line.
const QString LineBreakMark = QStringLiteral("\u21B5");

QString oneLine(const QString &text)
{
    static const QRegularExpression breaks(QStringLiteral("\\r\\n|[\\n\\r\\v\\f\\x{85}\\x{2028}\\x{2029}]"));
    QString line = text;
    return line.replace(breaks, LineBreakMark);
}

QFont reportFont(double points, bool bold = false)
{
    QFont font(FontFamily);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

class PageComposer final {
public:
    // Without a painter it only counts the pages.
    PageComposer(QPagedPaintDevice &device, QPainter *painter, QStringList head, int pageCount)
        : m_device(device)
        , m_painter(painter)
        , m_head(std::move(head))
        , m_pageCount(pageCount)
        , m_unit(device.logicalDpiY() / PointsPerInch)
        , m_title(reportFont(TitlePoints, true))
        , m_text(reportFont(TextPoints))
        , m_table(reportFont(TablePoints))
        , m_tableBold(reportFont(TablePoints, true))
    {
        const QRect paintRect = device.pageLayout().paintRectPixels(device.logicalDpiX());
        m_area = QRectF(QPointF(0, 0), QSizeF(paintRect.size()));
        m_rowHeight = QFontMetricsF(m_table, &device).height() * RowSpacing;
        const double textHeight = QFontMetricsF(m_text, &device).height();
        m_headHeight = QFontMetricsF(m_title, &device).height() + textHeight * (m_head.size() - 1) + 2 * GapPoints * m_unit;
        const double footHeight = textHeight + GapPoints * m_unit;
        m_linesPerPage = std::max(MinimumLinesPerPage, int((m_area.height() - m_headHeight - footHeight) / m_rowHeight));
        paintFrame();
    }

    int pages() const { return m_page; }

    void startSection(const ReportSection &section)
    {
        if (m_line > 0)
            blank();
        const int needed = (section.caption.isEmpty() ? 1 : 2) + 1;
        if (room() < needed)
            newPage();
        m_columns = section.columns;
        placeColumns();
        if (!section.caption.isEmpty())
            captionLine(section.caption);
        headerLine();
    }

    void row(const ReportRow &row)
    {
        if (room() < 1) {
            newPage();
            headerLine();
        }
        if (m_painter)
            paintRow(row);
        ++m_line;
    }

    void totals(const QList<ReportTotal> &totals)
    {
        blank();
        for (const ReportTotal &total : totals) {
            if (room() < 1)
                newPage();
            if (m_painter)
                paintTotal(total);
            ++m_line;
        }
    }

private:
    int room() const { return m_linesPerPage - m_line; }
    double lineTop() const { return m_headHeight + m_line * m_rowHeight; }
    double inset() const { return InsetPoints * m_unit; }

    void blank()
    {
        if (room() > 0)
            ++m_line;
    }

    void newPage()
    {
        if (m_painter)
            m_device.newPage();
        ++m_page;
        m_line = 0;
        paintFrame();
    }

    void placeColumns()
    {
        const int shares = std::accumulate(m_columns.cbegin(), m_columns.cend(), 0,
                                           [](int sum, const ReportColumn &column) { return sum + column.width; });
        m_edges = {0};
        double x = 0;
        for (const ReportColumn &column : std::as_const(m_columns)) {
            x += m_area.width() * column.width / std::max(1, shares);
            m_edges.append(x);
        }
    }

    QRectF cell(int column) const
    {
        return QRectF(m_edges.at(column), lineTop(), m_edges.at(column + 1) - m_edges.at(column), m_rowHeight);
    }

    void drawText(const QRectF &rect, const QString &text, Qt::Alignment alignment, const QFont &font)
    {
        const QRectF inner = rect.adjusted(inset(), 0, -inset(), 0);
        m_painter->setFont(font);
        m_painter->drawText(inner, alignment | Qt::AlignVCenter,
                            QFontMetricsF(font, &m_device).elidedText(oneLine(text), Qt::ElideRight, inner.width()));
    }

    void paintFrame()
    {
        if (!m_painter)
            return;
        m_painter->setPen(TextColour);
        double y = 0;
        for (qsizetype i = 0; i < m_head.size(); ++i) {
            const QFont &font = i == 0 ? m_title : m_text;
            const double height = QFontMetricsF(font, &m_device).height();
            drawText(QRectF(0, y, m_area.width(), height), m_head.at(i), Qt::AlignLeft, font);
            y += height;
        }
        m_painter->setPen(RuleColour);
        const double rule = y + GapPoints * m_unit;
        m_painter->drawLine(QPointF(0, rule), QPointF(m_area.width(), rule));
        m_painter->setPen(TextColour);
        const double footHeight = QFontMetricsF(m_text, &m_device).height();
        const QRectF foot(0, m_area.height() - footHeight, m_area.width(), footHeight);
        drawText(foot, m_head.value(0), Qt::AlignLeft, m_text);
        drawText(foot, QStringLiteral("strana %1 / %2").arg(m_page).arg(m_pageCount), Qt::AlignRight, m_text);
    }

    void captionLine(const QString &caption)
    {
        if (m_painter)
            drawText(QRectF(0, lineTop(), m_area.width(), m_rowHeight), caption, Qt::AlignLeft, m_tableBold);
        ++m_line;
    }

    void headerLine()
    {
        if (m_painter) {
            m_painter->fillRect(QRectF(0, lineTop(), m_area.width(), m_rowHeight), HeaderFill);
            for (int i = 0; i < m_columns.size(); ++i)
                drawText(cell(i), m_columns.at(i).title, alignmentOf(m_columns.at(i)), m_tableBold);
        }
        ++m_line;
    }

    void paintRow(const ReportRow &row)
    {
        if (row.marked)
            m_painter->fillRect(QRectF(0, lineTop(), m_area.width(), m_rowHeight), MarkFill);
        for (int i = 0; i < m_columns.size() && i < row.cells.size(); ++i)
            drawText(cell(i), cellText(row.cells.at(i), m_columns.at(i).type), alignmentOf(m_columns.at(i)), m_table);
    }

    void paintTotal(const ReportTotal &total)
    {
        const double labelWidth = m_area.width() * TotalsLabelShare;
        const double valueWidth = m_area.width() * TotalsValueShare;
        drawText(QRectF(0, lineTop(), labelWidth, m_rowHeight), total.label, Qt::AlignLeft, m_tableBold);
        drawText(QRectF(labelWidth, lineTop(), valueWidth, m_rowHeight), cellText(total.tonnes, CellType::Quantity),
                 Qt::AlignRight, m_tableBold);
    }

    static Qt::Alignment alignmentOf(const ReportColumn &column)
    {
        return column.type == CellType::Quantity ? Qt::AlignRight : Qt::AlignLeft;
    }

    QPagedPaintDevice &m_device;
    QPainter *m_painter;
    QStringList m_head;
    int m_pageCount;
    double m_unit;
    QFont m_title;
    QFont m_text;
    QFont m_table;
    QFont m_tableBold;
    QRectF m_area;
    double m_rowHeight = 0;
    double m_headHeight = 0;
    int m_linesPerPage = 0;
    int m_page = 1;
    int m_line = 0;
    QList<ReportColumn> m_columns;
    QList<double> m_edges;
};

int countPages(const Report &report, const QStringList &head, QPagedPaintDevice &device)
{
    PageComposer counter(device, nullptr, head, 0);
    const ReportRow empty;
    for (const ReportSection &section : report.sections) {
        counter.startSection(section);
        for (qint64 i = 0; i < section.rowCount; ++i)
            counter.row(empty);
    }
    counter.totals(report.totals);
    return counter.pages();
}

} // namespace

void usePageLayout(QPagedPaintDevice &device)
{
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                     QMarginsF(MarginMm, MarginMm, MarginMm, MarginMm), QPageLayout::Millimeter));
}

void paintReport(const Report &report, const ReportOrigin &origin, QPagedPaintDevice &device, const Progress &progress)
{
    const QStringList head = detail::headLines(report, origin);
    const int pages = countPages(report, head, device);
    detail::RowProgress rows(report, progress);
    QPainter painter;
    if (!painter.begin(&device))
        throw ReportError(QStringLiteral("Sestavu nelze vytisknout: tiskárna ani soubor PDF nepřijímá stránky."));
    PageComposer composer(device, &painter, head, pages);
    for (const ReportSection &section : report.sections) {
        composer.startSection(section);
        section.forEachRow([&](const ReportRow &row) {
            composer.row(row);
            rows.step();
        });
    }
    composer.totals(report.totals);
    rows.finish();
    painter.end();
}

} // namespace granovia::reports
