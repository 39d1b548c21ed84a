#pragma once

#include "store/DbError.h"

#include <QString>
#include <mysql.h>

// What guards a session's log-in: TLS with the server's certificate
// verified, and a password that never travels in clear text.
namespace granovia::security {

// Authentication methods that never put the password on the wire as it
// stands; a server that asks for another one (the clear-text method of PAM
// or LDAP, say) gets no password unless the session is encrypted.
inline constexpr const char *SealedAuthentication =
    "mysql_native_password,client_ed25519,caching_sha2_password,sha256_password,auth_gssapi_client";

// Sets up a session's log-in before it connects: with tlsOnly, TLS or no
// session, the certificate verified against caFile (the system's CAs when
// empty) and the name or address connected to; without it, only the
// authentication methods above. Throws DbError::CaFileUnreadable when the
// CA file is missing or cannot be read.
void secureLogIn(MYSQL *mysql, bool tlsOnly, const QString &caFile);

// A failed connect as the operator's notice tells it apart.
DbError connectError(MYSQL *mysql, bool tlsOnly);

} // namespace granovia::security
