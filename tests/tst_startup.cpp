// The console's start-up sequence and its end, against the test server, with
// the dialogs answered by the test.
#include "ConsoleFixture.h"
#include "config/IniFile.h"
#include "console/OverviewGrid.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

using namespace granovia;
using namespace Qt::StringLiterals;
using namespace granovia::test;

namespace {

const QString ConnectionFailed = u"Chyba připojení k SQL!\nSpojení se serverem neúspěšné!\n"_s;

unsigned int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort(); // closed again when probe goes
}

QString formVersion(const AppPaths &paths)
{
    return IniFile(paths.ownIniPath()).readString(u"TForm1"_s, u"FormVersion"_s, u"missing"_s);
}

} // namespace

class StartupTest final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { GRANOVIA_REQUIRE_SERVER(); }
    void startLoadsTheSnapshotAndWritesTheRecord();
    void failedConnectionIsReportedAndEndsTheSystem_data();
    void failedConnectionIsReportedAndEndsTheSystem();
    void badPortTextLeavesTheConsoleOpenWithoutData_data();
    void badPortTextLeavesTheConsoleOpenWithoutData();
    void failedLoadIsToldAndTriedAgain_data();
    void failedLoadIsToldAndTriedAgain();
    void closeWritesFormVersion();
    void endWithoutCloseStillWritesFormVersion();
    void unwritableIniIsReportedAndTheCloseGoesOn();
};

void StartupTest::startLoadsTheSnapshotAndWritesTheRecord()
{
    ScratchDatabase db(u"t_startup_ok"_s);
    db.execute(u"insert into ppsila (silo, stav, kapacita, naz_dru) values (7, 20, 40, 'Žito')"_s);
    Installation installation;
    installation.pointAt(db.settings(), QString::number(db.settings().port));
    ScriptedDialogs dialogs;

    TForm1 form(installation.context());
    QSignalSpy ended(&form, &TForm1::endRequested);
    QCOMPARE(ConsoleProbe(&form).suiImagePanel2()->text(), u"SILO (A)"_s);
    form.show();

    QVERIFY2(dialogs.asked.isEmpty(), qPrintable(dialogs.texts().join(u'|')));
    QCOMPARE(ended.count(), 0);
    const ConsoleProbe console(&form);
    QCOMPARE(console.snapshot().sila_procent[7], 50.0L);
    QCOMPARE(console.snapshot().sila_druh[7], u"Žito"_s);
    QCOMPARE(console.suiImagePanel2()->text() + u'|' + console.suiImagePanel3()->text(), u"SILO|SILO"_s);
    Result record = db.admin().query(u"select modul, pc, stredisko from historiem"_s);
    QVERIFY(record.next());
    QCOMPARE(QStringList({record.toText(u"modul"_s), record.toText(u"pc"_s), record.toText(u"stredisko"_s)}),
             (QStringList{u"Údržba číselníků"_s, u"5"_s, u"12"_s}));
    QVERIFY(!record.next());
}

// The notice names the reason below its two lines; nothing is written.
void StartupTest::failedConnectionIsReportedAndEndsTheSystem_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("database");
    QTest::addColumn<bool>("portClosed");
    QTest::addColumn<bool>("probeAnswers"); // the server answers on the SQLportopen port
    QTest::addColumn<QString>("reason");
    QTest::newRow("wrong password") << u"not-the-password"_s << QString() << false << false
                                    << u"Server odmítl uživatelské jméno nebo heslo."_s;
    QTest::newRow("unknown database") << QString() << u"t_startup_none"_s << false << false
                                      << u"Databáze zadaná v klíči Database na serveru neexistuje."_s;
    QTest::newRow("no server") << QString() << QString() << true << false << u"Server není dostupný nebo neodpovídá."_s;
    QTest::newRow("refused by the probe port") << QString() << QString() << false << true
        << u"Spuštění programu je zablokováno: server odpovídá na kontrolním portu (klíč SQLportopen)."_s;
}

void StartupTest::failedConnectionIsReportedAndEndsTheSystem()
{
    QFETCH(QString, password);
    QFETCH(QString, database);
    QFETCH(bool, portClosed);
    QFETCH(bool, probeAnswers);
    QFETCH(QString, reason);
    ScratchDatabase db(u"t_startup_failed"_s);
    ConnectionSettings wrong = db.settings();
    wrong.password = password.isNull() ? wrong.password : password;
    wrong.database = database.isNull() ? wrong.database : database;
    Installation installation;
    const QString port = QString::number(wrong.port);
    installation.pointAt(wrong, portClosed ? QString::number(closedPort()) : port, probeAnswers ? port : QString());
    ScriptedDialogs dialogs;

    TForm1 form(installation.context());
    QSignalSpy ended(&form, &TForm1::endRequested);
    form.show();

    QCOMPARE(dialogs.texts(), QStringList{ConnectionFailed + reason});
    QCOMPARE(dialogs.asked.first().buttons, QStringList{u"OK"_s});
    QCOMPARE(dialogs.asked.first().icon, ui::DialogIcon::Stop);
    QCOMPARE(dialogs.asked.first().caption, u"Granovia - silo"_s);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.first().first().toInt(), TForm1::ConnectionFailedExitCode);
    QCOMPARE(ConsoleProbe(&form).suiImagePanel2()->text(), u"SILO (A)"_s);
    QCOMPARE(db.count(u"historiem"_s), 0);
}

