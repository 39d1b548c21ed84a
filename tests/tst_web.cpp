// The web board as a browser and an attacker meet it: the real program with
// --web on the test database, read through a user that may only SELECT
// ppsila and ppsilap; the page in headless Chromium (web/board_browser.py).

#include "RunTool.h"
#include "TestDatabase.h"
#include "TestInstallation.h"
#include "movements/Movements.h"
#include "movements/Reversal.h"
#include "store/ChangeWatch.h"
#include "store/SqlText.h"

#include <QProcess>
#include <QSslSocket>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <memory>

using namespace granovia;
using namespace Qt::StringLiterals;

namespace {

const QString Token = u"tajny-klic-webove-tabule"_s;
const QString Reader = u"tst_web_reader"_s;
const QString ReaderPassword = u"jen-cteni"_s;
constexpr int StartTimeoutMs = 10000;
constexpr int BrowserTimeoutMs = 240000;
constexpr int AnswerTimeoutMs = 5000;
constexpr int FromSilo = 1;
constexpr int ToSilo = 9; // empty in the demo data
constexpr double Quantity = 1.5;
constexpr int IdleConnections = 1000;
constexpr int OversizedHeaderBytes = 64 * 1024;

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

} // namespace

class WebTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void refusedStarts_data();
    void refusedStarts();
    void inBrowser();
    void hostileRequests();
    void httpsOnly();

private:
    void configure(const QString &webSection, const QString &sharedWebSection = {});
    std::unique_ptr<QProcess> startServer(quint16 port);
    void transfer();
    QByteArray exchange(quint16 port, const QByteArray &request);

    std::unique_ptr<test::ScratchDatabase> m_db;
    test::Installation m_installation;
    qint64 m_lastTransfer = 0;
};

void WebTest::initTestCase()
{
    GRANOVIA_REQUIRE_SERVER();
    m_db = std::make_unique<test::ScratchDatabase>(u"granovia_tst_web"_s);
    m_db->load(QStringLiteral(GRANOVIA_DEMO_SQL));
    m_db->execute(u"create or replace user '%1'@'127.0.0.1' identified by '%2'"_s.arg(Reader, ReaderPassword));
    for (const QString &table : {u"ppsila"_s, u"ppsilap"_s})
        m_db->execute(u"grant select on `granovia_tst_web`.%1 to '%2'@'127.0.0.1'"_s.arg(table, Reader));
    m_installation.installProgram(QStringLiteral(GRANOVIA_PROGRAM));
}

void WebTest::cleanupTestCase()
{
    if (m_db)
        m_db->execute(u"drop user if exists '%1'@'127.0.0.1'"_s.arg(Reader));
}

// The server reads the database as the read-only user.
void WebTest::configure(const QString &webSection, const QString &sharedWebSection)
{
    const ConnectionSettings s = m_db->settings();
    m_installation.writeIni(m_installation.paths().ownIniPath(),
                            u"[LogOn]\r\nIP=%1\r\nUser=%2\r\nPassword=%3\r\nSQLport=%4\r\n[Web]\r\n%5"_s.arg(
                                s.host, Reader, ReaderPassword, QString::number(s.port), webSection));
    m_installation.writeIni(m_installation.paths().sharedIniPath(),
                            u"[LogOn]\r\nDatabase=%1\r\n[Web]\r\n%2"_s.arg(s.database, sharedWebSection));
}

std::unique_ptr<QProcess> WebTest::startServer(quint16 port)
{
    auto server = std::make_unique<QProcess>();
    server->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server->start(m_installation.paths().executablePath(), {u"--web"_s});
    QTcpSocket probe;
    QDeadlineTimer deadline(StartTimeoutMs);
    while (!deadline.hasExpired() && server->state() != QProcess::NotRunning) {
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(AnswerTimeoutMs))
            return server;
        QTest::qWait(100);
    }
    return nullptr;
}

// Another workstation moves seed from FromSilo into the empty ToSilo.
void WebTest::transfer()
{
    Connection workstation;
    workstation.open(m_db->settings());
    const test::StoredSilo from = m_db->silo(FromSilo);
    const movement::TransferOrder order{u"%1"_s.arg(FromSilo, 2, 10, QLatin1Char('0')),
                                        u"%1"_s.arg(ToSilo, 2, 10, QLatin1Char('0')),
                                        QString::number(Quantity), {from.partie, from.druh, {}, {}},
                                        from.id, m_db->silo(ToSilo).id,
                                        formatTimestamp(QDateTime::currentDateTime())};
    QCOMPARE(movement::executeTransfer(workstation, order, Quantity), movement::Outcome::Done);
    m_lastTransfer = test::scalar(m_db->admin(), u"select max(id) from ppsilap"_s);
}

