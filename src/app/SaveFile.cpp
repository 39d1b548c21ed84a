#include "app/SaveFile.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace granovia {

namespace {

struct Owner {
    uid_t user;
    gid_t group;
};

std::optional<Owner> ownerOf(const QByteArray &nativePath)
{
    struct stat status {};
    if (::stat(nativePath.constData(), &status) != 0)
        return std::nullopt;
    return Owner{status.st_uid, status.st_gid};
}

// Only root may give a file to someone else; anyone else keeps the new file.
void restoreOwner(const QByteArray &nativePath, const std::optional<Owner> &before)
{
    const std::optional<Owner> after = ownerOf(nativePath);
    if (!before || !after || (before->user == after->user && before->group == after->group))
        return;
    if (::chown(nativePath.constData(), before->user, before->group) != 0)
        qWarning("%s now belongs to this user: %s", nativePath.constData(), std::strerror(errno));
}

} // namespace

bool saveWholeFile(const QString &path, const QByteArray &bytes)
{
    const QByteArray nativePath = QFile::encodeName(path);
    const std::optional<Owner> before = ownerOf(nativePath);
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;
    restoreOwner(nativePath, before);
    return true;
}

} // namespace granovia
