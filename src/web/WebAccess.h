#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QUrl>
#include <optional>

// Who may see the web board, and what each request gets: the answer of the
// HTTP server without the server, so that every rule can be tested alone.
namespace granovia::web {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

enum class Status { Ok = 200, Found = 302, Unauthorized = 401, Forbidden = 403, NotFound = 404, MethodNotAllowed = 405 };

struct HttpAnswer {
    Status status = Status::Ok;
    HeaderList headers;
    QByteArray body;
};

// The path of the live channel's upgrade.
inline const QString LivePath = QStringLiteral("/live");
inline const QByteArray TokenParameter = QByteArrayLiteral("token");

class WebAccess final {
public:
    // An empty token lets everyone in (a board that only this machine reaches).
    WebAccess(const QString &token, bool https);

    // GET of the page's own files for a holder of the token or its cookie;
    // 405 for every other method, 401 (a short Czech page) without the
    // token, 404 for any other path. A valid token in the query sets the
    // cookie and sends the browser to the same address without it. A board
    // without a token answers only requests addressed to this machine's
    // loopback (the Host header), so that no other site's page reaches it
    // through a name of its own (403).
    HttpAnswer answer(const QByteArray &method, const QUrl &url, const QByteArray &cookieHeader,
                      const QByteArray &host) const;
    // Nothing for a request to open the live channel that may open it: at
    // LivePath, from the page's own origin (the Origin header names the Host
    // header's host), with the token or its cookie. The refusal otherwise.
    std::optional<HttpAnswer> refusedUpgrade(const QUrl &url, const QByteArray &cookieHeader,
                                             const QByteArray &origin, const QByteArray &host) const;

    // The headers every answer carries: a Content-Security-Policy without
    // inline script, nosniff, no referrer, no caching.
    static const HeaderList &securityHeaders();

private:
    bool reachable(const QByteArray &host) const;
    bool validCookie(const QByteArray &cookieHeader) const;
    bool validToken(const QUrl &url) const;
    HttpAnswer redirectWithCookie(const QUrl &url) const;

    QByteArray m_token;
    QByteArray m_cookieValue;
    bool m_https = false;
    // Path to content type and body, read once from the resources.
    QHash<QString, QPair<QByteArray, QByteArray>> m_files;
};

} // namespace granovia::web
