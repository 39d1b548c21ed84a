#include "store/ChangeWatch.h"

#include "store/Schema.h"

namespace granovia {

namespace {

const QString JournalColumn = QStringLiteral("journal");
const QString SilosColumn = QStringLiteral("silos");

} // namespace

// Numbers enter the checksum by arithmetic and texts by CRC: formatting
// every number and date of the table as text would cost the poll more than
// all the rest. The dates are left out; a movement that changes them also
// changes stock and journal.
QString changeTokenStatement()
{
    namespace c = schema::ppsila;
    return QStringLiteral("select (select max(id) from ppsilap) as %1, (select concat_ws(' ', count(*), "
                          "sum(%2 * %3), sum(%2 * %4), sum(crc32(concat_ws('|', %2, %5, %6, %7, %8, %9)))) from %10) as %11")
        .arg(JournalColumn, c::Id, c::Stav, c::Kapacita, c::Silo, c::Partie, c::NazDru, c::NazOdru, c::Stupen)
        .arg(c::Table, SilosColumn);
}

ChangeToken readChangeToken(Connection &connection)
{
    static const QString statement = changeTokenStatement();
    Result result = connection.query(statement);
    result.next();
    return {result.toInt(JournalColumn), result.toText(SilosColumn)};
}

} // namespace granovia
