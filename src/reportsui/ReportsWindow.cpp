#include "reportsui/ReportsWindow.h"

#include "reports/ReportFiles.h"
#include "reports/SiloLabels.h"
#include "reportsui/ReportPages.h"
#include "store/DbError.h"
#include "ui/Dialogs.h"
#include "ui/ErrorDisplay.h"
#include "ui/Skin.h"
#include "ui/SkinnedFrame.h"
#include "ui/Widgets.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

namespace granovia::reportsui {

namespace {

constexpr int StripHeight = 41;
constexpr int StripMargin = 7;
constexpr int Spacing = 6;
const QSize ButtonSize(119, 27);
constexpr int ProgressShownAfterMs = 500;
constexpr int SaveButton = 1;
const QString SaveCaption = QStringLiteral("Uložit sestavu");

// The file the operator names, through the toolkit's dialogs so that a test
// can answer; empty when cancelled. The extension is added when missing.
QString askPath(QWidget *owner, const QString &suggested, const QString &extension)
{
    const ui::DialogRequest request{SaveCaption, QStringLiteral("Uložit sestavu do souboru:"),
                                    {QStringLiteral("uložit"), QStringLiteral("storno")}, ui::DialogIcon::None, true,
                                    suggested};
    const ui::DialogAnswer answer = ui::execDialog(owner, request, [&] {
        const QString path = QFileDialog::getSaveFileName(owner, SaveCaption, suggested,
                                                          QStringLiteral("*.%1").arg(extension));
        return ui::DialogAnswer{path.isEmpty() ? 2 : SaveButton, path};
    });
    if (answer.button != SaveButton || answer.value.trimmed().isEmpty())
        return {};
    QString path = answer.value.trimmed();
    if (QFileInfo(path).suffix().compare(extension, Qt::CaseInsensitive) != 0)
        path += u'.' + extension;
    return path;
}

} // namespace

ReportsWindow::ReportsWindow(Connection &connection, QString workstation, QString centre, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_connection(connection)
    , m_workstation(std::move(workstation))
    , m_centre(std::move(centre))
{
    setObjectName(QStringLiteral("reportsWindow"));
    setWindowTitle(ReportsCaption);
    skin::applyPalette(this);
    setFont(skin::font(skin::Pt8));
    resize(ui::SkinnedFrame::outerSize(DesignClientSize));
    frame = new ui::SkinnedFrame(this, ui::FrameStyle::mainWindow());

    journal = new JournalPage(connection);
    lot = new LotPage(connection);
    stock = new StockPage(connection);
    views = new QTabWidget;
    views->setAccessibleName(QStringLiteral("Sestavy"));
    views->addTab(journal, QStringLiteral("Po&hyby"));
    views->addTab(lot, QStringLiteral("P&artie"));
    views->addTab(stock, QStringLiteral("Stav k da&tu"));
    views->setAutoFillBackground(true);
    frame->clientLayout()->addWidget(views, 1);
    frame->clientLayout()->addWidget(buildButtonStrip());
    setTabOrder(views, journal->silo);
}

QWidget *ReportsWindow::buildButtonStrip()
{
    auto *strip = new QWidget;
    strip->setFixedHeight(StripHeight);
    strip->setAutoFillBackground(true);
    auto *row = new QHBoxLayout(strip);
    row->setContentsMargins(StripMargin, StripMargin, StripMargin, StripMargin);
    row->setSpacing(Spacing);
    const auto button = [row](const QString &caption) {
        auto *b = new ui::SuiButton(caption, skin::Pt8, false);
        b->setFixedSize(ButtonSize);
        row->addWidget(b);
        return b;
    };
    saveXlsx = button(QStringLiteral("uložit XLSX"));
    saveCsv = button(QStringLiteral("uložit CSV"));
    savePdf = button(QStringLiteral("uložit PDF"));
    printButton = button(QStringLiteral("tisk"));
    labelsButton = button(QStringLiteral("štítky sil"));
    row->addStretch();
    closeButton = button(QStringLiteral("zavřít"));
    connect(saveXlsx, &QPushButton::clicked, this, [this] { saveAs(QStringLiteral("xlsx")); });
    connect(saveCsv, &QPushButton::clicked, this, [this] { saveAs(QStringLiteral("csv")); });
    connect(savePdf, &QPushButton::clicked, this, [this] { saveAs(QStringLiteral("pdf")); });
    connect(printButton, &QPushButton::clicked, this, &ReportsWindow::print);
    connect(labelsButton, &QPushButton::clicked, this, &ReportsWindow::saveLabels);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    auto *printKey = new QShortcut(QKeySequence::Print, this);
    connect(printKey, &QShortcut::activated, this, &ReportsWindow::print);
    return strip;
}

ReportPage *ReportsWindow::currentPage() const
{
    return static_cast<ReportPage *>(views->currentWidget());
}

reports::ReportOrigin ReportsWindow::origin() const
{
    return {m_workstation, m_centre, QDateTime::currentDateTime()};
}

void ReportsWindow::saveAs(const QString &extension)
{
    ui::guarded(this, [&] {
        const reports::Report report = currentPage()->report();
        const QString suggested = QDir::home().filePath(currentPage()->fileStem() + u'.' + extension);
        const QString path = askPath(this, suggested, extension);
        if (!path.isEmpty())
            save(report, path);
    });
}

// A long journal takes its time: the progress shows, and stopping it leaves
// no file behind.
void ReportsWindow::save(const reports::Report &report, const QString &path)
{
    QProgressDialog progress(QStringLiteral("Ukládám sestavu…"), QStringLiteral("přerušit"), 0, 0, this);
    progress.setWindowTitle(SaveCaption);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(ProgressShownAfterMs);
    try {
        reports::saveReport(report, origin(), path, [&progress](qint64 done, qint64 total) {
            progress.setMaximum(int(std::min<qint64>(total, INT_MAX)));
            progress.setValue(int(std::min<qint64>(done, INT_MAX)));
            return !progress.wasCanceled();
        });
    } catch (const reports::ReportCancelled &) {
        return;
    }
    ui::MessageDialog done(this, {QStringLiteral("OK")}, ui::DialogIcon::None,
                           QStringLiteral("Sestava je uložena do souboru %1.").arg(QDir::toNativeSeparators(path)));
    done.showModal();
}

void ReportsWindow::saveLabels()
{
    ui::guarded(this, [&] {
        const QString path = askPath(this, QDir::home().filePath(QStringLiteral("stitky-sil.pdf")), QStringLiteral("pdf"));
        if (path.isEmpty())
            return;
        reports::saveLabels(reports::readLabelSilos(m_connection), std::nullopt, path);
        ui::MessageDialog done(this, {QStringLiteral("OK")}, ui::DialogIcon::None,
                               QStringLiteral("Štítky sil jsou uloženy do souboru %1.").arg(QDir::toNativeSeparators(path)));
        done.showModal();
    });
}

void ReportsWindow::print()
{
    ui::guarded(this, [&] {
        const reports::Report report = currentPage()->report();
        const reports::ReportOrigin made = origin();
        const ui::DialogRequest request{QStringLiteral("Granovia - náhled tisku"), report.name,
                                        {QStringLiteral("tisk"), QStringLiteral("zavřít")}, ui::DialogIcon::None, false,
                                        {}};
        ui::execDialog(this, request, [&] {
            QPrinter printer(QPrinter::HighResolution);
            reports::usePageLayout(printer);
            printer.setDocName(report.name);
            QPrintPreviewDialog preview(&printer, this);
            preview.setWindowTitle(request.caption);
            // Large enough to read a page, over the reports window.
            preview.resize(size());
            connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, [&](QPrinter *target) {
                ui::guarded(&preview, [&] { reports::paintReport(report, made, *target); });
            });
            return ui::DialogAnswer{preview.exec() == QDialog::Accepted ? 1 : 2, {}};
        });
    });
}

} // namespace granovia::reportsui
