#pragma once

#include <QByteArray>
#include <QString>

namespace granovia {

// Writes the whole file so that a failed write leaves the previous one. A
// folder that refuses new files (an installation owned by root, with the file
// writable for the operators' group) gets the file written in place, which
// keeps its owner and mode. Where the file is replaced it keeps its mode, and
// its owner and group as far as this process may set them: root running the
// program once leaves the operators' files theirs. False when the file cannot
// be written.
bool saveWholeFile(const QString &path, const QByteArray &bytes);

} // namespace granovia
