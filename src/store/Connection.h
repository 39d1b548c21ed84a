#pragma once

#include "store/SqlText.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <mysql.h>

namespace granovia {

struct ConnectionSettings {
    QString host;
    unsigned int port = 3306;
    QString user;
    QString password;
    QString database;
};

// A buffered result set. Fields are read by name; NULL reads as 0 or as the
// empty text, and a name the result does not have reads the same way.
class Result final {
public:
    Result() = default;
    explicit Result(MYSQL_RES *result);

    bool next();
    qsizetype rowCount() const;
    bool hasField(const QString &name) const;
    QStringList fieldNames() const;

    bool isNull(const QString &name) const;
    qint64 toInt(const QString &name) const;
    double toDouble(const QString &name) const;
    QString toText(const QString &name) const;
    // Invalid for NULL and for the zero date.
    QDateTime toDateTime(const QString &name) const;

private:
    struct Free {
        void operator()(MYSQL_RES *result) const { mysql_free_result(result); }
    };
    QByteArrayView raw(const QString &name) const;

    std::unique_ptr<MYSQL_RES, Free> m_result;
    QHash<QString, int> m_fields;
    MYSQL_ROW m_row = nullptr;
    unsigned long *m_lengths = nullptr;
};

// The one connection to the shared database, over MariaDB Connector/C. Text
// goes to the server and comes back as Windows-1250. Every failure throws
// DbError with the server's error number and message.
class Connection final {
public:
    // Connecting gives up after this long, so that an unreachable host cannot
    // freeze the start for minutes.
    static constexpr unsigned int ConnectTimeoutSeconds = 10;

    Connection();
    ~Connection();
    Q_DISABLE_COPY_MOVE(Connection)

    // Opens a new session with these settings, closing any previous one.
    void open(const ConnectionSettings &settings);
    bool isOpen() const;
    void close();
    const ConnectionSettings &settings() const { return m_settings; }

    void execute(const QString &statement);
    Result query(const QString &statement);
    quint64 affectedRows() const;

    // Escapes a value for use between quotes in a statement, under the
    // connection's character set.
    QString escape(const QString &value) const;
    Escape escaper() const;

private:
    struct Close {
        void operator()(MYSQL *handle) const { mysql_close(handle); }
    };
    MYSQL *handle() const;
    [[noreturn]] void fail(const QByteArray &statement) const;
    void send(const QString &statement);

    std::unique_ptr<MYSQL, Close> m_handle;
    ConnectionSettings m_settings;
};

// Rolls the open transaction back when it goes out of scope uncommitted.
class Transaction final {
public:
    explicit Transaction(Connection &connection);
    ~Transaction();
    Q_DISABLE_COPY_MOVE(Transaction)
    void commit();

private:
    Connection &m_connection;
    bool m_done = false;
};

} // namespace granovia
