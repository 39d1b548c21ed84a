#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

namespace granovia {

// Escapes a text value for use between double quotes in a statement. The
// connection supplies the real one; statement builders take it as an argument
// so that their text can be compared word for word in tests.
using Escape = std::function<QString(const QString &)>;

// Time stamps in statements and in the start record: "yyyy-mm-dd hh:nn:ss".
QString formatTimestamp(const QDateTime &time);

// The zero of a date-time value, used where a date is missing.
inline const QString ZeroTimestamp = QStringLiteral("1899-12-30 00:00:00");

// The lines of one statement are sent together, separated by line breaks.
QString joinLines(const QStringList &lines);

} // namespace granovia
