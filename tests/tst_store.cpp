// The connection, the start record and the silo snapshot against the private
// test server.
#include "TestDatabase.h"
#include "store/DbError.h"
#include "store/HostInfo.h"
#include "store/SiloSnapshot.h"
#include "store/StartAudit.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

using namespace granovia;
using namespace Qt::StringLiterals;
using granovia::test::ScratchDatabase;

namespace {

const QString NineColumnJournal = QStringLiteral(
    "create table historiem (id int auto_increment primary key, modul varchar(60), pc varchar(10), "
    "stredisko varchar(10), uzivatel varchar(20), datumcas datetime, ipadr varchar(15), "
    "computeruser varchar(62), computername varchar(15))");

StartEnvironment fixedEnvironment()
{
    return {
        [] { return QStringLiteral("10.1.2.3"); },
        [] { return QStringLiteral("o'brien \"sklad\" \\x"); },
        [] { return QStringLiteral("PC-SKLAD"); },
        [] { return QStringLiteral("2026-12-01 08:00:02"); },
        [] { return QStringLiteral("1.0.0.0"); },
        [] { return QDateTime(QDate(2026, 12, 9), QTime(10, 11, 12)); },
    };
}

StartRequest requestFor(const ScratchDatabase &db, unsigned int port, const QString &probe = {})
{
    ConnectionSettings server = db.settings();
    return {server, QString::number(port), probe, QStringLiteral("Údržba číselníků"), QStringLiteral("12"),
            QStringLiteral("5")};
}

QStringList rowOf(Connection &connection, const QString &statement, const QStringList &columns)
{
    Result result = connection.query(statement);
    if (!result.next())
        return {};
    QStringList values;
    for (const QString &column : columns)
        values.append(result.toText(column));
    return values;
}

unsigned int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort(); // closed again when probe goes
}

void insertSilo(ScratchDatabase &db, int silo, const QString &stav, const QString &kapacita,
                const QString &druh = QStringLiteral("Pšenice"), const QString &odruda = QStringLiteral("Bohemia"))
{
    db.execute(QStringLiteral("insert into ppsila (silo, stav, kapacita, naz_dru, naz_odru) values (%1, %2, %3, '%4', '%5')")
                   .arg(silo)
                   .arg(stav, kapacita, druh, odruda));
}

} // namespace

class StoreTest final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { GRANOVIA_REQUIRE_SERVER(); }

    // Connection
    void serverErrorsAreTypedWithTheServersMessage();
    void textRoundTripsAsWindows1250AndEscaped();
    void nullReadsAsZeroOrEmpty();
    void boundSessionLostIsNeverReplaced_data();
    void boundSessionLostIsNeverReplaced();

    // Start record
    void startInsertTexts();
    void namedLayoutGetsEveryValue();
    void nineColumnLayoutIsWrittenByPosition();
    void shorterLayoutGetsTheNamedForm();
    void probeAnsweringRefusesTheStart();
    void probeOnClosedPortStartsNormally();
    void hostListStartsOnTheFirstHostThatAnswers_data();
    void hostListStartsOnTheFirstHostThatAnswers();
    void portTextMustBeDecimalInteger_data();
    void portTextMustBeDecimalInteger();
    void wrongPasswordIsNoConnection();
    void silentServerGivesUpAfterTheConnectTimeout();
    void systemEnvironmentValues();

    // Snapshot
    void snapshotAppliesRowsByTheRules();
    void snapshotEmptiesSlotsWithoutRows();
    void lowerIdOfTheSameSiloWins();
    void stockWithoutCapacityHasAFinitePercentage();
};

void StoreTest::serverErrorsAreTypedWithTheServersMessage()
{
    ScratchDatabase db(QStringLiteral("t_store_errors"));
    try {
        db.admin().query(QStringLiteral("select * from no_such_table"));
        QFAIL("no error");
    } catch (const DbError &error) {
        QCOMPARE(error.code(), 1146u);
        QVERIFY2(error.message().contains(QStringLiteral("no_such_table")), qPrintable(error.message()));
        QCOMPARE(error.statement(), QByteArray("select * from no_such_table"));
    }
}

