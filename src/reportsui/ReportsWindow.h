#pragma once

#include "reports/Report.h"

#include <QWidget>

class QTabWidget;

namespace granovia {
class Connection;
namespace ui {
class SkinnedFrame;
class SuiButton;
} // namespace ui
} // namespace granovia

namespace granovia::reportsui {

class JournalPage;
class LotPage;
class ReportPage;
class StockPage;

// "Granovia - historie a sestavy": the journal with filters, a lot's path
// through the silos and the stock at a moment, each exported to XLSX, CSV
// or PDF and printed as it is shown. It reads on the connection it is given.
class ReportsWindow final : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize DesignClientSize{1000, 640};

    // Who makes the reports: the workstation and the cost centre.
    ReportsWindow(Connection &connection, QString workstation, QString centre, QWidget *parent = nullptr);

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

private:
    QWidget *buildButtonStrip();
    reports::ReportOrigin origin() const;
    void save(const reports::Report &report, const QString &path);

    Connection &m_connection;
    QString m_workstation;
    QString m_centre;
};

inline const QString ReportsCaption = QStringLiteral("Granovia - historie a sestavy");

} // namespace granovia::reportsui
