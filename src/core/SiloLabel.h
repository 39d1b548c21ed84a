#pragma once

#include <QString>
#include <optional>

// How silos are named on screen and in the journal.
namespace granovia::silolabel {

// The two digits of a silo: the last two of "0" and the number, so silo 7
// is 07 and silo 100 is 00. The movements write these into the journal.
QString digits(int silo);
// "SILO: " and the two digits.
QString label(int silo);
// The silo that a journal's silo text names: the two digits ("07", "00" for
// 100) or a plain number up to LastSilo; nothing for any other text.
std::optional<int> siloOfJournalText(const QString &text);

constexpr int FirstSilo = 1;
constexpr int LastSilo = 100;

} // namespace granovia::silolabel
