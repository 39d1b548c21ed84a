#include "config/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using granovia::IniFile;
using namespace Qt::StringLiterals;

namespace {

const QString Default = QStringLiteral("<default>");

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

} // namespace

class TestIniFile : public QObject {
    Q_OBJECT

private slots:
    void init();

    void readString_data();
    void readString();
    void readStringFromMissingFileOrDirectoryGivesDefault();
    void readStringSeesChangesMadeByOthers();

    void writeStringIntoExistingFile_data();
    void writeStringIntoExistingFile();
    void writeStringTwiceReplacesValue();
    void writeStringFailsForUnwritablePath_data();
    void writeStringFailsForUnwritablePath();
    void writeStringFailureKeepsOldFile();
    void writeStringKeepsTheGroupOfAReplacedFile();

private:
    QString iniPath() const { return m_dir->filePath(QStringLiteral("silo.ini")); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestIniFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestIniFile::readString_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("missing section") << QByteArray("[Other]\r\nUser=jan\r\n") << "LogOn" << "User" << Default;
    QTest::newRow("missing key") << QByteArray("[LogOn]\r\nUser=jan\r\n") << "LogOn" << "Password" << Default;
    QTest::newRow("key of the following section is not seen")
        << QByteArray("[LogOn]\r\nUser=jan\r\n[Net]\r\nIP=10.0.0.1\r\n") << "LogOn" << "IP" << Default;
    QTest::newRow("key before the first section belongs to none")
        << QByteArray("IP=10.0.0.1\r\n[Net]\r\nPort=3306\r\n") << "Net" << "IP" << Default;
    QTest::newRow("empty value is empty text, not the default")
        << QByteArray("[Net]\r\nIP=\r\n") << "Net" << "IP" << "";
    QTest::newRow("value of blanks only is empty text") << QByteArray("[Net]\r\nIP= \t \r\n") << "Net" << "IP" << "";
    QTest::newRow("empty quotes give empty text") << QByteArray("[Net]\r\nIP=\"\"\r\n") << "Net" << "IP" << "";

    QTest::newRow("plain value") << QByteArray("[LogOn]\r\nUser=jan\r\n") << "LogOn" << "User" << "jan";
    QTest::newRow("blanks inside the value kept")
        << QByteArray("[LogOn]\r\nUser=Jan  Novak\r\n") << "LogOn" << "User" << "Jan  Novak";
    QTest::newRow("single quotes and blanks around '=' removed")
        << QByteArray("[LogOn]\r\n  Password =  'tajne heslo'  \r\n") << "LogOn" << "Password" << "tajne heslo";
    QTest::newRow("double quotes and blanks around '=' removed")
        << QByteArray("[LogOn]\r\n  Password =  \"tajne heslo\"  \r\n") << "LogOn" << "Password" << "tajne heslo";
    QTest::newRow("tabs around key and value removed")
        << QByteArray("[LogOn]\r\n\tPassword\t=\theslo\t\r\n") << "LogOn" << "Password" << "heslo";
    QTest::newRow("blanks inside quotes kept")
        << QByteArray("[LogOn]\r\nPassword=' heslo '\r\n") << "LogOn" << "Password" << " heslo ";
    QTest::newRow("non-matching quotes kept")
        << QByteArray("[LogOn]\r\nPassword=\"abc'\r\n") << "LogOn" << "Password" << "\"abc'";
    QTest::newRow("only one pair of quotes removed")
        << QByteArray("[LogOn]\r\nPassword=\"\"x\"\"\r\n") << "LogOn" << "Password" << "\"x\"";
    QTest::newRow("single quote character kept")
        << QByteArray("[LogOn]\r\nPassword=\"\r\n") << "LogOn" << "Password" << "\"";
    QTest::newRow("quotes inside the value kept")
        << QByteArray("[LogOn]\r\nPassword=a 'b' c\r\n") << "LogOn" << "Password" << "a 'b' c";
    QTest::newRow("value runs from the first '='")
        << QByteArray("[Db]\r\nOptions=a=1;b=2\r\n") << "Db" << "Options" << "a=1;b=2";

    QTest::newRow("lower-case section found by mixed-case name")
        << QByteArray("[logon]\r\nuser=jan\r\n") << "LogOn" << "USER" << "jan";
    QTest::newRow("Czech section name matched without regard to case")
        << QByteArray("[\xDA" "DR\x8E" "BA]\r\nInterval=7\r\n") << u"údržba"_s << "Interval" << "7";
    QTest::newRow("blanks around section name ignored")
        << QByteArray("  [  LogOn  ]  \r\nUser=jan\r\n") << "LogOn" << "User" << "jan";
    QTest::newRow("text after the closing bracket ignored")
        << QByteArray("[LogOn] ; login\r\nUser=jan\r\n") << "LogOn" << "User" << "jan";

    QTest::newRow("LF line endings") << QByteArray("[Net]\nIP=10.0.0.1\nPort=3306\n") << "Net" << "IP" << "10.0.0.1";
    QTest::newRow("CRLF line endings")
        << QByteArray("[Net]\r\nIP=10.0.0.1\r\nPort=3306\r\n") << "Net" << "IP" << "10.0.0.1";
    QTest::newRow("mixed line endings")
        << QByteArray("[Other]\nA=1\r\n[Net]\nPort=3306\r\nIP=10.0.0.1\r\n") << "Net" << "IP" << "10.0.0.1";
    QTest::newRow("last line without line ending") << QByteArray("[Net]\r\nIP=10.0.0.1") << "Net" << "IP" << "10.0.0.1";
    QTest::newRow("lone CR at the end stripped") << QByteArray("[Net]\r\nIP=10.0.0.1\r") << "Net" << "IP" << "10.0.0.1";

    QTest::newRow("Windows-1250 value decoded")
        << QByteArray("[Menu]\r\nTitle=\xDA\x64\x72\x9E\x62\x61\r\n") << "Menu" << "Title" << u"Údržba"_s;
    QTest::newRow("duplicate key: first wins")
        << QByteArray("[Net]\r\nIP=first\r\nIP=second\r\n") << "Net" << "IP" << "first";
    QTest::newRow("duplicate section: first wins")
        << QByteArray("[Net]\r\nIP=first\r\n[net]\r\nIP=second\r\n") << "Net" << "IP" << "first";
    QTest::newRow("duplicate section: only the first is searched")
        << QByteArray("[Net]\r\nPort=1\r\n[Net]\r\nIP=second\r\n") << "Net" << "IP" << Default;

    const QString longest(2047, u'x');
    const auto memo = [](const QByteArray &value) { return "[Memo]\r\nText=" + value + "\r\n"; };
    QTest::newRow("3000 characters cut to 2047") << memo(QByteArray(3000, 'x')) << "Memo" << "Text" << longest;
    QTest::newRow("2047 characters kept") << memo(QByteArray(2047, 'x')) << "Memo" << "Text" << longest;
    QTest::newRow("2048 characters cut to 2047") << memo(QByteArray(2048, 'x')) << "Memo" << "Text" << longest;
    QTest::newRow("quotes removed before cutting") << memo('"' + QByteArray(2047, 'x') + '"') << "Memo" << "Text" << longest;
}

void TestIniFile::readString()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    writeBytes(iniPath(), content);

