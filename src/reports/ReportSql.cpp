#include "reports/ReportSql.h"

#include "journal/JournalLine.h"
#include "store/Schema.h"
#include "core/SiloLabel.h"

#include <QStringList>

namespace granovia::reports {

namespace {

namespace j = schema::ppsilap;
namespace s = schema::ppsila;

const QString TimeOfDayStart = QStringLiteral(" 00:00:00");

QString dayStart(const QDate &day)
{
    return u'"' + day.toString(QStringLiteral("yyyy-MM-dd")) + TimeOfDayStart + u'"';
}

using journal::LineKind;

QString isKind(LineKind kind)
{
    return u'(' + journal::kindCondition(kind) + u')';
}

// Lots compare exactly, as the movements compare them: letter case and
// trailing blanks count. The comparison under the column's own collation
// stays, so that an index on partie serves it.
const QString ExactCollation = QStringLiteral(" collate utf8mb4_nopad_bin");

QString sameLot(const Escape &escape, const QString &lot)
{
    const QString value = quoted(escape, lot);
    return QStringLiteral("%1 = %2 and %1 = %2%3").arg(j::Partie, value, ExactCollation);
}

QString inList(const Escape &escape, const QStringList &values)
{
    QStringList items;
    for (const QString &value : values)
        items.append(quoted(escape, value));
    return QStringLiteral("(%1)").arg(items.join(QStringLiteral(", ")));
}

// LIKE's own wildcards in a lot name stand for themselves.
QString likePrefix(const QString &prefix)
{
    QString pattern = prefix;
    pattern.replace(u'\\', QStringLiteral("\\\\")).replace(u'%', QStringLiteral("\\%")).replace(u'_', QStringLiteral("\\_"));
    return pattern + u'%';
}

QString columns()
{
    return journal::lineColumns().join(QStringLiteral(", "));
}

// Lines of this module: those of other modules have no silo.
QString ofThisModule()
{
    return journal::ofThisModule();
}

QString lotCondition(const JournalFilter &filter, const Escape &escape)
{
    if (!filter.lotPrefix)
        return sameLot(escape, filter.lot);
    const QString pattern = quoted(escape, likePrefix(filter.lot));
    return QStringLiteral("%1 like %2 and %1 like %2%3").arg(j::Partie, pattern, ExactCollation);
}

QString filterConditions(const JournalFilter &filter, const Escape &escape)
{
    QStringList conditions{ofThisModule()};
    if (filter.silo) {
        const QString texts = inList(escape, journalTextsOf(*filter.silo));
        conditions.append(QStringLiteral("(%1 in %2 or %3 in %2)").arg(j::Silo, texts, j::Silob));
    }
    if (!filter.lot.isEmpty())
        conditions.append(lotCondition(filter, escape));
    if (filter.from)
        conditions.append(QStringLiteral("%1 >= %2").arg(j::Datum, dayStart(*filter.from)));
    if (filter.to)
        conditions.append(QStringLiteral("%1 < %2").arg(j::Datum, dayStart(filter.to->addDays(1))));
    if (filter.upToId)
        conditions.append(QStringLiteral("%1 <= %2").arg(j::Id).arg(*filter.upToId));
    return conditions.join(QStringLiteral(" and "));
}

QString selectLines(const QString &where)
{
    return QStringLiteral("select %1 from %2 where %3").arg(columns(), j::Table, where);
}

// One silo's newest line up to, or oldest line after, the moment, through
// one column: each text on its own, so that an index on (column, datum)
// finds it at once.
QString lineOfSilo(const QString &column, const QString &text, int silo, const QString &timeCondition,
                   const QString &order, const Escape &escape)
{
    return QStringLiteral("(select %1, %2 as %3 from %4 where %5 = %6 and %7 and %8 order by %9 limit 1)")
        .arg(columns(), QString::number(silo), ForSiloColumn, j::Table, column, quoted(escape, text), ofThisModule(),
             timeCondition, order);
}

QString linesOfSilos(const QList<SiloTexts> &silos, const QString &timeCondition, const QString &order,
                     const Escape &escape)
{
    QStringList parts;
    for (const SiloTexts &silo : silos) {
        for (const QString &text : silo.texts) {
            parts.append(lineOfSilo(j::Silo, text, silo.silo, timeCondition, order, escape));
            parts.append(lineOfSilo(j::Silob, text, silo.silo, timeCondition, order, escape));
        }
    }
    return parts.join(QStringLiteral("\nunion all\n"));
}

QString newestFirst()
{
    return QStringLiteral("%1 desc, %2 desc").arg(j::Datum, j::Id);
}

QString oldestFirst()
{
    return QStringLiteral("%1, %2").arg(j::Datum, j::Id);
}

} // namespace

QStringList journalTextsOf(int silo)
{
    const QString digits = silolabel::digits(silo);
    const QString plain = QString::number(silo);
    return digits == plain ? QStringList{digits} : QStringList{digits, plain};
}

QString journalConditions(const JournalFilter &filter, const Escape &escape)
{
    return filterConditions(filter, escape);
}

QString journalTotalsStatement(const JournalFilter &filter, const Escape &escape)
{
    QString incoming = isKind(LineKind::Intake);
    QString outgoing = isKind(LineKind::Removal);
    if (filter.silo) {
        const QString texts = inList(escape, journalTextsOf(*filter.silo));
        incoming = QStringLiteral("%1 and %2 in %3 or %4 and %5 in %3")
                       .arg(isKind(LineKind::Transfer), j::Silob, texts, isKind(LineKind::Intake), j::Silo);
        outgoing = QStringLiteral("(%1 or %2) and %3 in %4")
                       .arg(isKind(LineKind::Transfer), isKind(LineKind::Removal), j::Silo, texts);
    }
    return joinLines({
        QStringLiteral("select count(*) as %1,").arg(LinesColumn),
        QStringLiteral("ifnull(sum(if(%1, %2, 0)), 0) as %3,").arg(incoming, j::Mnozstvi, IncomingColumn),
        QStringLiteral("ifnull(sum(if(%1, %2, 0)), 0) as %3").arg(outgoing, j::Mnozstvi, OutgoingColumn),
        QStringLiteral("from %1 where %2").arg(j::Table, filterConditions(filter, escape)),
    });
}

QString newestJournalIdStatement()
{
    return QStringLiteral("select ifnull(max(%1), 0) as %1 from %2").arg(j::Id, j::Table);
}

QString lotLinesStatement(const QString &lot, const Escape &escape)
{
    return selectLines(QStringLiteral("%1 and %2").arg(ofThisModule(), sameLot(escape, lot)))
        + QStringLiteral(" order by %1").arg(oldestFirst());
}

QString lotHoldersStatement(const QString &lot, const Escape &escape)
{
    const QString exact = quoted(escape, lot);
    return QStringLiteral("select %1, %2, %3, %4, %5, %6, %7, %8, (select count(*) from %9 o where o.%2 = s.%2) as %13 "
                          "from %9 s where s.%10 = %11 and s.%10 = %11%12 and ifnull(%3, 0) <> 0 "
                          "and s.%1 = (select min(o.%1) from %9 o where o.%2 = s.%2) order by %2, %1")
        .arg(s::Id, s::Silo, s::Stav, s::Kapacita, s::NazDru, s::NazOdru, s::Stupen, s::Navoz, s::Table)
        .arg(s::Partie, exact, ExactCollation, SiloRowsColumn);
}

QString silosNowStatement()
{
    return QStringLiteral("select %1, %2, %3, %4, %5, %6, %7, %8 from %9 order by %2, %1")
        .arg(s::Id, s::Silo, s::Stav, s::Kapacita, s::Partie, s::NazDru, s::NazOdru, s::Stupen, s::Table);
}

QString changesAfterStatement(const QString &moment)
{
    return joinLines({
        QStringLiteral("select %1, %2, %3 as %4, sum(%5) as %5 from %6")
            .arg(j::Silo, j::Silob, journal::kindCodeExpression(), KindColumn, j::Mnozstvi, j::Table),
        QStringLiteral("where %1 and %2 > \"%3\" group by %4, %5, %6")
            .arg(ofThisModule(), j::Datum, moment, j::Silo, j::Silob, KindColumn),
    });
}

QString lastLinesAtStatement(const QString &moment, const QList<SiloTexts> &silos, const Escape &escape)
{
    return linesOfSilos(silos, QStringLiteral("%1 <= \"%2\"").arg(j::Datum, moment), newestFirst(), escape);
}

QString firstLinesAfterStatement(const QString &moment, const QList<SiloTexts> &silos, const Escape &escape)
{
    return linesOfSilos(silos, QStringLiteral("%1 > \"%2\"").arg(j::Datum, moment), oldestFirst(), escape);
}

QString killQueryStatement(unsigned long threadId)
{
    return QStringLiteral("kill query %1").arg(threadId);
}

QString statementProgressStatement(unsigned long threadId)
{
    return QStringLiteral("select progress from information_schema.processlist where id = %1").arg(threadId);
}

} // namespace granovia::reports
