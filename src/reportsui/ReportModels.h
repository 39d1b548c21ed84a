#pragma once

#include "reports/JournalReader.h"
#include "reports/Report.h"

#include <QAbstractTableModel>
#include <memory>

namespace granovia {
class Connection;
}

namespace granovia::reportsui {

// The rows of a report table, in memory, for a view: texts as the files
// show them, quantities to the right, marked rows on a warning colour.
class SectionModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setSection(const reports::ReportSection &section);
    void setColumns(const QList<reports::ReportColumn> &columns);
    bool isMarked(int row) const { return m_rows.value(row).marked; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

protected:
    void append(const QList<reports::ReportRow> &rows);
    void clearRows();

private:
    QList<reports::ReportColumn> m_columns;
    QList<reports::ReportRow> m_rows;
};

// The filtered journal, newest first, read a page at a time as the view
// scrolls: the first page of a filter comes at once on any journal.
class JournalModel final : public SectionModel {
    Q_OBJECT
public:
    static constexpr int PageSize = 200;

    explicit JournalModel(QObject *parent = nullptr);

    // Reads the first page of the filter, up to the journal's newest line
    // now. Throws DbError and keeps the rows shown then.
    void show(Connection &connection, reports::JournalFilter filter);
    // The filter as shown, bounded by the newest line it was shown with.
    const reports::JournalFilter &filter() const { return m_filter; }
    bool isShown() const { return m_shown; }

    bool canFetchMore(const QModelIndex &parent = {}) const override;
    // Never throws: a failure stops reading and is told by fetchFailed.
    void fetchMore(const QModelIndex &parent = {}) override;

signals:
    void fetchFailed(const QString &message);

private:
    reports::JournalFilter m_filter;
    bool m_shown = false;
    std::unique_ptr<reports::JournalReader> m_reader;
};

} // namespace granovia::reportsui