    const IniFile ini(iniPath());

    QCOMPARE(ini.readString(section, key, Default), expected);
}

void TestIniFile::readStringFromMissingFileOrDirectoryGivesDefault()
{
    const IniFile ini(m_dir->filePath(QStringLiteral("missing.ini")));
    QCOMPARE(ini.path(), m_dir->filePath(QStringLiteral("missing.ini")));
    QCOMPARE(ini.readString(QStringLiteral("LogOn"), QStringLiteral("User"), Default), Default);
    QCOMPARE(IniFile(m_dir->path()).readString(QStringLiteral("LogOn"), QStringLiteral("User"), Default), Default);
}

void TestIniFile::readStringSeesChangesMadeByOthers()
{
    const IniFile ini(iniPath());
    writeBytes(iniPath(), "[Net]\r\nIP=10.0.0.1\r\n");
    QCOMPARE(ini.readString(QStringLiteral("Net"), QStringLiteral("IP"), Default), QStringLiteral("10.0.0.1"));

    writeBytes(iniPath(), "[Net]\r\nIP=10.0.0.2\r\n");
    QCOMPARE(ini.readString(QStringLiteral("Net"), QStringLiteral("IP"), Default), QStringLiteral("10.0.0.2"));
}

void TestIniFile::writeStringIntoExistingFile_data()
{
    QTest::addColumn<QByteArray>("before"); // null: no file
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    const QByteArray threeSections("; silo settings\r\n"
                                   "[Net]\r\nIP = 10.0.0.1\r\nPort=3306\r\n\r\n"
                                   "[LogOn]\r\nUser=jan\r\n\r\n"
                                   "[Menu]\r\nTitle=\xDA\x64\x72\x9E\x62\x61\r\n");

    QTest::newRow("existing key replaced, everything else kept")
        << threeSections << "Net" << "IP" << "10.0.0.2"
        << QByteArray("; silo settings\r\n"
                      "[Net]\r\nIP=10.0.0.2\r\nPort=3306\r\n\r\n"
                      "[LogOn]\r\nUser=jan\r\n\r\n"
                      "[Menu]\r\nTitle=\xDA\x64\x72\x9E\x62\x61\r\n");
    QTest::newRow("new key inserted after the last non-blank line of its section")
        << threeSections << "logon" << "Password" << "tajne"
        << QByteArray("; silo settings\r\n"
                      "[Net]\r\nIP = 10.0.0.1\r\nPort=3306\r\n\r\n"
                      "[LogOn]\r\nUser=jan\r\nPassword=tajne\r\n\r\n"
                      "[Menu]\r\nTitle=\xDA\x64\x72\x9E\x62\x61\r\n");
    QTest::newRow("new section appended after a blank line")
        << threeSections << "TForm1" << "FormVersion" << "0"
        << threeSections + "\r\n[TForm1]\r\nFormVersion=0\r\n";
    QTest::newRow("value written in Windows-1250")
        << threeSections << "Menu" << "Title" << u"Příjem"_s
        << QByteArray("; silo settings\r\n"
                      "[Net]\r\nIP = 10.0.0.1\r\nPort=3306\r\n\r\n"
                      "[LogOn]\r\nUser=jan\r\n\r\n"
                      "[Menu]\r\nTitle=P\xF8\xEDjem\r\n");

    QTest::newRow("LF file: key replaced") << QByteArray("[Net]\nIP=1\nPort=2\n") << "Net" << "IP" << "3"
                                           << QByteArray("[Net]\nIP=3\nPort=2\n");
    QTest::newRow("LF file: key inserted") << QByteArray("[Net]\nIP=1\n") << "Net" << "Port" << "2"
                                           << QByteArray("[Net]\nIP=1\nPort=2\n");
    QTest::newRow("LF file: section appended") << QByteArray("[Net]\nIP=1\n") << "LogOn" << "User" << "jan"
                                               << QByteArray("[Net]\nIP=1\n\n[LogOn]\nUser=jan\n");
    QTest::newRow("first line ending decides the style")
        << QByteArray("[Net]\nIP=1\r\n") << "LogOn" << "User" << "jan"
        << QByteArray("[Net]\nIP=1\r\n\n[LogOn]\nUser=jan\n");
    QTest::newRow("replaced line keeps its own line ending")
        << QByteArray("[Net]\r\nIP=1\nPort=2\r\n") << "Net" << "IP" << "3"
        << QByteArray("[Net]\r\nIP=3\nPort=2\r\n");

    QTest::newRow("unterminated last line: key replaced") << QByteArray("[Net]\r\nIP=1") << "Net" << "IP" << "3"
                                                          << QByteArray("[Net]\r\nIP=3");
    QTest::newRow("unterminated last line: key inserted") << QByteArray("[Net]\r\nIP=1") << "Net" << "Port" << "2"
                                                          << QByteArray("[Net]\r\nIP=1\r\nPort=2\r\n");
    QTest::newRow("unterminated last line: section appended")
        << QByteArray("[Net]\r\nIP=1") << "LogOn" << "User" << "jan"
        << QByteArray("[Net]\r\nIP=1\r\n\r\n[LogOn]\r\nUser=jan\r\n");
    QTest::newRow("new file") << QByteArray() << "TForm1" << "FormVersion" << "0"
                              << QByteArray("[TForm1]\r\nFormVersion=0\r\n");
    QTest::newRow("empty file gets no leading blank line")
        << QByteArray("") << "LogOn" << "User" << "jan" << QByteArray("[LogOn]\r\nUser=jan\r\n");

    QTest::newRow("key inserted under a header with no keys")
        << QByteArray("[Net]\r\n\r\n[LogOn]\r\nUser=jan\r\n") << "Net" << "IP" << "1"
        << QByteArray("[Net]\r\nIP=1\r\n\r\n[LogOn]\r\nUser=jan\r\n");
    QTest::newRow("key written as given by the caller")
        << QByteArray("[net]\r\nip=1\r\n") << "Net" << "IP" << "2" << QByteArray("[net]\r\nIP=2\r\n");
    QTest::newRow("duplicate key: first one replaced")
        << QByteArray("[Net]\r\nIP=1\r\nIP=2\r\n") << "Net" << "IP" << "3"
        << QByteArray("[Net]\r\nIP=3\r\nIP=2\r\n");
    QTest::newRow("duplicate section: key added to the first")
        << QByteArray("[Net]\r\nPort=1\r\n[Net]\r\nIP=2\r\n") << "Net" << "IP" << "3"
        << QByteArray("[Net]\r\nPort=1\r\nIP=3\r\n[Net]\r\nIP=2\r\n");
    QTest::newRow("key before the first section left alone")
        << QByteArray("IP=1\r\n[Net]\r\n") << "Net" << "IP" << "2" << QByteArray("IP=1\r\n[Net]\r\nIP=2\r\n");
    QTest::newRow("bytes undefined in Windows-1250 kept on other lines")
        << QByteArray("[Raw]\r\nData=\x81\x98\r\n[Net]\r\nIP=1\r\n") << "Net" << "IP" << "2"
        << QByteArray("[Raw]\r\nData=\x81\x98\r\n[Net]\r\nIP=2\r\n");
}

