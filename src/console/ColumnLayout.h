#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The column set of the movement history grid, and the file ("col.ini") that
// keeps it as the operator last left it.
namespace granovia {

// Result fields of the history statement that the grid shows by default.
namespace historyfield {
inline const QString Partie = QStringLiteral("partie");
inline const QString Zesila = QStringLiteral("zesila");
inline const QString Dosila = QStringLiteral("dosila");
inline const QString Mnozstvi = QStringLiteral("mnozstvi");
inline const QString Datum = QStringLiteral("datum");
} // namespace historyfield

struct HistoryColumn {
    // The view's default width: the column was never given one.
    static constexpr int DefaultWidth = -1;

    QString field;
    QString title;
    int width = DefaultWidth;
    bool visible = true;

    friend bool operator==(const HistoryColumn &, const HistoryColumn &) = default;
};

QList<HistoryColumn> defaultHistoryColumns();

// Replaces the file as a whole, so that a failed write leaves the previous
// layout in place. False when it cannot be written.
bool saveColumnLayout(const QString &path, const QList<HistoryColumn> &columns);

// The columns of the file, in its order. A line naming a field outside
// availableFields is left out; a missing, unreadable or malformed file, or one
// that leaves no column, gives the default columns. Never reports an error:
// the grid simply starts with what this returns.
QList<HistoryColumn> loadColumnLayout(const QString &path, const QStringList &availableFields);

} // namespace granovia
