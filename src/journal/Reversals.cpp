#include "journal/Reversals.h"

#include "store/Connection.h"
#include "store/Schema.h"
#include "store/Stock.h"

#include <QRegularExpression>
#include <cmath>

namespace granovia::journal {

namespace {

namespace j = schema::ppsilap;

const QString MarkPrefix = QStringLiteral("ST ");

bool sameQuantity(double a, double b)
{
    return std::fabs(a - b) < stock::Negligible;
}

} // namespace

QString reversalMark(qint64 reversedId)
{
    return MarkPrefix + QString::number(reversedId);
}

std::optional<qint64> markedLineOf(const JournalLine &line)
{
    static const QRegularExpression mark(QStringLiteral("^ST ([1-9][0-9]{0,17})$"));
    const QRegularExpressionMatch match = mark.match(line.documentText());
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toLongLong();
}

bool reverses(const JournalLine &reversal, const JournalLine &line)
{
    if (markedLineOf(reversal) != line.id || reversal.id <= line.id || reversal.lot.partie != line.lot.partie
        || !sameQuantity(reversal.mnozstvi, line.mnozstvi) || !canBeReversed(line))
        return false;
    if (line.kind() == LineKind::Removal)
        return reversal.kind() == LineKind::Intake && reversal.targetSilo() == line.sourceSilo();
    return reversal.kind() == LineKind::Transfer && reversal.sourceSilo() == line.targetSilo()
        && reversal.targetSilo() == line.sourceSilo();
}

bool canBeReversed(const JournalLine &line)
{
    const LineKind kind = line.kind();
    if ((kind != LineKind::Transfer && kind != LineKind::Removal) || !std::isfinite(line.mnozstvi)
        || line.mnozstvi <= 0)
        return false;
    const std::optional<int> source = line.sourceSilo();
    if (!source)
        return false;
    if (kind == LineKind::Removal)
        return true;
    const std::optional<int> target = line.targetSilo();
    return target && *target != *source;
}

QString linesStatement(const QList<qint64> &ids)
{
    QStringList keys;
    for (qint64 id : ids)
        keys.append(QString::number(id));
    return QStringLiteral("select %1 from %2 where %3 in (%4)")
        .arg(lineColumns().join(QStringLiteral(", ")), j::Table, j::Id, keys.join(QStringLiteral(", ")));
}

QString markedLinesStatement(qint64 lineId, const Escape &escape)
{
    return QStringLiteral("select %1 from %2 where %3 > %4 and %5 = \"%6\"")
        .arg(lineColumns().join(QStringLiteral(", ")), j::Table, j::Id)
        .arg(lineId)
        .arg(j::Cislopp, escape(reversalMark(lineId)));
}

QList<qint64> ReversalMarks::note(const JournalLine &line)
{
    if (const std::optional<qint64> marked = markedLineOf(line); marked && !m_reversals.contains(line.id))
        m_open[*marked].append(line);
    QList<qint64> settled;
    for (const JournalLine &candidate : m_open.take(line.id)) {
        if (reverses(candidate, line)) {
            m_reversed.insert(line.id);
            m_reversals.insert(candidate.id);
            settled << line.id << candidate.id;
        }
    }
    return settled;
}

QList<qint64> ReversalMarks::resolve(Connection &connection)
{
    if (m_open.isEmpty())
        return {};
    const QList<qint64> named = m_open.keys();
    Result result = connection.query(linesStatement(named));
    QList<qint64> settled;
    while (result.next())
        settled += note(readLine(result));
    // A mark that names no line is no reversal.
    for (qint64 id : named)
        m_open.remove(id);
    return settled;
}

} // namespace granovia::journal
