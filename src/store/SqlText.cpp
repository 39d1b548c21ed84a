#include "store/SqlText.h"

namespace granovia {

namespace {
const QString ServerDateFormat = QStringLiteral("yyyy-MM-dd");
const QString ServerTimeFormat = QStringLiteral("HH:mm:ss");
constexpr qsizetype ServerDateLength = 10;
constexpr qsizetype ServerTimeOffset = 11;
constexpr qsizetype ServerTimeLength = 8;
} // namespace

QString quoted(const Escape &escape, const QString &value)
{
    return u'"' + escape(value) + u'"';
}

QString formatTimestamp(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

std::optional<QDateTime> parseTimestamp(const QString &text)
{
    const QDate date = QDate::fromString(text.left(ServerDateLength), ServerDateFormat);
    const QTime time = QTime::fromString(text.mid(ServerTimeOffset, ServerTimeLength), ServerTimeFormat);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

QString joinLines(const QStringList &lines)
{
    return lines.join(QLatin1Char('\n'));
}

} // namespace granovia
