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
// scrolls: the first page of a filter comes at once on any journal. The
// pages are read by whoever owns the session (readFirstPage, readNextPage,
// on any thread) and shown here on the GUI thread.
class JournalModel final : public SectionModel {
    Q_OBJECT
public:
    static constexpr int PageSize = 200;

    // A filter's first page, and where its next one begins.
    struct FirstPage {
        reports::JournalFilter filter;
        QList<reports::ReportRow> rows;
        std::shared_ptr<reports::JournalReader> reader;
    };
    struct NextPage {
        QList<reports::ReportRow> rows;
        bool atEnd = true;
    };

    explicit JournalModel(QObject *parent = nullptr);

    // Reads the journal's newest line now and the first page up to it.
    // Throws DbError.
    static FirstPage readFirstPage(Connection &connection, reports::JournalFilter filter);
    // The page after those read; uses the reader's connection.
    static NextPage readNextPage(reports::JournalReader &reader);
    void showFirstPage(FirstPage page);
    void appendPage(const NextPage &page);
    // Both of the above at once, on the calling thread.
    void show(Connection &connection, reports::JournalFilter filter);

    // The filter as shown, bounded by the newest line it was shown with.
    const reports::JournalFilter &filter() const { return m_filter; }
    bool isShown() const { return m_reader != nullptr; }
    const std::shared_ptr<reports::JournalReader> &reader() const { return m_reader; }

    bool canFetchMore(const QModelIndex &parent = {}) const override;
    // Asks for the next page through nextPageWanted.
    void fetchMore(const QModelIndex &parent = {}) override;

signals:
    void nextPageWanted();

private:
    reports::JournalFilter m_filter;
    bool m_atEnd = true;
    std::shared_ptr<reports::JournalReader> m_reader;
};

} // namespace granovia::reportsui
