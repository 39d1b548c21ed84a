#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace granovia {

// One running console per program name and user. The guard's name is the
// executable's file name in upper case, so copies in other directories count
// as the same program. It is an advisory lock on a file in a directory that
// only the user can write; the lock ends with its process, so whatever a
// crashed instance left in the file (nothing, garbage, a file nobody can
// read) blocks no later start. A guard that cannot be made at all lets the
// program run as the only instance and says why on standard error.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString &executableFileName, QObject *parent = nullptr);
    ~SingleInstance() override;
    Q_DISABLE_COPY_MOVE(SingleInstance)

    bool isPrimary() const { return m_primary; }
    // Asks the running instance to bring its console to the front.
    void activateRunning();

    // The directory the guard lives in: XDG_RUNTIME_DIR, or a directory of
    // the user's own (mode 0700) under the temporary directory.
    static QString guardDirectory();

signals:
    void activationRequested();

private:
    bool takeLock(const QString &path);
    void runAlone(const QString &reason);
    void listen();
    QString path(const QString &suffix) const;

    QString m_name;
    QString m_directory;
    int m_lockFile = -1;
    QLocalServer m_server;
    bool m_primary = false;
};

} // namespace granovia
