// The connection, the start record and the silo snapshot against the private
// test server.
#include "TestDatabase.h"
#include "store/DbError.h"
#include "config/HostInfo.h"
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
using namespace granovia::test;

namespace {

const QString NineColumnJournal = u"create table historiem (id int auto_increment primary key, modul varchar(60), "
                                   "pc varchar(10), stredisko varchar(10), uzivatel varchar(20), datumcas datetime, "
                                   "ipadr varchar(15), computeruser varchar(62), computername varchar(15))"_s;
const QString EightColumnJournal = QString(NineColumnJournal).remove(u"uzivatel varchar(20), "_s);

StartEnvironment fixedEnvironment()
{
    return {
        [] { return u"10.1.2.3"_s; },
        [] { return u"o'brien \"sklad\" \\x"_s; },
        [] { return u"PC-SKLAD"_s; },
        [] { return u"2026-12-01 08:00:02"_s; },
        [] { return u"1.0.0.0"_s; },
        [] { return QDateTime(QDate(2026, 12, 9), QTime(10, 11, 12)); },
    };
}

StartRequest requestFor(const ScratchDatabase &db, unsigned int port, const QString &probe = {})
{
    return {db.settings(), QString::number(port), probe, u"Údržba číselníků"_s, u"12"_s, u"5"_s};
}

// The start records, each with its fields but the id joined by '|'.
QString startRecords(ScratchDatabase &db)
{
    QStringList records;
    for (Result r = db.admin().query(u"select * from historiem"_s); r.next();) {
        QStringList fields;
        for (const QString &name : r.fieldNames().mid(1))
            fields << r.toText(name);
        records << fields.join(u'|');
    }
    return records.join(u'\n');
}

unsigned int closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort(); // closed again when probe goes
}

void insertSilo(ScratchDatabase &db, int silo, const QString &stav, const QString &kapacita,
                const QString &druh = u"Pšenice"_s, const QString &odruda = u"Bohemia"_s)
{
    db.execute(u"insert into ppsila (silo, stav, kapacita, naz_dru, naz_odru) values (%1, %2, %3, '%4', '%5')"_s
                   .arg(silo)
                   .arg(stav, kapacita, druh, odruda));
}

// Each silo's slot as "id|stock|percentage|druh|odruda".
QStringList slotsOf(const SiloSnapshot &s, const QList<int> &silos)
{
    QStringList shown;
    for (const int n : silos)
        shown << u"%1|%2|%3|%4|%5"_s.arg(s.sila_id[n]).arg(double(s.sila_stav[n])).arg(double(s.sila_procent[n]))
                     .arg(s.sila_druh[n], s.sila_odruda[n]);
    return shown;
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
    void startRecord_data();
    void startRecord();
    void shorterLayoutGetsTheNamedForm();
    void hostListStartsOnTheFirstHostThatAnswers_data();
    void hostListStartsOnTheFirstHostThatAnswers();
    void lostSessionIsReplacedOnTheHostThatWorkedLast();
    void portTextMustBeDecimalInteger_data();
    void portTextMustBeDecimalInteger();
    void systemEnvironmentValues();

    // Snapshot
    void snapshotAppliesRowsByTheRules();
};

void StoreTest::serverErrorsAreTypedWithTheServersMessage()
{
    ScratchDatabase db(u"t_store_errors"_s);
    try {
        db.admin().query(u"select * from no_such_table"_s);
        QFAIL("no error");
    } catch (const DbError &error) {
        QCOMPARE(error.code(), 1146u);
        QVERIFY2(error.serverMessage().contains(u"no_such_table"_s), qPrintable(error.serverMessage()));
        // The operator reads Czech only.
        QCOMPARE(error.message(), u"Databáze ohlásila chybu 1146!\nAkce nebyla provedena."_s);
        QCOMPARE(error.statement(), QByteArray("select * from no_such_table"));
    }
}

