#pragma once

#include <QString>

namespace granovia {

// An INI file read and written with the semantics of the Windows profile functions
// (GetPrivateProfileString / WritePrivateProfileString), text in Windows-1250.
class IniFile final {
public:
    explicit IniFile(QString path);

    const QString &path() const;

    // The value of key in section, or defaultValue when the file, section or key is missing.
    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;

    // Sets key=value in section, creating file, section and key as needed. False when the file cannot be written.
    bool writeString(const QString &section, const QString &key, const QString &value);

private:
    QString m_path;
};

} // namespace granovia
