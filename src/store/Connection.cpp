#include "store/Connection.h"

#include "store/Cp1250.h"
#include "store/DbError.h"
#include "store/SessionSecurity.h"
#include "store/WaitBudget.h"

#include <errmsg.h>
#include <mysqld_error.h>
#include <mutex>

namespace granovia {

namespace {

using nonblocking::Clock;

// The library's own read and write time-outs back up the wait budget; they
// never end a wait the budget would still allow.
constexpr unsigned int IoTimeoutSeconds =
    unsigned(std::chrono::ceil<std::chrono::seconds>(WaitBudget::Total).count());

// Run by the library right after connecting, before any statement of ours.
// Single quotes, because a global ANSI_QUOTES reads "" as a name.
QByteArray sessionSetUp()
{
    return QByteArrayLiteral("set session sql_mode = '', innodb_lock_wait_timeout = %1, lock_wait_timeout = %1")
        .replace("%1", QByteArray::number(Connection::LockWaitSeconds));
}

// Non-blocking, over TCP, set up before the first statement of ours.
void setOptions(MYSQL *mysql, unsigned int connectTimeout, unsigned int ioTimeout)
{
    const unsigned int tcp = MYSQL_PROTOCOL_TCP;
    mysql_options(mysql, MYSQL_OPT_NONBLOCK, nullptr);
    mysql_options(mysql, MYSQL_OPT_CONNECT_TIMEOUT, &connectTimeout);
    mysql_options(mysql, MYSQL_OPT_READ_TIMEOUT, &ioTimeout);
    mysql_options(mysql, MYSQL_OPT_WRITE_TIMEOUT, &ioTimeout);
    // "localhost" would otherwise mean the default Unix socket, whatever the port.
    mysql_options(mysql, MYSQL_OPT_PROTOCOL, &tcp);
    mysql_options(mysql, MYSQL_SET_CHARSET_NAME, wire::Charset);
    // The library copies the text.
    mysql_options(mysql, MYSQL_INIT_COMMAND, sessionSetUp().constData());
}

void initLibraryOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { mysql_library_init(0, nullptr, nullptr); });
}

} // namespace

Connection::Connection()
{
    initLibraryOnce();
}

Connection::~Connection() = default;

void Connection::open(const ConnectionSettings &settings)
{
    close();
    m_hosts = parseHostList(settings.host, settings.port);
    m_firstHost = 0;
    m_settings = settings;
    m_hasSettings = true;
    reopen();
}

void Connection::openLike(const Connection &other)
{
    close();
    m_hosts = other.m_hosts;
    m_firstHost = other.m_firstHost;
    m_settings = other.m_settings;
    m_hasSettings = true;
    reopen();
}

Connection &Connection::ensureOpen(const std::function<void(Connection &)> &first)
{
    if (isOpen())
        return *this;
    if (m_hasSettings)
        reopen();
    else
        first(*this);
    return *this;
}

void Connection::reopen()
{
    close();
    const WaitBudget budget;
    connect();
}

void Connection::connectTo(const ServerAddress &address)
{
    std::unique_ptr<MYSQL, Close> handle(mysql_init(nullptr));
    if (!handle)
        throw DbError(CR_OUT_OF_MEMORY, QStringLiteral("Out of memory"));
    MYSQL *mysql = handle.get();
    const bool several = m_hosts.size() > 1;
    setOptions(mysql, several ? HostAnswerSeconds : ConnectTimeoutSeconds,
               m_waitLimit ? unsigned(m_waitLimit->count()) : IoTimeoutSeconds);
    security::secureLogIn(mysql, m_settings.tlsOnly, m_settings.tlsCaFile);

    // The credentials stay the bytes of the INI files they come from.
    const QByteArray host = cp1250::encode(address.host);
    const QByteArray user = cp1250::encode(m_settings.user);
    const QByteArray password = cp1250::encode(m_settings.password);
    const QByteArray database = cp1250::encode(m_settings.database);
    MYSQL *connected = nullptr;
    const int status = mysql_real_connect_start(&connected, mysql, host.constData(), user.constData(),
                                                password.constData(), database.isEmpty() ? nullptr : database.constData(),
                                                address.port, nullptr, 0);
    const Clock::time_point answerBy = several ? Clock::now() + std::chrono::seconds(HostAnswerSeconds) : Clock::time_point::max();
    const auto more = [&](int events) { return mysql_real_connect_cont(&connected, mysql, events); };
    if (!nonblocking::drive(mysql, status, more, m_busy, m_waitLimit, answerBy)) {
        if (WaitBudget::current().left() <= std::chrono::nanoseconds::zero())
            throw DbError(DbError::TimeLimitReached, QStringLiteral("Connecting to %1 timed out").arg(address.host));
        throw DbError(CR_CONN_HOST_ERROR, QStringLiteral("No answer from %1:%2 within %3 s")
                                              .arg(address.host).arg(address.port).arg(HostAnswerSeconds));
    }
    if (!connected)
        throw security::connectError(mysql, m_settings.tlsOnly);
    m_handle = std::move(handle);
    m_threadId = mysql_thread_id(mysql);
    m_lost = false;
    m_clusterNode = false;
    joinCluster();
}

