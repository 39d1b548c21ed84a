#include "config/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace granovia {

AppPaths::AppPaths(const QString &executablePath)
    : m_executablePath(QFileInfo(executablePath).absoluteFilePath())
{
}

AppPaths AppPaths::ofRunningProgram()
{
    return AppPaths(QCoreApplication::applicationFilePath());
}

QString AppPaths::executableDir() const
{
    return QFileInfo(m_executablePath).absolutePath();
}

QString AppPaths::executableFileName() const
{
    return QFileInfo(m_executablePath).fileName();
}

QString AppPaths::ownIniPath() const
{
    return fileBesideProgram(QFileInfo(m_executablePath).completeBaseName() + QStringLiteral(".INI"));
}

QString AppPaths::sharedIniPath() const
{
    return QDir::cleanPath(executableDir() + QStringLiteral("/../granovia.ini"));
}

QString AppPaths::columnLayoutPath() const
{
    return fileBesideProgram(QStringLiteral("col.ini"));
}

QString AppPaths::fileBesideProgram(const QString &name) const
{
    return QDir(executableDir()).filePath(name);
}

} // namespace granovia
