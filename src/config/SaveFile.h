#pragma once

#include <QByteArray>
#include <QString>

namespace granovia {

// Writes the whole file so that a failure, a full disk or a kill at any
// moment leaves the previous one exactly as it was, or the new one whole; a
// file that would not change is not written at all. A folder that refuses new
// files (an installation owned by root, with the file writable for the
// operators' group) gets the file written in place, only where it changes,
// which keeps its owner and mode; a file it makes shorter is padded with blank
// lines to its old length before it is cut. Where the file is replaced it
// keeps its mode, and its owner and group as far as this process may set
// them: root running the program once leaves the operators' files theirs.
// False when the file cannot be written, which is also said on standard error.
bool saveWholeFile(const QString &path, const QByteArray &bytes);

} // namespace granovia
