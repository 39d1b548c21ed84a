#pragma once

#include "store/StartAudit.h"

#include <QString>
#include <optional>

// Facts about this workstation and this program that go into the start record.
namespace granovia::hostinfo {

inline const QString UnknownName = QStringLiteral("(Unknown)");
inline const QString NoAddress = QStringLiteral("255.255.255.255");
constexpr qsizetype MaxUserNameLength = 62;
constexpr qsizetype MaxComputerNameLength = 15;

// The first IPv4 address of hostName in dotted decimal, or NoAddress.
QString ipv4AddressOf(const QString &hostName);
// The first IPv4 address of this machine's own host name, or NoAddress.
QString localIpv4Address();

// name, or UnknownName when it is empty or longer than maxLength.
QString limitedName(const QString &name, qsizetype maxLength);
QString userName();
QString computerName();

// Last-write time of the file in local time, to 2 s, or the zero time.
QString fileTimeText(const QString &path);

struct FileVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;
    int build = 0;
};
// "-1.0.0.0" stands where there is no version.
QString formatFileVersion(const std::optional<FileVersion> &version);
// This program's own version, from its build.
FileVersion programVersion();

// The running program, from executablePath, on this machine.
StartEnvironment startEnvironment(const QString &executablePath);

} // namespace granovia::hostinfo
