// The console's start-up sequence and its end, against the test server, with
// the dialogs answered by the test.
#include "ConsoleFixture.h"
#include "app/IniFile.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
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
    void refusedStartWritesNothing();
    void badPortTextLeavesTheConsoleOpenWithoutData();
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
    QCOMPARE(ConsoleProbe(&form).snapshot().sila_procent[7], 50.0L);
    QCOMPARE(ConsoleProbe(&form).snapshot().sila_druh[7], u"Žito"_s);
    QCOMPARE(ConsoleProbe(&form).suiImagePanel2()->text(), u"SILO"_s);
    QCOMPARE(ConsoleProbe(&form).suiImagePanel3()->text(), u"SILO"_s);
    Result record = db.admin().query(u"select modul, pc, stredisko from historiem"_s);
    QVERIFY(record.next());
    QCOMPARE(record.toText(u"modul"_s), u"Údržba číselníků"_s);
    QCOMPARE(record.toText(u"pc"_s), u"5"_s);
    QCOMPARE(record.toText(u"stredisko"_s), u"12"_s);
    QVERIFY(!record.next());
}

// The notice names the reason below its two lines.
void StartupTest::failedConnectionIsReportedAndEndsTheSystem_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("database");
    QTest::addColumn<bool>("portClosed");
    QTest::addColumn<QString>("reason");
    QTest::newRow("wrong password") << u"not-the-password"_s << QString() << false
                                    << u"Server odmítl uživatelské jméno nebo heslo."_s;
    QTest::newRow("unknown database") << QString() << u"t_startup_none"_s << false
                                      << u"Databáze zadaná v klíči Database na serveru neexistuje."_s;
    QTest::newRow("no server") << QString() << QString() << true << u"Server není dostupný nebo neodpovídá."_s;
}

void StartupTest::failedConnectionIsReportedAndEndsTheSystem()
{
    QFETCH(QString, password);
    QFETCH(QString, database);
    QFETCH(bool, portClosed);
    QFETCH(QString, reason);
    ScratchDatabase db(u"t_startup_failed"_s);
    ConnectionSettings wrong = db.settings();
    wrong.password = password.isNull() ? wrong.password : password;
    wrong.database = database.isNull() ? wrong.database : database;
    Installation installation;
    installation.pointAt(wrong, QString::number(portClosed ? closedPort() : wrong.port));
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
}

void StartupTest::refusedStartWritesNothing()
{
    ScratchDatabase db(u"t_startup_refused"_s);
    Installation installation;
    const QString port = QString::number(db.settings().port);
    installation.pointAt(db.settings(), port, port);
    ScriptedDialogs dialogs;

    TForm1 form(installation.context());
    QSignalSpy ended(&form, &TForm1::endRequested);
    form.show();

    QCOMPARE(dialogs.texts(),
              QStringList{ConnectionFailed + u"Spuštění programu je zablokováno: server odpovídá na kontrolním portu "
                                             "(klíč SQLportopen)."_s});
    QCOMPARE(ended.count(), 1);
    QCOMPARE(db.count(u"historiem"_s), 0);
}

void StartupTest::badPortTextLeavesTheConsoleOpenWithoutData()
{
    ScratchDatabase db(u"t_startup_port"_s);
    db.execute(u"insert into ppsila (silo, stav, kapacita) values (7, 20, 40)"_s);
    Installation installation;
    installation.pointAt(db.settings(), u"33o6"_s);
    ScriptedDialogs dialogs;

    TForm1 form(installation.context());
    QSignalSpy ended(&form, &TForm1::endRequested);
    form.show();

    QCOMPARE(dialogs.texts(), QStringList{u"'33o6' is not a valid integer value"_s});
    QCOMPARE(ended.count(), 0);
    QVERIFY(form.isVisible());
    QCOMPARE(ConsoleProbe(&form).snapshot().sila_procent[7], 0.0L);
    QCOMPARE(db.count(u"historiem"_s), 0);
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
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
