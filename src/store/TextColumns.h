#pragma once

#include "store/Connection.h"

#include <QHash>
#include <QString>
#include <optional>

namespace granovia {

// A text column as the server defines it: how many characters it holds and
// in which character set. The suite's other modules widen columns and give
// them other character sets; what this program writes must fit exactly.
struct TextColumn {
    qint64 maxLength = 0;
    QString charset; // as the server names it: cp1250, utf8mb4, latin1, ...
};

// The text columns of the silo table and the journal, by table and column name.
class TextColumns final {
public:
    // Nothing known: every text passes.
    TextColumns() = default;

    void insert(const QString &table, const QString &column, const TextColumn &definition);
    // The column's definition; none for a column not known.
    std::optional<TextColumn> find(const QString &table, const QString &column) const;

private:
    QHash<QString, TextColumn> m_columns;
};

QString textColumnsStatement();
// Throws DbError.
TextColumns readTextColumns(Connection &connection);

// Why a column would not hold a text as it is.
enum class TextFit { Fits, TooLong, CharactersLost };
TextFit fitOf(const TextColumn &column, const QString &text);

} // namespace granovia
