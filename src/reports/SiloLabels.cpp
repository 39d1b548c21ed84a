#include "reports/SiloLabels.h"

#include "config/NumberFormat.h"
#include "reports/ReportFiles.h"
#include "store/Connection.h"
#include "store/ScanCode.h"
#include "core/SiloLabel.h"
#include "store/SiloSnapshot.h"

#include <QBuffer>
#include <QMap>
#include <QPageLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include <zint.h>

#include <memory>

namespace granovia::reports {

namespace {

constexpr double MmPerInch = 25.4;
constexpr double PointsPerInch = 72;
constexpr int PdfResolution = 1200;
// An A4 sheet: its margin, where a printer may not print, and its grid.
constexpr double SheetMarginMm = 10;
constexpr int SheetColumns = 3;
constexpr int SheetRows = 7;
// Shares of the label's height and width.
constexpr double PaddingShare = 0.07;
constexpr double TitleShare = 0.36;
constexpr double CapacityShare = 0.14;
constexpr double CodeTextShare = 0.1;
constexpr double QrHeightShare = 0.55;
constexpr double QrWidthShare = 0.3;
// The label's content is at most this share of its width high; a taller
// label has it in its middle.
constexpr double ContentHeightShare = 0.6;
// Type fills this share of its line's height.
constexpr double TypeShare = 0.8;
// Blank modules around the codes, as their standards ask.
constexpr int BarQuietModules = 10;
constexpr int QrQuietModules = 4;
constexpr int BarHeightModules = 50;
const QColor CutLine(170, 170, 170);
const QString FontFamily = QStringLiteral("DejaVu Sans");

class Canvas final {
public:
    Canvas(QPagedPaintDevice &device, QPainter &painter)
        : m_painter(painter)
        , m_unit(device.logicalDpiX() / MmPerInch)
    {
    }

    QRectF toDevice(const QRectF &mm) const
    {
        return {mm.x() * m_unit, mm.y() * m_unit, mm.width() * m_unit, mm.height() * m_unit};
    }

    // Type as high as a share of the line, made smaller when it is too wide.
    void text(const QString &text, const QRectF &lineMm, bool bold, Qt::Alignment alignment = Qt::AlignLeft)
    {
        QFont font(FontFamily);
        font.setStyleHint(QFont::SansSerif);
        font.setBold(bold);
        font.setPointSizeF(lineMm.height() * TypeShare * PointsPerInch / MmPerInch);
        const QRectF line = toDevice(lineMm);
        const double width = QFontMetricsF(font, m_painter.device()).horizontalAdvance(text);
        if (width > line.width())
            font.setPointSizeF(font.pointSizeF() * line.width() / width);
        m_painter.setFont(font);
        m_painter.setPen(Qt::black);
        m_painter.drawText(line, alignment | Qt::AlignVCenter, text);
    }

    // The symbol's dark modules stretched over the rectangle.
    void symbol(zint_symbol &symbol, const QRectF &mm)
    {
        const QRectF area = toDevice(mm);
        const double sx = area.width() / symbol.vector->width;
        const double sy = area.height() / symbol.vector->height;
        // One path, filled once: neighbouring modules show no seam between them.
        QPainterPath modules;
        modules.setFillRule(Qt::WindingFill);
        for (const zint_vector_rect *r = symbol.vector->rectangles; r; r = r->next)
            modules.addRect(QRectF(area.x() + r->x * sx, area.y() + r->y * sy, r->width * sx, r->height * sy));
        m_painter.fillPath(modules, Qt::black);
    }

