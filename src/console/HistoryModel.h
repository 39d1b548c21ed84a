#pragma once

#include "console/ColumnLayout.h"

#include <QAbstractTableModel>
#include <QVariant>
#include <optional>

namespace granovia {

class Connection;
class Result;

// The movement journal as the operator reads it, newest first. ZE is the silo
// the seed left, 'N' for an intake (cislopp without silob); DO the silo it went
// to, 'M' for a removal (neither cislopp nor silob). Lines without a silo are
// not movements of this module.
inline const QString HistoryStatement = QStringLiteral("select *, if(silob = '', if(cislopp = '', 'M', silo), silob) as dosila, if(cislopp = '' and silob = '', silo, if(silob = '', 'N', silo)) as zesila from ppsilap where silo <> '' order by datum desc");

// The lines of HistoryStatement come in pages keyed on datum, so that a
// journal of years opens at once. A page stops before `before` (none: the
// first page), a datum as the server wrote it: other modules write the zero
// date and days 0, which are no real times but sort and compare as written.
QString historyPageStatement(const std::optional<QString> &before, int limit);
// Every line of one datum: a page boundary may fall among them.
QString historySameDatumStatement(const QString &datum);
// The lines without a datum, which the designed order puts last.
QString historyNullDatumStatement();

// The history grid's rows, read page by page as the view scrolls. Each row
// keeps only the values of the grid's columns.
class HistoryModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int PageSize = 200;

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
    using Line = QVariantList;
    // Where reading stands: the dated lines page by page, then the undated.
    enum class Stage { Dated, Undated, Done };
    struct Cursor {
        Stage stage = Stage::Dated;
        std::optional<QString> before;
    };
    struct Fetched {
        Line line;
        QString datum; // as the server wrote it
        bool datumIsNull = false;
    };

    QList<Line> readSome(Cursor &cursor);
    QList<Line> readStep(Cursor &cursor);
    QList<Line> readDatedPage(Cursor &cursor);
    QList<Fetched> readAll(const QString &statement);
    Fetched readLine(const Result &result) const;
    void appendLines(const QList<Line> &lines);
    bool remapLines(const QList<HistoryColumn> &columns);

    Connection *m_connection = nullptr;
    QList<HistoryColumn> m_columns = designedHistoryColumns();
    QStringList m_availableFields;
    QList<Line> m_lines;
    Cursor m_cursor{Stage::Done, std::nullopt};
    QString m_fetchError;
};

} // namespace granovia
