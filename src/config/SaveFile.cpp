#include "config/SaveFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace granovia {

namespace {

// A new file gets what the process's umask leaves of this.
constexpr mode_t NewFileMode = 0666;
// Padding that the files written here (INI files, the column layout) read
// as nothing: blank lines.
constexpr char Padding = '\n';

// Why a save could not be completed; empty when it was.
class Failure final {
public:
    bool failed() const { return !m_reason.isEmpty(); }
    const QString &reason() const { return m_reason; }
    // Notes the system's error of the step that failed; the first one counts.
    bool note(const char *step)
    {
        if (!failed())
            m_reason = QStringLiteral("%1: %2").arg(QLatin1String(step), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }

private:
    QString m_reason;
};

class Descriptor final {
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Q_DISABLE_COPY_MOVE(Descriptor)
    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    // Closes now, so that a failing close is seen.
    bool close()
    {
        const int fd = std::exchange(m_fd, -1);
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

// Writes all of bytes at offset, however many calls it takes.
bool writeAt(int fd, const QByteArray &bytes, off_t offset)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::pwrite(fd, bytes.constData() + done, size_t(bytes.size() - done), offset + done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        done += written;
    }
    return true;
}

std::optional<QByteArray> readAll(const QByteArray &nativePath)
{
    QFile file(QFile::decodeName(nativePath));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

qsizetype commonPrefix(const QByteArray &a, const QByteArray &b)
{
    const qsizetype length = std::min(a.size(), b.size());
    qsizetype i = 0;
    while (i < length && a.at(i) == b.at(i))
        ++i;
    return i;
}

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return NewFileMode & ~mask;
}

enum class Replaced { Yes, No, FolderRefuses };

// A new file beside the old one, whole and on the disk, that then takes the
// old one's name: a kill or a full disk at any moment leaves the old file or
// the new one. The new file keeps the old one's mode, and its owner and
// group as far as this process may set them.
Replaced replace(const QByteArray &nativePath, const QByteArray &bytes, const struct stat *old, Failure &failure)
{
    const QFileInfo info(QFile::decodeName(nativePath));
    QByteArray temporary = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) + ".XXXXXX";
    Descriptor file(::mkstemp(temporary.data()));
    if (!file.isValid()) {
        const bool refused = errno == EACCES || errno == EPERM || errno == EROFS;
        failure.note("create");
        return refused ? Replaced::FolderRefuses : Replaced::No;
    }
    const mode_t mode = old ? (old->st_mode & 07777) : newFileMode();
    const bool written = writeAt(file.get(), bytes, 0) || failure.note("write");
    const bool kept = written && (::fchmod(file.get(), mode) == 0 || failure.note("chmod"));
    if (kept && old && (old->st_uid != ::geteuid() || old->st_gid != ::getegid())
        && ::fchown(file.get(), old->st_uid, old->st_gid) != 0)
        std::fprintf(stderr, "%s now belongs to this user: %s\n", nativePath.constData(), std::strerror(errno));
    const bool down = kept && (::fsync(file.get()) == 0 || failure.note("fsync"));
    const bool closed = file.close() || failure.note("close");
    if (!down || !closed || ::rename(temporary.constData(), nativePath.constData()) != 0) {
        failure.note("rename");
        ::unlink(temporary.constData());
        return Replaced::No;
    }
    return Replaced::Yes;
}

// In place, for a folder that refuses new files: only what changed is
// written, and a shorter file is first padded to its old length, so that
// nothing is cut before the new content is down. Whatever fails puts the old
// content back.
bool overwrite(const QByteArray &nativePath, const QByteArray &oldBytes, const QByteArray &bytes, Failure &failure)
{
    Descriptor file(::open(nativePath.constData(), O_WRONLY));
    if (!file.isValid())
        return failure.note("open");
    const qsizetype same = commonPrefix(oldBytes, bytes);
    QByteArray changed = bytes.mid(same);
    if (bytes.size() < oldBytes.size())
        changed.append(QByteArray(oldBytes.size() - bytes.size(), Padding));
    const bool down = (writeAt(file.get(), changed, off_t(same)) || failure.note("write"))
        && (::fsync(file.get()) == 0 || failure.note("fsync"))
        && (::ftruncate(file.get(), off_t(bytes.size())) == 0 || failure.note("truncate"))
        && (::fsync(file.get()) == 0 || failure.note("fsync"));
    if (down)
        return file.close() || failure.note("close");
    // Back to the old content: overwriting what is there needs no new room.
    const bool restored = writeAt(file.get(), oldBytes.mid(same), off_t(same))
        && ::ftruncate(file.get(), off_t(oldBytes.size())) == 0 && ::fsync(file.get()) == 0;
    if (!restored)
        std::fprintf(stderr, "%s could not be put back as it was: %s\n", nativePath.constData(), std::strerror(errno));
    return false;
}

} // namespace

bool saveWholeFile(const QString &path, const QByteArray &bytes)
{
    const QByteArray nativePath = QFile::encodeName(path);
    struct stat status {};
    const bool exists = ::stat(nativePath.constData(), &status) == 0;
    const std::optional<QByteArray> oldBytes = exists ? readAll(nativePath) : std::optional(QByteArray());
    if (exists && oldBytes == bytes)
        return true;
    Failure failure;
    const Replaced replaced = replace(nativePath, bytes, exists ? &status : nullptr, failure);
    if (replaced == Replaced::Yes)
        return true;
    // A folder that refuses new files may still hold a file the operators may write.
    if (replaced == Replaced::FolderRefuses && exists && oldBytes) {
        Failure inPlace;
        if (overwrite(nativePath, *oldBytes, bytes, inPlace))
            return true;
        failure = inPlace;
    }
    std::fprintf(stderr, "%s was not saved and stays as it was (%s)\n", nativePath.constData(),
                 qPrintable(failure.reason()));
    return false;
}

} // namespace granovia
