#include "console/HistoryModel.h"

#include "config/NumberFormat.h"
#include "store/Connection.h"
#include "store/DbError.h"
#include "store/Schema.h"

#include <algorithm>

namespace granovia {

namespace {

namespace j = schema::ppsilap;

const QString HistoryOrder = QStringLiteral(" order by %1 desc").arg(j::Datum);
// "yyyy-mm-dd hh:nn": the server's "yyyy-mm-dd hh:mm:ss" up to the minutes.
constexpr qsizetype DatumDisplayLength = 16;
constexpr int QuantityDecimals = 3;
const QString ReversedTip = QStringLiteral("Pohyb byl stornován.");
const QString ReversalTip = QStringLiteral("Storno dřívějšího pohybu.");

QString historySelect()
{
    return QStringLiteral("select %1 from %2 where %3").arg(historySelectList(), j::Table, journal::ofThisModule());
}

// The datum shows as the server wrote it, to the minute: a wall-clock time
// without a zone, which no daylight-saving gap can make invalid, and the
// zero date or a day 0 as they stand.
QVariant valueOf(const Result &result, const QString &field)
{
    if (field == historyfield::Mnozstvi)
        return result.toDouble(field);
    if (field == historyfield::Datum)
        return result.toText(field).left(DatumDisplayLength);
    return result.toText(field);
}

QString displayText(const QString &field, const QVariant &value)
{
    if (field == historyfield::Mnozstvi)
        return numbers::fixed(value.toDouble(), QuantityDecimals);
    return value.toString();
}

Qt::Alignment alignmentOf(const QString &field)
{
    const Qt::Alignment horizontal = field == historyfield::Mnozstvi ? Qt::AlignRight : Qt::AlignLeft;
    return horizontal | Qt::AlignVCenter;
}

} // namespace

QString historyStatement()
{
    return historySelect() + HistoryOrder;
}

QString historySelectList()
{
    return QStringLiteral("*, %1 as %2, %3 as %4")
        .arg(journal::toColumnExpression(), historyfield::Dosila, journal::fromColumnExpression(), historyfield::Zesila);
}

QString historyNewerStatement(qint64 afterId, int limit)
{
    return historySelect() + QStringLiteral(" and %1 > %2 order by %1 limit %3").arg(j::Id).arg(afterId).arg(limit);
}

HistoryModel::HistoryModel(QObject *parent)
    : QAbstractTableModel(parent)
{
    connect(this, &QAbstractItemModel::modelReset, this, [this] { m_shownIdsRows = -1; });
}

void HistoryModel::open(Connection &connection)
{
    m_connection = &connection;
    requery();
}

void HistoryModel::requery()
{
    if (!m_connection)
        return;
    // Read before resetting: a failure leaves the rows the operator sees.
    journal::JournalPager pager = firstPage();
    QList<Line> lines = readSome(pager);
    beginResetModel();
    m_lines = std::move(lines);
    m_pager = pager;
    m_fetchError.clear();
    endResetModel();
}

void HistoryModel::setColumns(const QList<HistoryColumn> &columns)
{
    beginResetModel();
    if (!remapLines(columns)) {
        m_lines.clear();
        m_pager = firstPage();
        m_fetchError.clear();
    }
    m_columns = columns;
    endResetModel();
}

bool HistoryModel::remapLines(const QList<HistoryColumn> &columns)
{
    QList<qsizetype> sources;
    for (const HistoryColumn &column : columns) {
        const auto it = std::find_if(m_columns.cbegin(), m_columns.cend(),
                                     [&](const HistoryColumn &kept) { return kept.field == column.field; });
        if (it == m_columns.cend())
            return false;
        sources.append(it - m_columns.cbegin());
    }
    for (Line &line : m_lines) {
        QVariantList remapped;
        remapped.reserve(sources.size());
        for (qsizetype source : sources)
            remapped.append(line.cells.at(source));
        line.cells = std::move(remapped);
    }
    return true;
}

int HistoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

int HistoryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant HistoryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_lines.size() || index.column() >= m_columns.size())
        return {};
    const QString &field = m_columns.at(index.column()).field;
    switch (role) {
    case Qt::DisplayRole:
        return displayText(field, m_lines.at(index.row()).cells.at(index.column()));
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(alignmentOf(field));
    case CancelledRole:
        return isCancelled(index.row());
    case Qt::ToolTipRole:
        if (m_marks.isReversal(lineId(index.row())))
            return ReversalTip;
        return isCancelled(index.row()) ? QVariant(ReversedTip) : QVariant();
    default:
        return {};
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    // The rows have no titles: their header is the current-line indicator.
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section >= m_columns.size())
        return {};
    return m_columns.at(section).title;
}

Qt::ItemFlags HistoryModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

bool HistoryModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_connection && !m_pager.atEnd();
}

void HistoryModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    try {
        appendLines(readSome(m_pager));
    } catch (const DbError &error) {
        // Called from the view's event handling, where nothing may be thrown.
        m_pager.stop();
        writeServerText(error);
        m_fetchError = error.message();
        emit fetchFailed(m_fetchError);
    }
}

void HistoryModel::appendLines(const QList<Line> &lines)
{
    if (lines.isEmpty())
        return;
    beginInsertRows({}, int(m_lines.size()), int(m_lines.size() + lines.size() - 1));
    m_lines.append(lines);
    endInsertRows();
}

