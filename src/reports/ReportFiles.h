#pragma once

#include "reports/Report.h"
#include "store/DbError.h"

#include <QString>
#include <functional>
#include <optional>

class QIODevice;
class QPagedPaintDevice;

// The report as a file or on paper. A file is written through the
// program's one writer (config/SaveFile.h): beside its place, and put there
// only when it is whole, so that a failure never leaves a half-written file
// under the name asked for, and an older file of that name stays as it was,
// its mode and group kept.
namespace granovia::reports {

enum class ReportFormat { Csv, Xlsx, Pdf };

// From the file's extension, in any letter case; nothing for another one.
std::optional<ReportFormat> formatOfPath(const QString &path);

// Told how many rows are out of how many; false stops the writing.
using Progress = std::function<bool(qint64 done, qint64 total)>;

// The file could not be written; the message says which and why.
class ReportError final : public AppError {
public:
    using AppError::AppError;
};
// The writing was stopped through its progress; nothing was written.
class ReportCancelled final : public AppError {
public:
    ReportCancelled();
};

// Throws ReportError, ReportCancelled, and DbError from the report's rows.
void saveReport(const Report &report, const ReportOrigin &origin, const QString &path, const Progress &progress = {});

// Any other file of the reports, written as they are; throws ReportError.
void writeWhole(const QString &path, const QByteArray &bytes);

// The CSV text: UTF-8 with a BOM, ";" between fields, lines ended by CR LF.
void writeCsv(const Report &report, const ReportOrigin &origin, QIODevice &device, const Progress &progress = {});
// The pages, on a PDF writer or a printer, numbered "strana 1 / 3". The
// device's page layout is used as it stands (see usePageLayout).
void paintReport(const Report &report, const ReportOrigin &origin, QPagedPaintDevice &device,
                 const Progress &progress = {});
// A4 landscape with the reports' margins.
void usePageLayout(QPagedPaintDevice &device);

// The most rows a spreadsheet takes on one sheet.
constexpr qint64 MaxSheetRows = 1'048'576;

} // namespace granovia::reports
