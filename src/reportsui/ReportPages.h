#pragma once

#include "reports/LotTrace.h"
#include "reports/Report.h"
#include "reports/StockAtMoment.h"
#include "reportsui/ReportModels.h"

#include <QWidget>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QTableView;

namespace granovia {
class Connection;
namespace ui {
class SuiButton;
}
} // namespace granovia

namespace granovia::reportsui {

class ReportWorker;

// How a report is read on the reports' session, on its worker's thread.
using ReportWork = std::function<reports::Report(Connection &)>;

// One view of the reports window: its fields, what it shows, and the report
// that export and print take from it. Its reading runs on the worker, off
// the GUI thread. Both throw AppError for a field that holds no valid
// value; the window shows it.
class ReportPage : public QWidget {
    Q_OBJECT
public:
    explicit ReportPage(ReportWorker &worker, QWidget *parent = nullptr);

    // Starts reading what the fields ask for; shows it when read.
    virtual void refresh() = 0;
    // What is shown, as a report; what the fields ask for if nothing is yet.
    virtual ReportWork reportWork() const = 0;
    // A name for the file, without its extension.
    virtual QString fileStem() const = 0;
    // The "zobrazit" button and Enter in a field end here, with errors shown.
    void refreshGuarded();
    ui::SuiButton *showButton() const { return m_show; }

protected:
    ReportWorker &m_worker;
    ui::SuiButton *m_show = nullptr;
};

// Pohyby: the journal filtered by silo, lot and days, newest first, paged.
class JournalPage final : public ReportPage {
    Q_OBJECT
public:
    explicit JournalPage(ReportWorker &worker, QWidget *parent = nullptr);

    void refresh() override;
    ReportWork reportWork() const override;
    QString fileStem() const override;

    QComboBox *silo = nullptr;
    QLineEdit *lot = nullptr;
    // The lot is the start of the names looked for.
    QCheckBox *lotPrefix = nullptr;
    QLineEdit *from = nullptr;
    QLineEdit *to = nullptr;
    QTableView *table = nullptr;
    QLabel *totals = nullptr;
    JournalModel model;

private:
    reports::JournalFilter filterOfFields() const;
    void readTotals();
    void readNextPage();
    void showTotals(const reports::JournalTotals &sums);

    bool m_nextPageWanted = false;
};

// Partie: one lot's path through the silos.
class LotPage final : public ReportPage {
    Q_OBJECT
public:
    explicit LotPage(ReportWorker &worker, QWidget *parent = nullptr);

    void refresh() override;
    ReportWork reportWork() const override;
    QString fileStem() const override;

    QLineEdit *lot = nullptr;
    QTableView *lines = nullptr;
    QTableView *holders = nullptr;
    QLabel *totals = nullptr;
    SectionModel linesModel;
    SectionModel holdersModel;

private:
    QString lotOfField() const;
    void showTrace(reports::LotTrace trace);

    std::optional<reports::LotTrace> m_trace;
};

// Stav k datu: every silo's content at a moment, rebuilt from the journal.
class StockPage final : public ReportPage {
    Q_OBJECT
public:
    explicit StockPage(ReportWorker &worker, QWidget *parent = nullptr);

    void refresh() override;
    ReportWork reportWork() const override;
    QString fileStem() const override;

    QDateTimeEdit *moment = nullptr;
    QTableView *table = nullptr;
    QLabel *totals = nullptr;
    SectionModel model;

private:
    void showStock(reports::StockAtMoment stock);

    std::optional<reports::StockAtMoment> m_stock;
};

} // namespace granovia::reportsui
