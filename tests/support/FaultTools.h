#pragma once

// Tools of the fault tests: a database server of their own that they stop
// and stall, child processes, and the X server's view of the cursor.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTest>
#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <xcb/xfixes.h>

namespace granovia::test {

using namespace Qt::StringLiterals;

inline constexpr int ToolTimeoutMs = 120000;
inline const QString ChildVariable = u"GRANOVIA_FAULTS_CHILD"_s;

inline bool isChild()
{
    return qEnvironmentVariableIsSet(ChildVariable.toLatin1().constData());
}

// A tool's end: whether it succeeded, and all it printed.
struct Ran {
    bool ok = false;
    QByteArray output;
};

inline Ran run(const QString &program, const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(ToolTimeoutMs);
    return {finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
            process.readAll()};
}

// The command that runs one case of this program in a child process; as an
// ordinary user when the test runs as root, whom no permission check would stop.
inline QStringList childCommand(const QString &testCase)
{
    const QStringList command{QCoreApplication::applicationFilePath(), testCase};
    if (geteuid() != 0)
        return command;
    return QStringList{u"setpriv"_s, u"--reuid=nobody"_s, u"--regid=nogroup"_s, u"--clear-groups"_s, u"--"_s} + command;
}

inline Ran runChild(const QString &testCase, QProcessEnvironment environment = QProcessEnvironment::systemEnvironment())
{
    environment.insert(ChildVariable, u"1"_s);
    const QStringList command = childCommand(testCase);
    return run(command.first(), command.mid(1), environment);
}

// The test's own server, in the build tree, with a user on the loopback address.
class FaultServer final {
public:
    // False when the server did not start.
    bool start()
    {
        // A server found running belongs to the process that started it.
        const pid_t running = pid();
        m_owned = m_owned || running <= 0 || kill(running, 0) != 0;
        const Ran server = run(u"" GRANOVIA_DBSERVER ""_s, {u"start"_s, m_dir});
        m_port = server.output.trimmed().toUShort();
        return server.ok && run(u"mariadb"_s, {u"--no-defaults"_s, u"-S"_s, m_dir + u"/mysqld.sock"_s, u"-u"_s, u"root"_s, u"-e"_s,
                          u"create user if not exists 'faults'@'127.0.0.1' identified by 'faults';"
                          "grant all privileges on *.* to 'faults'@'127.0.0.1'"_s})
                                 .ok;
    }
    quint16 port() const { return m_port; }
    // Stops the server if this process started it.
    void release()
    {
        if (m_owned)
            stop();
    }
    void stop()
    {
        const pid_t server = pid();
        run(u"" GRANOVIA_DBSERVER ""_s, {u"stop"_s, m_dir});
        while (server > 0 && kill(server, 0) == 0)
            QTest::qWait(50);
    }
    pid_t pid() const
    {
        QFile file(m_dir + u"/mysqld.pid"_s);
        return file.open(QIODevice::ReadOnly) ? pid_t(file.readAll().trimmed().toInt()) : 0;
    }

private:
    QString m_dir = u"" GRANOVIA_FAULTS_DIR ""_s;
    quint16 m_port = 0;
    bool m_owned = false;
};

// The server stands still while this lives, as a stalled machine would.
class Stall final {
public:
    // A server without a pid stays as it is, and the test finds no stall.
    explicit Stall(pid_t server)
        : m_server(server)
    {
        if (m_server <= 0)
            return;
        kill(m_server, SIGSTOP);
        // The stop reaches each thread on its own; a thread still running
        // could answer what is sent next.
        while (!allThreadsStopped())
            QThread::usleep(1000);
    }
    ~Stall()
    {
        if (m_server > 0)
            kill(m_server, SIGCONT);
    }
    Q_DISABLE_COPY_MOVE(Stall)

private:
    bool allThreadsStopped() const
    {
        if (m_server <= 0)
            return true;
        const QDir tasks(u"/proc/%1/task"_s.arg(m_server));
        for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile stat(tasks.filePath(task + u"/stat"_s));
            // The state follows the command name in parentheses.
            if (stat.open(QIODevice::ReadOnly) && !stat.readAll().split(')').constLast().startsWith(" T"))
                return false;
        }
        return true;
    }

    pid_t m_server;
};

