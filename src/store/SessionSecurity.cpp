#include "store/SessionSecurity.h"

#include "store/Result.h"

#include <QFile>
#include <errmsg.h>
#include <mysqld_error.h>

namespace granovia::security {

namespace {

// The library's words for a certificate that failed, after OpenSSL's and its own.
const QByteArray ExpiredWords = QByteArrayLiteral("certificate has expired");
const QByteArray OtherHostWords = QByteArrayLiteral("Validation of SSL server certificate failed");

bool serverOffersTls(MYSQL *mysql)
{
    unsigned long capabilities = 0;
    mariadb_get_infov(mysql, MARIADB_CONNECTION_SERVER_CAPABILITIES, &capabilities);
    return (capabilities & CLIENT_SSL) != 0;
}

unsigned int certificateFailure(const QByteArray &message)
{
    if (message.contains(ExpiredWords))
        return DbError::CertificateExpired;
    if (message.contains(OtherHostWords))
        return DbError::CertificateOtherHost;
    return DbError::CertificateRejected;
}

} // namespace

void secureLogIn(MYSQL *mysql, bool tlsOnly, const QString &caFile)
{
    if (!tlsOnly) {
        mysql_optionsv(mysql, MARIADB_OPT_RESTRICTED_AUTH, SealedAuthentication);
        return;
    }
    const my_bool on = 1;
    mysql_optionsv(mysql, MYSQL_OPT_SSL_ENFORCE, &on);
    mysql_optionsv(mysql, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &on);
    if (caFile.isEmpty())
        return;
    QFile ca(caFile);
    if (!ca.open(QIODevice::ReadOnly))
        throw DbError(DbError::CaFileUnreadable, ca.errorString());
    const QByteArray path = QFile::encodeName(caFile);
    mysql_optionsv(mysql, MYSQL_OPT_SSL_CA, path.constData());
}

DbError connectError(MYSQL *mysql, bool tlsOnly)
{
    const unsigned int code = mysql_errno(mysql);
    const QByteArray message = mysql_error(mysql);
    if (tlsOnly && code == CR_SSL_CONNECTION_ERROR)
        return DbError(serverOffersTls(mysql) ? certificateFailure(message) : DbError::TlsUnavailable,
                       wire::decode(message));
    if (!tlsOnly && code == ER_ACCESS_DENIED_ERROR && serverOffersTls(mysql))
        return DbError(DbError::ClearTextRefused, wire::decode(message));
    return DbError(code, wire::decode(message));
}

} // namespace granovia::security
