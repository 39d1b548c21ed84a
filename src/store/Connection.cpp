#include "store/Connection.h"

#include "store/Cp1250.h"
#include "store/DbError.h"

#include <errmsg.h>
#include <mutex>

namespace granovia {

namespace {

constexpr const char *WireCharset = "cp1250";

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
        const QString name = cp1250::decode(QByteArrayView(fields[i].name, fields[i].name_length));
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

bool Result::hasField(const QString &name) const
{
    return m_fields.contains(name);
}

QStringList Result::fieldNames() const
{
    QStringList names(m_fields.size());
    for (auto it = m_fields.cbegin(); it != m_fields.cend(); ++it)
        names[it.value()] = it.key();
    return names;
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
    return cp1250::decode(raw(name));
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
    m_settings = settings;
    std::unique_ptr<MYSQL, Close> handle(mysql_init(nullptr));
    if (!handle)
        throw DbError(CR_OUT_OF_MEMORY, QStringLiteral("Out of memory"));
    const unsigned int timeout = ConnectTimeoutSeconds;
    mysql_options(handle.get(), MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    mysql_options(handle.get(), MYSQL_SET_CHARSET_NAME, WireCharset);
    const QByteArray host = cp1250::encode(settings.host);
    const QByteArray user = cp1250::encode(settings.user);
    const QByteArray password = cp1250::encode(settings.password);
    const QByteArray database = cp1250::encode(settings.database);
    if (!mysql_real_connect(handle.get(), host.constData(), user.constData(), password.constData(),
                            database.isEmpty() ? nullptr : database.constData(), settings.port, nullptr, 0)) {
        throw DbError(mysql_errno(handle.get()), cp1250::decode(mysql_error(handle.get())));
    }
    m_handle = std::move(handle);
}

bool Connection::isOpen() const
{
    return m_handle != nullptr;
}

void Connection::close()
{
    m_handle.reset();
}

MYSQL *Connection::handle() const
{
    if (!m_handle)
        throw DbError(CR_CONNECTION_ERROR, QStringLiteral("Not connected to the database server"));
    return m_handle.get();
}

void Connection::fail(const QByteArray &statement) const
{
    throw DbError(mysql_errno(m_handle.get()), cp1250::decode(mysql_error(m_handle.get())), statement);
}

void Connection::send(const QString &statement)
{
    const QByteArray text = cp1250::encode(statement);
    if (mysql_real_query(handle(), text.constData(), text.size()) != 0)
        fail(text);
}

void Connection::execute(const QString &statement)
{
    send(statement);
    // A statement that returns rows anyway must not leave them unread.
    Result discarded(mysql_store_result(m_handle.get()));
}

Result Connection::query(const QString &statement)
{
    send(statement);
    MYSQL_RES *result = mysql_store_result(m_handle.get());
    if (!result && mysql_field_count(m_handle.get()) != 0)
        fail(cp1250::encode(statement));
    return Result(result);
}

quint64 Connection::affectedRows() const
{
    return mysql_affected_rows(handle());
}

QString Connection::escape(const QString &value) const
{
    const QByteArray raw = cp1250::encode(value);
    QByteArray escaped(raw.size() * 2 + 1, Qt::Uninitialized);
    const unsigned long length = mysql_real_escape_string(handle(), escaped.data(), raw.constData(), raw.size());
    escaped.truncate(qsizetype(length));
    return cp1250::decode(escaped);
}

Escape Connection::escaper() const
{
    return [this](const QString &value) { return escape(value); };
}

Transaction::Transaction(Connection &connection)
    : m_connection(connection)
{
    m_connection.execute(QStringLiteral("start transaction"));
}

Transaction::~Transaction()
{
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
    m_connection.execute(QStringLiteral("commit"));
    m_done = true;
}

} // namespace granovia
