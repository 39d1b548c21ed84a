#include "store/DbError.h"

#include <mysqld_error.h>

namespace granovia {

AppError::AppError(const QString &message)
    : std::runtime_error(message.toStdString())
    , m_message(message)
{
}

DbError::DbError(unsigned int code, const QString &message, QByteArray statement)
    : AppError(message)
    , m_code(code)
    , m_statement(std::move(statement))
{
}

bool DbError::isTransient() const
{
    return m_code == ER_LOCK_DEADLOCK || m_code == ER_LOCK_WAIT_TIMEOUT;
}

ConversionError::ConversionError(const QString &text)
    : AppError(QStringLiteral("'%1' is not a valid integer value").arg(text))
{
}

} // namespace granovia