void WebTest::refusedStarts_data()
{
    QTest::addColumn<QString>("web");
    QTest::addColumn<QString>("sharedWeb");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("reachable without a token")
        << u"Listen=0.0.0.0:8470\r\n"_s << QString() << QStringList{} << 1 << u"Token"_s;
    QTest::newRow("reachable with a short token") << u"Listen=0.0.0.0:8470\r\nToken=kratky-klic\r\n"_s << QString()
                                                  << QStringList{} << 1 << u"alespoň o 16 znacích"_s;
    QTest::newRow("the shared file's address counts")
        << u"Listen=127.0.0.1:8470\r\n"_s << u"Listen=0.0.0.0:8470\r\n"_s << QStringList{} << 1 << u"Token"_s;
    QTest::newRow("the command line's address counts") << u"Listen=127.0.0.1:8470\r\n"_s << QString()
                                                       << QStringList{u"--listen"_s, u"[::]:8470"_s} << 1 << u"Token"_s;
    QTest::newRow("an address that is none") << QString() << QString() << QStringList{u"--listen"_s, u"sklad"_s} << 1
                                             << u"Neplatná adresa „sklad“"_s;
    QTest::newRow("a key without its certificate")
        << u"Key=web.key\r\n"_s << QString() << QStringList{} << 1 << u"oba klíče, Cert i Key"_s;
    QTest::newRow("an unknown argument")
        << QString() << QString() << QStringList{u"--port"_s, u"1"_s} << 2 << u"--port"_s;
}

void WebTest::refusedStarts()
{
    QFETCH(QString, web);
    QFETCH(QString, sharedWeb);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    configure(web, sharedWeb);
    QProcess server;
    server.start(m_installation.paths().executablePath(), QStringList{u"--web"_s} + arguments);
    QVERIFY(server.waitForFinished(StartTimeoutMs));
    QCOMPARE(server.exitCode(), exitCode);
    const QString err = QString::fromUtf8(server.readAllStandardError());
    QVERIFY2(err.contains(message), qPrintable(err));
}

// The browser's steps are done here as it asks for them: a movement and its
// reversal booked through the movement code, the server stopped and started,
// the server's reading of ppsila denied and allowed again.
void WebTest::inBrowser()
{
    const quint16 port = freePort();
    configure(u"Listen=127.0.0.1:%1\r\nToken=%2\r\n"_s.arg(port).arg(Token));
    std::unique_ptr<QProcess> server = startServer(port);
    QVERIFY(server);
    QProcess browser;
    // The script closes its browser on the end of its input, or when terminated.
    const auto closeBrowser = qScopeGuard([&browser] {
        browser.closeWriteChannel();
        if (!browser.waitForFinished(StartTimeoutMs)) {
            browser.terminate();
            browser.waitForFinished(StartTimeoutMs);
        }
    });
    browser.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    browser.start(QStringLiteral(GRANOVIA_BROWSER_SCRIPT),
                  {u"http://127.0.0.1:%1/"_s.arg(port), Token, QStringLiteral(GRANOVIA_SCREENSHOT_DIR),
                   QString::number(FromSilo), QString::number(ToSilo)});
    QDeadlineTimer deadline(BrowserTimeoutMs);
    QByteArray said;
    while (!deadline.hasExpired() && !said.startsWith("PASS") && !said.startsWith("FAIL")) {
        if (!browser.canReadLine() && !browser.waitForReadyRead(AnswerTimeoutMs)) {
            QVERIFY2(browser.state() == QProcess::Running, "the browser script ended without a verdict");
            continue;
        }
        said = browser.readLine().trimmed();
        if (said == "book") {
            transfer();
        } else if (said == "reverse") {
            QCOMPARE(movement::executeReversal(m_db->admin(), m_lastTransfer,
                                               formatTimestamp(QDateTime::currentDateTime()))
                         .outcome,
                     movement::ReversalOutcome::Done);
        } else if (said == "stop") {
            server->kill();
            QVERIFY(server->waitForFinished(StartTimeoutMs));
        } else if (said == "start") {
            QVERIFY(server = startServer(port));
        } else if (said == "deny" || said == "allow") {
            m_db->execute(u"%1 select on `granovia_tst_web`.ppsila %2 '%3'@'127.0.0.1'"_s.arg(
                said == "deny" ? u"revoke"_s : u"grant"_s, said == "deny" ? u"from"_s : u"to"_s, Reader));
        } else {
            continue;
        }
        browser.write("done\n");
    }
    qInfo("%s", said.constData());
    QVERIFY2(said.startsWith("PASS"), said.constData());
}