// A TCP relay on the loopback address between the program and the server,
// which can cut its connections as a failing network does: the server sees
// its client go only when it next writes to it.
class CuttableRelay final {
public:
    explicit CuttableRelay(quint16 serverPort)
        : m_serverPort(serverPort)
    {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(0);
        bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        listen(m_listener, SOMAXCONN);
        socklen_t length = sizeof address;
        getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { relay(); });
    }
    ~CuttableRelay()
    {
        m_stop = true;
        m_thread.join();
        for (const auto &[client, server] : m_pairs) {
            close(client);
            close(server);
        }
        close(m_listener);
    }
    Q_DISABLE_COPY_MOVE(CuttableRelay)

    quint16 port() const { return m_port; }
    // Cuts the connections as soon as the next packet from a client has gone
    // on to the server.
    void cutAfterNextClientPacket() { m_cutArmed = true; }

private:
    static constexpr int PollMs = 10;
    static constexpr size_t ChunkSize = 65536;

    static sockaddr_in loopback(quint16 port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    void relay()
    {
        while (!m_stop) {
            std::vector<pollfd> watched{{m_listener, POLLIN, 0}};
            for (const auto &[client, server] : m_pairs)
                watched.insert(watched.end(), {{client, POLLIN, 0}, {server, POLLIN, 0}});
            if (poll(watched.data(), watched.size(), PollMs) <= 0)
                continue;
            if (watched[0].revents & POLLIN)
                accept();
            for (size_t i = 1; i < watched.size(); ++i) {
                if (watched[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                    pass((i - 1) / 2, (i - 1) % 2 == 0);
                    break; // the pairs may have changed
                }
            }
        }
    }

    void accept()
    {
        const int client = ::accept(m_listener, nullptr, nullptr);
        const int server = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(m_serverPort);
        if (::connect(server, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            close(client);
            close(server);
            return;
        }
        m_pairs.push_back({client, server});
    }

    // Passes what one side sent to the other; a side that has gone ends the pair.
    void pass(size_t pair, bool fromClient)
    {
        const auto [client, server] = m_pairs[pair];
        char chunk[ChunkSize];
        const ssize_t received = read(fromClient ? client : server, chunk, sizeof chunk);
        const bool sent = received > 0 && write(fromClient ? server : client, chunk, size_t(received)) == received;
        if (sent && !(fromClient && m_cutArmed))
            return;
        if (sent)
            m_cutArmed = false;
        close(client);
        close(server);
        m_pairs.erase(m_pairs.begin() + qsizetype(pair));
    }

    quint16 m_serverPort;
    quint16 m_port = 0;
    int m_listener = -1;
    std::vector<std::pair<int, int>> m_pairs;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_cutArmed{false};
    std::thread m_thread;
};

// The pointer's cursor as the X server shows it, asked on a connection of
// its own, so that it is what the server has, not what the program meant.
class ServerCursor final {
public:
    ServerCursor()
        : m_connection(xcb_connect(nullptr, nullptr))
    {
        free(xcb_xfixes_query_version_reply(m_connection, xcb_xfixes_query_version(m_connection, 4, 0), nullptr));
    }
    ~ServerCursor() { xcb_disconnect(m_connection); }
    Q_DISABLE_COPY_MOVE(ServerCursor)

    // The cursor's image, and in `at` where its top-left corner stands.
    QImage image(QPoint *at = nullptr) const
    {
        xcb_xfixes_get_cursor_image_reply_t *reply =
            xcb_xfixes_get_cursor_image_reply(m_connection, xcb_xfixes_get_cursor_image(m_connection), nullptr);
        if (!reply)
            return {};
        const QImage image = QImage(reinterpret_cast<const uchar *>(xcb_xfixes_get_cursor_image_cursor_image(reply)),
                                    reply->width, reply->height, QImage::Format_ARGB32_Premultiplied)
                                 .copy();
        if (at)
            *at = QPoint(reply->x - reply->xhot, reply->y - reply->yhot);
        free(reply);
        return image;
    }

private:
    xcb_connection_t *m_connection;
};

// The whole screen with the pointer's cursor drawn in, as a person sees it.
inline void screenshot(const QString &name, const ServerCursor &cursor)
{
    const QString path = u"" GRANOVIA_SCREENSHOT_DIR "/"_s + name;
    QVERIFY(run(u"import"_s, {u"-window"_s, u"root"_s, path}).ok);
    QImage screen(path);
    QPoint at;
    const QImage pointer = cursor.image(&at);
    QPainter(&screen).drawImage(at, pointer);
    screen.save(path);
}

} // namespace granovia::test