void StoreTest::textRoundTripsAsWindows1250AndEscaped()
{
    ScratchDatabase db(QStringLiteral("t_store_text"));
    const QString lot = QStringLiteral("Řepa \"Žlutá\" 'č.1' \\ ďť");
    Connection &c = db.admin();
    c.execute(QStringLiteral("insert into ppsila set silo = 1, partie = \"%1\"").arg(c.escape(lot)));
    QCOMPARE(rowOf(c, QStringLiteral("select partie from ppsila"), {QStringLiteral("partie")}),
             QStringList{lot});
    // Stored as Windows-1250 bytes, not as some other encoding's.
    QCOMPARE(rowOf(c, QStringLiteral("select hex(partie) as h from ppsila"), {QStringLiteral("h")}).value(0),
             QStringLiteral("D865706120228E6C7574E1222027E82E3127205C20EF9D"));
}

// A transaction or table locks live on their session: once it is cut off, a
// read is not made again and a write is not sent on a new session, where it
// would stand outside the transaction or the locks.
void StoreTest::boundSessionLostIsNeverReplaced_data()
{
    QTest::addColumn<bool>("tableLocks");
    QTest::addColumn<bool>("readFirst");
    QTest::newRow("transaction, read cut off") << false << true;
    QTest::newRow("transaction, write cut off") << false << false;
    QTest::newRow("table locks, read cut off") << true << true;
}

void StoreTest::boundSessionLostIsNeverReplaced()
{
    QFETCH(bool, tableLocks);
    QFETCH(bool, readFirst);
    ScratchDatabase db(QStringLiteral("t_store_bound"));
    Connection c;
    c.open(db.settings());
    std::optional<Transaction> transaction;
    if (tableLocks) {
        c.execute(QStringLiteral("lock tables ppsila write"));
        c.setHoldingTableLocks(true);
    } else {
        transaction.emplace(c);
    }
    const QString write = QStringLiteral("insert into ppsila (silo) values (91)");
    db.execute(QStringLiteral("kill %1").arg(rowOf(c, QStringLiteral("select connection_id() as id"), {QStringLiteral("id")}).value(0)));
    const QString refusal = QStringLiteral("The session of the open transaction or table locks is gone");
    try {
        readFirst ? void(c.query(QStringLiteral("select count(*) from ppsila"))) : c.execute(write);
        QFAIL("a statement on a dead session went through");
    } catch (const DbError &error) {
        QVERIFY(error.isConnectionLost());
        // The cut itself is reported, not a refusal to try again.
        QVERIFY2(!error.serverMessage().contains(refusal), qPrintable(error.message()));
    }
    QVERIFY_THROWS_EXCEPTION(DbError, c.execute(write));
    QVERIFY2(!c.isOpen(), "a new session was opened under the transaction or the locks");
    QCOMPARE(db.count(QStringLiteral("ppsila")), 0);
    c.setHoldingTableLocks(false);
}

void StoreTest::nullReadsAsZeroOrEmpty()
{
    ScratchDatabase db(QStringLiteral("t_store_null"));
    db.execute(QStringLiteral("insert into ppsila set silo = null, stav = null, partie = null, navoz = null"));
    Result r = db.admin().query(QStringLiteral("select * from ppsila"));
    QVERIFY(r.next());
    QVERIFY(r.isNull(QStringLiteral("stav")));
    QCOMPARE(r.toDouble(QStringLiteral("stav")), 0.0);
    QCOMPARE(r.toInt(QStringLiteral("silo")), 0);
    QCOMPARE(r.toText(QStringLiteral("partie")), QString());
    QVERIFY(!r.toDateTime(QStringLiteral("navoz")).isValid());
    QVERIFY(!r.next());
    // Two fields of one name: both listed, the first read.
    Result twice = db.admin().query(QStringLiteral("select 1 as a, 2 as a, 3 as b"));
    QVERIFY(twice.next());
    QCOMPARE(twice.fieldNames(), (QStringList{QStringLiteral("a"), QStringLiteral("a"), QStringLiteral("b")}));
    QCOMPARE(twice.toInt(QStringLiteral("a")), 1);
}