    void frame(const QRectF &mm)
    {
        m_painter.setPen(QPen(CutLine, 0));
        m_painter.drawRect(toDevice(mm));
    }

private:
    QPainter &m_painter;
    double m_unit;
};

struct SymbolDelete {
    void operator()(zint_symbol *symbol) const { ZBarcode_Delete(symbol); }
};
using Symbol = std::unique_ptr<zint_symbol, SymbolDelete>;

Symbol encoded(int symbology, const QString &code, int quietModules)
{
    Symbol symbol(ZBarcode_Create());
    symbol->symbology = symbology;
    symbol->show_hrt = 0;
    symbol->whitespace_width = quietModules;
    if (symbology == BARCODE_QRCODE)
        symbol->whitespace_height = quietModules;
    else
        symbol->height = BarHeightModules;
    const QByteArray data = code.toLatin1();
    if (ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char *>(data.constData()), int(data.size()))
            >= ZINT_ERROR
        || ZBarcode_Buffer_Vector(symbol.get(), 0) >= ZINT_ERROR)
        throw ReportError(QStringLiteral("Čárový kód %1 nelze vytvořit!\n(%2)").arg(code, QString::fromLatin1(symbol->errtxt)));
    return symbol;
}

void paintLabel(Canvas &canvas, const LabelSilo &silo, const QRectF &place)
{
    QRectF label = place;
    label.setHeight(std::min(place.height(), place.width() * ContentHeightShare));
    label.moveCenter(place.center());
    const double pad = label.height() * PaddingShare;
    const QRectF inner = label.adjusted(pad, pad, -pad, -pad);
    const double qrSide = std::min(inner.height() * QrHeightShare, inner.width() * QrWidthShare);
    const double titleHeight = inner.height() * TitleShare;
    const double capacityHeight = inner.height() * CapacityShare;
    const double codeTextHeight = inner.height() * CodeTextShare;
    const double barsWidth = inner.width() - qrSide - pad;
    const double barsTop = inner.top() + titleHeight + capacityHeight;
    const QString code = scancode::siloCode(silo.silo);

    canvas.text(silolabel::label(silo.silo), QRectF(inner.left(), inner.top(), inner.width(), titleHeight), true);
    canvas.text(QStringLiteral("kapacita %1 t").arg(numbers::general(silo.capacity)),
                QRectF(inner.left(), inner.top() + titleHeight, barsWidth, capacityHeight), false);
    const QRectF bars(inner.left(), barsTop, barsWidth, inner.bottom() - barsTop - codeTextHeight);
    canvas.symbol(*encoded(BARCODE_CODE128, code, BarQuietModules), bars);
    canvas.text(code, QRectF(bars.left(), bars.bottom(), barsWidth, codeTextHeight), false, Qt::AlignHCenter);
    canvas.symbol(*encoded(BARCODE_QRCODE, code, QrQuietModules),
                  QRectF(inner.right() - qrSide, inner.bottom() - qrSide, qrSide, qrSide));
}

// Where the labels lie on a page, and how many a page takes.
QList<QRectF> labelPlaces(const std::optional<QSizeF> &labelMm)
{
    if (labelMm)
        return {QRectF(QPointF(0, 0), *labelMm)};
    const QSizeF sheet = QPageSize(QPageSize::A4).size(QPageSize::Millimeter);
    const QSizeF cell((sheet.width() - 2 * SheetMarginMm) / SheetColumns, (sheet.height() - 2 * SheetMarginMm) / SheetRows);
    QList<QRectF> places;
    for (int row = 0; row < SheetRows; ++row) {
        for (int column = 0; column < SheetColumns; ++column)
            places << QRectF(QPointF(SheetMarginMm + column * cell.width(), SheetMarginMm + row * cell.height()), cell);
    }
    return places;
}

QPageLayout pageLayoutFor(const std::optional<QSizeF> &labelMm)
{
    if (!labelMm)
        return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF());
    // A page size is kept upright; a wide label is its landscape.
    const bool wide = labelMm->width() > labelMm->height();
    const QSizeF upright = wide ? labelMm->transposed() : *labelMm;
    return QPageLayout(QPageSize(upright, QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
                       wide ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF());
}

} // namespace

QList<LabelSilo> readLabelSilos(Connection &connection, const QList<int> &wanted)
{
    // Of one silo number the lowest id comes last, and stays.
    QMap<int, double> capacities;
    Result rows = connection.query(selectAllSilos());
    while (rows.next()) {
        const SiloRow row = siloRowOf(rows);
        if (row.silo >= silolabel::FirstSilo && row.silo <= silolabel::LastSilo)
            capacities.insert(int(row.silo), row.kapacita);
    }
    QList<LabelSilo> silos;
    for (int silo : wanted.isEmpty() ? capacities.keys() : wanted) {
        if (!capacities.contains(silo))
            throw ReportError(QStringLiteral("%1 není v tabulce sil, jeho štítek nelze vytisknout.").arg(silolabel::label(silo)));
        silos.append({silo, capacities.value(silo)});
    }
    return silos;
}

void paintLabels(const QList<LabelSilo> &silos, const std::optional<QSizeF> &labelMm, QPagedPaintDevice &device)
{
    QPainter painter(&device);
    Canvas canvas(device, painter);
    const QList<QRectF> places = labelPlaces(labelMm);
    for (qsizetype i = 0; i < silos.size(); ++i) {
        if (i > 0 && i % places.size() == 0)
            device.newPage();
        const QRectF place = places.at(i % places.size());
        if (!labelMm)
            canvas.frame(place);
        paintLabel(canvas, silos.at(i), place);
    }
}

QByteArray labelsPdf(const QList<LabelSilo> &silos, const std::optional<QSizeF> &labelMm)
{
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(PdfResolution);
        writer.setTitle(QStringLiteral("Štítky sil"));
        writer.setCreator(QStringLiteral("Granovia - silo"));
        writer.setPageLayout(pageLayoutFor(labelMm));
        paintLabels(silos, labelMm, writer);
    }
    return bytes;
}

void saveLabels(const QList<LabelSilo> &silos, const std::optional<QSizeF> &labelMm, const QString &path)
{
    writeWhole(path, labelsPdf(silos, labelMm));
}

} // namespace granovia::reports
