#include "reportsui/ReportModels.h"

#include "store/Connection.h"
#include "store/Schema.h"

#include <QColor>

namespace granovia::reportsui {

namespace {

const QColor MarkedRow(255, 214, 214);

} // namespace

void SectionModel::setSection(const reports::ReportSection &section)
{
    QList<reports::ReportRow> rows;
    rows.reserve(section.rowCount);
    section.forEachRow([&rows](const reports::ReportRow &row) { rows.append(row); });
    beginResetModel();
    m_columns = section.columns;
    m_rows = std::move(rows);
    endResetModel();
}

void SectionModel::setColumns(const QList<reports::ReportColumn> &columns)
{
    beginResetModel();
    m_columns = columns;
    m_rows.clear();
    endResetModel();
}

void SectionModel::append(const QList<reports::ReportRow> &rows)
{
    if (rows.isEmpty())
        return;
    beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + rows.size() - 1));
    m_rows.append(rows);
    endInsertRows();
}

void SectionModel::clearRows()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int SectionModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int SectionModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant SectionModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || index.column() >= m_columns.size())
        return {};
    const reports::ReportColumn &column = m_columns.at(index.column());
    const reports::ReportRow &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return reports::cellText(row.cells.value(index.column()), column.type);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(
            Qt::Alignment(column.type == reports::CellType::Quantity ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        return row.marked ? QVariant(MarkedRow) : QVariant();
    default:
        return {};
    }
}

QVariant SectionModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section >= m_columns.size())
        return {};
    return m_columns.at(section).title;
}

JournalModel::JournalModel(QObject *parent)
    : SectionModel(parent)
{
    setColumns(reports::journalColumns());
}

namespace {

QList<reports::ReportRow> rowsOf(const QList<reports::JournalLine> &lines)
{
    QList<reports::ReportRow> rows;
    rows.reserve(lines.size());
    for (const reports::JournalLine &line : lines)
        rows.append(reports::journalRow(line));
    return rows;
}

} // namespace

JournalModel::FirstPage JournalModel::readFirstPage(Connection &connection, reports::JournalFilter filter)
{
    Result newest = connection.query(reports::newestJournalIdStatement());
    newest.next();
    filter.upToId = newest.toInt(schema::ppsilap::Id);
    auto reader = std::make_shared<reports::JournalReader>(connection, filter);
    QList<reports::ReportRow> rows = rowsOf(reader->next(PageSize));
    return {std::move(filter), std::move(rows), std::move(reader)};
}

JournalModel::NextPage JournalModel::readNextPage(reports::JournalReader &reader)
{
    QList<reports::ReportRow> rows = rowsOf(reader.next(PageSize));
    return {std::move(rows), reader.atEnd()};
}

void JournalModel::showFirstPage(FirstPage page)
{
    m_filter = std::move(page.filter);
    m_atEnd = page.reader->atEnd();
    m_reader = std::move(page.reader);
    clearRows();
    append(page.rows);
}

void JournalModel::appendPage(const NextPage &page)
{
    m_atEnd = page.atEnd;
    append(page.rows);
}

void JournalModel::show(Connection &connection, reports::JournalFilter filter)
{
    showFirstPage(readFirstPage(connection, std::move(filter)));
}

bool JournalModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_reader && !m_atEnd;
}

void JournalModel::fetchMore(const QModelIndex &parent)
{
    if (canFetchMore(parent))
        emit nextPageWanted();
}

} // namespace granovia::reportsui
