#include "store/Connection.h"

#include "store/DbError.h"

#include <mysqld_error.h>
#include <optional>

// Which host a session is made on: the hosts of the list in their order,
// beginning with the one that worked last, and on a Galera node, whether it
// is ready for work.
namespace granovia {

namespace {

// A server without Galera has no wsrep_on, or has it OFF.
const QByteArray WsrepOn = QByteArrayLiteral("show global variables like 'wsrep_on'");
const QByteArray WsrepReady = QByteArrayLiteral("show status like 'wsrep_ready'");
const QByteArray CausalReads = QByteArrayLiteral("set session wsrep_sync_wait = 1");
const QString StatusValue = QStringLiteral("Value");
const QString StatusOn = QStringLiteral("ON");

} // namespace

// Tries the hosts in their order, beginning with the one that worked last.
// When none answers, the most telling failure is reported: a server's answer
// (a refused log-in, no such database, a certificate) over silence.
void Connection::connect()
{
    std::optional<DbError> failure;
    const qsizetype count = m_hosts.size();
    for (qsizetype tried = 0; tried < count; ++tried) {
        const qsizetype index = (m_firstHost + tried) % count;
        try {
            connectTo(m_hosts.at(index));
            m_firstHost = index;
            return;
        } catch (const DbError &error) {
            m_handle.reset();
            if (error.code() == DbError::TimeLimitReached) {
                // The next attempt goes on with the hosts this one did not get to.
                m_firstHost = (index + 1) % count;
                throw;
            }
            if (!failure || (failure->isSilence() && !error.isSilence()))
                failure = error;
        }
    }
    throw *failure;
}

// Where the server is a Galera node: one that is not ready for work counts as
// down, and reads on one that is wait until it has caught up with the cluster.
void Connection::joinCluster()
{
    Result replication = read(WsrepOn);
    if (!replication.next() || replication.toText(StatusValue) != StatusOn)
        return;
    Result ready = read(WsrepReady);
    m_clusterNode = true;
    if (!ready.next() || ready.toText(StatusValue) != StatusOn)
        throw DbError(ER_UNKNOWN_COM_ERROR, QStringLiteral("The cluster node is not ready (wsrep_ready %1)")
                                                .arg(ready.toText(StatusValue)));
    read(CausalReads);
}

void Connection::reconnect()
{
    try {
        connect();
    } catch (const DbError &error) {
        if (error.code() == DbError::TimeLimitReached)
            throw;
        throw DbError(DbError::Unreachable, error.serverMessage());
    }
}

bool Connection::nodeReady()
{
    // The question's own failure is not asked about again.
    m_clusterNode = false;
    try {
        Result ready = read(WsrepReady);
        m_clusterNode = ready.next() && ready.toText(StatusValue) == StatusOn;
    } catch (const DbError &) {
        // Whatever failed, the node is of no use.
    }
    return m_clusterNode;
}

} // namespace granovia
