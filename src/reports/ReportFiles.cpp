#include "reports/ReportFiles.h"

#include "reports/ReportWriters.h"

#include "config/SaveFile.h"

#include <QDir>
#include <QFileInfo>
#include <QPdfWriter>
#include <QStorageInfo>

#include <cstdio>

namespace granovia::reports {

namespace {

// Rows between two questions to the progress.
constexpr qint64 ProgressStep = 500;
constexpr int PdfResolution = 300;
// A disk with less room than this after a failed write counts as full.
constexpr qint64 MinimumFreeBytes = 64 * 1024;

ReportError unwritableBecause(const QString &path, const QString &reason)
{
    return ReportError(QStringLiteral("Sestavu nelze zapsat do souboru %1!\n(%2)").arg(QDir::toNativeSeparators(path), reason));
}

// Why a file could not be written, in Czech; the system's own words go to
// standard error.
ReportError unwritable(const QString &path, const QString &detail)
{
    std::fprintf(stderr, "%s: %s\n", QFile::encodeName(path).constData(), detail.toLocal8Bit().constData());
    const QFileInfo folder(QFileInfo(path).absolutePath());
    const QStorageInfo disk(folder.absoluteFilePath());
    QString reason = QStringLiteral("zápis se nezdařil");
    if (!folder.isDir())
        reason = QStringLiteral("složka neexistuje");
    else if (disk.isValid() && disk.bytesAvailable() < MinimumFreeBytes)
        reason = QStringLiteral("na disku není volné místo");
    else if (!folder.isWritable())
        reason = QStringLiteral("do složky nelze zapisovat");
    return unwritableBecause(path, reason);
}

// A file written whole through the program's one writer: beside its place,
// and put there only when whole.
template <typename Write>
void saveThrough(const QString &path, Write write)
{
    FileReplacement file(path);
    if (!file.open())
        throw unwritable(path, file.errorString());
    write(file);
    // What is still buffered is written now: a commit that fails to write
    // it would put the file in place cut.
    file.device().flush();
    if (file.device().error() != QFileDevice::NoError)
        throw unwritable(path, file.device().errorString());
    if (!file.commit())
        throw unwritable(path, file.errorString());
}

// The spreadsheet library writes to a name: that of the new file.
void saveXlsx(const Report &report, const ReportOrigin &origin, const QString &path, const Progress &progress)
{
    saveThrough(path, [&](FileReplacement &file) {
        try {
            detail::writeXlsx(report, origin, file.nameForLibraries(), progress);
        } catch (const detail::WriteFailure &failure) {
            throw unwritable(path, failure.reason);
        }
    });
}

void savePdf(const Report &report, const ReportOrigin &origin, const QString &path, const Progress &progress)
{
    saveThrough(path, [&](FileReplacement &file) {
        QPdfWriter writer(&file.device());
        writer.setResolution(PdfResolution);
        writer.setTitle(report.name);
        writer.setCreator(QStringLiteral("Granovia - silo"));
        usePageLayout(writer);
        paintReport(report, origin, writer, progress);
    });
}

} // namespace

ReportCancelled::ReportCancelled()
    : AppError(QStringLiteral("Sestava nebyla uložena."))
{
}

std::optional<ReportFormat> formatOfPath(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        return ReportFormat::Csv;
    if (suffix == QLatin1String("xlsx"))
        return ReportFormat::Xlsx;
    if (suffix == QLatin1String("pdf"))
        return ReportFormat::Pdf;
    return std::nullopt;
}

void saveReport(const Report &report, const ReportOrigin &origin, const QString &path, const Progress &progress)
{
    const std::optional<ReportFormat> format = formatOfPath(path);
    if (!format)
        throw unwritableBecause(path, QStringLiteral("přípona musí být .pdf, .xlsx nebo .csv"));
    switch (*format) {
    case ReportFormat::Csv:
        saveThrough(path, [&](FileReplacement &file) { writeCsv(report, origin, file.device(), progress); });
        break;
    case ReportFormat::Xlsx:
        saveXlsx(report, origin, path, progress);
        break;
    case ReportFormat::Pdf:
        savePdf(report, origin, path, progress);
        break;
    }
}

void writeWhole(const QString &path, const QByteArray &bytes)
{
    saveThrough(path, [&](FileReplacement &file) { file.device().write(bytes); });
}

namespace detail {

RowProgress::RowProgress(const Report &report, const Progress &progress)
    : m_progress(progress)
{
    for (const ReportSection &section : report.sections)
        m_total += section.rowCount;
}

void RowProgress::step()
{
    ++m_done;
    if (m_progress && m_done % ProgressStep == 0 && !m_progress(m_done, m_total))
        throw ReportCancelled();
}

void RowProgress::finish()
{
    if (m_progress && !m_progress(m_total, m_total))
        throw ReportCancelled();
}

QStringList headLines(const Report &report, const ReportOrigin &origin)
{
    return QStringList{report.name, originText(origin)} + report.notes;
}

} // namespace detail

} // namespace granovia::reports