void StoreTest::textRoundTripsAsWindows1250AndEscaped()
{
    ScratchDatabase db(u"t_store_text"_s);
    const QString lot = u"Řepa \"Žlutá\" 'č.1' \\ ďť"_s;
    Connection &c = db.admin();
    c.execute(u"insert into ppsila set silo = 1, partie = \"%1\""_s.arg(c.escape(lot)));
    // Stored as Windows-1250 bytes, not as some other encoding's.
    QCOMPARE(firstColumn(c, u"select partie from ppsila union all select hex(partie) from ppsila"_s),
             lot + u"\nD865706120228E6C7574E1222027E82E3127205C20EF9D"_s);
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
    ScratchDatabase db(u"t_store_bound"_s);
    Connection c;
    c.open(db.settings());
    std::optional<Transaction> transaction;
    if (tableLocks) {
        c.execute(u"lock tables ppsila write"_s);
        c.setHoldingTableLocks(true);
    } else {
        transaction.emplace(c);
    }
    const QString write = u"insert into ppsila (silo) values (91)"_s;
    db.execute(u"kill %1"_s.arg(scalar(c, u"select connection_id()"_s)));
    const QString refusal = u"The session of the open transaction or table locks is gone"_s;
    try {
        readFirst ? void(c.query(u"select count(*) from ppsila"_s)) : c.execute(write);
        QFAIL("a statement on a dead session went through");
    } catch (const DbError &error) {
        QVERIFY(error.isConnectionLost());
        // The cut itself is reported, not a refusal to try again.
        QVERIFY2(!error.serverMessage().contains(refusal), qPrintable(error.message()));
    }
    QVERIFY_THROWS_EXCEPTION(DbError, c.execute(write));
    QVERIFY2(!c.isOpen(), "a new session was opened under the transaction or the locks");
    QCOMPARE(db.count(u"ppsila"_s), 0);
    c.setHoldingTableLocks(false);
}

void StoreTest::nullReadsAsZeroOrEmpty()
{
    ScratchDatabase db(u"t_store_null"_s);
    db.execute(u"insert into ppsila set silo = null, stav = null, partie = null, navoz = null"_s);
    Result r = db.admin().query(u"select * from ppsila"_s);
    QVERIFY(r.next());
    QCOMPARE(std::tuple(r.isNull(u"stav"_s), r.toDouble(u"stav"_s), r.toInt(u"silo"_s), r.toText(u"partie"_s),
                        r.toDateTime(u"navoz"_s).isValid()),
             std::tuple(true, 0.0, qint64(0), QString(), false));
    QVERIFY(!r.next());
    // Two fields of one name: both listed, the first read.
    Result twice = db.admin().query(u"select 1 as a, 2 as a, 3 as b"_s);
    QVERIFY(twice.next());
    QCOMPARE(twice.fieldNames(), (QStringList{u"a"_s, u"a"_s, u"b"_s}));
    QCOMPARE(twice.toInt(u"a"_s), 1);
}

// The start record in the journal's layouts: by name, or by position in a
// journal of nine columns; a probe that answers refuses the start, as does
// a wrong password, and neither writes a record.
void StoreTest::startRecord_data()
{
    QTest::addColumn<QString>("journal");  // replaces the schema's; empty: none
    QTest::addColumn<QString>("probe");    // the probe port; "main": the server's own
    QTest::addColumn<QString>("password"); // null: the right one
    QTest::addColumn<QString>("record");   // empty: no start
    const QString named = u"Údržba číselníků|5|12|2026-12-09 10:11:12|10.1.2.3|o'brien \"sklad\" \\x|PC-SKLAD|"
                          "2026-12-01 08:00:02|1.0.0.0"_s;
    QTest::newRow("named layout gets every value") << QString() << QString() << QString() << named;
    QTest::newRow("nine columns, by position") << NineColumnJournal << QString() << QString()
        << u"Údržba číselníků|5|12||2026-12-09 10:11:12|10.1.2.3|o'brien \"sklad\" \\x|PC-SKLAD"_s;
    QTest::newRow("probe on a closed port") << QString() << QString::number(closedPort()) << QString() << named;
    QTest::newRow("probe answering") << QString() << u"main"_s << QString() << QString();
    QTest::newRow("wrong password") << QString() << QString() << u"wrong"_s << QString();
}

