#include "web/BoardFeed.h"

#include "store/DbError.h"
#include "config/Polling.h"
#include "core/SiloLabel.h"
#include "web/BoardData.h"

#include <QJsonDocument>

#include <cstdio>

namespace granovia::web {

namespace {

const QString TimeFormat = QStringLiteral("HH:mm:ss");

QByteArray message(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

quint64 pageKey(int silo, int page)
{
    return (quint64(silo) << 32) | quint32(page);
}

} // namespace

BoardFeed::BoardFeed(ConnectionSettings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
{
    m_timer.setInterval(polling::Interval);
    connect(&m_timer, &QTimer::timeout, this, &BoardFeed::poll);
}

void BoardFeed::start()
{
    m_timer.start();
    poll();
}

Connection &BoardFeed::connection()
{
    return m_connection.ensureOpen([this](Connection &fresh) { fresh.open(m_settings); });
}

void BoardFeed::poll()
{
    try {
        const polling::Budget budget;
        const ChangeToken token = readChangeToken(connection());
        if (token != m_token) {
            readBoard();
            m_token = token;
        }
        m_timer.setInterval(polling::Interval);
        m_since = QTime::currentTime();
        setLive(true);
    } catch (const AppError &error) {
        // A host list that names no port, or a server that is gone: nothing
        // escapes into the event loop, and the next look tries again.
        std::fprintf(stderr, "web board: database not read: %s\n", qPrintable(error.message()));
        m_connection.close();
        m_token.reset();
        m_timer.setInterval(polling::RetryInterval);
        setLive(false);
    }
}

// Everything is read before anything is replaced: a failed read leaves the
// last good data, marked stale.
void BoardFeed::readBoard()
{
    QJsonArray silos;
    for (const SiloView &silo : readSilos(m_connection))
        silos.append(siloJson(silo));
    const QJsonArray lines = linesJson(readLatestLines(m_connection));
    m_board = message({{QStringLiteral("type"), QStringLiteral("board")},
                       {QStringLiteral("silos"), silos},
                       {QStringLiteral("journal"), lines}});
    m_pages.clear();
    emit boardChanged();
}

void BoardFeed::setLive(bool live)
{
    if (live == m_live)
        return;
    m_live = live;
    emit liveChanged();
}

QByteArray BoardFeed::statusMessage() const
{
    return message({{QStringLiteral("type"), QStringLiteral("status")},
                    {QStringLiteral("live"), m_live},
                    {QStringLiteral("since"), m_since.isValid() ? m_since.toString(TimeFormat) : QString()}});
}

QByteArray BoardFeed::siloMessage(int silo, int page)
{
    if (silo < silolabel::FirstSilo || silo > silolabel::LastSilo || page < 1 || page > MaxSiloPage || !m_live)
        return {};
    const quint64 key = pageKey(silo, page);
    if (const auto cached = m_pages.constFind(key); cached != m_pages.cend())
        return *cached;
    try {
        const polling::Budget budget;
        const SiloPage read = readSiloPage(connection(), silo, page);
        const QByteArray text = message({{QStringLiteral("type"), QStringLiteral("silo")},
                                         {QStringLiteral("silo"), silo},
                                         {QStringLiteral("page"), page},
                                         {QStringLiteral("more"), read.more && page < MaxSiloPage},
                                         {QStringLiteral("lines"), linesJson(read.lines)}});
        m_pages.insert(key, text);
        return text;
    } catch (const AppError &error) {
        std::fprintf(stderr, "web board: silo page not read: %s\n", qPrintable(error.message()));
        return {};
    }
}

} // namespace granovia::web
