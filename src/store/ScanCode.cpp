#include "store/ScanCode.h"

#include "store/Connection.h"
#include "store/Schema.h"
#include "core/SiloLabel.h"
#include "store/SiloSnapshot.h"

#include <QStringList>
#include <algorithm>

namespace granovia::scancode {

namespace {

QString siloList(const QList<int> &silos)
{
    QStringList labels;
    for (int silo : silos)
        labels << silolabel::label(silo);
    return labels.join(QStringLiteral(", "));
}

} // namespace

QString siloCode(int silo)
{
    return SiloPrefix + (silo == silolabel::LastSilo ? QString::number(silo) : silolabel::digits(silo));
}

Code readCode(const QString &text)
{
    const QString code = text.trimmed();
    if (code.startsWith(SiloPrefix, Qt::CaseInsensitive)) {
        const std::optional<int> silo = silolabel::siloOfJournalText(code.mid(SiloPrefix.size()));
        if (silo && *silo >= silolabel::FirstSilo)
            return {Code::Kind::Silo, *silo, {}};
        return {};
    }
    if (code.isEmpty())
        return {};
    return {Code::Kind::Lot, 0, code};
}

QList<int> silosHoldingLot(const QList<std::pair<int, QString>> &rows, const QString &lot)
{
    QList<int> seen;
    QList<int> holding;
    for (const auto &[silo, partie] : rows) {
        if (seen.contains(silo))
            continue;
        seen << silo;
        if (partie == lot && silo >= silolabel::FirstSilo && silo <= silolabel::LastSilo)
            holding << silo;
    }
    std::sort(holding.begin(), holding.end());
    return holding;
}

QString selectJournalLot(const QString &lot, const Escape &escape)
{
    namespace j = schema::ppsilap;
    return QStringLiteral("select %1 from %2 where %3 = %4 limit 1").arg(j::Id, j::Table, j::Partie, quoted(escape, lot));
}

ScanTarget resolveScan(Connection &connection, const QString &code)
{
    const Code read = readCode(code);
    ScanTarget target{ScanTarget::Kind::Unknown, code.trimmed(), {}};
    if (read.kind == Code::Kind::Silo) {
        target.kind = ScanTarget::Kind::Silo;
        target.silos = {read.silo};
    }
    if (read.kind != Code::Kind::Lot)
        return target;
    namespace c = schema::ppsila;
    Result rows = connection.query(selectCandidates());
    QList<std::pair<int, QString>> lots;
    while (rows.next())
        lots.append({int(rows.toInt(c::Silo)), rows.toText(c::Partie)});
    target.silos = silosHoldingLot(lots, read.lot);
    if (!target.silos.isEmpty()) {
        target.kind = ScanTarget::Kind::Lot;
        return target;
    }
    Result journal = connection.query(selectJournalLot(read.lot, connection.escaper()));
    if (journal.next())
        target.kind = ScanTarget::Kind::LotNowhere;
    return target;
}

std::optional<QString> scanNotice(const ScanTarget &target)
{
    switch (target.kind) {
    case ScanTarget::Kind::Silo:
        return std::nullopt;
    case ScanTarget::Kind::Lot:
        if (target.silos.size() == 1)
            return std::nullopt;
        return QStringLiteral("Partie %1 je v několika silech: %2.\nVyberte jedno z nich.")
            .arg(target.text, siloList(target.silos));
    case ScanTarget::Kind::LotNowhere:
        return QStringLiteral("Partie %1 není v žádném silu.").arg(target.text);
    case ScanTarget::Kind::Unknown:
        break;
    }
    return QStringLiteral("Neznámý kód „%1“:\nnení to štítek sila ani partie ze skladu.").arg(target.text);
}

} // namespace granovia::scancode
