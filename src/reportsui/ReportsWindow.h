#pragma once

#include "reports/Report.h"
#include "reportsui/ReportPages.h"
#include "store/Connection.h"

#include <QWidget>
#include <chrono>
#include <memory>

class QLabel;
class QProgressBar;
class QTabWidget;
class QTimer;

namespace granovia {
namespace ui {
class SkinnedFrame;
class SuiButton;
} // namespace ui
} // namespace granovia

namespace granovia::reportsui {

class ReportWorker;

// Where the reports window reads and who makes its reports.
struct ReportsSetup {
    ConnectionSettings settings;
    // How long one statement of a report may run (ReportLimit).
    std::chrono::seconds limit{};
    QString workstation; // CisloPC
    QString centre;      // Stredisko
};

// "Granovia - historie a sestavy": the journal with filters, a lot's path
// through the silos and the stock at a moment, each exported to XLSX, CSV
// or PDF and printed as it is shown. It reads on a session of its own, off
// the GUI thread: while a report runs, a progress bar and "zrušit" show,
// and the window and the console go on painting and taking input.
class ReportsWindow final : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize DesignClientSize{1000, 640};

    explicit ReportsWindow(ReportsSetup setup, QWidget *parent = nullptr);
    ~ReportsWindow() override;

    // The reports on the view shown, into a file the operator names, or on
    // paper through the print preview. Errors are shown.
    void saveAs(const QString &extension);
    void print();
    // Labels of every silo, on A4 sheets, into a PDF the operator names.
    void saveLabels();

    ReportPage *currentPage() const;

    ui::SkinnedFrame *frame = nullptr;
    QTabWidget *views = nullptr;
    JournalPage *journal = nullptr;
    LotPage *lot = nullptr;
    StockPage *stock = nullptr;
    ui::SuiButton *saveXlsx = nullptr;
    ui::SuiButton *saveCsv = nullptr;
    ui::SuiButton *savePdf = nullptr;
    ui::SuiButton *printButton = nullptr;
    ui::SuiButton *labelsButton = nullptr;
    ui::SuiButton *closeButton = nullptr;
    QProgressBar *progress = nullptr;
    ui::SuiButton *stopButton = nullptr;
    // Which command the administrator should run, once a report was slow
    // for want of an index.
    QLabel *advice = nullptr;

    bool isBusy() const;

private:
    QWidget *buildButtonStrip();
    reports::ReportOrigin origin() const;
    void save(const ReportWork &work, const QString &path);
    void preview(const reports::Report &report);
    void showBusy(bool busy);
    void showProgress();

    ReportsSetup m_setup;
    std::unique_ptr<ReportWorker> m_worker;
    QTimer *m_progressTimer = nullptr;
};

inline const QString ReportsCaption = QStringLiteral("Granovia - historie a sestavy");

} // namespace granovia::reportsui
