#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace granovia {

// The one way this program puts a file on disk (INI files, the column
// layout, the reports' CSV, XLSX and PDF): a new file is written beside the
// old one, on the disk (fsync), and only then takes its name, so that a
// failure, a full disk or a kill at any moment leaves the old file exactly as
// it was, or the new one whole. The new file has no name until it is whole:
// a killed run leaves nothing behind. It keeps the old file's mode, and its
// owner and group as far as this process may set them; when it cannot keep
// the group, only its owner may read it, so that a file holding a password
// never passes to another group. A new file gets the mode the umask leaves;
// the umask is never changed.
class FileReplacement final {
public:
    explicit FileReplacement(QString path);
    ~FileReplacement(); // a new file not committed is dropped
    Q_DISABLE_COPY_MOVE(FileReplacement)

    // Starts the new file. False when it cannot be made (errorString());
    // folderRefuses() then tells whether the folder takes no new files.
    bool open();
    bool folderRefuses() const { return m_folderRefuses; }
    // The new file, to write through.
    QFile &device() { return m_file; }
    // A name under which a library that writes to a name reaches the new
    // file (it may open it for writing and truncate it).
    QString nameForLibraries() const;
    // Puts the new file in place of the old one. False when it could not
    // (errorString()); the old file then stays as it was.
    bool commit();
    const QString &errorString() const { return m_error; }

private:
    bool note(const char *step);
    bool keepOwnership();
    bool putInPlace();

    QString m_path;
    QByteArray m_nativePath;
    int m_fd = -1;
    // Where the file system makes no unnamed files: the hidden name it has.
    QByteArray m_temporaryName;
    QFile m_file;
    bool m_folderRefuses = false;
    QString m_error;
};

// Writes a whole file as FileReplacement does; a file that would not change
// is not written at all. A folder that refuses new files (an installation
// owned by root, with the file writable for the operators' group) gets the
// file written in place, only where it changes, which keeps its owner and
// mode; a file it makes shorter is padded with blank lines to its old length
// before it is cut. False when the file cannot be written, which is also
// said on standard error.
bool saveWholeFile(const QString &path, const QByteArray &bytes);

} // namespace granovia
