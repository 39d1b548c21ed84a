#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <optional>

// Numbers on screen and in edit fields use the decimal comma and no
// thousands separator, whatever the regional settings of the machine say.
namespace granovia::numbers {

const QLocale &decimalComma();
// Makes the decimal comma the default of every QLocale in the process.
void installDecimalComma();

// A number written with the decimal comma, blanks around it allowed. A text
// with a decimal point, a thousands separator or nothing in it is no number.
std::optional<double> parse(const QString &text);

// Fixed decimals and at least one integer digit ("##0.000" with 3).
QString fixed(long double value, int decimals);
// Up to 15 significant digits, no trailing zeros.
QString general(long double value);

// A date and time as the panels show them: "d.M.yyyy H:mm:ss", the time left
// out at exactly midnight, the empty text for no date.
QString dateTimeText(const QDateTime &time);

} // namespace granovia::numbers
