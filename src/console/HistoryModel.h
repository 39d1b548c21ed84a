#pragma once

#include "console/ColumnLayout.h"
#include "movements/Reversal.h"
#include "store/SqlText.h"

#include <QAbstractTableModel>
#include <QSet>
#include <QVariant>
#include <optional>

namespace granovia {

class Connection;
class Result;

// The movement journal as the operator reads it, newest first. ZE is the silo
// the seed left, 'N' for an intake (cislopp without silob); DO the silo it went
// to, 'M' for a removal (neither cislopp nor silob). Lines without a silo are
// not movements of this module.
QString historyStatement();

// The lines of historyStatement() come in pages keyed on datum, so that a
// journal of years opens at once. A page stops before `before` (none: the
// first page), a datum as the server wrote it: other modules write the zero
// date and days 0, which are no real times but sort and compare as written.
QString historyPageStatement(const std::optional<QString> &before, int limit, const Escape &escape);
// Every line of one datum: a page boundary may fall among them.
QString historySameDatumStatement(const QString &datum, const Escape &escape);
// The lines without a datum, which the history lists last.
QString historyNullDatumStatement();
// The journal lines above a known id, at most `limit` of them: what was
// written since the history was read.
QString historyNewerStatement(qint64 afterId, int limit);

// The history grid's rows, read page by page as the view scrolls. Each row
// keeps the values of the grid's columns and what its journal line records.
// A reversed line and its reversal are marked as cancelled. A reversal is
// newer than the line it reverses, so the lines read so far hold the
// reversal of every line they hold, and nothing more is read to know it; a
// reversal that a workstation with its clock behind wrote marks its line
// once its page comes. What the journal says under the reversal's locks
// decides, whatever the marks.
class HistoryModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // True for a line that a reversal cancels, and for the reversal.
    static constexpr int CancelledRole = Qt::UserRole + 1;
    static constexpr int PageSize = 200;
    // More new lines than this at once are shown by reading the first page again.
    static constexpr int MergeLimit = PageSize;

    explicit HistoryModel(QObject *parent = nullptr);

    // Runs the first page. Throws DbError; the caller shows it.
    void open(Connection &connection);
    // Reads again from the first page, with the same columns. Throws DbError
    // and keeps the previous rows then.
    void requery();
    // The rows are kept when the new set has the same fields; otherwise they
    // are read again, page by page, as the view asks for them.
    void setColumns(const QList<HistoryColumn> &columns);
    const QList<HistoryColumn> &columns() const { return m_columns; }
    // Fields of the result, known once the first page has been read.
    QStringList availableFields() const { return m_availableFields; }
    // The message of the failure that stopped fetching, empty when none did.
    QString fetchError() const { return m_fetchError; }

    // Reads the journal lines above afterId on connection and puts each
    // where the history's order shows it, without reading the shown lines
    // again. Lines shown already, and lines older than the pages read so far
    // (paging brings them), are passed over; when a line has no place, the
    // first page is read again. Returns the highest id read, afterId when
    // none. Throws DbError.
    qint64 mergeNewerLines(Connection &connection, qint64 afterId);
    // The journal id and the datum of a shown line, the datum as the server
    // wrote it; empty for NULL.
    qint64 lineId(int row) const;
    QString lineDatum(int row) const;
    const movement::JournalEntry &entry(int row) const;
    // A transfer or a removal that no line read so far reverses.
    bool isReversible(int row) const;
    bool isCancelled(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool canFetchMore(const QModelIndex &parent = {}) const override;
    // Never throws: a database failure stops fetching and is reported by fetchFailed.
    void fetchMore(const QModelIndex &parent = {}) override;

signals:
    void fetchFailed(const QString &message);

private:
    struct Line {
        QVariantList cells; // the values of the columns, in their order
        movement::JournalEntry entry;
        QString datum; // as the server wrote it; empty for NULL
    };
    // Where reading stands: the dated lines page by page, then the undated.
    enum class Stage { Dated, Undated, Done };
    struct Cursor {
        Stage stage = Stage::Dated;
        std::optional<QString> before;
    };
    struct Fetched {
        Line line;
        bool datumIsNull = false;
    };

    QList<Line> readSome(Cursor &cursor);
    QList<Line> readStep(Cursor &cursor);
    QList<Line> readDatedPage(Cursor &cursor);
    QList<Fetched> readAll(const QString &statement);
    Fetched readLine(const Result &result) const;
    void appendLines(const QList<Line> &lines);
    bool remapLines(const QList<HistoryColumn> &columns);

    enum class Placement { Insert, Skip, ReadAgain };
    Placement placementOf(const Fetched &fetched, int &row);
    void insertLine(int row, const Line &line);
    const QSet<qint64> &shownIds();
    // Remembers the line that a line read reverses, and repaints it if shown.
    void noteReversal(const movement::JournalEntry &entry);

    Connection *m_connection = nullptr;
    QList<HistoryColumn> m_columns = defaultHistoryColumns();
    QStringList m_availableFields;
    QList<Line> m_lines;
    Cursor m_cursor{Stage::Done, std::nullopt};
    QString m_fetchError;
    // Ids of the shown lines, as of m_shownIdsRows rows; -1: to be counted.
    QSet<qint64> m_shownIds;
    qsizetype m_shownIdsRows = -1;
    // Ids of the lines that the lines read so far reverse.
    QSet<qint64> m_reversed;
};

} // namespace granovia