void StoreTest::startInsertTexts()
{
    const StartRecord record{QStringLiteral("M"), QStringLiteral("5"),  QStringLiteral("12"),
                             QStringLiteral("2026-12-09 10:11:12"),    QStringLiteral("10.1.2.3"),
                             QStringLiteral("op"), QStringLiteral("PC"), QStringLiteral("2026-12-01 08:00:02"),
                             QStringLiteral("1.0.0.0")};
    const Escape asIs = [](const QString &value) { return value; };
    QCOMPARE(positionalStartInsert(record, asIs),
             QStringLiteral("insert into historiem values\n"
                            "(null, \"M\",\"5\",\"12\",\"\",\"2026-12-09 10:11:12\",\n"
                            "\"10.1.2.3\",\"op\",\"PC\")"));
    QCOMPARE(namedStartInsert(record, asIs),
             QStringLiteral("insert into historiem \n"
                            "set modul = \"M\", pc = \"5\", stredisko = \"12\",\n"
                            "datumcas = \"2026-12-09 10:11:12\",\n"
                            "ipadr = \"10.1.2.3\", computeruser = \"op\", computername = \"PC\",\n"
                            "mdatumcas = \"2026-12-01 08:00:02\", mverze=\"1.0.0.0\""));
}

void StoreTest::namedLayoutGetsEveryValue()
{
    ScratchDatabase db(QStringLiteral("t_store_named"));
    Connection connection;
    QVERIFY(consql(connection, requestFor(db, db.settings().port), fixedEnvironment()));
    const QStringList columns{QStringLiteral("modul"),    QStringLiteral("pc"),           QStringLiteral("stredisko"),
                              QStringLiteral("datumcas"), QStringLiteral("ipadr"),        QStringLiteral("computeruser"),
                              QStringLiteral("computername"), QStringLiteral("mdatumcas"), QStringLiteral("mverze")};
    QCOMPARE(rowOf(db.admin(), QStringLiteral("select * from historiem"), columns),
             (QStringList{QStringLiteral("Údržba číselníků"), QStringLiteral("5"), QStringLiteral("12"),
                          QStringLiteral("2026-12-09 10:11:12"), QStringLiteral("10.1.2.3"),
                          QStringLiteral("o'brien \"sklad\" \\x"), QStringLiteral("PC-SKLAD"),
                          QStringLiteral("2026-12-01 08:00:02"), QStringLiteral("1.0.0.0")}));
    QCOMPARE(db.count(QStringLiteral("historiem")), 1);
    // The session goes on without an SQL mode, so double quotes delimit text.
    QCOMPARE(rowOf(connection, QStringLiteral("select @@sql_mode as m"), {QStringLiteral("m")}),
             QStringList{QString()});
}

void StoreTest::nineColumnLayoutIsWrittenByPosition()
{
    ScratchDatabase db(QStringLiteral("t_store_positional"));
    db.execute(QStringLiteral("drop table historiem"));
    db.execute(NineColumnJournal);
    Connection connection;
    QVERIFY(consql(connection, requestFor(db, db.settings().port), fixedEnvironment()));
    const QStringList columns{QStringLiteral("modul"),    QStringLiteral("pc"),    QStringLiteral("stredisko"),
                              QStringLiteral("uzivatel"), QStringLiteral("datumcas"), QStringLiteral("ipadr"),
                              QStringLiteral("computeruser"), QStringLiteral("computername")};
    QCOMPARE(rowOf(db.admin(), QStringLiteral("select * from historiem"), columns),
             (QStringList{QStringLiteral("Údržba číselníků"), QStringLiteral("5"), QStringLiteral("12"), QString(),
                          QStringLiteral("2026-12-09 10:11:12"), QStringLiteral("10.1.2.3"),
                          QStringLiteral("o'brien \"sklad\" \\x"), QStringLiteral("PC-SKLAD")}));
}

