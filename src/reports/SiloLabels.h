#pragma once

#include <QList>
#include <QSizeF>
#include <QString>
#include <optional>

class QPagedPaintDevice;

namespace granovia {
class Connection;
}

// Silo labels to stick on the silos: "SILO: 07" in large type, the
// capacity, and the silo's code (scancode::siloCode) as a Code 128 barcode
// with a QR code beside it, both drawn as vectors. Either A4 sheets with a
// grid of labels to cut apart, or one label a page for a label printer.
namespace granovia::reports {

struct LabelSilo {
    int silo = 0;
    double capacity = 0;
};

// The smallest label on which the barcode still scans, in millimetres.
inline constexpr QSizeF MinimumLabelMm{40, 20};
inline constexpr double MaximumLabelMm = 300;

// The silos 1..100 that have a row, each with the capacity of its row with
// the lowest id; only those of `wanted` when it is not empty. A wanted silo
// without a row throws ReportError; database errors throw DbError.
QList<LabelSilo> readLabelSilos(Connection &connection, const QList<int> &wanted = {});

// The labels as a PDF: one label of labelMm a page, or A4 sheets with a grid
// when there is no size.
QByteArray labelsPdf(const QList<LabelSilo> &silos, const std::optional<QSizeF> &labelMm);
// The same pages on any paged device whose page layout is set already.
void paintLabels(const QList<LabelSilo> &silos, const std::optional<QSizeF> &labelMm, QPagedPaintDevice &device);

// Writes the PDF whole or not at all; throws ReportError.
void saveLabels(const QList<LabelSilo> &silos, const std::optional<QSizeF> &labelMm, const QString &path);

} // namespace granovia::reports
