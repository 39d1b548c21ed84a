#include "web/WebAccess.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHostAddress>
#include <QUrlQuery>

namespace granovia::web {

namespace {

const QByteArray CookieName = QByteArrayLiteral("granovia_silo");
// A phone keeps its cookie for a year.
constexpr int CookieMaxAgeSeconds = 365 * 24 * 3600;
const QByteArray HtmlType = QByteArrayLiteral("text/html; charset=utf-8");
const QByteArray TextType = QByteArrayLiteral("text/plain; charset=utf-8");

const QByteArray DeniedPage = QByteArrayLiteral(
    "<!DOCTYPE html>\n<html lang=\"cs\"><head><meta charset=\"utf-8\">"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
    "<title>Přístup odepřen</title></head><body><h1>Přístup odepřen</h1>"
    "<p>Tabuli sil otevřete adresou s klíčem, kterou vám dal správce.</p></body></html>\n");

struct PageFile {
    const char *path;
    const char *resource;
    const char *type;
};
constexpr PageFile PageFiles[] = {
    {"/", ":/web/index.html", "text/html; charset=utf-8"},
    {"/board.css", ":/web/board.css", "text/css; charset=utf-8"},
    {"/board.js", ":/web/board.js", "text/javascript; charset=utf-8"},
};

// Compares in a time that does not tell how much of the secret matched.
bool sameSecret(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return difference == 0;
}

HttpAnswer plain(Status status, const QByteArray &type, const QByteArray &body)
{
    return {status, {{QByteArrayLiteral("Content-Type"), type}}, body};
}

} // namespace

WebAccess::WebAccess(const QString &token, bool https)
    : m_token(token.toUtf8())
    , m_cookieValue(token.isEmpty() ? QByteArray()
                                    : QCryptographicHash::hash(m_token, QCryptographicHash::Sha256).toHex())
    , m_https(https)
{
    for (const PageFile &file : PageFiles) {
        QFile resource(QString::fromLatin1(file.resource));
        if (resource.open(QIODevice::ReadOnly))
            m_files.insert(QString::fromLatin1(file.path), {QByteArray(file.type), resource.readAll()});
    }
}

const HeaderList &WebAccess::securityHeaders()
{
    static const HeaderList headers{
        {QByteArrayLiteral("Content-Security-Policy"),
         QByteArrayLiteral("default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
                           "img-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'")},
        {QByteArrayLiteral("X-Content-Type-Options"), QByteArrayLiteral("nosniff")},
        {QByteArrayLiteral("Referrer-Policy"), QByteArrayLiteral("no-referrer")},
        {QByteArrayLiteral("X-Frame-Options"), QByteArrayLiteral("DENY")},
        {QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store")},
    };
    return headers;
}

bool WebAccess::validCookie(const QByteArray &cookieHeader) const
{
    for (const QByteArray &part : cookieHeader.split(';')) {
        const QByteArray cookie = part.trimmed();
        if (cookie.startsWith(CookieName + '=') && sameSecret(cookie.mid(CookieName.size() + 1), m_cookieValue))
            return true;
    }
    return false;
}

bool WebAccess::validToken(const QUrl &url) const
{
    const QUrlQuery query(url);
    return query.hasQueryItem(QString::fromLatin1(TokenParameter))
        && sameSecret(query.queryItemValue(QString::fromLatin1(TokenParameter), QUrl::FullyDecoded).toUtf8(), m_token);
}

std::optional<HttpAnswer> WebAccess::refusedUpgrade(const QUrl &url, const QByteArray &cookieHeader,
                                                    const QByteArray &origin, const QByteArray &host) const
{
    if (url.path() != LivePath)
        return plain(Status::NotFound, TextType, QByteArrayLiteral("Nenalezeno.\n"));
    const QUrl from(QString::fromUtf8(origin));
    const QString fromHost = from.port() < 0 ? from.host() : from.host() + u':' + QString::number(from.port());
    const bool admitted = (m_token.isEmpty() && reachable(host)) || validCookie(cookieHeader) || validToken(url);
    if (!admitted || origin.isEmpty() || fromHost.toUtf8() != host)
        return plain(Status::Unauthorized, HtmlType, DeniedPage);
    return std::nullopt;
}

HttpAnswer WebAccess::redirectWithCookie(const QUrl &url) const
{
    QUrlQuery query(url);
    query.removeAllQueryItems(QString::fromLatin1(TokenParameter));
    QUrl target;
    target.setPath(url.path());
    target.setQuery(query);
    QByteArray cookie = CookieName + '=' + m_cookieValue + "; Path=/; HttpOnly; SameSite=Strict; Max-Age="
        + QByteArray::number(CookieMaxAgeSeconds);
    if (m_https)
        cookie += "; Secure";
    return {Status::Found,
            {{QByteArrayLiteral("Location"), target.toEncoded()},
             {QByteArrayLiteral("Set-Cookie"), cookie},
             {QByteArrayLiteral("Content-Type"), TextType}},
            {}};
}

bool WebAccess::reachable(const QByteArray &host) const
{
    if (!m_token.isEmpty())
        return true;
    QUrl asUrl;
    asUrl.setAuthority(QString::fromLatin1(host));
    const QString name = asUrl.host();
    return name == QStringLiteral("localhost") || QHostAddress(name).isLoopback();
}

HttpAnswer WebAccess::answer(const QByteArray &method, const QUrl &url, const QByteArray &cookieHeader,
                             const QByteArray &host) const
{
    if (method != "GET") {
        HttpAnswer refused = plain(Status::MethodNotAllowed, TextType, QByteArrayLiteral("Metoda není povolena.\n"));
        refused.headers.append({QByteArrayLiteral("Allow"), QByteArrayLiteral("GET")});
        return refused;
    }
    if (!reachable(host))
        return plain(Status::Forbidden, TextType, QByteArrayLiteral("Přístup odepřen.\n"));
    if (!m_token.isEmpty()) {
        // The token never stays in an address that a browser keeps.
        if (validToken(url))
            return redirectWithCookie(url);
        if (!validCookie(cookieHeader))
            return plain(Status::Unauthorized, HtmlType, DeniedPage);
    }
    const auto file = m_files.constFind(url.path());
    if (file == m_files.cend())
        return plain(Status::NotFound, TextType, QByteArrayLiteral("Nenalezeno.\n"));
    return plain(Status::Ok, file->first, file->second);
}

} // namespace granovia::web
