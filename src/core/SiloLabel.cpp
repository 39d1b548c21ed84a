#include "core/SiloLabel.h"

namespace granovia::silolabel {

namespace {
constexpr int LabelDigits = 2;
} // namespace

QString digits(int silo)
{
    return (QStringLiteral("0") + QString::number(silo)).right(LabelDigits);
}

QString label(int silo)
{
    return QStringLiteral("SILO: ") + digits(silo);
}

std::optional<int> siloOfJournalText(const QString &text)
{
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    if (!ok || number < 0 || number > LastSilo)
        return std::nullopt;
    if (number != 0)
        return number;
    // Silo 100 goes into the journal as its two digits, 00.
    if (text.trimmed() == digits(LastSilo))
        return LastSilo;
    return std::nullopt;
}

} // namespace granovia::silolabel
