#include "store/Connection.h"

#include "store/Cp1250.h"
#include "store/DbError.h"
#include "store/WaitBudget.h"

#include <QFile>
#include <errmsg.h>
#include <mysqld_error.h>
#include <mutex>
#include <optional>
#include <poll.h>

namespace granovia {

namespace {

// Every text travels as UTF-8, so that none is lost on the way: the server
// converts to and from each column's own character set. The credentials
// stay the bytes of the INI files they come from.
constexpr const char *WireCharset = "utf8mb4";

QByteArray toWire(const QString &text)
{
    return text.toUtf8();
}

QString fromWire(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes);
}
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

using Clock = std::chrono::steady_clock;

// Waits until the socket is ready for what the library asks, or until `until`.
// Returns the events that occurred, 0 when time ran out first.
int waitForSocket(MYSQL *handle, int status, Clock::time_point until)
{
    pollfd socket{mysql_get_socket(handle), 0, 0};
    socket.events = short(((status & MYSQL_WAIT_READ) ? POLLIN : 0) | ((status & MYSQL_WAIT_WRITE) ? POLLOUT : 0)
                          | ((status & MYSQL_WAIT_EXCEPT) ? POLLPRI : 0));
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
    if (wait.count() <= 0 || poll(&socket, 1, int(wait.count())) <= 0)
        return 0;
    // An error or a hang-up is for the library to read and report.
    const bool broken = socket.revents & (POLLERR | POLLHUP | POLLNVAL);
    return ((socket.revents & POLLIN) || broken ? MYSQL_WAIT_READ : 0)
        | ((socket.revents & POLLOUT) || broken ? MYSQL_WAIT_WRITE : 0)
        | ((socket.revents & POLLPRI) ? MYSQL_WAIT_EXCEPT : 0);
}

// Shows the busy indicator once a call has waited long enough, and takes it
// away when the call ends.
class BusySignal final {
public:
    explicit BusySignal(const Connection::BusyIndicator &indicator)
        : m_indicator(indicator)
    {
    }
    ~BusySignal()
    {
        if (m_shown)
            m_indicator(false);
    }
    Q_DISABLE_COPY_MOVE(BusySignal)
    // The time until which the caller may wait before calling this again.
    Clock::time_point update(Clock::time_point begin, Clock::time_point until)
    {
        if (m_shown || !m_indicator)
            return until;
        const Clock::time_point showAt = begin + Connection::BusyAfter;
        if (Clock::now() < showAt)
            return std::min(until, showAt);
        m_shown = true;
        m_indicator(true);
        return until;
    }

private:
    const Connection::BusyIndicator &m_indicator;
    bool m_shown = false;
};

// A server without Galera has no wsrep_on, or has it OFF.
const QByteArray WsrepOn = QByteArrayLiteral("show global variables like 'wsrep_on'");
const QByteArray WsrepReady = QByteArrayLiteral("show status like 'wsrep_ready'");
const QByteArray CausalReads = QByteArrayLiteral("set session wsrep_sync_wait = 1");
const QString StatusValue = QStringLiteral("Value");
const QString StatusOn = QStringLiteral("ON");

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
    mysql_options(mysql, MYSQL_SET_CHARSET_NAME, WireCharset);
    // The library copies the text.
    mysql_options(mysql, MYSQL_INIT_COMMAND, sessionSetUp().constData());
}

// TLS or no session: the server's certificate is verified against the CA
// file, and so is the name or address connected to.
void requireVerifiedTls(MYSQL *mysql, const QByteArray &caFile)
{
    const my_bool on = 1;
    mysql_optionsv(mysql, MYSQL_OPT_SSL_ENFORCE, &on);
    mysql_optionsv(mysql, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &on);
    if (!caFile.isEmpty())
        mysql_optionsv(mysql, MYSQL_OPT_SSL_CA, caFile.constData());
}

bool serverOffersTls(MYSQL *mysql)
{
    unsigned long capabilities = 0;
    mariadb_get_infov(mysql, MARIADB_CONNECTION_SERVER_CAPABILITIES, &capabilities);
    return (capabilities & CLIENT_SSL) != 0;
}

// A failed connect as the operator's notice tells it apart.
DbError connectError(MYSQL *mysql, bool tlsOnly)
{
    const unsigned int code = mysql_errno(mysql);
    const QString message = fromWire(mysql_error(mysql));
    if (tlsOnly && code == CR_SSL_CONNECTION_ERROR)
        return DbError(serverOffersTls(mysql) ? DbError::CertificateRejected : DbError::TlsUnavailable, message);
    if (!tlsOnly && code == ER_ACCESS_DENIED_ERROR && serverOffersTls(mysql))
        return DbError(DbError::ClearTextRefused, message);
    return DbError(code, message);
}

void initLibraryOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { mysql_library_init(0, nullptr, nullptr); });
}

} // namespace

Result::Result(MYSQL_RES *result)
    : m_result(result)
{
    if (!m_result)
        return;
    const unsigned int count = mysql_num_fields(result);
    const MYSQL_FIELD *fields = mysql_fetch_fields(result);
    for (unsigned int i = 0; i < count; ++i) {
        const QString name = fromWire(QByteArrayView(fields[i].name, fields[i].name_length));
        m_names.append(name);
        // The first of two equal names wins, as in a lookup by name.
        if (!m_fields.contains(name))
            m_fields.insert(name, int(i));
    }
}

bool Result::next()
{
    if (!m_result)
        return false;
    m_row = mysql_fetch_row(m_result.get());
    m_lengths = m_row ? mysql_fetch_lengths(m_result.get()) : nullptr;
    return m_row != nullptr;
}

qsizetype Result::rowCount() const
{
    return m_result ? qsizetype(mysql_num_rows(m_result.get())) : 0;
}

QStringList Result::fieldNames() const
{
    return m_names;
}

QByteArrayView Result::raw(const QString &name) const
{
    const auto it = m_fields.constFind(name);
    if (!m_row || it == m_fields.cend() || !m_row[*it])
        return {};
    return QByteArrayView(m_row[*it], qsizetype(m_lengths[*it]));
}

bool Result::isNull(const QString &name) const
{
    const auto it = m_fields.constFind(name);
    return !m_row || it == m_fields.cend() || !m_row[*it];
}

qint64 Result::toInt(const QString &name) const
{
    const QByteArray text = raw(name).toByteArray().trimmed();
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (ok)
        return value;
    return qint64(text.toDouble());
}

double Result::toDouble(const QString &name) const
{
    return raw(name).toByteArray().toDouble();
}

QString Result::toText(const QString &name) const
{
    return fromWire(raw(name));
}

QDateTime Result::toDateTime(const QString &name) const
{
    const QString text = toText(name);
    QDateTime time = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!time.isValid())
        time = QDateTime(QDate::fromString(text, QStringLiteral("yyyy-MM-dd")), QTime(0, 0));
    return time;
}

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
    reopen();
}

void Connection::openLike(const Connection &other)
{
    close();
    m_hosts = other.m_hosts;
    m_firstHost = other.m_firstHost;
    m_settings = other.m_settings;
    reopen();
}

void Connection::reopen()
{
    close();
    const WaitBudget budget;
    connect();
}

// Drives a started non-blocking call of the library to its end, waiting on the
// socket in between, never past `until`. False when the budget ran out first,
// or `until` came: the call is then unfinished, and its session can only be
// closed.
template <typename Continue>
bool Connection::drive(MYSQL *handle, int status, Continue next, Clock::time_point until)
{
    WaitBudget &budget = WaitBudget::current();
    const Clock::time_point begin = Clock::now();
    const std::chrono::nanoseconds allowed = m_waitLimit ? std::chrono::nanoseconds(*m_waitLimit) : budget.left();
    const Clock::time_point deadline = std::min(begin + allowed, until);
    BusySignal busy(m_busy);
    while (status != 0) {
        const Clock::time_point libraryDeadline = (status & MYSQL_WAIT_TIMEOUT)
            ? Clock::now() + std::chrono::milliseconds(mysql_get_timeout_value_ms(handle))
            : Clock::time_point::max();
        int events = 0;
        while (events == 0) {
            const Clock::time_point now = Clock::now();
            if (now >= deadline) {
                budget.spend(now - begin);
                return false;
            }
            if (now >= libraryDeadline) {
                events = MYSQL_WAIT_TIMEOUT;
                break;
            }
            events = waitForSocket(handle, status, busy.update(begin, std::min(deadline, libraryDeadline)));
        }
        status = next(events);
    }
    budget.spend(Clock::now() - begin);
    return true;
}

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