void TestIniFile::writeStringIntoExistingFile()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    if (!before.isNull())
        writeBytes(iniPath(), before);
    IniFile ini(iniPath());

    QVERIFY(ini.writeString(section, key, value));

    QCOMPARE(readBytes(iniPath()), after);
    QCOMPARE(ini.readString(section, key, Default), value);
}

void TestIniFile::writeStringTwiceReplacesValue()
{
    IniFile ini(iniPath());

    QVERIFY(ini.writeString(QStringLiteral("Net"), QStringLiteral("IP"), QStringLiteral("10.0.0.1")));
    QVERIFY(ini.writeString(QStringLiteral("Net"), QStringLiteral("IP"), QStringLiteral("10.0.0.2")));

    QCOMPARE(readBytes(iniPath()), QByteArray("[Net]\r\nIP=10.0.0.2\r\n"));
    // The same value again changes nothing, so the file is not even written.
    struct stat before {};
    QCOMPARE(stat(QFile::encodeName(iniPath()).constData(), &before), 0);
    QVERIFY(ini.writeString(QStringLiteral("Net"), QStringLiteral("IP"), QStringLiteral("10.0.0.2")));
    struct stat after {};
    QCOMPARE(stat(QFile::encodeName(iniPath()).constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
}

void TestIniFile::writeStringFailsForUnwritablePath_data()
{
    QTest::addColumn<QString>("relativePath");

    QTest::newRow("path is a directory") << QStringLiteral("settings");
    QTest::newRow("directory does not exist") << QStringLiteral("no-such-dir/silo.ini");
}

void TestIniFile::writeStringFailsForUnwritablePath()
{
    QFETCH(QString, relativePath);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("settings")));
    const QString path = m_dir->filePath(relativePath);
    IniFile ini(path);

    QVERIFY(!ini.writeString(QStringLiteral("Net"), QStringLiteral("IP"), QStringLiteral("1")));

    QCOMPARE(ini.readString(QStringLiteral("Net"), QStringLiteral("IP"), Default), Default);
}