// A value that means nothing: the notice names the value, the console stays
// open without data, and it never connects, in clear text or otherwise.
void StartupTest::badPortTextLeavesTheConsoleOpenWithoutData_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("ssl");
    QTest::addColumn<QString>("notice");
    QTest::newRow("port") << u"33o6"_s << QString() << u"'33o6' is not a valid integer value"_s;
    QTest::newRow("SSL") << QString() << u"ano"_s
                         << u"Neplatná hodnota „ano“ klíče SSL v sekci [LogOn]: platí 1 (jen přes TLS), "
                            "0 nebo prázdná hodnota (bez TLS)."_s;
}

void StartupTest::badPortTextLeavesTheConsoleOpenWithoutData()
{
    QFETCH(QString, port);
    QFETCH(QString, ssl);
    QFETCH(QString, notice);
    ScratchDatabase db(u"t_startup_port"_s);
    db.execute(u"insert into ppsila (silo, stav, kapacita) values (7, 20, 40)"_s);
    Installation installation;
    const ConnectionSettings s = db.settings();
    installation.pointAt(s);
    installation.writeIni(installation.paths().ownIniPath(),
                          u"[LogOn]\r\nIP=%1\r\nUser=%2\r\nPassword=%3\r\nSQLport=%4\r\nSSL=%5\r\n"_s.arg(
                              s.host, s.user, s.password, port.isNull() ? QString::number(s.port) : port, ssl));
    ScriptedDialogs dialogs;

    TForm1 form(installation.context());
    QSignalSpy ended(&form, &TForm1::endRequested);
    form.show();

    QCOMPARE(dialogs.texts(), QStringList{notice});
    QCOMPARE(ended.count(), 0);
    QVERIFY(form.isVisible());
    QCOMPARE(ConsoleProbe(&form).snapshot().sila_procent[7], 0.0L);
    QCOMPARE(db.count(u"historiem"_s), 0);
}

// The work after the connection fails: told once, the overview says that it
// is not loaded, and the start is done again until it goes through; a board
// terminal then opens its board as it would have.
void StartupTest::failedLoadIsToldAndTriedAgain_data()
{
    QTest::addColumn<QString>("table");
    QTest::newRow("the silos cannot be read") << u"ppsila"_s;
    QTest::newRow("the start record cannot be written") << u"historiem"_s;
}

void StartupTest::failedLoadIsToldAndTriedAgain()
{
    QFETCH(QString, table);
    ScratchDatabase db(u"t_startup_retry"_s);
    db.execute(u"insert into ppsila (silo, stav, kapacita) values (7, 20, 40)"_s);
    db.execute(u"rename table %1 to away"_s.arg(table));
    Installation installation;
    installation.pointAt(db.settings());
    ScriptedDialogs dialogs;
    TForm1 form(installation.context({u"granovia-silo"_s, u"/P"_s}));
    const ConsoleProbe console(&form);
    form.show();
    const auto siloSeven = [&] { return console.prehled()->model()->index(6, OverviewModel::DataColumn).data().toString(); };
    QCOMPARE(dialogs.asked.size(), 1);
    QVERIFY2(dialogs.texts().first().endsWith(u"\nPřehled sil se nepodařilo načíst, program to zkusí znovu každých 15 s."_s),
             qPrintable(dialogs.texts().first()));
    QCOMPARE(siloSeven(), u"nenačteno"_s);
    QVERIFY(!console.Timer1().isActive());
    console.finishStart(); // the next try, failing again, is not told again
    QCOMPARE(dialogs.asked.size(), 1);
    db.execute(u"rename table away to %1"_s.arg(table));
    console.finishStart();
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(siloSeven(), u"20,000 , merkantil"_s);
    QVERIFY(console.Timer1().isActive());
    QCOMPARE(db.count(u"historiem"_s), 1);
}

void StartupTest::closeWritesFormVersion()
{
    Installation installation;
    installation.writeIni(installation.paths().ownIniPath(), u"[LogOn]\r\nSQLport=x\r\n"_s);
    ScriptedDialogs dialogs;
    {
        TForm1 form(installation.context());
        form.show();
        form.close();
        QCOMPARE(formVersion(installation.paths()), u"0"_s);
        // Written once at the close, not again when the window goes.
        QFile::remove(installation.paths().ownIniPath());
    }
    QVERIFY(!QFile::exists(installation.paths().ownIniPath()));
}

void StartupTest::endWithoutCloseStillWritesFormVersion()
{
    Installation installation;
    ScriptedDialogs dialogs;
    {
        TForm1 form(installation.context());
    }
    QCOMPARE(formVersion(installation.paths()), u"0"_s);
    QVERIFY(dialogs.asked.isEmpty());
}

void StartupTest::unwritableIniIsReportedAndTheCloseGoesOn()
{
    Installation installation;
    QVERIFY(QDir().mkpath(installation.paths().ownIniPath()));
    ScriptedDialogs dialogs;
    TForm1 form(installation.context());
    form.FormShow();
    dialogs.asked.clear();
    form.show();
    QVERIFY(form.close());
    QCOMPARE(dialogs.texts(), QStringList{u"Unable to write to %1"_s.arg(installation.paths().ownIniPath())});
    QVERIFY(!form.isVisible());
    // A console that goes without a close opens no dialog while it goes.
    dialogs.asked.clear();
    {
        TForm1 unclosed(installation.context());
    }
    QVERIFY(dialogs.asked.isEmpty());
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
