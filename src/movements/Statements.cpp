#include "movements/Statements.h"

#include <algorithm>

namespace granovia::movement {

namespace {

QString quoted(const Escape &escape, const QString &value)
{
    return QLatin1Char('"') + escape(value) + QLatin1Char('"');
}

// The journal line's lot data and time, shared by transfers and removals.
QStringList journalTail(const QString &quantityText, const Lot &lot, const QString &timestamp, const Escape &e)
{
    return {
        QStringLiteral("mnozstvi = %1,").arg(quantityText),
        QStringLiteral("partie = %1,").arg(quoted(e, lot.partie)),
        QStringLiteral("naz_dru = %1,").arg(quoted(e, lot.druh)),
        QStringLiteral("naz_odru = %1,").arg(quoted(e, lot.odruda)),
        QStringLiteral("stupen = %1,").arg(quoted(e, lot.stupen)),
        QStringLiteral("datum = %1").arg(quoted(e, timestamp)),
    };
}

QString countJournalLines(const QString &silo, const QString &silob, const QString &quantityText, const Lot &lot,
                          const QString &timestamp, const Escape &e)
{
    return joinLines({
        QStringLiteral("select count(*) as n from ppsilap"),
        QStringLiteral("where datum = %1 and silo = %2 and silob = %3 and mnozstvi = %4 and partie = %5")
            .arg(quoted(e, timestamp), quoted(e, silo), quoted(e, silob), quantityText, quoted(e, lot.partie)),
    });
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
        QStringLiteral("insert into ppsilap set"),
        QStringLiteral("silo = %1,").arg(quoted(e, o.sourceNumber)),
        QStringLiteral("silob = %1,").arg(quoted(e, o.targetNumber)),
    };
    return joinLines(lines + journalTail(o.quantityText, o.lot, o.timestamp, e));
}

QString selectSourceRow(const TransferOrder &o)
{
    return QStringLiteral("select * from ppsila where id = %1").arg(o.sourceId);
}

QString fillTargetDate(const TransferOrder &o, const QString &fillingDate, const Escape &e)
{
    return joinLines({
        QStringLiteral("update ppsila set navoz = %1").arg(quoted(e, fillingDate)),
        QStringLiteral("where ifnull(stav, 0) = 0 and id = %1").arg(o.targetId),
    });
}

QString addToTarget(const TransferOrder &o, const Escape &e)
{
    return joinLines({
        QStringLiteral("update ppsila set stav = ifnull(stav, 0) + %1,").arg(o.quantityText),
        QStringLiteral("partie = %1, ppohyb = %2, naz_dru = %3, naz_odru = %4, stupen = %5")
            .arg(quoted(e, o.lot.partie), quoted(e, o.timestamp), quoted(e, o.lot.druh), quoted(e, o.lot.odruda),
                 quoted(e, o.lot.stupen)),
        QStringLiteral("where id = %1").arg(o.targetId),
    });
}

QString takeFromSilo(qint64 id, const QString &quantityText, const QString &timestamp, const Escape &e)
{
    return joinLines({
        QStringLiteral("update ppsila set"),
        QStringLiteral("ppohyb = %1,").arg(quoted(e, timestamp)),
        QStringLiteral("stav = stav - %1").arg(quantityText),
        QStringLiteral("where id = %1").arg(id),
    });
}

QString clearIfEmpty(qint64 id)
{
    return joinLines({
        QStringLiteral("update ppsila set"),
        QStringLiteral("partie = \"\", nazevosiva = \"\", ppohyb = null, navoz = null, naz_dru = \"\", "
                       "naz_odru = \"\", stupen = \"\""),
        QStringLiteral("where stav = 0 and id = %1").arg(id),
    });
}

QString journalRemoval(const RemovalOrder &o, const Escape &e)
{
    QStringList lines{
        QStringLiteral("insert into ppsilap set"),
        QStringLiteral("silob = \"\","),
        QStringLiteral("silo = %1,").arg(quoted(e, o.siloNumber)),
    };
    return joinLines(lines + journalTail(o.quantityText, o.lot, o.timestamp, e));
}

QString countJournalLines(const TransferOrder &o, const Escape &e)
{
    return countJournalLines(o.sourceNumber, o.targetNumber, o.quantityText, o.lot, o.timestamp, e);
}

QString countJournalLines(const RemovalOrder &o, const Escape &e)
{
    return countJournalLines(o.siloNumber, QString(), o.quantityText, o.lot, o.timestamp, e);
}

QString lockRows(const QList<qint64> &ids)
{
    QList<qint64> sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    QStringList keys;
    for (qint64 id : sorted)
        keys.append(QString::number(id));
    return QStringLiteral("select id, stav, kapacita, partie from ppsila where id in (%1) order by id for update")
        .arg(keys.join(QStringLiteral(", ")));
}

} // namespace granovia::movement
