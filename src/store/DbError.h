#pragma once

#include <QByteArray>
#include <QString>
#include <stdexcept>

namespace granovia {

// An error the operator is shown as it stands: a database failure, a bad
// number in the configuration. Every operator action catches this at its edge.
class AppError : public std::runtime_error {
public:
    explicit AppError(const QString &message);
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

// A failure reported by the database server or the client library, with the
// server's error number and message and the statement that failed (if any).
class DbError final : public AppError {
public:
    DbError(unsigned int code, const QString &message, QByteArray statement = {});
    unsigned int code() const { return m_code; }
    // Deadlock or lock wait time-out: the whole unit of work may be retried.
    bool isTransient() const;
    const QByteArray &statement() const { return m_statement; }

private:
    unsigned int m_code;
    QByteArray m_statement;
};

// A text that should hold a decimal integer and does not.
class ConversionError final : public AppError {
public:
    explicit ConversionError(const QString &text);
};

} // namespace granovia
