#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace granovia {

// Escapes a text value for use between double quotes in a statement. The
// connection supplies the real one; statement builders take it as an argument
// so that their text can be compared word for word in tests.
using Escape = std::function<QString(const QString &)>;

// A text value in a statement: escaped, between double quotes.
QString quoted(const Escape &escape, const QString &value);

// Time stamps in statements and in the start record: "yyyy-mm-dd hh:nn:ss".
QString formatTimestamp(const QDateTime &time);

// A date-time as the server writes it ("yyyy-mm-dd hh:mm:ss"), as a wall-clock
// time in UTC so that no daylight-saving gap can make it invalid. Nothing for
// the zero date, a day 0 or month 0, and anything else that is no real time.
std::optional<QDateTime> parseTimestamp(const QString &text);

// The zero of a date-time value, used where a date is missing.
inline const QString ZeroTimestamp = QStringLiteral("1899-12-30 00:00:00");

// The lines of one statement are sent together, separated by line breaks.
QString joinLines(const QStringList &lines);

} // namespace granovia
