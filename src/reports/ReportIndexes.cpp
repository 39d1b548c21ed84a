#include "reports/ReportIndexes.h"

#include "store/Connection.h"
#include "store/Schema.h"

namespace granovia::reports {

namespace {

namespace j = schema::ppsilap;

const QString IndexNameColumn = QStringLiteral("index_name");
const QString ColumnNameColumn = QStringLiteral("column_name");

bool serves(const JournalIndex &existing, const JournalIndex &wanted)
{
    return existing.columns.mid(0, wanted.columns.size()) == wanted.columns;
}

bool nameTaken(const QList<JournalIndex> &indexes, const QString &name)
{
    return std::any_of(indexes.cbegin(), indexes.cend(),
                       [&name](const JournalIndex &index) { return index.name.compare(name, Qt::CaseInsensitive) == 0; });
}

} // namespace

QList<JournalIndex> recommendedIndexes()
{
    const QString prefix = j::Table + u'_';
    return {
        {prefix + j::Partie, {j::Partie, j::Datum}},
        {prefix + j::Silo, {j::Silo, j::Datum}},
        {prefix + j::Silob, {j::Silob, j::Datum}},
        {prefix + j::Cislopp, {j::Cislopp}},
        // Everything the stock at a moment sums of the lines after it, read
        // from the index alone.
        {prefix + QStringLiteral("zmeny"), {j::Datum, j::Silo, j::Silob, j::Cislopp, j::Mnozstvi}},
    };
}

QString journalIndexesStatement()
{
    return QStringLiteral("select %1, %2 from information_schema.statistics where table_schema = database() "
                          "and table_name = '%3' order by %1, seq_in_index")
        .arg(IndexNameColumn, ColumnNameColumn, j::Table);
}

QList<JournalIndex> readJournalIndexes(Connection &connection)
{
    QList<JournalIndex> indexes;
    Result result = connection.query(journalIndexesStatement());
    while (result.next()) {
        const QString name = result.toText(IndexNameColumn);
        if (indexes.isEmpty() || indexes.last().name != name)
            indexes.append({name, {}});
        indexes.last().columns.append(result.toText(ColumnNameColumn).toLower());
    }
    return indexes;
}

QList<JournalIndex> missingIndexes(const QList<JournalIndex> &existing)
{
    QList<JournalIndex> missing;
    for (JournalIndex wanted : recommendedIndexes()) {
        if (std::any_of(existing.cbegin(), existing.cend(), [&wanted](const JournalIndex &e) { return serves(e, wanted); }))
            continue;
        const QString base = wanted.name;
        for (int suffix = 2; nameTaken(existing, wanted.name); ++suffix)
            wanted.name = base + u'_' + QString::number(suffix);
        missing.append(wanted);
    }
    return missing;
}

QString createIndexesStatement(const QList<JournalIndex> &indexes)
{
    QStringList adds;
    for (const JournalIndex &index : indexes)
        adds.append(QStringLiteral("add index ") + indexText(index));
    return QStringLiteral("alter table %1 %2, algorithm = inplace, lock = none")
        .arg(j::Table, adds.join(QStringLiteral(", ")));
}

QString indexText(const JournalIndex &index)
{
    return QStringLiteral("%1 (%2)").arg(index.name, index.columns.join(QStringLiteral(", ")));
}

QString createIndexesAdvice()
{
    return QStringLiteral("Sestava je pomalá, protože tabulce %1 chybí doporučené indexy. Správce databáze je "
                          "vytvoří za provozu příkazem:\ngranovia-silo %2")
        .arg(j::Table, CreateIndexesSwitch);
}

} // namespace granovia::reports