journal::JournalPager HistoryModel::firstPage()
{
    return journal::JournalPager(historySelectList(), journal::ofThisModule());
}

// A page may bring nothing (the dated lines ended with the last one); the
// view asks again only when rows arrive, so reading goes on until some do.
QList<HistoryModel::Line> HistoryModel::readSome(journal::JournalPager &pager)
{
    QList<Line> lines;
    while (lines.isEmpty() && !pager.atEnd()) {
        const QList<Fetched> page = readAll(pager.nextStatement(PageSize, m_connection->escaper()));
        for (const Fetched &fetched : page)
            lines.append(fetched.line);
        pager.pageRead(page.size(), PageSize, lines.isEmpty() ? QString() : lines.last().datum,
                       lines.isEmpty() ? 0 : lines.last().entry.id);
    }
    return lines;
}

QList<HistoryModel::Fetched> HistoryModel::readAll(const QString &statement)
{
    Result result = m_connection->query(statement);
    m_availableFields = result.fieldNames();
    QList<Fetched> fetched;
    fetched.reserve(result.rowCount());
    while (result.next()) {
        fetched.append(readLine(result));
        noteReversal(fetched.last().line.entry);
    }
    resolveMarks(*m_connection);
    return fetched;
}

HistoryModel::Fetched HistoryModel::readLine(const Result &result) const
{
    Fetched fetched;
    fetched.datumIsNull = result.isNull(historyfield::Datum);
    fetched.line.datum = result.toText(historyfield::Datum);
    fetched.line.entry = journal::readLine(result);
    fetched.line.cells.reserve(m_columns.size());
    for (const HistoryColumn &column : m_columns)
        fetched.line.cells.append(valueOf(result, column.field));
    return fetched;
}

qint64 HistoryModel::mergeNewerLines(Connection &connection, qint64 afterId)
{
    if (!m_connection)
        return afterId;
    Result result = connection.query(historyNewerStatement(afterId, MergeLimit));
    bool readAgain = result.rowCount() >= MergeLimit;
    qint64 newest = afterId;
    while (result.next()) {
        const Fetched fetched = readLine(result);
        noteReversal(fetched.line.entry);
        newest = std::max(newest, fetched.line.entry.id);
        int row = 0;
        const Placement placement = readAgain ? Placement::Skip : placementOf(fetched, row);
        if (placement == Placement::Insert)
            insertLine(row, fetched.line);
        readAgain = readAgain || placement == Placement::ReadAgain;
    }
    resolveMarks(connection);
    if (readAgain)
        requery();
    return newest;
}

// Pages read later bring the lines older than the last page's datum, and
// the undated lines while they have not been read. Datums compare as the
// server wrote them, as the server sorts them.
HistoryModel::Placement HistoryModel::placementOf(const Fetched &fetched, int &row)
{
    if (shownIds().contains(fetched.line.entry.id))
        return Placement::Skip;
    if (fetched.datumIsNull)
        return m_pager.atEnd() ? Placement::ReadAgain : Placement::Skip;
    if (!m_pager.covers(fetched.line.datum, fetched.line.entry.id))
        return Placement::Skip;
    // Lines stand newest first, the undated at the end.
    const auto at = std::partition_point(m_lines.cbegin(), m_lines.cend(), [&](const Line &line) {
        return !line.datum.isEmpty() && line.datum > fetched.line.datum;
    });
    row = int(at - m_lines.cbegin());
    return Placement::Insert;
}

void HistoryModel::insertLine(int row, const Line &line)
{
    shownIds();
    beginInsertRows({}, row, row);
    m_lines.insert(row, line);
    m_shownIds.insert(line.entry.id);
    m_shownIdsRows = m_lines.size();
    endInsertRows();
}

const QSet<qint64> &HistoryModel::shownIds()
{
    if (m_shownIdsRows != m_lines.size()) {
        m_shownIds.clear();
        for (const Line &line : std::as_const(m_lines))
            m_shownIds.insert(line.entry.id);
        m_shownIdsRows = m_lines.size();
    }
    return m_shownIds;
}

void HistoryModel::noteReversal(const journal::JournalLine &line)
{
    repaint(m_marks.note(line));
}

void HistoryModel::resolveMarks(Connection &connection)
{
    repaint(m_marks.resolve(connection));
}

void HistoryModel::repaint(const QList<qint64> &ids)
{
    for (qint64 id : ids) {
        const auto shown = std::find_if(m_lines.cbegin(), m_lines.cend(),
                                        [&](const Line &line) { return line.entry.id == id; });
        if (shown == m_lines.cend())
            continue;
        const int row = int(shown - m_lines.cbegin());
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    }
}

qint64 HistoryModel::lineId(int row) const
{
    return m_lines.at(row).entry.id;
}

QString HistoryModel::lineDatum(int row) const
{
    return m_lines.at(row).datum;
}

const journal::JournalLine &HistoryModel::entry(int row) const
{
    return m_lines.at(row).entry;
}

bool HistoryModel::isReversible(int row) const
{
    return journal::canBeReversed(entry(row)) && !m_marks.isCancelled(lineId(row));
}

bool HistoryModel::isCancelled(int row) const
{
    return m_marks.isCancelled(lineId(row));
}

} // namespace granovia