void StoreTest::startRecord()
{
    QFETCH(QString, journal);
    QFETCH(QString, probe);
    QFETCH(QString, password);
    QFETCH(QString, record);
    ScratchDatabase db(u"t_store_start"_s);
    const unsigned int port = db.settings().port;
    if (!journal.isEmpty()) {
        db.execute(u"drop table historiem"_s);
        db.execute(journal);
    }
    StartRequest request = requestFor(db, port, probe == u"main"_s ? QString::number(port) : probe);
    if (!password.isNull())
        request.server.password = password;
    Connection connection;
    QCOMPARE(consql(connection, request, fixedEnvironment()), !record.isEmpty());
    QCOMPARE(startRecords(db), record);
    if (probe.isEmpty())
        QCOMPARE(connection.isOpen(), !record.isEmpty());
    // The session goes on without an SQL mode, so double quotes delimit text.
    if (!record.isEmpty())
        QCOMPARE(firstColumn(connection, u"select @@sql_mode"_s), QString());
}

void StoreTest::shorterLayoutGetsTheNamedForm()
{
    ScratchDatabase db(u"t_store_short"_s);
    db.execute(u"drop table historiem"_s);
    db.execute(EightColumnJournal);
    Connection connection;
    // Eight columns: the named form names mdatumcas, which this journal lacks.
    QVERIFY_THROWS_EXCEPTION(DbError, consql(connection, requestFor(db, db.settings().port), fixedEnvironment()));
    QCOMPARE(db.count(u"historiem"_s), 0);
}

// The first host refuses (nothing listens on that loopback address) or
// never greets; the start goes on to the next, passing a silent host after
// about two seconds. The probe asks the first host only, so a server
// answering on the probe port at the second refuses nothing. A single host
// that never greets is given up after the connect time-out.
void StoreTest::hostListStartsOnTheFirstHostThatAnswers_data()
{
    QTest::addColumn<QString>("hosts"); // %1: a port that accepts and never greets; null: the one host, on it
    QTest::addColumn<bool>("probe");
    QTest::addColumn<qint64>("fromMs");
    QTest::addColumn<qint64>("toMs");
    constexpr qint64 timeout = Connection::ConnectTimeoutSeconds * 1000;
    QTest::newRow("first host refuses, probe on it only") << u"127.0.0.2,127.0.0.1"_s << true << 0ll << timeout;
    QTest::newRow("first host silent") << u"127.0.0.1:%1, 127.0.0.1"_s << false
                                       << qint64(Connection::HostAnswerSeconds * 1000 - 100) << timeout;
    QTest::newRow("only host silent") << QString() << false << timeout - 1000 << timeout + 6000;
}

void StoreTest::hostListStartsOnTheFirstHostThatAnswers()
{
    QFETCH(QString, hosts);
    QFETCH(bool, probe);
    QFETCH(qint64, fromMs);
    QFETCH(qint64, toMs);
    ScratchDatabase db(u"t_store_hosts"_s);
    const unsigned int port = db.settings().port;
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    StartRequest request = requestFor(db, hosts.isNull() ? silent.serverPort() : port, probe ? QString::number(port) : QString());
    if (!hosts.isNull())
        request.server.host = QString(hosts).replace(u"%1"_s, QString::number(silent.serverPort()));
    Connection connection;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(consql(connection, request, fixedEnvironment()), !hosts.isNull());
    const qint64 ms = timer.elapsed();
    QCOMPARE(db.count(u"historiem"_s), hosts.isNull() ? 0 : 1);
    QVERIFY2(ms >= fromMs && ms < toMs, qPrintable(QString::number(ms)));
}

