#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

namespace granovia {

// One running console per program name and user. The guard's name is the
// executable's file name in upper case, so copies in other directories count
// as the same program. A guard left behind by a crashed instance is taken over.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString &executableFileName, QObject *parent = nullptr);
    ~SingleInstance() override;

    bool isPrimary() const { return m_primary; }
    // Asks the running instance to bring its console to the front.
    void activateRunning();

signals:
    void activationRequested();

private:
    void listen();

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
    bool m_primary = false;
};

} // namespace granovia