void TestIniFile::writeStringFailureKeepsOldFile()
{
    const QByteArray original("[Net]\r\nIP=1\r\n");
    writeBytes(iniPath(), original);
    const QString dirPath = m_dir->path();
    const auto writable = QFile::permissions(dirPath);
    // A read-only file in a read-only folder: neither replaced nor written in place.
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadOther;
    QVERIFY(QFile::setPermissions(iniPath(), readOnly));
    QVERIFY(QFile::setPermissions(dirPath, readOnly | QFileDevice::ExeOwner | QFileDevice::ExeOther));
    // Root writes where the permissions say no: as root, the write runs as nobody.
    constexpr uid_t Nobody = 65534;
    const bool root = geteuid() == 0;
    QVERIFY(!root || (setegid(Nobody) == 0 && seteuid(Nobody) == 0));
    const bool written = IniFile(iniPath()).writeString(QStringLiteral("Net"), QStringLiteral("IP"), QStringLiteral("2"));
    QVERIFY(!root || (seteuid(0) == 0 && setegid(0) == 0));
    QVERIFY(QFile::setPermissions(dirPath, writable));
    QVERIFY(!written);
    QCOMPARE(readBytes(iniPath()), original);
}

void TestIniFile::writeStringKeepsTheGroupOfAReplacedFile()
{
    // Root may write to the folder, so the file is replaced; the operators'
    // group must keep it, or they could not write it any more.
    if (geteuid() != 0)
        QSKIP("Only root may hand a replaced file back to its group");
    constexpr gid_t OperatorsGroup = 64123;
    writeBytes(iniPath(), "[Net]\r\nIP=1\r\n");
    QCOMPARE(::chown(QFile::encodeName(iniPath()).constData(), 0, OperatorsGroup), 0);

    QVERIFY(IniFile(iniPath()).writeString(QStringLiteral("Net"), QStringLiteral("IP"), QStringLiteral("2")));

    QCOMPARE(readBytes(iniPath()), QByteArray("[Net]\r\nIP=2\r\n"));
    QCOMPARE(QFileInfo(iniPath()).groupId(), OperatorsGroup);
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
