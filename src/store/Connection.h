#pragma once

#include "store/HostList.h"
#include "store/NonBlocking.h"
#include "store/Result.h"
#include "store/SqlText.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <memory>
#include <mysql.h>
#include <optional>

namespace granovia {

struct ConnectionSettings {
    // One host, or several separated by commas (parseHostList).
    QString host;
    // The port of a host that names none.
    unsigned int port = 3306;
    QString user;
    QString password;
    QString database;
    // Only over TLS, with the server's certificate and the host's name or
    // address verified against the CA certificates in tlsCaFile (an
    // absolute path; the system's CAs when it is empty).
    bool tlsOnly = false;
    QString tlsCaFile{};
};

// The one connection to the shared database, over MariaDB Connector/C. Text
// travels as UTF-8 (utf8mb4), so that no character is lost on the way; the
// server converts for each column. Every failure throws DbError with the
// server's error number and message.
//
// The session is always TCP to host:port, and it is set up before its first
// statement: empty SQL mode, utf8mb4, short lock waits. Nothing blocks for
// longer than the running WaitBudget allows: the library is driven without
// blocking, and a call that runs out of time abandons the session. A session
// found lost is replaced, with the same settings, at the next use.
//
// Without TLS, a server that asks for the password in clear text gets none.
//
// With several hosts (the nodes of a Galera cluster), a session is made on
// the first of them that answers, trying them in their order from the one
// that worked last; a node that is not ready for work (cut off from the
// cluster's majority) counts as down. On a cluster node every read waits
// until the node has applied what the cluster committed before it, so that
// a movement committed through a node that died is seen on the next.
class Connection final {
public:
    // Connecting gives up after this long, so that an unreachable host cannot
    // freeze the start for long.
    static constexpr unsigned int ConnectTimeoutSeconds = 5;
    // With several hosts, one that has not answered after this long is
    // passed over for the next.
    static constexpr unsigned int HostAnswerSeconds = 2;
    // The session's lock waits: three tries of a movement fit the wait budget.
    static constexpr unsigned int LockWaitSeconds = 2;
    static constexpr std::chrono::milliseconds BusyAfter = nonblocking::BusyAfter;
    using BusyIndicator = nonblocking::BusyIndicator;

    Connection();
    ~Connection();
    Q_DISABLE_COPY_MOVE(Connection)

    // Opens a new session with these settings, closing any previous one.
    // Throws ConversionError for a host whose port is no port.
    void open(const ConnectionSettings &settings);
    // Opens a session with the other connection's settings, beginning with
    // the host that the other works on.
    void openLike(const Connection &other);
    // Opens a new session with the settings it has, beginning with the host
    // it worked on last.
    void reopen();
    // The session, made if there is none: again from the host it worked on
    // last once it has had settings, else by first (open() or openLike()).
    // For a view that polls on a session of its own. Throws DbError.
    Connection &ensureOpen(const std::function<void(Connection &)> &first);
    // A session is there; it may still turn out lost at its next use.
    bool isOpen() const;
    void close();
    const ConnectionSettings &settings() const { return m_settings; }

    // Sent once: a session lost on the way is reported, never sent again.
    void execute(const QString &statement);
    // A read: a session found lost is replaced and the read made again,
    // unless a transaction or table locks were open on it.
    Result query(const QString &statement);

    // The key the last insert on this session gave its row; 0 without a session.
    qint64 lastInsertId() const;

    // Escapes a value for use between quotes in a statement, under the
    // connection's character set.
    QString escape(const QString &value);
    Escape escaper();

    void setBusyIndicator(BusyIndicator indicator) { m_busy = std::move(indicator); }
    // Each call on this connection may wait this long, instead of spending
    // the operator's wait budget: for reports, which have time of their own.
    // Takes effect at the next open().
    void setWaitLimit(std::chrono::seconds limit) { m_waitLimit = limit; }
    // The server's id of the last session made (for KILL QUERY from another
    // session); 0 before the first. Safe to read from any thread.
    unsigned long threadId() const { return m_threadId; }
    // Table locks live on their session as a transaction does: while they
    // are held, a session found lost is reported, never replaced.
    void setHoldingTableLocks(bool holding) { m_holdingTableLocks = holding; }

private:
    struct Close {
        void operator()(MYSQL *handle) const { mysql_close(handle); }
    };
    MYSQL *handle();
    bool sessionBound() const { return m_inTransaction || m_holdingTableLocks; }
    void connect();
    void connectTo(const ServerAddress &address);
    void joinCluster();
    bool nodeReady();
    void reconnect();
    // Drops a session that is gone or was abandoned; the next use replaces it.
    void lose();
    [[noreturn]] void fail(const QByteArray &statement);
    void send(const QByteArray &statement);
    MYSQL_RES *storeResult(const QByteArray &statement);
    Result read(const QByteArray &statement);

    friend class Transaction;

    std::unique_ptr<MYSQL, Close> m_handle;
    ConnectionSettings m_settings;
    QList<ServerAddress> m_hosts{ServerAddress{}};
    qsizetype m_firstHost = 0;
    bool m_lost = false;
    // open() or openLike() gave it settings: reopen() can make a session.
    bool m_hasSettings = false;
    // The session is on a Galera node.
    bool m_clusterNode = false;
    // A transaction lives on its session: it is never carried to a new one.
    bool m_inTransaction = false;
    bool m_holdingTableLocks = false;
    BusyIndicator m_busy;
    std::optional<std::chrono::seconds> m_waitLimit;
    std::atomic<unsigned long> m_threadId = 0;
};

// Rolls the open transaction back when it goes out of scope uncommitted.
class Transaction final {
public:
    // ReadSnapshot reads only, and every read sees the database as it was
    // at the start: the rows and totals of a report belong to one moment.
    enum class Mode { ReadWrite, ReadSnapshot };
    explicit Transaction(Connection &connection, Mode mode = Mode::ReadWrite);
    ~Transaction();
    Q_DISABLE_COPY_MOVE(Transaction)
    // A session lost while the COMMIT was under way leaves the outcome open:
    // DbError::CommitUnanswered, or OutcomeUnknown when time ran out.
    void commit();

private:
    Connection &m_connection;
    bool m_done = false;
};

} // namespace granovia
