#include "config/NumberFormat.h"

#include <cmath>

namespace granovia::numbers {

namespace {
constexpr int GeneralSignificantDigits = 15;
}

const QLocale &decimalComma()
{
    static const QLocale locale = [] {
        QLocale czech(QLocale::Czech, QLocale::CzechRepublic);
        czech.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
        return czech;
    }();
    return locale;
}

void installDecimalComma()
{
    QLocale::setDefault(decimalComma());
}

std::optional<double> parse(const QString &text)
{
    bool ok = false;
    const double value = decimalComma().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString fixed(long double value, int decimals)
{
    return decimalComma().toString(double(value), 'f', decimals);
}

QString general(long double value)
{
    return decimalComma().toString(double(value), 'g', GeneralSignificantDigits);
}

QString dateTimeText(const QDateTime &time)
{
    if (!time.isValid())
        return {};
    const QString date = time.date().toString(QStringLiteral("d.M.yyyy"));
    if (time.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + time.time().toString(QStringLiteral("H:mm:ss"));
}

} // namespace granovia::numbers
