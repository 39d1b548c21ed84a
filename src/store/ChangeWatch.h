#pragma once

#include "store/Connection.h"

#include <QString>

namespace granovia {

// What a workstation compares from one look at the database to the next: the
// journal's newest line and a checksum over the silo rows' keys, stock,
// capacity and lot columns. Equal tokens mean that no movement was made.
struct ChangeToken {
    qint64 journalTop = 0;
    QString silos;
    bool operator==(const ChangeToken &) const = default;
};

// One small statement for the token. Hand edits of older journal lines and
// of the dates alone do not count; every movement adds a line and changes
// the stock of its silos.
QString changeTokenStatement();

// Throws DbError.
ChangeToken readChangeToken(Connection &connection);

} // namespace granovia