void StoreTest::shorterLayoutGetsTheNamedForm()
{
    ScratchDatabase db(QStringLiteral("t_store_short"));
    db.execute(QStringLiteral("drop table historiem"));
    db.execute(QStringLiteral("create table historiem (id int auto_increment primary key, modul varchar(60), "
                              "pc varchar(10), stredisko varchar(10), datumcas datetime, ipadr varchar(15), "
                              "computeruser varchar(62), computername varchar(15))"));
    Connection connection;
    // Eight columns: the named form names mdatumcas, which this journal lacks.
    QVERIFY_THROWS_EXCEPTION(DbError, consql(connection, requestFor(db, db.settings().port), fixedEnvironment()));
    QCOMPARE(db.count(QStringLiteral("historiem")), 0);
}

void StoreTest::probeAnsweringRefusesTheStart()
{
    ScratchDatabase db(QStringLiteral("t_store_refused"));
    const unsigned int port = db.settings().port;
    Connection connection;
    QVERIFY(!consql(connection, requestFor(db, port, QString::number(port)), fixedEnvironment()));
    QCOMPARE(db.count(QStringLiteral("historiem")), 0);
}

void StoreTest::probeOnClosedPortStartsNormally()
{
    ScratchDatabase db(QStringLiteral("t_store_probe_closed"));
    Connection connection;
    QVERIFY(consql(connection, requestFor(db, db.settings().port, QString::number(closedPort())), fixedEnvironment()));
    QCOMPARE(db.count(QStringLiteral("historiem")), 1);
}

// The first host refuses (nothing listens on that loopback address) or
// never greets; the start goes on to the next. The probe asks the first host
// only, so a server answering on the probe port at the second refuses nothing.
void StoreTest::hostListStartsOnTheFirstHostThatAnswers_data()
{
    QTest::addColumn<bool>("silentFirst");
    QTest::addColumn<bool>("probe");
    QTest::newRow("first host refuses, probe on it only") << false << true;
    QTest::newRow("first host silent") << true << false;
}

void StoreTest::hostListStartsOnTheFirstHostThatAnswers()
{
    QFETCH(bool, silentFirst);
    QFETCH(bool, probe);
    ScratchDatabase db(QStringLiteral("t_store_hosts"));
    const unsigned int port = db.settings().port;
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    StartRequest request = requestFor(db, port, probe ? QString::number(port) : QString());
    request.server.host = silentFirst ? u"127.0.0.1:%1, 127.0.0.1"_s.arg(silent.serverPort()) : u"127.0.0.2,127.0.0.1"_s;
    Connection connection;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(consql(connection, request, fixedEnvironment()));
    const qint64 ms = timer.elapsed();
    QCOMPARE(db.count(QStringLiteral("historiem")), 1);
    // A silent host is passed over after about two seconds, not the connect time-out.
    if (silentFirst)
        QVERIFY2(ms >= Connection::HostAnswerSeconds * 1000 - 100 && ms < Connection::ConnectTimeoutSeconds * 1000,
                 qPrintable(QString::number(ms)));
}

void StoreTest::portTextMustBeDecimalInteger_data()
{
    QTest::addColumn<QString>("mainPort");
    QTest::addColumn<QString>("probePort");
    QTest::addColumn<QString>("message");
    QTest::newRow("letter in main port") << u"33o6"_s << QString() << u"'33o6' is not a valid integer value"_s;
    QTest::newRow("decimal comma") << u"3306,5"_s << QString() << u"'3306,5' is not a valid integer value"_s;
    QTest::newRow("empty main port") << QString() << QString() << u"'' is not a valid integer value"_s;
    QTest::newRow("port above 65535") << u"68947"_s << QString() << u"'68947' is not a valid integer value"_s;
    QTest::newRow("port 0") << u"0"_s << QString() << u"'0' is not a valid integer value"_s;
    QTest::newRow("negative probe port") << u"3306"_s << u"-1"_s << u"'-1' is not a valid integer value"_s;
    QTest::newRow("bad probe port, before any attempt") << u"3306"_s << u"x"_s << u"'x' is not a valid integer value"_s;
}

