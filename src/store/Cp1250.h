#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace granovia::cp1250 {

// The database, the INI files and the wire all carry Windows-1250 text.
QByteArray encode(const QString &text);
QString decode(QByteArrayView bytes);

} // namespace granovia::cp1250
