#include "config/SaveFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

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
// A file whose group cannot be kept is left to its owner alone.
constexpr mode_t OwnerOnly = S_IRWXU;
// Hidden names tried for a new file before giving up.
constexpr int NameTries = 16;
const QByteArray OpenFiles = "/proc/self/fd/";
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

// A hidden name beside the file, not used yet by anyone.
QByteArray hiddenName(const QString &path)
{
    const QFileInfo info(path);
    const QString random = QString::number(QRandomGenerator::global()->generate64(), 16);
    return QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() + u'.' + random);
}

// The folder's entry of a renamed file on the disk too; a folder that cannot
// be synced loses nothing that is not lost without it.
void syncFolder(const QString &path)
{
    const int folder = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (folder < 0)
        return;
    ::fsync(folder);
    ::close(folder);
}

} // namespace

FileReplacement::FileReplacement(QString path)
    : m_path(std::move(path))
    , m_nativePath(QFile::encodeName(m_path))
{
}

FileReplacement::~FileReplacement()
{
    m_file.close();
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temporaryName.isEmpty())
        ::unlink(m_temporaryName.constData());
}

bool FileReplacement::note(const char *step)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("%1: %2").arg(QLatin1String(step), QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

bool FileReplacement::open()
{
    const QByteArray folder = QFile::encodeName(QFileInfo(m_path).absolutePath());
    m_fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, NewFileMode);
    // A file system without unnamed files gets a hidden name at once.
    if (m_fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        for (int i = 0; i < NameTries && m_fd < 0; ++i) {
            m_temporaryName = hiddenName(m_path);
            m_fd = ::open(m_temporaryName.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, NewFileMode);
            if (m_fd < 0 && errno != EEXIST)
                break;
        }
    }
    if (m_fd < 0) {
        m_folderRefuses = errno == EACCES || errno == EPERM || errno == EROFS;
        const bool noted = note("create");
        m_temporaryName.clear();
        return noted;
    }
    if (!m_file.open(m_fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
        m_error = m_file.errorString();
        return false;
    }
    return true;
}

QString FileReplacement::nameForLibraries() const
{
    return m_temporaryName.isEmpty() ? QFile::decodeName(OpenFiles + QByteArray::number(m_fd))
                                     : QFile::decodeName(m_temporaryName);
}

bool FileReplacement::commit()
{
    if (m_fd < 0)
        return false;
    if (!m_file.flush() || m_file.error() != QFileDevice::NoError) {
        if (m_error.isEmpty())
            m_error = m_file.errorString();
        return false;
    }
    return keepOwnership() && (::fsync(m_fd) == 0 || note("fsync")) && putInPlace();
}

// The old file's mode, owner and group; a group that cannot be kept takes
// the group's and others' access with it.
bool FileReplacement::keepOwnership()
{
    struct stat old {};
    if (::stat(m_nativePath.constData(), &old) != 0)
        return true;
    const mode_t mode = old.st_mode & 07777;
    if (::fchmod(m_fd, mode) != 0)
        return note("chmod");
    if ((old.st_uid == ::geteuid() && old.st_gid == ::getegid()) || ::fchown(m_fd, old.st_uid, old.st_gid) == 0)
        return true;
    if (::fchown(m_fd, uid_t(-1), old.st_gid) == 0) {
        std::fprintf(stderr, "%s now belongs to this user: %s\n", m_nativePath.constData(), std::strerror(errno));
        return true;
    }
    std::fprintf(stderr, "%s cannot keep its group (%s); only its owner may read it now\n", m_nativePath.constData(),
                 std::strerror(errno));
    return ::fchmod(m_fd, mode & OwnerOnly) == 0 || note("chmod");
}

// An unnamed file gets a hidden name only now that it is whole, and takes
// the file's name at once.
bool FileReplacement::putInPlace()
{
    const QByteArray self = OpenFiles + QByteArray::number(m_fd);
    for (int i = 0; i < NameTries && m_temporaryName.isEmpty(); ++i) {
        const QByteArray name = hiddenName(m_path);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)
            m_temporaryName = name;
        else if (errno != EEXIST)
            return note("link");
    }
    m_file.close();
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0)
        return note("close");
    if (m_temporaryName.isEmpty() || ::rename(m_temporaryName.constData(), m_nativePath.constData()) != 0)
        return note("rename");
    m_temporaryName.clear();
    syncFolder(m_path);
    return true;
}

bool saveWholeFile(const QString &path, const QByteArray &bytes)
{
    const QByteArray nativePath = QFile::encodeName(path);
    struct stat status {};
    const bool exists = ::stat(nativePath.constData(), &status) == 0;
    const std::optional<QByteArray> oldBytes = exists ? readAll(nativePath) : std::optional(QByteArray());
    if (exists && oldBytes == bytes)
        return true;
    FileReplacement file(path);
    const bool opened = file.open();
    if (opened && file.device().write(bytes) == bytes.size() && file.commit())
        return true;
    QString reason = file.errorString().isEmpty() ? file.device().errorString() : file.errorString();
    // A folder that refuses new files may still hold a file the operators may write.
    if (!opened && file.folderRefuses() && exists && oldBytes) {
        Failure inPlace;
        if (overwrite(nativePath, *oldBytes, bytes, inPlace))
            return true;
        reason = inPlace.reason();
    }
    std::fprintf(stderr, "%s was not saved and stays as it was (%s)\n", nativePath.constData(), qPrintable(reason));
    return false;
}

} // namespace granovia
