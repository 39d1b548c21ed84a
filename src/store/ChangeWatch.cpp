#include "store/ChangeWatch.h"

#include "store/Schema.h"

#include <QStringList>

namespace granovia {

namespace {

const QString JournalColumn = QStringLiteral("journal");
const QString SilosColumn = QStringLiteral("silos");

} // namespace

QString changeTokenStatement()
{
    namespace c = schema::ppsila;
    // quote() tells NULL from the empty text and keeps each value apart.
    QStringList values;
    for (const QString &column : {c::Silo, c::Stav, c::Kapacita, c::Partie, c::NazDru, c::NazOdru, c::Stupen, c::Navoz,
                                  c::Ppohyb})
        values.append(QStringLiteral("quote(%1)").arg(column));
    return QStringLiteral("select (select max(id) from ppsilap) as %1, "
                          "(select sum(crc32(concat_ws('|', %2, %3))) from %4) as %5")
        .arg(JournalColumn, c::Id, values.join(QStringLiteral(", ")), c::Table, SilosColumn);
}

ChangeToken readChangeToken(Connection &connection)
{
    Result result = connection.query(changeTokenStatement());
    result.next();
    return {result.toInt(JournalColumn), result.toText(SilosColumn)};
}

} // namespace granovia