bool Connection::isOpen() const
{
    return m_handle != nullptr;
}

void Connection::close()
{
    m_handle.reset();
    m_lost = false;
}

void Connection::lose()
{
    // Cut first, so that closing cannot wait on a peer that does not read.
    if (m_handle)
        mariadb_cancel(m_handle.get());
    m_handle.reset();
    m_lost = true;
}

MYSQL *Connection::handle()
{
    if (m_lost && sessionBound())
        throw DbError(CR_SERVER_GONE_ERROR, QStringLiteral("The session of the open transaction or table locks is gone"));
    if (m_lost)
        reconnect();
    if (!m_handle)
        throw DbError(CR_CONNECTION_ERROR, QStringLiteral("Not connected to the database server"));
    return m_handle.get();
}

void Connection::fail(const QByteArray &statement)
{
    DbError error(mysql_errno(m_handle.get()), wire::decode(mysql_error(m_handle.get())), statement);
    // A read that waits for the cluster fails on a node cut off from it as
    // a lock wait would.
    if (error.code() == ER_LOCK_WAIT_TIMEOUT && m_clusterNode && !nodeReady())
        error = DbError(ER_UNKNOWN_COM_ERROR, error.serverMessage(), statement);
    if (error.isConnectionLost())
        lose();
    throw error;
}

void Connection::send(const QByteArray &statement)
{
    MYSQL *mysql = handle();
    int failed = 0;
    const int status = mysql_real_query_start(&failed, mysql, statement.constData(), statement.size());
    if (!nonblocking::drive(mysql, status, [&](int events) { return mysql_real_query_cont(&failed, mysql, events); }, m_busy,
                            m_waitLimit)) {
        lose();
        throw DbError(DbError::TimeLimitReached, QString(), statement);
    }
    if (failed != 0)
        fail(statement);
}

MYSQL_RES *Connection::storeResult(const QByteArray &statement)
{
    MYSQL *mysql = m_handle.get();
    MYSQL_RES *result = nullptr;
    const int status = mysql_store_result_start(&result, mysql);
    if (!nonblocking::drive(mysql, status, [&](int events) { return mysql_store_result_cont(&result, mysql, events); }, m_busy,
                            m_waitLimit)) {
        lose();
        throw DbError(DbError::TimeLimitReached, QString(), statement);
    }
    if (!result && mysql_field_count(mysql) != 0)
        fail(statement);
    return result;
}

Result Connection::read(const QByteArray &statement)
{
    send(statement);
    return Result(storeResult(statement));
}

void Connection::execute(const QString &statement)
{
    const WaitBudget budget;
    const QByteArray text = wire::encode(statement);
    send(text);
    // A statement that returns rows anyway must not leave them unread.
    Result discarded(storeResult(text));
}

Result Connection::query(const QString &statement)
{
    const WaitBudget budget;
    const QByteArray text = wire::encode(statement);
    try {
        return read(text);
    } catch (const DbError &error) {
        if (!error.isConnectionLost() || sessionBound())
            throw;
    }
    // Reading twice changes nothing, so a read cut off is made again.
    return read(text);
}

qint64 Connection::lastInsertId() const
{
    return m_handle ? qint64(mysql_insert_id(m_handle.get())) : 0;
}

QString Connection::escape(const QString &value)
{
    const WaitBudget budget;
    MYSQL *mysql = handle();
    const QByteArray raw = wire::encode(value);
    QByteArray escaped(raw.size() * 2 + 1, Qt::Uninitialized);
    const unsigned long length = mysql_real_escape_string(mysql, escaped.data(), raw.constData(), raw.size());
    escaped.truncate(qsizetype(length));
    return wire::decode(escaped);
}

Escape Connection::escaper()
{
    return [this](const QString &value) { return escape(value); };
}

} // namespace granovia
