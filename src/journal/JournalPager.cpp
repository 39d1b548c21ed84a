#include "journal/JournalPager.h"

#include "store/Schema.h"

namespace granovia::journal {

namespace {

namespace j = schema::ppsilap;

} // namespace

JournalPager::JournalPager(QString selectList, QString conditions)
    : m_select(std::move(selectList))
    , m_conditions(std::move(conditions))
{
}

QString JournalPager::nextStatement(int limit, const Escape &escape) const
{
    QString where = m_conditions;
    QString order;
    switch (m_stage) {
    case Stage::Dated:
        where += QStringLiteral(" and %1 is not null").arg(j::Datum);
        if (m_after) {
            const QString datum = u'"' + escape(m_after->datum) + u'"';
            where += QStringLiteral(" and %1 <= %2 and (%1 < %2 or %3 < %4)").arg(j::Datum, datum, j::Id).arg(m_after->id);
        }
        order = QStringLiteral("%1 desc, %2 desc").arg(j::Datum, j::Id);
        break;
    case Stage::Undated:
        where += QStringLiteral(" and %1 is null").arg(j::Datum);
        if (m_belowId)
            where += QStringLiteral(" and %1 < %2").arg(j::Id).arg(*m_belowId);
        order = QStringLiteral("%1 desc").arg(j::Id);
        break;
    case Stage::Done:
        return {};
    }
    return QStringLiteral("select %1 from %2 where %3 order by %4 limit %5")
        .arg(m_select, j::Table, where, order)
        .arg(limit);
}

void JournalPager::pageRead(qsizetype rows, int limit, const QString &lastDatum, qint64 lastId)
{
    const bool last = rows < limit;
    if (m_stage == Stage::Dated) {
        if (rows > 0)
            m_after = Key{lastDatum, lastId};
        if (last)
            m_stage = Stage::Undated;
        return;
    }
    if (rows > 0)
        m_belowId = lastId;
    if (last)
        m_stage = Stage::Done;
}

bool JournalPager::covers(const std::optional<QString> &datum, qint64 id) const
{
    if (!datum)
        return m_stage == Stage::Done || (m_belowId && id > *m_belowId);
    if (m_stage != Stage::Dated)
        return true;
    return m_after && (*datum > m_after->datum || (*datum == m_after->datum && id > m_after->id));
}

} // namespace granovia::journal
