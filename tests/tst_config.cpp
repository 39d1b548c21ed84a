// The two-stage configuration, the host list, the panel switch and the
// decimal comma.
#include "config/Config.h"
#include "config/NumberFormat.h"
#include "store/DbError.h"
#include "store/HostList.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace granovia;
using namespace Qt::StringLiterals;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class ConfigTest final : public QObject {
    Q_OBJECT
private slots:
    void startConfig_data();
    void startConfig();
    void hostList_data();
    void hostList();
    void panelMode_data();
    void panelMode();
    void decimalCommaParsing_data();
    void decimalCommaParsing();
    void decimalCommaFormatting();
};

void ConfigTest::startConfig_data()
{
    QTest::addColumn<QByteArray>("own"); // null: no file
    QTest::addColumn<QByteArray>("shared");
    QTest::addColumn<QString>("read"); // host|port|user|password|database|portopen|pc|stredisko|TLS only|CA|report limit s, or the refusal
    QTest::newRow("without INI files the defaults apply")
        << QByteArray() << QByteArray() << u"192.168.7.7|3306|root|tovkar|granovia||77|77|0||600"_s;
    QTest::newRow("the shared file replaces only what it holds")
        << QByteArray("[LogOn]\r\nIP=10.0.0.5\r\nUser=sklad\r\nSQLport=3307\r\nSQLportopen=3399\r\n")
        << QByteArray("[LogOn]\r\nDatabase=osiva\r\n") << u"10.0.0.5|3307|sklad|tovkar|osiva|3399|77|77|0||600"_s;
    QTest::newRow("an empty value is not the default")
        << QByteArray("[LogOn]\nIP=\n") << QByteArray() << u"|3306|root|tovkar|granovia||77|77|0||600"_s;
    QTest::newRow("quotes, blanks and letter case")
        << QByteArray() << QByteArray("[logon]\npassword =  'tajn\xe9 heslo'  \nstredisko= \"12\"\n")
        << u"192.168.7.7|3306|root|tajné heslo|granovia||77|12|0||600"_s;
    QTest::newRow("stage two overrides stage one")
        << QByteArray("[LogOn]\nIP=10.0.0.5\nPassword=a\nSQLport=3307\nSSL=1\nSSLCA=ca.pem\nReportLimit=30\n")
        << QByteArray("[LogOn]\nIP=10.0.0.9\nPassword=b\nSQLport=3310\nCisloPC=3\nSSLCA=/etc/ca.pem\nReportLimit= 1200\n")
        << u"10.0.0.9|3310|root|b|granovia||3|77|1|/etc/ca.pem|1200"_s;
    QTest::newRow("an empty shared SSL keeps the own file's TLS")
        << QByteArray("[LogOn]\nSSL=1\nSSLCA=ca.pem\n") << QByteArray("[LogOn]\nSSL=\n")
        << u"192.168.7.7|3306|root|tovkar|granovia||77|77|1|/opt/silo/ca.pem|600"_s;
    QTest::newRow("SSL=0 in the shared file is clear text")
        << QByteArray("[LogOn]\nSSL=1\n") << QByteArray("[LogOn]\nSSL=0\n")
        << u"192.168.7.7|3306|root|tovkar|granovia||77|77|0||600"_s;
    QTest::newRow("any other SSL value is refused, never clear text")
        << QByteArray("[LogOn]\nSSL=ano\n") << QByteArray() << u"refused: SSL"_s;
    QTest::newRow("a report limit beyond a day is refused")
        << QByteArray("[LogOn]\nReportLimit=86401\n") << QByteArray() << u"refused: ReportLimit"_s;
}

void ConfigTest::startConfig()
{
    QFETCH(QByteArray, own);
    QFETCH(QByteArray, shared);
    QFETCH(QString, read);
    QTemporaryDir dir;
    const QString ownPath = dir.filePath(u"own.INI"_s), sharedPath = dir.filePath(u"granovia.ini"_s);
    if (!own.isNull())
        writeFile(ownPath, own);
    if (!shared.isNull())
        writeFile(sharedPath, shared);
    const StartConfig c = readStartConfig(IniFile(ownPath), IniFile(sharedPath), u"192.168.7.7"_s);
    try {
        // Every face of the program connects with these settings.
        const ConnectionSettings s = connectionSettings(c, AppPaths(u"/opt/silo/granovia-silo"_s));
        QCOMPARE(QStringList({s.host, QString::number(s.port), s.user, s.password, s.database, c.sqlPortOpen,
                              c.cisloPc, c.stredisko, QString::number(s.tlsOnly), s.tlsCaFile,
                              QString::number(c.reportSeconds().count())})
                     .join(u'|'),
                 read);
    } catch (const AppError &error) {
        const QString key = read.section(u' ', 1);
        QVERIFY2(read.startsWith(u"refused: "_s) && error.message().contains(u"klíče %1 "_s.arg(key)),
                 qPrintable(error.message()));
    }
}

