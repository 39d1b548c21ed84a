#pragma once

#include "config/AppPaths.h"
#include "config/HostInfo.h"
#include "console/TForm1.h"
#include "store/Connection.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace granovia::test {

// A program directory of its own: bin/granovia-silo with its INI files and
// col.ini, so that no test touches the files of a real installation.
class Installation final {
public:
    Installation()
    {
        QDir(m_dir.path()).mkdir(QStringLiteral("bin"));
        QFile program(paths().executablePath());
        program.open(QIODevice::WriteOnly);
    }
    AppPaths paths() const { return AppPaths(m_dir.filePath(QStringLiteral("bin/granovia-silo"))); }

    void writeIni(const QString &path, const QString &text) const
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toLatin1());
    }

    // Own INI for the server, shared INI for the database and the record numbers.
    void pointAt(const ConnectionSettings &s, const QString &port, const QString &probe = {}) const
    {
        writeIni(paths().ownIniPath(),
                 QStringLiteral("[LogOn]\r\nIP=%1\r\nUser=%2\r\nPassword=%3\r\nSQLport=%4\r\nSQLportopen=%5\r\n")
                     .arg(s.host, s.user, s.password, port, probe));
        writeIni(paths().sharedIniPath(),
                 QStringLiteral("[LogOn]\r\nDatabase=%1\r\nCisloPC=5\r\nStredisko=12\r\n").arg(s.database));
    }
    void pointAt(const ConnectionSettings &s) const { pointAt(s, QString::number(s.port)); }

    // Puts a copy of the real program, and the named files from beside it,
    // in place of the placeholder.
    void installProgram(const QString &program, const QStringList &besideFiles = {}) const
    {
        QFile::remove(paths().executablePath());
        QVERIFY(QFile::copy(program, paths().executablePath()));
        const QDir from = QFileInfo(program).absoluteDir();
        for (const QString &file : besideFiles)
            QVERIFY(QFile::copy(from.filePath(file), paths().fileBesideProgram(file)));
    }

    // A runtime directory of the installation's own, so that the program's
    // single-instance guard meets no other run's.
    QString runtimeDir() const
    {
        const QString dir = m_dir.filePath(QStringLiteral("runtime"));
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return dir;
    }

    ConsoleContext context(const QStringList &arguments = {QStringLiteral("granovia-silo")}) const
    {
        return {paths(), arguments, hostinfo::startEnvironment(paths().executablePath())};
    }

private:
    QTemporaryDir m_dir;
};

} // namespace granovia::test
