#include "movements/Statements.h"

#include "store/Schema.h"
#include "store/Stock.h"

#include <algorithm>

namespace granovia::movement {

namespace {

namespace s = schema::ppsila;
namespace j = schema::ppsilap;

// `column = "value"`, escaped.
QString assign(const QString &column, const Escape &escape, const QString &value)
{
    return column + QStringLiteral(" = ") + quoted(escape, value);
}

// The journal line's lot data and time, shared by transfers and removals.
QStringList journalTail(const QString &quantityText, const Lot &lot, const QString &timestamp, const Escape &e)
{
    return {
        QStringLiteral("%1 = %2,").arg(j::Mnozstvi, quantityText),
        assign(j::Partie, e, lot.partie) + u',',
        assign(j::NazDru, e, lot.druh) + u',',
        assign(j::NazOdru, e, lot.odruda) + u',',
        assign(j::Stupen, e, lot.stupen) + u',',
        assign(j::Datum, e, timestamp),
    };
}

QString countJournalLines(qint64 journalId, const QString &silo, const QString &silob, const QString &quantityText,
                          const Lot &lot, const QString &timestamp, const Escape &e)
{
    return joinLines({
        QStringLiteral("select count(*) as n from %1").arg(j::Table),
        QStringLiteral("where %1 = %2 and %3 and %4 and %5 and %6 = %7 and %8")
            .arg(j::Id, QString::number(journalId), assign(j::Datum, e, timestamp), assign(j::Silo, e, silo),
                 assign(j::Silob, e, silob), j::Mnozstvi, quantityText, assign(j::Partie, e, lot.partie)),
    });
}

// Stock that shows as none counts as none: a remainder below half a kilogram.
QString noStock()
{
    return QStringLiteral("abs(ifnull(%1, 0)) < %2").arg(s::Stav).arg(stock::Negligible);
}

QString updateSilos()
{
    return QStringLiteral("update ") + s::Table + QStringLiteral(" set");
}

} // namespace

QString siloNumberOfCaption(const QString &caption)
{
    const qsizetype colon = caption.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return {};
    return caption.mid(colon + 1).section(QLatin1Char(':'), 0, 0).trimmed();
}

QString quantityTextOf(const QString &panelText)
{
    QString text = panelText;
    return text.replace(QLatin1Char(','), QLatin1Char('.'));
}

QString journalTransfer(const TransferOrder &o, const Escape &e)
{
    QStringList lines{
        QStringLiteral("insert into %1 set").arg(j::Table),
        assign(j::Silo, e, o.sourceNumber) + u',',
        assign(j::Silob, e, o.targetNumber) + u',',
    };
    return joinLines(lines + journalTail(o.quantityText, o.lot, o.timestamp, e));
}

QString selectSourceRow(const TransferOrder &o)
{
    return QStringLiteral("select * from %1 where %2 = %3").arg(s::Table, s::Id).arg(o.sourceId);
}

QString fillDateIfEmpty(qint64 id, const QString &fillingDate, const Escape &e)
{
    return joinLines({
        updateSilos() + u' ' + assign(s::Navoz, e, fillingDate),
        QStringLiteral("where %1 and %2 = %3").arg(noStock(), s::Id).arg(id),
    });
}

QString addToSilo(qint64 id, const QString &quantityText, const Lot &lot, const QString &timestamp, const Escape &e)
{
    return joinLines({
        updateSilos() + QStringLiteral(" %1 = ifnull(%1, 0) + %2,").arg(s::Stav, quantityText),
        QStringList{assign(s::Partie, e, lot.partie), assign(s::Ppohyb, e, timestamp), assign(s::NazDru, e, lot.druh),
                    assign(s::NazOdru, e, lot.odruda), assign(s::Stupen, e, lot.stupen)}
            .join(QStringLiteral(", ")),
        QStringLiteral("where %1 = %2").arg(s::Id).arg(id),
    });
}

QString takeFromSilo(qint64 id, const QString &quantityText, const QString &timestamp, const Escape &e)
{
    return joinLines({
        updateSilos(),
        assign(s::Ppohyb, e, timestamp) + u',',
        QStringLiteral("%1 = %1 - %2").arg(s::Stav, quantityText),
        QStringLiteral("where %1 = %2").arg(s::Id).arg(id),
    });
}

QString clearIfEmpty(qint64 id)
{
    const QString empty = QStringLiteral(" = \"\"");
    const QString none = QStringLiteral(" = null");
    return joinLines({
        updateSilos(),
        QStringList{s::Partie + empty, s::Nazevosiva + empty, s::Ppohyb + none, s::Navoz + none, s::NazDru + empty,
                    s::NazOdru + empty, s::Stupen + empty}
            .join(QStringLiteral(", ")),
        QStringLiteral("where %1 and %2 = %3").arg(noStock(), s::Id).arg(id),
    });
}

QString journalRemoval(const RemovalOrder &o, const Escape &e)
{
    QStringList lines{
        QStringLiteral("insert into %1 set").arg(j::Table),
        j::Silob + QStringLiteral(" = \"\","),
        assign(j::Silo, e, o.siloNumber) + u',',
    };
    return joinLines(lines + journalTail(o.quantityText, o.lot, o.timestamp, e));
}

QString reversalMark(qint64 reversedId)
{
    return QStringLiteral("ST ") + QString::number(reversedId);
}

QString journalTransferReversal(const TransferOrder &o, qint64 reversedId, const Escape &e)
{
    QStringList lines{
        QStringLiteral("insert into %1 set").arg(j::Table),
        assign(j::Silo, e, o.sourceNumber) + u',',
        assign(j::Silob, e, o.targetNumber) + u',',
        assign(j::Cislopp, e, reversalMark(reversedId)) + u',',
    };
    return joinLines(lines + journalTail(o.quantityText, o.lot, o.timestamp, e));
}

QString journalRemovalReversal(const RemovalOrder &o, qint64 reversedId, const Escape &e)
{
    QStringList lines{
        QStringLiteral("insert into %1 set").arg(j::Table),
        j::Silob + QStringLiteral(" = \"\","),
        assign(j::Silo, e, o.siloNumber) + u',',
        assign(j::Cislopp, e, reversalMark(reversedId)) + u',',
    };
    return joinLines(lines + journalTail(o.quantityText, o.lot, o.timestamp, e));
}

QString selectJournalLine(qint64 id)
{
    return QStringLiteral("select %1, %2, %3, %4, %5, %6, %7, %8, %9 from %10 where %1 = %11")
        .arg(j::Id, j::Silo, j::Silob, j::Cislopp, j::Mnozstvi, j::Partie, j::NazDru, j::NazOdru, j::Stupen)
        .arg(j::Table)
        .arg(id);
}

QString lockJournalLine(qint64 id)
{
    return selectJournalLine(id) + QStringLiteral(" for update");
}

QString countReversals(qint64 reversedId, const Escape &e)
{
    return QStringLiteral("select count(*) as n from %1 where %2 > %3 and %4")
        .arg(j::Table, j::Id)
        .arg(reversedId)
        .arg(assign(j::Cislopp, e, reversalMark(reversedId)));
}

QString countJournalLines(const TransferOrder &o, qint64 journalId, const Escape &e)
{
    return countJournalLines(journalId, o.sourceNumber, o.targetNumber, o.quantityText, o.lot, o.timestamp, e);
}

QString countJournalLines(const RemovalOrder &o, qint64 journalId, const Escape &e)
{
    return countJournalLines(journalId, o.siloNumber, QString(), o.quantityText, o.lot, o.timestamp, e);
}

QString lockRows(const QList<qint64> &ids)
{
    QList<qint64> sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    QStringList keys;
    for (qint64 id : sorted)
        keys.append(QString::number(id));
    return QStringLiteral("select %1, %2, %3, %4, %5, %6, %7, %8 from %9 where %1 in (%10) order by %1 for update")
        .arg(s::Id, s::Silo, s::Stav, s::Kapacita, s::Partie, s::NazDru, s::NazOdru, s::Stupen, s::Table)
        .arg(keys.join(QStringLiteral(", ")));
}

QString lockTables()
{
    return QStringLiteral("lock tables %1 write, %2 write").arg(s::Table, j::Table);
}

QString transactionSupport()
{
    return QStringLiteral("select e.transactions as transactions from information_schema.tables t "
                          "join information_schema.engines e on e.engine = t.engine "
                          "where t.table_schema = database() and t.table_name in ('%1', '%2')")
        .arg(s::Table, j::Table);
}

} // namespace granovia::movement
