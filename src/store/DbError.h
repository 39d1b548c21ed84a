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
// Its message() is Czech only: failures an operator can do something about
// (no server, no answer in time, rows locked elsewhere) say so, any other
// names its number. The server's own text is for standard error; only a
// refusal that a trigger of the shop's own words (SIGNAL) is shown as it
// stands.
class DbError final : public AppError {
public:
    // The program's own codes, above the ranges of the server and the library.
    static constexpr unsigned int Unreachable = 9001;      // no new session could be made
    static constexpr unsigned int TimeLimitReached = 9002; // the action's wait budget ran out
    static constexpr unsigned int CommitUnanswered = 9003; // the session was lost during COMMIT
    static constexpr unsigned int OutcomeUnknown = 9004;   // and it could not be settled
    static constexpr unsigned int PartlyWritten = 9005;    // tables without transactions kept part of a movement
    static constexpr unsigned int StartRefused = 9006;     // a server answered on the refusal probe's port
    static constexpr unsigned int CertificateRejected = 9007; // TLS only: the server's certificate did not verify
    static constexpr unsigned int TlsUnavailable = 9008;   // TLS only: the server offers none
    // A log-in in clear text refused by a server that offers TLS: a wrong
    // password, or a server that takes TLS only; it says the same for both.
    static constexpr unsigned int ClearTextRefused = 9009;
    // TLS only: the server's certificate has expired, or names another host.
    static constexpr unsigned int CertificateExpired = 9010;
    static constexpr unsigned int CertificateOtherHost = 9011;
    // TLS only: the file of CA certificates is missing or cannot be read.
    static constexpr unsigned int CaFileUnreadable = 9012;

    DbError(unsigned int code, const QString &serverMessage, QByteArray statement = {});
    unsigned int code() const { return m_code; }
    const QString &serverMessage() const { return m_serverMessage; }
    // Deadlock or lock wait time-out: the whole unit of work may be retried.
    bool isTransient() const;
    // The session is gone (server restarted, network cut), or its cluster
    // node stopped working (cut off from the others); the next use of the
    // connection makes a new one.
    bool isConnectionLost() const;
    // No server answered there: nothing listens, no route, no answer in time.
    bool isSilence() const;
    // The server's certificate did not verify, for whatever reason.
    bool isCertificateRejected() const;
    const QByteArray &statement() const { return m_statement; }

private:
    unsigned int m_code;
    QString m_serverMessage;
    QByteArray m_statement;
};

// Why a connection could not be made, in Czech, in one line: the third line
// of the start's failure notice.
QString connectFailureReason(const DbError &error);

// Writes what the server or the library said of a DbError (English), its
// number and the failed statement to standard error, for whoever looks into
// the cause; the operator's notice holds the Czech message() alone. Nothing
// for any other error.
void writeServerText(const std::exception &error);

// A text that should hold a port number and does not.
class ConversionError final : public AppError {
public:
    explicit ConversionError(const QString &text);
};

} // namespace granovia
