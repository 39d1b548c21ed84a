#pragma once

#include "reports/LotTrace.h"
#include "reports/Report.h"
#include "reports/StockAtMoment.h"
#include "reportsui/ReportModels.h"

#include <QWidget>
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

// One view of the reports window: its fields, what it shows, and the report
// that export and print take from it. Both throw DbError, and AppError for
// a field that holds no valid value; the window shows them.
class ReportPage : public QWidget {
    Q_OBJECT
public:
    explicit ReportPage(Connection &connection, QWidget *parent = nullptr);

    // Reads what the fields ask for and shows it.
    virtual void refresh() = 0;
    // What is shown, as a report; shown first if nothing is yet.
    virtual reports::Report report() = 0;
    // A name for the file, without its extension.
    virtual QString fileStem() const = 0;
    // The "zobrazit" button and Enter in a field end here, with errors shown.
    void refreshGuarded();

protected:
    Connection &m_connection;
    ui::SuiButton *m_show = nullptr;
};

// Pohyby: the journal filtered by silo, lot and days, newest first, paged.
class JournalPage final : public ReportPage {
    Q_OBJECT
public:
    explicit JournalPage(Connection &connection, QWidget *parent = nullptr);

    void refresh() override;
    reports::Report report() override;
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
    void showTotals();
};

// Partie: one lot's path through the silos.
class LotPage final : public ReportPage {
    Q_OBJECT
public:
    explicit LotPage(Connection &connection, QWidget *parent = nullptr);

    void refresh() override;
    reports::Report report() override;
    QString fileStem() const override;

    QLineEdit *lot = nullptr;
    QTableView *lines = nullptr;
    QTableView *holders = nullptr;
    QLabel *totals = nullptr;
    SectionModel linesModel;
    SectionModel holdersModel;

private:
    std::optional<reports::LotTrace> m_trace;
};

// Stav k datu: every silo's content at a moment, rebuilt from the journal.
class StockPage final : public ReportPage {
    Q_OBJECT
public:
    explicit StockPage(Connection &connection, QWidget *parent = nullptr);

    void refresh() override;
    reports::Report report() override;
    QString fileStem() const override;

    QDateTimeEdit *moment = nullptr;
    QTableView *table = nullptr;
    QLabel *totals = nullptr;
    SectionModel model;

private:
    std::optional<reports::StockAtMoment> m_stock;
};

} // namespace granovia::reportsui