// The head of the answer to one request, status line first.
QByteArray WebTest::exchange(quint16 port, const QByteArray &request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(AnswerTimeoutMs))
        return "not connected";
    socket.write(request);
    QByteArray answer;
    while (socket.waitForReadyRead(AnswerTimeoutMs) || socket.bytesAvailable() > 0) {
        answer += socket.readAll();
        if (answer.contains("\r\n\r\n"))
            break;
    }
    return answer.left(answer.indexOf("\r\n\r\n"));
}

QByteArray statusLine(const QByteArray &head)
{
    return head.left(head.indexOf("\r\n"));
}

// Requests out of a browser's reach are refused or cut off, the database is
// as it was and the server still serves its page.
void WebTest::hostileRequests()
{
    const quint16 port = freePort();
    configure(u"Listen=127.0.0.1:%1\r\n"_s.arg(port));
    std::unique_ptr<QProcess> server = startServer(port);
    QVERIFY(server);
    const ChangeToken before = readChangeToken(m_db->admin());

    const QList<std::pair<QByteArray, QByteArray>> requests{
        {"GET /../../../../etc/passwd HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
        {"GET /%2e%2e/%2e%2e/etc/passwd HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
        {"GET /board.js/..%2f..%2fgranovia-silo.INI HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
        {"GET /live HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 404 Not Found"},
        {"GET / HTTP/1.1\r\nHost: silo.example:8470\r\n\r\n", "HTTP/1.1 403 Forbidden"},
        {"POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5\r\n\r\nstav=", "HTTP/1.1 405 Method Not Allowed"},
        {"PUT /board.js HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 2\r\n\r\n{}", "HTTP/1.1 405 Method Not Allowed"},
        {"DELETE / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 405 Method Not Allowed"},
        {"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Fill: " + QByteArray(OversizedHeaderBytes, 'a') + "\r\n\r\n", ""},
        {"GET /live HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
         "Origin: http://elsewhere.example\r\nSec-WebSocket-Version: 13\r\nSec-WebSocket-Key: AAAAAAAAAAAAAAAAAAAAAA==\r\n\r\n",
         "HTTP/1.1 401 Unauthorized"},
    };
    for (const auto &[request, status] : requests)
        QCOMPARE(statusLine(exchange(port, request)), status);

    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < IdleConnections; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(idle.back()->waitForConnected(AnswerTimeoutMs));
    }
    const QByteArray page = exchange(port, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QCOMPARE(statusLine(page), "HTTP/1.1 200 OK");
    for (const char *header : {"\r\nContent-Security-Policy: default-src 'none'; script-src 'self';",
                               "\r\nX-Content-Type-Options: nosniff\r\n", "\r\nReferrer-Policy: no-referrer\r\n"})
        QVERIFY2(page.contains(header), header);
    idle.clear();
    QCOMPARE(statusLine(exchange(port, "GET /board.css HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")), "HTTP/1.1 200 OK");
    QVERIFY(readChangeToken(m_db->admin()) == before);
    QCOMPARE(server->state(), QProcess::Running);
}

// With Cert and Key the board speaks TLS only, and its cookie is Secure.
void WebTest::httpsOnly()
{
    const QString dir = QFileInfo(m_installation.paths().executablePath()).absolutePath();
    QVERIFY(test::run(u"openssl"_s, {u"req"_s, u"-x509"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-days"_s, u"1"_s,
                                     u"-subj"_s, u"/CN=localhost"_s, u"-keyout"_s, dir + u"/web.key"_s, u"-out"_s,
                                     dir + u"/web.pem"_s})
                .ok);
    const quint16 port = freePort();
    configure(u"Listen=127.0.0.1:%1\r\nToken=%2\r\nCert=web.pem\r\nKey=%3/web.key\r\n"_s.arg(port).arg(Token, dir));
    std::unique_ptr<QProcess> server = startServer(port);
    QVERIFY(server);
    QCOMPARE(statusLine(exchange(port, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")), "");

    QSslSocket tls;
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    tls.connectToHostEncrypted(u"127.0.0.1"_s, port);
    QVERIFY(tls.waitForEncrypted(AnswerTimeoutMs));
    tls.write("GET /?token=" + Token.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray answer;
    while (!answer.contains("\r\n\r\n") && tls.waitForReadyRead(AnswerTimeoutMs))
        answer += tls.readAll();
    QCOMPARE(statusLine(answer), "HTTP/1.1 302 Found");
    QVERIFY2(answer.contains("; HttpOnly; SameSite=Strict;") && answer.contains("; Secure\r\n"), answer.constData());
}

QTEST_GUILESS_MAIN(WebTest)
#include "tst_web.moc"