// A silent host before the one that worked is not asked again when the
// session is lost: the new one begins on the host that worked last.
void StoreTest::lostSessionIsReplacedOnTheHostThatWorkedLast()
{
    ScratchDatabase db(u"t_store_hosts"_s);
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    ConnectionSettings settings = db.settings();
    settings.host = u"127.0.0.1:%1,%2"_s.arg(silent.serverPort()).arg(settings.host);
    Connection connection;
    connection.open(settings);
    const QString sessionId = u"select connection_id()"_s;
    const qint64 session = scalar(connection, sessionId);
    db.execute(u"kill connection %1"_s.arg(session));
    QVERIFY(scalar(connection, sessionId) != session);
    int asked = 0;
    while (silent.waitForNewConnection(0)) {
        while (silent.hasPendingConnections()) {
            delete silent.nextPendingConnection();
            ++asked;
        }
    }
    QCOMPARE(asked, 1);
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
    ScratchDatabase db(u"t_store_port"_s);
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

void StoreTest::systemEnvironmentValues()
{
    QTemporaryDir dir;
    const QString program = dir.filePath(u"granovia-silo"_s);
    QFile file(program);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime(QDate(2026, 11, 30), QTime(14, 5, 9, 700)), QFileDevice::FileModificationTime));
    file.close();

    const StartEnvironment system = hostinfo::startEnvironment(program);
    QCOMPARE(system.fileVersion(), hostinfo::formatFileVersion(hostinfo::programVersion()));
    const QString computer(15, u'c');
    QCOMPARE((QStringList{system.fileTime(), hostinfo::startEnvironment(dir.filePath(u"missing"_s)).fileTime(),
                          hostinfo::formatFileVersion(hostinfo::FileVersion{2, 15, 3, 417}),
                          hostinfo::formatFileVersion(std::nullopt), hostinfo::ipv4AddressOf(u"localhost"_s),
                          hostinfo::ipv4AddressOf(QString()),
                          hostinfo::limitedName(computer, hostinfo::MaxComputerNameLength),
                          hostinfo::limitedName(computer + u'c', hostinfo::MaxComputerNameLength),
                          hostinfo::limitedName(QString(63, u'u'), hostinfo::MaxUserNameLength)}),
             (QStringList{u"2026-11-30 14:05:08"_s, u"1899-12-30 00:00:00"_s, u"2.15.3.417"_s, u"-1.0.0.0"_s,
                          u"127.0.0.1"_s, u"255.255.255.255"_s, computer, u"(Unknown)"_s, u"(Unknown)"_s}));
}

void StoreTest::snapshotAppliesRowsByTheRules()
{
    ScratchDatabase db(u"t_snapshot_rules"_s);
    insertSilo(db, 1, u"0"_s, u"40"_s);    // empty, with old texts
    insertSilo(db, 2, u"-5"_s, u"50"_s);   // negative counts as stock
    insertSilo(db, 3, u"12.5"_s, u"50"_s);
    insertSilo(db, 150, u"10"_s, u"20"_s); // loaded, shown nowhere
    insertSilo(db, 250, u"10"_s, u"20"_s); // no slot
    db.execute(u"insert into ppsila (silo, stav, kapacita, naz_dru) values (4, null, 30, 'Oves')"_s);
    db.execute(u"insert into ppsila (silo, stav) values (null, 7)"_s);
    insertSilo(db, 8, u"12"_s, u"0"_s);
    db.execute(u"insert into ppsila (silo, stav, kapacita) values (9, 3, null)"_s);
    insertSilo(db, 5, u"30"_s, u"40"_s, u"Žito"_s, u"Dankowskie"_s);
    insertSilo(db, 5, u"10"_s, u"40"_s, u"Oves"_s, u"Atego"_s);
    db.execute(u"update ppsila set id = 20 where naz_dru = 'Žito'"_s);

    SiloSnapshot s;
    s.reset();
    QVERIFY(!s.loaded);
    s.load(db.admin());
    QVERIFY(s.loaded);
    const QList<int> silos{1, 2, 3, 4, 5, 8, 9, 150};
    QStringList expected{u"1|0|0||"_s, u"2|-5|-10|Pšenice|Bohemia"_s, u"3|12.5|25|Pšenice|Bohemia"_s, u"6|0|0||"_s,
                         u"11|10|25|Oves|Atego"_s, u"8|12|0|Pšenice|Bohemia"_s, u"9|3|0||"_s, u"4|10|50|Pšenice|Bohemia"_s};
    QCOMPARE(slotsOf(s, silos), expected);
    QCOMPARE(scalar(db.admin(), selectSiloByNumber(5)), 11);
    db.execute(u"delete from ppsila where silo = 3"_s);
    s.load(db.admin());
    expected[2] = u"0|0|0||"_s;
    QCOMPARE(slotsOf(s, silos), expected);
    db.execute(u"rename table ppsila to ppsila_gone"_s);
    QVERIFY_THROWS_EXCEPTION(DbError, s.load(db.admin()));
    QCOMPARE(slotsOf(s, silos), expected);
    db.execute(u"rename table ppsila_gone to ppsila"_s);
}

QTEST_GUILESS_MAIN(StoreTest)
#include "tst_store.moc"
