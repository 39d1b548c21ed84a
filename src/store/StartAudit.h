#pragma once

#include "store/Connection.h"
#include "store/DbError.h"
#include "store/HostList.h"
#include "store/SqlText.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

namespace granovia {

// The values of one start record in the start journal.
struct StartRecord {
    QString module;
    QString workstation;
    QString centre;
    QString startTime;
    QString ipv4;
    QString user;
    QString computer;
    QString fileTime;
    QString fileVersion;
};

// The older nine-column start journal, written by position.
QString positionalStartInsert(const StartRecord &record, const Escape &escape);
// Any other start journal, written by column name.
QString namedStartInsert(const StartRecord &record, const Escape &escape);

QString showStartJournalColumns();
// Harmless since every session starts with an empty SQL mode; kept as the
// start's last statement.
inline const QString EmptySqlMode = QStringLiteral("set sql_mode=\"\"");

// What consql takes from the machine; tests put fixed facts in its place.
struct StartEnvironment {
    std::function<QString()> ipv4;
    std::function<QString()> user;
    std::function<QString()> computer;
    std::function<QString()> fileTime;
    std::function<QString()> fileVersion;
    std::function<QDateTime()> now;
};

// Who starts: what the configuration names for the connection and the record.
struct StartRequest {
    ConnectionSettings server; // host, user, password, database; the port comes from the texts
    QString mainPortText;
    QString probePortText;
    QString module;
    QString centre;
    QString workstation;
};

// Writes the start record on an open connection. Throws DbError.
void writeStartRecord(Connection &connection, const StartRequest &request, const StartEnvironment &environment);

// Opens the connection and writes the start record. False when no connection
// was made or the start was refused by the probe; nothing is written then.
// The probe asks the first host of the list. A port text that is no integer
// throws ConversionError, and a failing statement after the connection was
// made throws DbError.
struct StartReport {
    // Why no connection was made: the failure of the main attempt, or
    // DbError::StartRefused.
    std::optional<DbError> why;
    // Whether the start record was written before a failure that followed it.
    bool recordWritten = false;
};
bool consql(Connection &connection, const StartRequest &request, const StartEnvironment &environment,
            StartReport *report = nullptr);

} // namespace granovia
