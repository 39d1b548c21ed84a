#include "store/DbError.h"

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

ConversionError::ConversionError(const QString &text)
    : AppError(QStringLiteral("'%1' is not a valid integer value").arg(text))
{
}

} // namespace granovia