using Hosts = QList<ServerAddress>;

void ConfigTest::hostList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Hosts>("hosts"); // none: the text is refused
    QTest::newRow("one host") << u"10.0.0.5"_s << Hosts{{u"10.0.0.5"_s, 3306}};
    QTest::newRow("empty text") << QString() << Hosts{{QString(), 3306}};
    QTest::newRow("list with ports and blanks")
        << u" 10.0.0.5,10.0.0.6:3307 , db3.sklad "_s
        << Hosts{{u"10.0.0.5"_s, 3306}, {u"10.0.0.6"_s, 3307}, {u"db3.sklad"_s, 3306}};
    QTest::newRow("localhost over TCP") << u"LocalHost:3310,localhost"_s
                                        << Hosts{{u"127.0.0.1"_s, 3310}, {u"127.0.0.1"_s, 3306}};
    QTest::newRow("empty entries left out") << u"a,,b,"_s << Hosts{{u"a"_s, 3306}, {u"b"_s, 3306}};
    QTest::newRow("IPv6") << u"[fd00::5]:3307,fd00::6"_s << Hosts{{u"fd00::5"_s, 3307}, {u"fd00::6"_s, 3306}};
    QTest::newRow("port that is no port") << u"10.0.0.5,10.0.0.6:33o7"_s << Hosts{};
}

void ConfigTest::hostList()
{
    QFETCH(QString, text);
    QFETCH(Hosts, hosts);
    if (!hosts.isEmpty()) {
        QCOMPARE(parseHostList(text, 3306), hosts);
        return;
    }
    try {
        parseHostList(text, 3306);
        QFAIL("no error");
    } catch (const ConversionError &error) {
        QCOMPARE(error.message(), u"'33o7' is not a valid integer value"_s);
    }
}

void ConfigTest::panelMode_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("panel");
    QTest::newRow("no argument") << QStringList{u"prog"_s} << false;
    QTest::newRow("/P") << QStringList{u"prog"_s, u"/P"_s} << true;
    QTest::newRow("/p in lower case") << QStringList{u"prog"_s, u"/p"_s} << true;
    QTest::newRow("/P only as second argument") << QStringList{u"prog"_s, u"x"_s, u"/P"_s} << false;
    QTest::newRow("/P with more after it") << QStringList{u"prog"_s, u"/P"_s, u"x"_s} << true;
    QTest::newRow("/Panel") << QStringList{u"prog"_s, u"/Panel"_s} << false;
}

void ConfigTest::panelMode()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, panel);
    QCOMPARE(isPanelMode(arguments), panel);
}

void ConfigTest::decimalCommaParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<double>("value");
    QTest::newRow("comma") << u"12,5"_s << true << 12.5;
    QTest::newRow("blanks around") << u"  12,5 "_s << true << 12.5;
    QTest::newRow("negative") << u"-1,5"_s << true << -1.5;
    QTest::newRow("whole number") << u"13"_s << true << 13.0;
    QTest::newRow("point") << u"12.5"_s << false << 0.0;
    QTest::newRow("thousands point") << u"1.234,5"_s << false << 0.0;
    QTest::newRow("thousands blank") << u"1 234,5"_s << false << 0.0;
    QTest::newRow("empty") << QString() << false << 0.0;
    QTest::newRow("word") << u"deset"_s << false << 0.0;
}

void ConfigTest::decimalCommaParsing()
{
    QFETCH(QString, text);
    QFETCH(bool, isNumber);
    QFETCH(double, value);
    const std::optional<double> parsed = numbers::parse(text);
    QCOMPARE(parsed.has_value(), isNumber);
    if (isNumber)
        QCOMPARE(*parsed, value);
}

void ConfigTest::decimalCommaFormatting()
{
    QCOMPARE(numbers::fixed(12.5L, 3), u"12,500"_s);
    QCOMPARE(numbers::fixed(0.0004L, 3), u"0,000"_s);
    QCOMPARE(numbers::fixed(1234567.5L, 3), u"1234567,500"_s);
    QCOMPARE(numbers::general(12.5L), u"12,5"_s);
    QCOMPARE(numbers::general(20.0L), u"20"_s);
    QCOMPARE(numbers::general(37.75L), u"37,75"_s);
    QCOMPARE(numbers::general(-1.5L), u"-1,5"_s);
    QCOMPARE(numbers::general(1234567.125L), u"1234567,125"_s);
    QCOMPARE(numbers::general(50.0L - 12.3456L), u"37,6544"_s);

    numbers::installDecimalComma();
    QCOMPARE(QLocale().toString(2.5, 'f', 1), u"2,5"_s);
}

QTEST_GUILESS_MAIN(ConfigTest)
#include "tst_config.moc"
