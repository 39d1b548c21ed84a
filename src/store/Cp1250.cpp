#include "store/Cp1250.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace granovia::cp1250 {

namespace {
constexpr const char *CodecName = "windows-1250";
}

// The converters are stateless for a single-byte code page; one per thread is
// kept because building them through ICU costs more than a short conversion.
QByteArray encode(const QString &text)
{
    thread_local QStringEncoder encoder(CodecName);
    return encoder.encode(text);
}

QString decode(QByteArrayView bytes)
{
    thread_local QStringDecoder decoder(CodecName);
    return decoder.decode(bytes);
}

} // namespace granovia::cp1250
