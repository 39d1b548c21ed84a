#include "reportsui/ReportsWindow.h"

#include "reports/ReportFiles.h"
#include "reports/SiloLabels.h"
#include "reportsui/ReportPages.h"
#include "reportsui/ReportWorker.h"
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
#include <QLabel>
#include <QPrinter>
#include <QProgressBar>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace granovia::reportsui {

namespace {

constexpr int StripHeight = 41;
constexpr int StripMargin = 7;
constexpr int Spacing = 6;
const QSize ButtonSize(119, 27);
constexpr int ProgressWidth = 160;
// How often the bar follows the rows of a file being written.
constexpr int ProgressUpdateMs = 100;
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

ReportsWindow::ReportsWindow(ReportsSetup setup, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_setup(std::move(setup))
    , m_worker(std::make_unique<ReportWorker>(m_setup.settings, m_setup.limit, this))
{
    setObjectName(QStringLiteral("reportsWindow"));
    setWindowTitle(ReportsCaption);
    skin::applyPalette(this);
    setFont(skin::font(skin::Pt8));
    resize(ui::SkinnedFrame::outerSize(DesignClientSize));
    frame = new ui::SkinnedFrame(this, ui::FrameStyle::mainWindow());

    journal = new JournalPage(*m_worker);
    lot = new LotPage(*m_worker);
    stock = new StockPage(*m_worker);
    views = new QTabWidget;
    views->setAccessibleName(QStringLiteral("Sestavy"));
    views->addTab(journal, QStringLiteral("Po&hyby"));
    views->addTab(lot, QStringLiteral("P&artie"));
    views->addTab(stock, QStringLiteral("Stav k da&tu"));
    views->setAutoFillBackground(true);
    frame->clientLayout()->addWidget(views, 1);
    advice = new QLabel;
    advice->setWordWrap(true);
    advice->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    advice->hide();
    frame->clientLayout()->addWidget(advice);
    frame->clientLayout()->addWidget(buildButtonStrip());
    setTabOrder(views, journal->silo);
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(ProgressUpdateMs);
    connect(m_progressTimer, &QTimer::timeout, this, &ReportsWindow::showProgress);
    connect(m_worker.get(), &ReportWorker::busyChanged, this, &ReportsWindow::showBusy);
    connect(m_worker.get(), &ReportWorker::adviceGiven, this, [this](const QString &text) {
        advice->setText(text);
        advice->show();
    });
}

// The worker first: it stops the work under way, whose end would show in the pages.
ReportsWindow::~ReportsWindow()
{
    m_worker.reset();
}

bool ReportsWindow::isBusy() const
{
    return m_worker->isBusy();
}

void ReportsWindow::showBusy(bool busy)
{
    // Its place in the strip is the progress's while work runs: the window keeps its width.
    labelsButton->setVisible(!busy);
    progress->setRange(0, 0);
    progress->setVisible(busy);
    stopButton->setVisible(busy);
    stopButton->setEnabled(busy);
    // One piece of work at a time: what would start another waits.
    const QList<QPushButton *> actions{saveXlsx, saveCsv, savePdf, printButton, labelsButton, journal->showButton(),
                                         lot->showButton(), stock->showButton()};
    for (QPushButton *action : actions)
        action->setEnabled(!busy);
    if (busy)
        m_progressTimer->start();
    else
        m_progressTimer->stop();
}

// Rows of a file being written, once their number is known; moving otherwise.
void ReportsWindow::showProgress()
{
    const qint64 total = m_worker->rowsTotal();
    if (total <= 0)
        return;
    progress->setRange(0, int(std::min<qint64>(total, INT_MAX)));
    progress->setValue(int(std::min<qint64>(m_worker->rowsDone(), INT_MAX)));
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
    progress = new QProgressBar;
    progress->setAccessibleName(QStringLiteral("Průběh sestavy"));
    progress->setFixedWidth(ProgressWidth);
    progress->hide();
    row->addWidget(progress);
    stopButton = button(QStringLiteral("zrušit"));
    stopButton->hide();
    row->addStretch();
    closeButton = button(QStringLiteral("zavřít"));
    connect(saveXlsx, &QPushButton::clicked, this, [this] { saveAs(QStringLiteral("xlsx")); });
    connect(saveCsv, &QPushButton::clicked, this, [this] { saveAs(QStringLiteral("csv")); });
    connect(savePdf, &QPushButton::clicked, this, [this] { saveAs(QStringLiteral("pdf")); });
    connect(printButton, &QPushButton::clicked, this, &ReportsWindow::print);
    connect(labelsButton, &QPushButton::clicked, this, &ReportsWindow::saveLabels);
    connect(stopButton, &QPushButton::clicked, this, [this] {
        stopButton->setEnabled(false);
        m_worker->stop();
    });
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    auto *printKey = new QShortcut(QKeySequence::Print, this);
    connect(printKey, &QShortcut::activated, this, &ReportsWindow::print);
    // Escape stops a report as "zrušit" does.
    auto *stopKey = new QShortcut(Qt::Key_Escape, this);
    connect(stopKey, &QShortcut::activated, stopButton, [this] {
        if (stopButton->isEnabled() && stopButton->isVisible())
            stopButton->click();
    });
    return strip;
}

ReportPage *ReportsWindow::currentPage() const
{
    return static_cast<ReportPage *>(views->currentWidget());
}

reports::ReportOrigin ReportsWindow::origin() const
{
    return {m_setup.workstation, m_setup.centre, QDateTime::currentDateTime()};
}

void ReportsWindow::saveAs(const QString &extension)
{
    ui::guarded(this, [&] {
        const ReportWork work = currentPage()->reportWork();
        const QString suggested = QDir::home().filePath(currentPage()->fileStem() + u'.' + extension);
        const QString path = askPath(this, suggested, extension);
        if (!path.isEmpty())
            save(work, path);
    });
}

// A long journal takes its time: the progress shows, and stopping it leaves
// no file behind.
void ReportsWindow::save(const ReportWork &work, const QString &path)
{
    m_worker->start(
        [work, made = origin(), path, rows = m_worker->progress()](Connection &connection) {
            reports::saveReport(work(connection), made, path, rows);
            return true;
        },
        [this, path](bool) {
            ui::MessageDialog done(this, {QStringLiteral("OK")}, ui::DialogIcon::None,
                                   QStringLiteral("Sestava je uložena do souboru %1.").arg(QDir::toNativeSeparators(path)));
            done.showModal();
        });
}

void ReportsWindow::saveLabels()
{
    ui::guarded(this, [&] {
        const QString path = askPath(this, QDir::home().filePath(QStringLiteral("stitky-sil.pdf")), QStringLiteral("pdf"));
        if (path.isEmpty())
            return;
        m_worker->start(
            [path](Connection &connection) {
                reports::saveLabels(reports::readLabelSilos(connection), std::nullopt, path);
                return true;
            },
            [this, path](bool) {
                ui::MessageDialog done(this, {QStringLiteral("OK")}, ui::DialogIcon::None,
                                       QStringLiteral("Štítky sil jsou uloženy do souboru %1.").arg(QDir::toNativeSeparators(path)));
                done.showModal();
            });
    });
}

// The rows are read first, off the GUI thread; the preview only paints them.
void ReportsWindow::print()
{
    ui::guarded(this, [&] {
        const ReportWork work = currentPage()->reportWork();
        m_worker->start([work](Connection &connection) { return reports::withRowsRead(work(connection)); },
                        [this](const reports::Report &report) { preview(report); });
    });
}

void ReportsWindow::preview(const reports::Report &report)
{
    const reports::ReportOrigin made = origin();
    const ui::DialogRequest request{QStringLiteral("Granovia - náhled tisku"), report.name,
                                    {QStringLiteral("tisk"), QStringLiteral("zavřít")}, ui::DialogIcon::None, false, {}};
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
}

} // namespace granovia::reportsui
