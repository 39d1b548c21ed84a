#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace granovia {
class Connection;
}

// The indexes of the journal that the reports (and the reversal's test for
// an earlier reversal) need on a long journal. The program never makes them
// on its own: the administrator runs `granovia-silo --create-indexes`.
namespace granovia::reports {

struct JournalIndex {
    QString name;
    QStringList columns; // in the index's order

    friend bool operator==(const JournalIndex &, const JournalIndex &) = default;
};

QList<JournalIndex> recommendedIndexes();

// Every index of the journal table in the current database: one row per
// column, as index_name, column_name, in the index's order.
QString journalIndexesStatement();
QList<JournalIndex> readJournalIndexes(Connection &connection);

// The recommended indexes that no existing index serves. An index serves
// when its leading columns are the recommended ones, whatever its name; a
// missing one whose name is taken gets a free name.
QList<JournalIndex> missingIndexes(const QList<JournalIndex> &existing);

// One statement for all of them, so that they are made together or not at
// all, online: the journal stays readable and writable meanwhile.
QString createIndexesStatement(const QList<JournalIndex> &indexes);

// "ppsilap_partie (partie, datum)"
QString indexText(const JournalIndex &index);

// What the administrator runs to make the missing indexes.
inline const QString CreateIndexesSwitch = QStringLiteral("--create-indexes");
QString createIndexesAdvice();

} // namespace granovia::reports