void StoreTest::portTextMustBeDecimalInteger()
{
    QFETCH(QString, mainPort);
    QFETCH(QString, probePort);
    QFETCH(QString, message);
    ScratchDatabase db(QStringLiteral("t_store_port"));
    StartRequest request = requestFor(db, 0, probePort);
    request.mainPortText = mainPort;
    Connection connection;
    try {
        consql(connection, request, fixedEnvironment());
        QFAIL("no error");
    } catch (const ConversionError &error) {
        QCOMPARE(error.message(), message);
    }
    QVERIFY(!connection.isOpen());
}

void StoreTest::wrongPasswordIsNoConnection()
{
    ScratchDatabase db(QStringLiteral("t_store_password"));
    StartRequest request = requestFor(db, db.settings().port);
    request.server.password = QStringLiteral("wrong");
    Connection connection;
    QVERIFY(!consql(connection, request, fixedEnvironment()));
    QVERIFY(!connection.isOpen());
}

void StoreTest::silentServerGivesUpAfterTheConnectTimeout()
{
    // Accepts connections and never greets: a host that cannot be reached in time.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    ScratchDatabase db(QStringLiteral("t_store_silent"));
    Connection connection;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!consql(connection, requestFor(db, silent.serverPort()), fixedEnvironment()));
    const qint64 seconds = timer.elapsed() / 1000;
    QVERIFY2(seconds >= Connection::ConnectTimeoutSeconds - 1 && seconds <= Connection::ConnectTimeoutSeconds + 5,
             qPrintable(QString::number(seconds)));
}

void StoreTest::systemEnvironmentValues()
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("granovia-silo"));
    QFile file(program);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QDateTime written(QDate(2026, 11, 30), QTime(14, 5, 9, 700));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(written, QFileDevice::FileModificationTime));
    file.close();

    const StartEnvironment system = StartEnvironment::system(program);
    QCOMPARE(system.fileTime(), QStringLiteral("2026-11-30 14:05:08"));
    QCOMPARE(StartEnvironment::system(dir.filePath(QStringLiteral("missing"))).fileTime(),
             QStringLiteral("1899-12-30 00:00:00"));
    QCOMPARE(system.fileVersion(), hostinfo::formatFileVersion(hostinfo::programVersion()));
    QCOMPARE(hostinfo::formatFileVersion(hostinfo::FileVersion{2, 15, 3, 417}), QStringLiteral("2.15.3.417"));
    QCOMPARE(hostinfo::formatFileVersion(std::nullopt), QStringLiteral("-1.0.0.0"));

    QCOMPARE(hostinfo::ipv4AddressOf(QStringLiteral("localhost")), QStringLiteral("127.0.0.1"));
    QCOMPARE(hostinfo::ipv4AddressOf(QString()), QStringLiteral("255.255.255.255"));
    QCOMPARE(hostinfo::limitedName(QString(15, QLatin1Char('c')), hostinfo::MaxComputerNameLength),
             QString(15, QLatin1Char('c')));
    QCOMPARE(hostinfo::limitedName(QString(16, QLatin1Char('c')), hostinfo::MaxComputerNameLength),
             QStringLiteral("(Unknown)"));
    QCOMPARE(hostinfo::limitedName(QString(63, QLatin1Char('u')), hostinfo::MaxUserNameLength),
             QStringLiteral("(Unknown)"));
}

