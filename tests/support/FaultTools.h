#pragma once

// Tools of the fault tests: a database server of their own that they stop
// and stall, child processes, and the X server's view of the cursor.
#include "Relay.h"
#include "RunTool.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <csignal>
#include <unistd.h>
#include <xcb/xfixes.h>

namespace granovia::test {

using namespace Qt::StringLiterals;

inline const QString ChildVariable = u"GRANOVIA_FAULTS_CHILD"_s;

inline bool isChild()
{
    return qEnvironmentVariableIsSet(ChildVariable.toLatin1().constData());
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
    // Options of mariadbd for every start from now on.
    void setOptions(const QStringList &options) { m_options = options; }
    // False when the server did not start.
    bool start()
    {
        // A server found running belongs to the process that started it.
        const pid_t running = pid();
        m_owned = m_owned || running <= 0 || kill(running, 0) != 0;
        const Ran server = run(u"" GRANOVIA_DBSERVER ""_s, QStringList{u"start"_s, m_dir} + m_options);
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

    QString dir() const { return m_dir; }

private:
    QString m_dir = u"" GRANOVIA_FAULTS_DIR ""_s;
    QStringList m_options;
    quint16 m_port = 0;
    bool m_owned = false;
};

// Certificates made by openssl for a server of the test's own: a CA, the
// certificate it signed for the loopback address, one it signed for another
// host, one for the loopback address that has expired, and a second CA that
// signed none. The server reads server.pem and
// server.key, which serve() points at either certificate.
class TlsFiles final {
public:
    explicit TlsFiles(const QString &dir)
        : m_dir(dir)
    {
    }
    QString path(const QString &name) const { return m_dir + u'/' + name; }
    QStringList serverOptions() const
    {
        return {u"--ssl-ca="_s + path(u"ca.pem"_s), u"--ssl-cert="_s + path(u"server.pem"_s),
                u"--ssl-key="_s + path(u"server.key"_s)};
    }
    bool make() const
    {
        QDir().mkpath(m_dir);
        return certify(u"ca"_s) && certify(u"other-ca"_s) && certify(u"loopback"_s, u"IP:127.0.0.1,DNS:localhost"_s)
            && certify(u"stranger"_s, u"DNS:another-host.invalid"_s) && expired() && serve(u"loopback"_s);
    }
    // Takes effect at the server's start or its next "flush ssl".
    bool serve(const QString &certificate) const
    {
        for (const QString &extension : {u".pem"_s, u".key"_s}) {
            QFile::remove(path(u"server"_s + extension));
            if (!QFile::copy(path(certificate + extension), path(u"server"_s + extension)))
                return false;
        }
        return true;
    }

private:
    // A CA of its own without names, or a certificate for these names signed by ca.pem.
    bool certify(const QString &name, const QString &names = {}) const
    {
        QStringList arguments{u"req"_s, u"-x509"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:P-256"_s,
                              u"-nodes"_s, u"-days"_s, u"2"_s, u"-subj"_s, u"/CN=Granovia test "_s + name,
                              u"-keyout"_s, path(name + u".key"_s), u"-out"_s, path(name + u".pem"_s)};
        if (!names.isEmpty())
            arguments << u"-addext"_s << u"subjectAltName="_s + names << u"-addext"_s
                      << u"basicConstraints=critical,CA:FALSE"_s << u"-CA"_s << path(u"ca.pem"_s) << u"-CAkey"_s
                      << path(u"ca.key"_s);
        return run(u"openssl"_s, arguments).ok;
    }
    // expired.pem: signed by ca.pem for the loopback address, valid until yesterday.
    bool expired() const
    {
        QFile names(path(u"expired.ext"_s));
        if (!names.open(QIODevice::WriteOnly) || names.write("subjectAltName=IP:127.0.0.1\n") < 0)
            return false;
        names.close();
        return run(u"openssl"_s, {u"req"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:P-256"_s, u"-nodes"_s,
                                  u"-subj"_s, u"/CN=Granovia test expired"_s, u"-keyout"_s, path(u"expired.key"_s),
                                  u"-out"_s, path(u"expired.csr"_s)}).ok
            && run(u"openssl"_s, {u"x509"_s, u"-req"_s, u"-in"_s, path(u"expired.csr"_s), u"-CA"_s, path(u"ca.pem"_s),
                                  u"-CAkey"_s, path(u"ca.key"_s), u"-days"_s, u"-1"_s, u"-extfile"_s, names.fileName(),
                                  u"-out"_s, path(u"expired.pem"_s)}).ok;
    }

    QString m_dir;
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
