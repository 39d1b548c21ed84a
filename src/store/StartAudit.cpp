#include "store/StartAudit.h"

#include "store/DbError.h"
#include "store/Schema.h"
#include "store/WaitBudget.h"


namespace granovia {

namespace {

namespace h = schema::historiem;

bool tryOpen(Connection &connection, const ConnectionSettings &settings, std::optional<DbError> *why)
{
    try {
        connection.open(settings);
    } catch (const DbError &error) {
        if (why)
            *why = error;
        return false;
    }
    return connection.isOpen();
}

// The probe asks the first host of the list, on the probe port.
ConnectionSettings probeSettings(const ConnectionSettings &server, const QString &probePortText)
{
    ConnectionSettings probe = server;
    probe.port = parsePort(probePortText);
    probe.host = parseHostList(server.host, probe.port).constFirst().host;
    return probe;
}

int startJournalColumnCount(Connection &connection)
{
    return int(connection.query(showStartJournalColumns()).rowCount());
}

} // namespace

QString positionalStartInsert(const StartRecord &r, const Escape &e)
{
    return joinLines({
        QStringLiteral("insert into %1 values").arg(h::Table),
        QStringLiteral("(null, \"%1\",\"%2\",\"%3\",\"\",\"%4\",")
            .arg(e(r.module), e(r.workstation), e(r.centre), e(r.startTime)),
        QStringLiteral("\"%1\",\"%2\",\"%3\")").arg(e(r.ipv4), e(r.user), e(r.computer)),
    });
}

QString namedStartInsert(const StartRecord &r, const Escape &e)
{
    const auto set = [&e](const QString &column, const QString &value) {
        return QStringLiteral("%1 = \"%2\"").arg(column, e(value));
    };
    return joinLines({
        QStringLiteral("insert into %1 ").arg(h::Table),
        QStringLiteral("set %1, %2, %3,").arg(set(h::Modul, r.module), set(h::Pc, r.workstation),
                                              set(h::Stredisko, r.centre)),
        set(h::Datumcas, r.startTime) + u',',
        QStringLiteral("%1, %2, %3,").arg(set(h::Ipadr, r.ipv4), set(h::Computeruser, r.user),
                                          set(h::Computername, r.computer)),
        QStringLiteral("%1, %2=\"%3\"").arg(set(h::Mdatumcas, r.fileTime), h::Mverze, e(r.fileVersion)),
    });
}

QString showStartJournalColumns()
{
    return QStringLiteral("SHOW COLUMNS FROM ") + h::Table;
}

void writeStartRecord(Connection &connection, const StartRequest &request, const StartEnvironment &environment)
{
    StartRecord record{request.module,         request.workstation, request.centre,
                       {},                     environment.ipv4(),  environment.user(),
                       environment.computer(), environment.fileTime(), environment.fileVersion()};
    const bool positional = startJournalColumnCount(connection) == h::PositionalColumnCount;
    record.startTime = formatTimestamp(environment.now());
    const Escape escape = connection.escaper();
    connection.execute(positional ? positionalStartInsert(record, escape) : namedStartInsert(record, escape));
}

bool consql(Connection &connection, const StartRequest &request, const StartEnvironment &environment,
            StartReport *report)
{
    if (!request.probePortText.isEmpty()) {
        const ConnectionSettings probe = probeSettings(request.server, request.probePortText);
        // A server that answers on the probe port refuses this start. The
        // probe has a budget of its own: a port that swallows the attempt must
        // not leave the main attempt without time.
        const WaitBudget probeBudget(WaitBudget::Start::Fresh);
        if (tryOpen(connection, probe, nullptr)) {
            if (report)
                report->why = DbError(DbError::StartRefused, QString());
            return false;
        }
    }
    ConnectionSettings settings = request.server;
    settings.port = parsePort(request.mainPortText);
    if (!tryOpen(connection, settings, report ? &report->why : nullptr))
        return false;
    writeStartRecord(connection, request, environment);
    if (report)
        report->recordWritten = true;
    connection.execute(EmptySqlMode);
    return true;
}

} // namespace granovia