void StoreTest::snapshotAppliesRowsByTheRules()
{
    ScratchDatabase db(QStringLiteral("t_snapshot_rules"));
    insertSilo(db, 1, QStringLiteral("0"), QStringLiteral("40"));                 // empty, with old texts
    insertSilo(db, 2, QStringLiteral("-5"), QStringLiteral("50"));                // negative counts as stock
    insertSilo(db, 3, QStringLiteral("12.5"), QStringLiteral("50"));
    insertSilo(db, 150, QStringLiteral("10"), QStringLiteral("20"));              // loaded, shown nowhere
    insertSilo(db, 250, QStringLiteral("10"), QStringLiteral("20"));              // no slot
    db.execute(QStringLiteral("insert into ppsila (silo, stav, kapacita, naz_dru) values (4, null, 30, 'Oves')"));
    db.execute(QStringLiteral("insert into ppsila (silo, stav) values (null, 7)"));

    Connection connection;
    connection.open(db.settings());
    SiloSnapshot s;
    s.reset();
    s.load(connection);

    QCOMPARE(s.sila_id[1], 1);
    QCOMPARE(s.sila_druh[1], QString());
    QCOMPARE(s.sila_odruda[1], QString());
    QCOMPARE(s.sila_procent[1], 0.0L);
    QCOMPARE(s.sila_procent[2], -10.0L);
    QCOMPARE(s.sila_stav[2], -5.0L);
    QCOMPARE(s.sila_procent[3], 25.0L);
    QCOMPARE(s.sila_druh[3], QStringLiteral("Pšenice"));
    QCOMPARE(s.sila_odruda[3], QStringLiteral("Bohemia"));
    QCOMPARE(s.sila_stav[150], 10.0L);
    QCOMPARE(s.sila_druh[4], QString()); // a NULL stock is an empty silo
    QCOMPARE(s.sila_id[4], 6);
}

void StoreTest::snapshotEmptiesSlotsWithoutRows()
{
    ScratchDatabase db(QStringLiteral("t_snapshot_gone"));
    insertSilo(db, 7, QStringLiteral("20"), QStringLiteral("40"));
    insertSilo(db, 8, QStringLiteral("10"), QStringLiteral("40"));
    Connection connection;
    connection.open(db.settings());
    SiloSnapshot s;
    s.reset();
    QVERIFY(!s.loaded);
    s.load(connection);
    QVERIFY(s.loaded);
    QCOMPARE(s.sila_procent[7], 50.0L);
    db.execute(QStringLiteral("delete from ppsila where silo = 7"));
    s.load(connection);
    QCOMPARE(s.sila_procent[7], 0.0L);
    QCOMPARE(s.sila_id[7], 0);
    QCOMPARE(s.sila_stav[8], 10.0L);
    // A read that fails half way empties nothing.
    db.execute(QStringLiteral("rename table ppsila to ppsila_gone"));
    QVERIFY_THROWS_EXCEPTION(DbError, s.load(connection));
    QCOMPARE(s.sila_stav[8], 10.0L);
    db.execute(QStringLiteral("rename table ppsila_gone to ppsila"));
}

// Of two rows of one silo number the one with the lower id counts, however
// the server orders them otherwise.
void StoreTest::lowerIdOfTheSameSiloWins()
{
    ScratchDatabase db(QStringLiteral("t_snapshot_twice"));
    insertSilo(db, 5, QStringLiteral("30"), QStringLiteral("40"), QStringLiteral("Žito"), QStringLiteral("Dankowskie"));
    insertSilo(db, 5, QStringLiteral("10"), QStringLiteral("40"), QStringLiteral("Oves"), QStringLiteral("Atego"));
    db.execute(QStringLiteral("update ppsila set id = 9 where stav = 30"));
    Connection connection;
    connection.open(db.settings());
    SiloSnapshot s;
    s.reset();
    s.load(connection);
    QCOMPARE(s.sila_id[5], 2);
    QCOMPARE(s.sila_druh[5], QStringLiteral("Oves"));
    Result first = connection.query(selectSiloByNumber(5));
    QVERIFY(first.next());
    QCOMPARE(first.toInt(QStringLiteral("id")), 2);
}

void StoreTest::stockWithoutCapacityHasAFinitePercentage()
{
    ScratchDatabase db(QStringLiteral("t_snapshot_nocap"));
    insertSilo(db, 8, QStringLiteral("12"), QStringLiteral("0"));
    db.execute(QStringLiteral("insert into ppsila (silo, stav, kapacita) values (9, 3, null)"));
    Connection connection;
    connection.open(db.settings());
    SiloSnapshot s;
    s.reset();
    s.load(connection);
    QCOMPARE(s.sila_procent[8], 0.0L);
    QCOMPARE(s.sila_procent[9], 0.0L);
    QCOMPARE(s.sila_stav[8], 12.0L);
    QCOMPARE(s.sila_druh[8], QStringLiteral("Pšenice"));
}

QTEST_GUILESS_MAIN(StoreTest)
#include "tst_store.moc"
