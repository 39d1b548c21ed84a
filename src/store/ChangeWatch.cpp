#include "store/ChangeWatch.h"

#include "store/Schema.h"

namespace granovia {

namespace {

const QString JournalColumn = QStringLiteral("journal");
const QString SilosColumn = QStringLiteral("silos");

// A column's stored bytes, whatever its character set and collation: columns
// of different character sets cannot be joined as text.
QString bytesOf(const QString &column)
{
    return QStringLiteral("cast(%1 as binary)").arg(column);
}

} // namespace

// Numbers enter the checksum by arithmetic and texts by CRC: formatting
// every number and date of the table as text would cost the poll more than
// all the rest. The dates are left out; a movement that changes them also
// changes stock and journal.
QString changeTokenStatement()
{
    namespace c = schema::ppsila;
    namespace j = schema::ppsilap;
    return QStringLiteral("select (select max(%1) from %2) as %3, (select concat_ws(' ', count(*), "
                          "sum(%4 * %5), sum(%4 * %6), sum(crc32(concat_ws('|', %4, %7, %8, %9, %10, %11)))) from %12) as %13")
        .arg(j::Id, j::Table, JournalColumn, c::Id, c::Stav, c::Kapacita, c::Silo, bytesOf(c::Partie), bytesOf(c::NazDru))
        .arg(bytesOf(c::NazOdru), bytesOf(c::Stupen), c::Table, SilosColumn);
}

ChangeToken readChangeToken(Connection &connection)
{
    static const QString statement = changeTokenStatement();
    Result result = connection.query(statement);
    result.next();
    return {result.toInt(JournalColumn), result.toText(SilosColumn)};
}

} // namespace granovia
