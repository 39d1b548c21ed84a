#include "store/DbError.h"

#include <QLoggingCategory>
#include <errmsg.h>
#include <mysqld_error.h>

namespace granovia {

namespace {

Q_LOGGING_CATEGORY(lcDatabase, "granovia.database")

const QString NotDone = QStringLiteral("Akce nebyla provedena.");

// What the operator reads for a failure: Czech only. The server's or the
// library's own text goes to standard error when the failure is shown
// (writeServerText).
QString operatorMessage(unsigned int code, const QString &serverMessage)
{
    QString headline;
    switch (code) {
    case DbError::Unreachable:
        headline = QStringLiteral("Databáze není dostupná!\n") + NotDone;
        break;
    case DbError::TimeLimitReached:
        headline = QStringLiteral("Databáze neodpověděla včas!\n") + NotDone;
        break;
    case DbError::OutcomeUnknown:
        headline = QStringLiteral("Databáze neodpověděla včas!\nNení jisté, zda byl pohyb zapsán, ověřte jej v historii.");
        break;
    case DbError::PartlyWritten:
        headline = QStringLiteral("Pohyb osiva byl zapsán jen zčásti a na tabulkách bez transakcí jej nelze vrátit zpět!\n"
                                  "Ověřte stav sil a historii.");
        break;
    case ER_LOCK_WAIT_TIMEOUT:
    case ER_LOCK_DEADLOCK:
        headline = QStringLiteral("Záznamy drží zamčené jiné pracoviště!\n") + NotDone;
        break;
    case CR_SERVER_GONE_ERROR:
    case CR_SERVER_LOST:
    case CR_SERVER_LOST_EXTENDED:
    case ER_UNKNOWN_COM_ERROR:
    case DbError::CommitUnanswered:
        headline = QStringLiteral("Spojení s databází se přerušilo!\n") + NotDone;
        break;
    case ER_SIGNAL_EXCEPTION:
        // A refusal that the shop's own trigger words: the operator reads it as it stands.
        return serverMessage;
    default:
        headline = QStringLiteral("Databáze ohlásila chybu %1!\n").arg(code) + NotDone;
        break;
    }
    return headline;
}

} // namespace

AppError::AppError(const QString &message)
    : std::runtime_error(message.toStdString())
    , m_message(message)
{
}

DbError::DbError(unsigned int code, const QString &serverMessage, QByteArray statement)
    : AppError(operatorMessage(code, serverMessage))
    , m_code(code)
    , m_serverMessage(serverMessage)
    , m_statement(std::move(statement))
{
}

bool DbError::isTransient() const
{
    return m_code == ER_LOCK_DEADLOCK || m_code == ER_LOCK_WAIT_TIMEOUT;
}

bool DbError::isConnectionLost() const
{
    switch (m_code) {
    case CR_SERVER_GONE_ERROR:
    case CR_SERVER_LOST:
    case CR_SERVER_LOST_EXTENDED:
    case CR_CONNECTION_ERROR:
    case CR_CONN_HOST_ERROR:
    case ER_SERVER_SHUTDOWN:
    case ER_CONNECTION_KILLED:
    case ER_NET_READ_ERROR:
    case ER_NET_READ_INTERRUPTED:
    case ER_NET_ERROR_ON_WRITE:
    case ER_NET_WRITE_INTERRUPTED:
    // A Galera node cut off from the majority refuses every statement.
    case ER_UNKNOWN_COM_ERROR:
        return true;
    default:
        return false;
    }
}

bool DbError::isSilence() const
{
    switch (m_code) {
    case CR_CONNECTION_ERROR:
    case CR_CONN_HOST_ERROR:
    case CR_UNKNOWN_HOST:
    case CR_SERVER_GONE_ERROR:
    case CR_SERVER_LOST:
    case CR_SERVER_LOST_EXTENDED:
    case DbError::TimeLimitReached:
        return true;
    default:
        return false;
    }
}

bool DbError::isCertificateRejected() const
{
    return m_code == CertificateRejected || m_code == CertificateExpired || m_code == CertificateOtherHost;
}

QString connectFailureReason(const DbError &error)
{
    const QString certificateFailed = QStringLiteral("Certifikát serveru se nepodařilo ověřit!\n");
    switch (error.code()) {
    case ER_ACCESS_DENIED_ERROR:
    case ER_ACCESS_DENIED_NO_PASSWORD_ERROR:
        return QStringLiteral("Server odmítl uživatelské jméno nebo heslo.");
    case DbError::ClearTextRefused:
        return QStringLiteral("Server odmítl uživatelské jméno nebo heslo, nebo přijímá jen šifrované spojení (klíč SSL).");
    case ER_DBACCESS_DENIED_ERROR:
        return QStringLiteral("Uživatel nemá na serveru přístup k databázi.");
    case ER_BAD_DB_ERROR:
        return QStringLiteral("Databáze zadaná v klíči Database na serveru neexistuje.");
    case CR_UNKNOWN_HOST:
        return QStringLiteral("Server zadaný v klíči IP nebyl v síti nalezen.");
    case DbError::TimeLimitReached:
        return QStringLiteral("Server neodpověděl včas.");
    case DbError::StartRefused:
        return QStringLiteral("Spuštění programu je zablokováno: server odpovídá na kontrolním portu (klíč SQLportopen).");
    case DbError::CertificateRejected:
        return certificateFailed + QStringLiteral("Nepodepsala jej certifikační autorita, které program věří (klíč SSLCA).");
    case DbError::CertificateExpired:
        return certificateFailed + QStringLiteral("Platnost certifikátu vypršela.");
    case DbError::CertificateOtherHost:
        return certificateFailed + QStringLiteral("Certifikát patří jinému serveru, než uvádí klíč IP.");
    case DbError::CaFileUnreadable:
        return QStringLiteral("Soubor certifikátů CA zadaný v klíči SSLCA chybí nebo jej nelze přečíst.");
    case CR_PLUGIN_NOT_ALLOWED:
        return QStringLiteral("Server žádá heslo v čitelné podobě, které program bez šifrovaného spojení (klíč SSL) neposílá.");
    case DbError::TlsUnavailable:
        return QStringLiteral("Server nenabízí šifrované spojení, které klíč SSL vyžaduje.");
    case ER_UNKNOWN_COM_ERROR:
        return QStringLiteral("Uzel databázového clusteru není připraven k práci.");
    case ER_CON_COUNT_ERROR:
        return QStringLiteral("Server už nepřijímá další spojení.");
    case ER_HOST_NOT_PRIVILEGED:
        return QStringLiteral("Server nepovoluje připojení z tohoto počítače.");
    case ER_HOST_IS_BLOCKED:
        return QStringLiteral("Server tento počítač zablokoval pro mnoho nezdařených připojení.");
    case ER_SERVER_SHUTDOWN:
        return QStringLiteral("Server se právě vypíná.");
    default:
        break;
    }
    if (error.isSilence())
        return QStringLiteral("Server není dostupný nebo neodpovídá.");
    return QStringLiteral("Server odpověděl chybou %1.").arg(error.code());
}

void writeServerText(const std::exception &error)
{
    const auto *dbError = dynamic_cast<const DbError *>(&error);
    if (!dbError || dbError->serverMessage().isEmpty())
        return;
    qCWarning(lcDatabase).noquote() << QStringLiteral("database error %1: %2").arg(dbError->code()).arg(dbError->serverMessage())
                                    << QString::fromUtf8(dbError->statement());
}

ConversionError::ConversionError(const QString &text)
    : AppError(QStringLiteral("'%1' is not a valid integer value").arg(text))
{
}

} // namespace granovia