void Connection::connectTo(const ServerAddress &address)
{
    std::unique_ptr<MYSQL, Close> handle(mysql_init(nullptr));
    if (!handle)
        throw DbError(CR_OUT_OF_MEMORY, QStringLiteral("Out of memory"));
    MYSQL *mysql = handle.get();
    const bool several = m_hosts.size() > 1;
    setOptions(mysql, several ? HostAnswerSeconds : ConnectTimeoutSeconds,
               m_waitLimit ? unsigned(m_waitLimit->count()) : IoTimeoutSeconds);
    const QByteArray caFile = QFile::encodeName(m_settings.tlsCaFile);
    if (m_settings.tlsOnly)
        requireVerifiedTls(mysql, caFile);

    const QByteArray host = cp1250::encode(address.host);
    const QByteArray user = cp1250::encode(m_settings.user);
    const QByteArray password = cp1250::encode(m_settings.password);
    const QByteArray database = cp1250::encode(m_settings.database);
    MYSQL *connected = nullptr;
    const int status = mysql_real_connect_start(&connected, mysql, host.constData(), user.constData(),
                                                password.constData(), database.isEmpty() ? nullptr : database.constData(),
                                                address.port, nullptr, 0);
    const Clock::time_point answerBy = several ? Clock::now() + std::chrono::seconds(HostAnswerSeconds) : Clock::time_point::max();
    if (!drive(mysql, status, [&](int events) { return mysql_real_connect_cont(&connected, mysql, events); }, answerBy)) {
        if (WaitBudget::current().left() <= std::chrono::nanoseconds::zero())
            throw DbError(DbError::TimeLimitReached, QStringLiteral("Connecting to %1 timed out").arg(address.host));
        throw DbError(CR_CONN_HOST_ERROR, QStringLiteral("No answer from %1:%2 within %3 s")
                                              .arg(address.host).arg(address.port).arg(HostAnswerSeconds));
    }
    if (!connected)
        throw connectError(mysql, m_settings.tlsOnly);
    m_handle = std::move(handle);
    m_threadId = mysql_thread_id(mysql);
    m_lost = false;
    m_clusterNode = false;
    joinCluster();
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
    DbError error(mysql_errno(m_handle.get()), fromWire(mysql_error(m_handle.get())), statement);
    // A read that waits for the cluster fails on a node cut off from it as
    // a lock wait would.
    if (error.code() == ER_LOCK_WAIT_TIMEOUT && m_clusterNode && !nodeReady())
        error = DbError(ER_UNKNOWN_COM_ERROR, error.serverMessage(), statement);
    if (error.isConnectionLost())
        lose();
    throw error;
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

void Connection::send(const QByteArray &statement)
{
    MYSQL *mysql = handle();
    int failed = 0;
    const int status = mysql_real_query_start(&failed, mysql, statement.constData(), statement.size());
    if (!drive(mysql, status, [&](int events) { return mysql_real_query_cont(&failed, mysql, events); })) {
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
    if (!drive(mysql, status, [&](int events) { return mysql_store_result_cont(&result, mysql, events); })) {
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
    const QByteArray text = toWire(statement);
    send(text);
    // A statement that returns rows anyway must not leave them unread.
    Result discarded(storeResult(text));
}

Result Connection::query(const QString &statement)
{
    const WaitBudget budget;
    const QByteArray text = toWire(statement);
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
    const QByteArray raw = toWire(value);
    QByteArray escaped(raw.size() * 2 + 1, Qt::Uninitialized);
    const unsigned long length = mysql_real_escape_string(mysql, escaped.data(), raw.constData(), raw.size());
    escaped.truncate(qsizetype(length));
    return fromWire(escaped);
}

Escape Connection::escaper()
{
    return [this](const QString &value) { return escape(value); };
}

Transaction::Transaction(Connection &connection)
    : m_connection(connection)
{
    m_connection.execute(QStringLiteral("start transaction"));
    m_connection.m_inTransaction = true;
}

Transaction::~Transaction()
{
    m_connection.m_inTransaction = false;
    if (m_done || !m_connection.isOpen())
        return;
    try {
        m_connection.execute(QStringLiteral("rollback"));
    } catch (const DbError &) {
        // The session is gone; the server has rolled the transaction back.
    }
}

void Transaction::commit()
{
    try {
        m_connection.execute(QStringLiteral("commit"));
    } catch (const DbError &error) {
        if (error.isConnectionLost())
            throw DbError(DbError::CommitUnanswered, error.serverMessage(), error.statement());
        if (error.code() == DbError::TimeLimitReached)
            throw DbError(DbError::OutcomeUnknown, error.serverMessage(), error.statement());
        throw;
    }
    m_done = true;
    m_connection.m_inTransaction = false;
}

} // namespace granovia
