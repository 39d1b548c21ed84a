#include "reports/ReportFiles.h"

#include "reports/ReportWriters.h"

#include <QDir>
#include <QFileInfo>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace granovia::reports {

namespace {

// Rows between two questions to the progress.
constexpr qint64 ProgressStep = 500;
constexpr int PdfResolution = 300;

ReportError unwritable(const QString &path, const QString &reason)
{
    return ReportError(QStringLiteral("Sestavu nelze zapsat do souboru %1!\n(%2)").arg(QDir::toNativeSeparators(path), reason));
}

// A file written whole through QSaveFile: a temporary beside it, renamed
// into place by commit; never written in place.
template <typename Write>
void saveThrough(const QString &path, Write write)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw unwritable(path, file.errorString());
    write(file);
    if (file.error() != QFileDevice::NoError) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw unwritable(path, reason);
    }
    if (!file.commit())
        throw unwritable(path, file.errorString());
}

// The permissions a new file gets from this process.
QFileDevice::Permissions newFilePermissions()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t mode = 0666 & ~mask;
    QFileDevice::Permissions permissions;
    const std::pair<mode_t, QFileDevice::Permission> bits[] = {
        {S_IRUSR, QFileDevice::ReadOwner}, {S_IWUSR, QFileDevice::WriteOwner}, {S_IRGRP, QFileDevice::ReadGroup},
        {S_IWGRP, QFileDevice::WriteGroup}, {S_IROTH, QFileDevice::ReadOther}, {S_IWOTH, QFileDevice::WriteOther}};
    for (const auto &[bit, permission] : bits) {
        if (mode & bit)
            permissions |= permission;
    }
    // Qt reads the owner's bits as the user's.
    if (mode & S_IRUSR)
        permissions |= QFileDevice::ReadUser;
    if (mode & S_IWUSR)
        permissions |= QFileDevice::WriteUser;
    return permissions;
}

// The spreadsheet library writes to a name: a temporary one beside the
// file, renamed over it once the library has closed it whole.
void saveXlsx(const Report &report, const ReportOrigin &origin, const QString &path, const Progress &progress)
{
    const QFileInfo target(path);
    QTemporaryFile temporary(target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
    if (!temporary.open())
        throw unwritable(path, temporary.errorString());
    temporary.close();
    temporary.setPermissions(newFilePermissions());
    try {
        detail::writeXlsx(report, origin, temporary.fileName(), progress);
    } catch (const detail::WriteFailure &failure) {
        throw unwritable(path, failure.reason);
    }
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        throw unwritable(path, QString::fromLocal8Bit(std::strerror(errno)));
}

void savePdf(const Report &report, const ReportOrigin &origin, const QString &path, const Progress &progress)
{
    saveThrough(path, [&](QSaveFile &file) {
        QPdfWriter writer(&file);
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
        throw unwritable(path, QStringLiteral("přípona musí být .pdf, .xlsx nebo .csv"));
    switch (*format) {
    case ReportFormat::Csv:
        saveThrough(path, [&](QSaveFile &file) { writeCsv(report, origin, file, progress); });
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
    saveThrough(path, [&](QSaveFile &file) { file.write(bytes); });
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
