#pragma once

#include <QString>

namespace granovia {

// Where the program finds its files: everything is relative to the directory
// of the executable, as on the workstations the suite was built for.
class AppPaths final {
public:
    explicit AppPaths(const QString &executablePath);
    static AppPaths ofRunningProgram();

    const QString &executablePath() const { return m_executablePath; }
    QString executableDir() const;
    QString executableFileName() const;
    // The executable's name with its extension replaced by ".INI".
    QString ownIniPath() const;
    // "granovia.ini" in the parent directory of the executable's directory.
    QString sharedIniPath() const;
    QString columnLayoutPath() const;
    QString fileBesideProgram(const QString &name) const;

private:
    QString m_executablePath;
};

} // namespace granovia
