#include "store/Connection.h"

#include "store/DbError.h"

namespace granovia {

Transaction::Transaction(Connection &connection, Mode mode)
    : m_connection(connection)
{
    m_connection.execute(mode == Mode::ReadSnapshot ? QStringLiteral("start transaction read only, with consistent snapshot")
                                                    : QStringLiteral("start transaction"));
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
