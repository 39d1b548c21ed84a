// The program under the faults of a shop floor, against a server of the
// test's own that it restarts, stops and continues: no action waits longer
// than ten seconds, nothing is booked twice or left half-done, a start
// survives odd SQL modes and lock files, a read-only folder still gets its
// INI file, and a server that takes TLS only is reached with a verified
// certificate or not at all. Each case prints the longest freeze it measured.
#include "ConsoleFixture.h"
#include "FaultTools.h"
#include "TestInstallation.h"
#include "app/SingleInstance.h"
#include "console/ColumnLayout.h"
#include "movements/Movements.h"
#include "movements/Reversal.h"
#include "store/DbError.h"
#include "store/WaitBudget.h"
#include "ui/BusyCursor.h"
#include "ui/ErrorDisplay.h"
#include "config/IniFile.h"
#include "config/SaveFile.h"
#include "reports/ReportFiles.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QtTest>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace granovia;
using namespace Qt::StringLiterals;
using namespace granovia::test;

namespace {

constexpr qint64 MaxFreezeMs = 10000;
const movement::Lot Lot{u"L1"_s, u"Oves"_s, u"Atego"_s, u"C1"_s};
const movement::TransferOrder Transfer{u"01"_s, u"02"_s, u"5"_s, Lot, 1, 2, u"2026-12-09 10:00:00"_s};
enum CommitLoss { KilledBefore, KilledAfter, CutWhileWaiting };
const QString CertificateNotice = u"Chyba připojení k SQL!\nCertifikát serveru se nepodařilo ověřit!\n"_s;
const QString ConnectionFailedNotice = u"Chyba připojení k SQL!\nSpojení se serverem neúspěšné!\n"_s;

} // namespace

class FaultsTest final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup() { m_db.reset(); }

    void serverRestart();
    void sessionLostAroundCommit_data();
    void sessionLostAroundCommit();
    void actionGivesUpInTime_data();
    void actionGivesUpInTime();
    void sqlModes();
    void busyCursorAndMessageOnARealWindow();
    void lockFiles_data();
    void lockFiles();
    void readOnlyFolder();
    void groupThatCannotBeKept();
    void savesOnAFullDiskOrKilled_data();
    void savesOnAFullDiskOrKilled();
    void tlsOnly_data();
    void tlsOnly();

private:
    movement::Outcome transfer(Connection &mover, const movement::StatementHook &hook = {});
    qint64 journalLines() { return m_db->count(u"ppsilap"_s); }
    double stock(int id) { return m_db->silo(id).stav; }

    FaultServer m_server;
    TlsFiles m_tls{m_server.dir() + u"/tls"_s};
    std::unique_ptr<ScratchDatabase> m_db;
};

void FaultsTest::initTestCase()
{
    if (isChild())
        return;
    QVERIFY(m_tls.make());
    // A server that asks for the password in clear text: PAM's simple way.
    m_server.setOptions(m_tls.serverOptions() + QStringList{u"--plugin-load-add=auth_pam"_s, u"--pam-use-cleartext-plugin=ON"_s});
    // A port taken by another program since the last run: a server not yet
    // running comes up on another.
    const CuttableRelay taken(0);
    const bool starting = m_server.pid() <= 0 || kill(m_server.pid(), 0) != 0;
    QFile port(m_server.dir() + u"/port"_s);
    if (starting)
        QVERIFY(port.open(QIODevice::WriteOnly) && port.write(QByteArray::number(taken.port())) > 0);
    port.close();
    QVERIFY(m_server.start());
    QVERIFY(!starting || m_server.port() != taken.port());
    // The shared helpers find this server as the test server.
    qputenv("GRANOVIA_TEST_DB_HOST", "127.0.0.1");
    qputenv("GRANOVIA_TEST_DB_PORT", QByteArray::number(m_server.port()));
    qputenv("GRANOVIA_TEST_DB_USER", "faults");
    qputenv("GRANOVIA_TEST_DB_PASSWORD", "faults");
}

void FaultsTest::cleanupTestCase()
{
    if (!isChild())
        m_server.release();
}

void FaultsTest::init()
{
    if (isChild())
        return;
    m_db = std::make_unique<ScratchDatabase>(u"t_faults"_s);
    m_db->execute(u"insert into ppsila (id, silo, stav, kapacita, partie) values (1, 1, 50, 100, 'L1'), (2, 2, 0, 100, '')"_s);
}

movement::Outcome FaultsTest::transfer(Connection &mover, const movement::StatementHook &hook)
{
    return movement::executeTransfer(mover, Transfer, 5, movement::Locking::Rows, hook);
}

// A restart between two actions: the next action makes a new session and
// does its work, once, through the console's own handlers.
void FaultsTest::serverRestart()
{
    granovia::test::Installation installation;
    installation.pointAt(m_db->settings());
    granovia::test::ScriptedDialogs dialogs;
    TForm1 form(installation.context());
    const ConsoleProbe console(&form);
    form.show();
    emit console.prehled()->cellSelected(1, 0);
    emit console.prehled()->cellSelected(1, 1);
    QCOMPARE(console.snapshot().vyber_b, 2);

    m_server.stop();
    QVERIFY(m_server.start());
    dialogs.queue({1, {}}); // "přesunout"
    console.suiArrowButton2()->click();
    QVERIFY2(dialogs.asked.size() == 1, qPrintable(dialogs.texts().join(u'|')));
    QCOMPARE(journalLines(), 1);
    QCOMPARE(stock(2), 50.0); // the whole stock of silo 1
    emit console.prehled()->cellSelected(1, 1); // a read after the restart too
    QCOMPARE(console.snapshot().vyber_a, 2);
}

// The mover's session is lost at its COMMIT. Killed before it: the movement
// was rolled back and is made again. Killed after it, or cut off while the
// COMMIT still waits behind a global read lock and goes through later: only
// the answer was lost, and the next try finds the movement's journal line
// under its locks and does not book it a second time.
void FaultsTest::sessionLostAroundCommit_data()
{
    QTest::addColumn<int>("loss");
    QTest::addColumn<bool>("reversal"); // of the transfer, which is made first
    QTest::addColumn<QString>("quantityType"); // of the journal's quantity column
    QTest::addColumn<QString>("quantity");
    const QString plain = u"double"_s;
    QTest::newRow("rolled back: made again") << int(KilledBefore) << false << plain << Transfer.quantityText;
    QTest::newRow("committed, answer lost: not booked twice") << int(KilledAfter) << false << plain << Transfer.quantityText;
    QTest::newRow("committed, answer lost, FLOAT quantity") << int(KilledAfter) << false << u"float"_s << u"5.3"_s;
    QTest::newRow("committed, answer lost, DECIMAL(10,2) quantity")
        << int(KilledAfter) << false << u"decimal(10,2)"_s << u"2.345"_s;
    QTest::newRow("commit still running, cut off: booked once")
        << int(CutWhileWaiting) << false << plain << Transfer.quantityText;
    QTest::newRow("reversal rolled back: made again") << int(KilledBefore) << true << plain << Transfer.quantityText;
    QTest::newRow("reversal committed, answer lost: done, not refused as made")
        << int(KilledAfter) << true << plain << Transfer.quantityText;
}

void FaultsTest::sessionLostAroundCommit()
{
    using namespace std::chrono_literals;
    QFETCH(int, loss);
    QFETCH(bool, reversal);
    QFETCH(QString, quantityType);
    QFETCH(QString, quantity);
    m_db->execute(u"alter table ppsilap modify mnozstvi %1 null default 0"_s.arg(quantityType));
    movement::TransferOrder order = Transfer;
    order.quantityText = quantity;
    CuttableRelay relay(m_server.port());
    ConnectionSettings settings = m_db->settings();
    if (loss == CutWhileWaiting)
        settings.port = relay.port();
    Connection mover;
    mover.open(settings);
    Connection blocker;
    blocker.open(m_db->settings());
    if (reversal)
        QCOMPARE(transfer(mover), movement::Outcome::Done);
    const qint64 session = scalar(mover, u"select connection_id()"_s);
    bool lost = false;
    std::thread release;
    const auto hook = [&](int step) {
        if (step != movement::CommitStep || lost)
            return;
        lost = true;
        if (loss == CutWhileWaiting) {
            blocker.execute(u"flush tables with read lock"_s);
            relay.cutAfterNextClientPacket();
            release = std::thread([&blocker] {
                std::this_thread::sleep_for(800ms);
                blocker.execute(u"unlock tables"_s);
            });
            return;
        }
        if (loss == KilledAfter)
            mover.execute(u"commit"_s);
        m_db->execute(u"kill connection %1"_s.arg(session));
    };
    if (reversal) {
        const qint64 line = scalar(mover, u"select max(id) from ppsilap"_s);
        QCOMPARE(movement::executeReversal(mover, line, Transfer.timestamp, {}, hook).outcome,
                 movement::ReversalOutcome::Done);
    } else {
        QCOMPARE(movement::executeTransfer(mover, order, quantity.toDouble(), movement::Locking::Rows, hook),
                 movement::Outcome::Done);
    }
    if (release.joinable())
        release.join();
    QVERIFY(lost);
    QCOMPARE(journalLines(), reversal ? 2 : 1);
    QCOMPARE(stock(1), reversal ? 50.0 : 50.0 - quantity.toDouble());
    QCOMPARE(stock(2), reversal ? 0.0 : quantity.toDouble());
}

// No server, a server that stops in the middle of a transfer, or another
// session holding what the action needs: the action ends within its budget
// with a Czech message. Once the fault is over, what it did is whole or
// nothing, and the next action works, on a new session where needed.
void FaultsTest::actionGivesUpInTime_data()
{
    QTest::addColumn<int>("stallAt");       // the transfer's step at which the server stands still; -1: none
    QTest::addColumn<QString>("lock");      // held by another session; "stop": no server at all
    QTest::addColumn<bool>("click");        // a silo click rather than a transfer
    QTest::addColumn<unsigned int>("code"); // 0: the server's own
    QTest::addColumn<QString>("message");   // the operator's, Czech only
    const QString late = u"Databáze neodpověděla včas!\nAkce nebyla provedena."_s;
    const QString locked = u"Záznamy drží zamčené jiné pracoviště!\nAkce nebyla provedena."_s;
    const QString lockTables = u"lock tables ppsila write"_s;
    QTest::newRow("server stopped") << -1 << u"stop"_s << false << DbError::Unreachable
                                    << u"Databáze není dostupná!\nAkce nebyla provedena."_s;
    QTest::newRow("stall during a statement") << movement::transferstep::AddToTarget << QString() << false
                                              << DbError::TimeLimitReached << late;
    QTest::newRow("stall during the commit") << movement::CommitStep << QString() << false << DbError::OutcomeUnknown
                                             << u"Databáze neodpověděla včas!\nNení jisté, zda byl pohyb zapsán, ověřte jej v historii."_s;
    QTest::newRow("row lock, transfer") << -1 << u"select * from ppsila where id = 2 for update"_s << false << 0u
                                        << locked;
    QTest::newRow("lock tables, transfer") << -1 << lockTables << false << 0u << locked;
    QTest::newRow("lock tables, silo click") << -1 << lockTables << true << 0u << locked;
}

void FaultsTest::actionGivesUpInTime()
{
    QFETCH(int, stallAt);
    QFETCH(QString, lock);
    QFETCH(bool, click);
    QFETCH(unsigned int, code);
    QFETCH(QString, message);
    Connection mover;
    mover.open(m_db->settings());
    const bool stopped = lock == u"stop"_s;
    const bool locked = !stopped && !lock.isEmpty();
    if (stopped)
        m_server.stop();
    if (locked) {
        m_db->execute(u"start transaction"_s);
        m_db->execute(lock);
    }
    std::optional<Stall> stall;
    QElapsedTimer timer;
    timer.start();
    try {
        const WaitBudget action;
        if (click)
            mover.query(u"select * from ppsila where id = 2"_s);
        else
            transfer(mover, [&](int at) {
                if (at == stallAt)
                    stall.emplace(m_server.pid());
            });
        QFAIL("no error");
    } catch (const DbError &error) {
        QCOMPARE(error.message(), message);
        if (code != 0)
            QCOMPARE(error.code(), code);
    }
    const qint64 freeze = timer.elapsed();
    if (locked) {
        m_db->execute(u"unlock tables"_s);
        m_db->execute(u"commit"_s);
    }
    printFreeze(QTest::currentDataTag(), freeze);
    QVERIFY(freeze <= MaxFreezeMs);
    if (stopped)
        QVERIFY(m_server.start());
    if (stall) {
        stall.reset();
        // The abandoned session ends on the server.
        QTRY_COMPARE(scalar(m_db->admin(), u"select count(*) from information_schema.processlist where db = 't_faults'"_s), 1);
    }
    QVERIFY(journalLines() <= (code == DbError::OutcomeUnknown ? 1 : 0));
    QCOMPARE(stock(1), 50.0 - 5 * double(journalLines()));
    QCOMPARE(transfer(mover), movement::Outcome::Done);
}

// The session's own SQL mode is set before the start record, whatever the
// server's global mode: quotes keep their values in, and the start works.
void FaultsTest::sqlModes()
{
    m_db->execute(u"set global sql_mode = 'ANSI,STRICT_ALL_TABLES,NO_BACKSLASH_ESCAPES'"_s);
    const auto reset = qScopeGuard([this] { m_db->execute(u"set global sql_mode = default"_s); });
    StartRequest request{m_db->settings(), QString::number(m_db->settings().port), {}, u"Údržba číselníků"_s,
                         u"12"_s, u"1\", id=\"999"_s};
    request.server.host = u"localhost"_s; // over TCP
    Connection connection;
    QVERIFY(consql(connection, request, hostinfo::startEnvironment(QCoreApplication::applicationFilePath())));
    // One record, under an id of its own; the column holds ten characters.
    QCOMPARE(firstColumn(m_db->admin(), u"select concat(id <> 999, '|', pc) from historiem"_s), u"1|1\", id=\"99"_s);
    QCOMPARE(firstColumn(connection, u"select concat('[', @@session.sql_mode, ']', @@session.innodb_lock_wait_timeout, "
                                     "'|', @@session.lock_wait_timeout)"_s),
             u"[]%1|%1"_s.arg(Connection::LockWaitSeconds));
}

// Whatever stands in the guard's place, a start goes on.
void FaultsTest::lockFiles_data()
{
    QTest::addColumn<QString>("runtimeMode"); // octal; empty: no XDG_RUNTIME_DIR; or a path
    QTest::addColumn<QByteArray>("lockFile"); // null: none
    QTest::addColumn<bool>("unreadable");
    QTest::addColumn<bool>("guarded");
    QTest::newRow("empty lock file") << u"700"_s << QByteArray("") << false << true;
    QTest::newRow("garbage lock file") << u"700"_s << QByteArray("\x01garbage\n") << false << true;
    QTest::newRow("unreadable lock file") << u"700"_s << QByteArray("4242\n") << true << true;
    QTest::newRow("no XDG_RUNTIME_DIR") << QString() << QByteArray() << false << true;
    QTest::newRow("read-only runtime dir") << u"500"_s << QByteArray() << false << false;
    QTest::newRow("runtime dir others can write") << u"777"_s << QByteArray() << false << false;
    QTest::newRow("runtime dir of another user") << u"/"_s << QByteArray() << false << false;
}

void FaultsTest::lockFiles()
{
    QFETCH(bool, guarded);
    if (!isChild()) {
        const Ran child = runChild(u"lockFiles:"_s + QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY2(child.ok, child.output.constData());
        // A start without a guard says why.
        QCOMPARE(child.output.contains("no single-instance guard"), !guarded);
        return;
    }
    QFETCH(QString, runtimeMode);
    QFETCH(QByteArray, lockFile);
    QFETCH(bool, unreadable);
    QTemporaryDir runtime;
    const QString name = u"GRANOVIA-SILO"_s;
    qputenv("TMPDIR", runtime.path().toLocal8Bit());
    if (runtimeMode.isEmpty()) {
        qunsetenv("XDG_RUNTIME_DIR");
    } else if (runtimeMode.startsWith(u'/')) {
        qputenv("XDG_RUNTIME_DIR", runtimeMode.toLocal8Bit());
    } else {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        if (!lockFile.isNull()) {
            QFile file(runtime.filePath(name + u".lock"_s));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(lockFile);
            file.setPermissions(unreadable ? QFile::Permissions() : QFile::ReadOwner | QFile::WriteOwner);
        }
        chmod(runtime.path().toLocal8Bit().constData(), mode_t(runtimeMode.toUInt(nullptr, 8)));
    }
    SingleInstance first(u"granovia-silo"_s);
    SingleInstance second(u"granovia-silo"_s);
    chmod(runtime.path().toLocal8Bit().constData(), S_IRWXU);
    QVERIFY(first.isPrimary());
    QCOMPARE(second.isPrimary(), !guarded);
    if (!guarded)
        return;
    struct stat directory {};
    QCOMPARE(stat(SingleInstance::guardDirectory().toLocal8Bit().constData(), &directory), 0);
    QCOMPARE(directory.st_uid, geteuid());
}

// The folder refuses new files, the INI file and col.ini are writable: both
// are written in place and keep their owner and mode.
void FaultsTest::readOnlyFolder()
{
    const QString folder = qEnvironmentVariable("GRANOVIA_FAULTS_FOLDER");
    if (isChild()) {
        QVERIFY(IniFile(folder + u"/granovia-silo.INI"_s).writeString(u"TForm1"_s, u"FormVersion"_s, u"0"_s));
        QVERIFY(saveColumnLayout(folder + u"/col.ini"_s, defaultHistoryColumns()));
        return;
    }
    QTemporaryDir dir;
    const QStringList files{dir.filePath(u"granovia-silo.INI"_s), dir.filePath(u"col.ini"_s)};
    // The operators' group: nogroup for the ordinary user the test becomes.
    const gid_t operators = geteuid() == 0 ? getgrnam("nogroup")->gr_gid : getegid();
    for (const QString &path : files) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[LogOn]\r\nIP=1\r\n");
        file.close();
        QCOMPARE(chown(path.toLocal8Bit().constData(), geteuid(), operators), 0);
        QCOMPARE(chmod(path.toLocal8Bit().constData(), 0664), 0);
    }
    // Read-only for the child: it is another user, or the folder is made so.
    const QByteArray folderPath = dir.path().toLocal8Bit();
    chmod(folderPath.constData(), geteuid() == 0 ? 0755 : 0555);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"GRANOVIA_FAULTS_FOLDER"_s, dir.path());
    const Ran child = runChild(u"readOnlyFolder"_s, environment);
    chmod(folderPath.constData(), S_IRWXU);
    QVERIFY2(child.ok, child.output.constData());
    QVERIFY(IniFile(files[0]).readString(u"TForm1"_s, u"FormVersion"_s, {}) == u"0"_s);
    QVERIFY(loadColumnLayout(files[1], {u"partie"_s, u"zesila"_s, u"dosila"_s, u"mnozstvi"_s, u"datum"_s}) == defaultHistoryColumns());
    for (const QString &path : files) {
        struct stat info {};
        QCOMPARE(stat(path.toLocal8Bit().constData(), &info), 0);
        QCOMPARE((QList<uint>{info.st_uid, info.st_gid, info.st_mode & 07777}), (QList<uint>{geteuid(), operators, 0664}));
    }
}

// A file whose group this user may not give the new file is left to its
// owner alone: the password in it never passes to another group.
void FaultsTest::groupThatCannotBeKept()
{
    const QString path = qEnvironmentVariable("GRANOVIA_FAULTS_FOLDER") + u"/granovia-silo.INI"_s;
    if (isChild()) {
        QVERIFY(saveWholeFile(path, "[LogOn]\r\nPassword=tovkar\r\n"));
        return;
    }
    if (geteuid() != 0)
        QSKIP("Needs root: the file belongs to a group that the child, another user, is not in");
    QTemporaryDir dir;
    const QByteArray file = QFile::encodeName(dir.filePath(u"granovia-silo.INI"_s));
    {
        QFile old(QFile::decodeName(file));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("[LogOn]\r\n");
    }
    QCOMPARE(chmod(file.constData(), 0660), 0);
    QCOMPARE(chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"GRANOVIA_FAULTS_FOLDER"_s, dir.path());
    const Ran child = runChild(u"groupThatCannotBeKept"_s, environment);
    QVERIFY2(child.ok, child.output.constData());
    struct stat info {};
    QCOMPARE(stat(file.constData(), &info), 0);
    // The child's now, of the child's group, which may not read it.
    QCOMPARE((QList<uint>{info.st_uid, info.st_mode & 07777}), (QList<uint>{uint(getpwnam("nobody")->pw_uid), 0600u}));
}

// A save on a full disk, or killed at any moment, leaves the old file as it
// was or the new one whole, written into the folder or in place.
void FaultsTest::savesOnAFullDiskOrKilled_data()
{
    QTest::addColumn<bool>("inPlace");
    QTest::addColumn<bool>("killed");
    QTest::addColumn<QString>("name"); // a report's CSV, or the INI file
    const QString ini = u"granovia-silo.INI"_s;
    QTest::newRow("full disk, file replaced") << false << false << ini;
    QTest::newRow("full disk, file written in place") << true << false << ini;
    QTest::newRow("full disk, report file replaced") << false << false << u"stav.csv"_s;
    QTest::newRow("killed, file replaced") << false << true << ini;
    QTest::newRow("killed, file written in place") << true << true << ini;
}

void FaultsTest::savesOnAFullDiskOrKilled()
{
    // The old file fills its first page of the disk to the brim; the new one
    // is shorter.
    constexpr int OldSize = 4090;
    const QByteArray head = "[LogOn]\r\nIP=10.0.0.5\r\nPassword=tovkar\r\n";
    const QByteArray oldFile = head + QByteArray(OldSize - head.size() - 2, ';') + "\r\n";
    const QByteArray newFile = head + "[TForm1]\r\nFormVersion=0\r\n";
    QFETCH(QString, name);
    const QString folder = qEnvironmentVariable("GRANOVIA_FAULTS_FOLDER");
    const QString path = folder + u'/' + name;
    if (isChild()) {
        if (name.endsWith(u".csv"_s)) {
            try {
                reports::saveReport({u"Stav sil"_s, {}, {}, {}}, {}, path);
            } catch (const reports::ReportError &error) {
                qWarning().noquote() << error.message();
                return;
            }
            QFAIL("The report was saved on a full disk");
        }
        if (!qEnvironmentVariableIsSet("GRANOVIA_FAULTS_LOOP")) {
            QVERIFY(!IniFile(path).writeString(u"TForm1"_s, u"FormVersion"_s, u"0"_s));
            return;
        }
        for (;;) {
            saveWholeFile(path, newFile);
            saveWholeFile(path, oldFile);
        }
    }
    QFETCH(bool, inPlace);
    QFETCH(bool, killed);
    const bool report = name.endsWith(u".csv"_s);
    if (geteuid() != 0)
        QSKIP("Needs root: it mounts a small tmpfs for the full disk");
    QTemporaryDir dir;
    QVERIFY(run(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=16k,mode=0755"_s, u"tmpfs"_s, dir.path()}).ok);
    const auto unmount = qScopeGuard([&] { run(u"umount"_s, {dir.path()}); });
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"GRANOVIA_FAULTS_FOLDER"_s, dir.path());
    environment.insert(ChildVariable, u"1"_s);
    const QString file = dir.filePath(name);
    const auto contents = [&file] {
        QFile read(file);
        return read.open(QIODevice::ReadOnly) ? read.readAll() : QByteArray("missing");
    };
    {
        QFile write(file);
        QVERIFY(write.open(QIODevice::WriteOnly));
        QCOMPARE(write.write(oldFile), qint64(oldFile.size()));
    }
    // The child, another user, may write the file; the folder only when the
    // file is to be replaced.
    QCOMPARE(chmod(file.toLocal8Bit().constData(), 0666), 0);
    QCOMPARE(chmod(dir.path().toLocal8Bit().constData(), inPlace ? 0755 : 0777), 0);
    const QStringList command = childCommand(u"savesOnAFullDiskOrKilled:"_s + QString::fromLatin1(QTest::currentDataTag()));
    if (!killed) {
        QFile filler(dir.filePath(u"filler"_s));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(1024, 'x')) > 0 && filler.flush()) {
        }
        filler.close();
        const Ran child = run(command.first(), command.mid(1), environment);
        QVERIFY2(child.ok, child.output.constData());
        QVERIFY2(child.output.contains(report ? "(na disku není volné místo)" : "was not saved and stays as it was"),
                 child.output.constData());
        QCOMPARE(contents(), oldFile);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
        return;
    }
    environment.insert(u"GRANOVIA_FAULTS_LOOP"_s, u"1"_s);
    // Cut in place, the new file is padded with blank lines before the cut.
    const QByteArray padded = newFile + QByteArray(oldFile.size() - newFile.size(), '\n');
    constexpr int Kills = 25;
    QRandomGenerator random(7);
    for (int kill = 0; kill < Kills; ++kill) {
        QProcess child;
        child.setProcessEnvironment(environment);
        child.start(command.first(), command.mid(1));
        QVERIFY(child.waitForStarted());
        QTest::qWait(int(random.bounded(20, 120)));
        child.kill();
        QVERIFY(child.waitForFinished());
        const QByteArray now = contents();
        QVERIFY2(now == oldFile || now == newFile || (inPlace && now == padded),
                 qPrintable(u"after kill %1 the file holds %2 bytes"_s.arg(kill).arg(now.size())));
    }
}

// The wait cursor and a Czech message on a real X server under a window
// manager; the screenshots show what the operator sees.
void FaultsTest::busyCursorAndMessageOnARealWindow()
{
    if (QGuiApplication::platformName() != u"xcb"_s) {
        // An X server and a window manager of this case's own, so that no other
        // test's windows get managed or covered.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        const Ran child = run(u"xvfb-run"_s, {u"-a"_s, u"-s"_s, u"-screen 0 1280x1024x24"_s, u"sh"_s, u"-c"_s,
                                              u"openbox & exec \"$0\" busyCursorAndMessageOnARealWindow"_s,
                                              QCoreApplication::applicationFilePath()},
                              environment);
        QVERIFY2(child.ok, child.output.constData());
        return;
    }
    // Managed from the first map on: wait until the manager has the screen.
    const auto managed = [] {
        QProcess xprop;
        xprop.start(u"xprop"_s, {u"-root"_s, u"_NET_SUPPORTING_WM_CHECK"_s});
        return xprop.waitForFinished() && xprop.readAll().contains("window id");
    };
    QTRY_VERIFY_WITH_TIMEOUT(managed(), ToolTimeoutMs);
    QWidget window;
    window.setWindowTitle(ui::ApplicationCaption);
    window.resize(400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCursor::setPos(window.mapToGlobal(window.rect().center()));
    const ServerCursor cursor;
    QTRY_VERIFY(!cursor.image().isNull());
    const QImage normal = cursor.image();

    Connection connection;
    connection.open(m_db->settings());
    QElapsedTimer timer;
    QList<std::pair<bool, qint64>> calls;
    QImage busy;
    connection.setBusyIndicator([&](bool shown) {
        ui::showBusyCursor(shown);
        calls.append({shown, timer.elapsed()});
        if (shown) {
            busy = cursor.image();
            screenshot(u"faults_busy_cursor.png"_s, cursor);
        }
    });
    timer.start();
    connection.query(u"select 1"_s);
    QVERIFY(calls.isEmpty());
    timer.start();
    connection.query(u"select sleep(0.8)"_s);
    QCOMPARE(calls.size(), 2);
    QVERIFY(calls[0].first && calls[0].second >= Connection::BusyAfter.count());
    QVERIFY(!calls[1].first && calls[1].second >= 800);
    QVERIFY(busy != normal);
    QCOMPARE(cursor.image(), normal);

    QTimer::singleShot(500, &window, [&] {
        screenshot(u"faults_unreachable_message.png"_s, cursor);
        QApplication::activeModalWidget()->close();
    });
    ui::showError(&window, DbError(DbError::Unreachable, u"Can't connect to server on '10.0.0.5' (113)"_s));
}

// SSL=1 reaches the server only with its certificate verified, by the CA and
// by the address connected to; both of the console's sessions are encrypted.
// Without SSL the server refuses, and the notice says what may be wrong.
void FaultsTest::tlsOnly_data()
{
    QTest::addColumn<QString>("keys"); // added to the own INI file
    QTest::addColumn<QString>("certificate");
    QTest::addColumn<QString>("user"); // "plain": one whom the server asks for the password in clear text
    QTest::addColumn<QString>("notice"); // empty: the console starts
    const QString relativeCa = u"SSL=1\r\nSSLCA=ca.pem\r\n"_s;
    const QString faults = u"faults"_s;
    QTest::newRow("right CA, beside the program") << relativeCa << u"loopback"_s << faults << QString();
    QTest::newRow("CA that signed no certificate")
        << u"SSL=1\r\nSSLCA=%1\r\n"_s.arg(m_tls.path(u"other-ca.pem"_s)) << u"loopback"_s << faults
        << CertificateNotice + u"Nepodepsala jej certifikační autorita, které program věří (klíč SSLCA)."_s;
    QTest::newRow("certificate of another host") << relativeCa << u"stranger"_s << faults
                                                 << CertificateNotice + u"Certifikát patří jinému serveru, než uvádí klíč IP."_s;
    QTest::newRow("expired certificate") << relativeCa << u"expired"_s << faults
                                         << CertificateNotice + u"Platnost certifikátu vypršela."_s;
    QTest::newRow("CA file missing") << u"SSL=1\r\nSSLCA=missing.pem\r\n"_s << u"loopback"_s << faults
                                     << ConnectionFailedNotice
            + u"Soubor certifikátů CA zadaný v klíči SSLCA chybí nebo jej nelze přečíst."_s;
    QTest::newRow("without SSL") << QString() << u"loopback"_s << faults
                                 << ConnectionFailedNotice + u"Server odmítl uživatelské "
                                    "jméno nebo heslo, nebo přijímá jen šifrované spojení (klíč SSL)."_s;
    QTest::newRow("password asked in clear text, without SSL: not sent") << QString() << u"loopback"_s << u"plain"_s
        << ConnectionFailedNotice + u"Server žádá heslo v čitelné podobě, které program bez šifrovaného spojení (klíč SSL) neposílá."_s;
    QTest::newRow("password asked in clear text, over TLS: sent") << relativeCa << u"loopback"_s << u"plain"_s
        << ConnectionFailedNotice + u"Server odmítl uživatelské jméno nebo heslo."_s;
}

void FaultsTest::tlsOnly()
{
    QFETCH(QString, keys);
    QFETCH(QString, certificate);
    QFETCH(QString, user);
    QFETCH(QString, notice);
    QVERIFY(m_tls.serve(certificate));
    m_db->execute(u"flush ssl"_s);
    m_db->execute(u"set global require_secure_transport = on"_s);
    const auto restore = qScopeGuard([this] {
        m_db->execute(u"set global require_secure_transport = off"_s);
        m_tls.serve(u"loopback"_s);
        m_db->execute(u"flush ssl"_s);
    });
    // PAM has no such service: it refuses whatever password it gets.
    m_db->execute(u"create user if not exists 'plain'@'127.0.0.1' identified via pam using 'granovia-none'"_s);
    Installation installation;
    const ConnectionSettings s = m_db->settings();
    installation.pointAt(s);
    installation.writeIni(installation.paths().ownIniPath(),
                          u"[LogOn]\r\nIP=%1\r\nUser=%2\r\nPassword=%3\r\nSQLport=%4\r\n%5"_s.arg(
                              s.host, user, user, QString::number(s.port), keys));
    QVERIFY(QFile::copy(m_tls.path(u"ca.pem"_s), installation.paths().fileBesideProgram(u"ca.pem"_s)));
    ScriptedDialogs dialogs;
    TForm1 form(installation.context());
    const ConsoleProbe console(&form);
    form.show();
    QCOMPARE(dialogs.texts(), notice.isEmpty() ? QStringList() : QStringList{notice});
    if (!notice.isEmpty())
        return;
    for (Connection *session : {&console.ZConnection1(), &console.liveView().connection()})
        QVERIFY(!firstColumn(*session, u"select variable_value from information_schema.session_status "
                                       "where variable_name = 'Ssl_cipher'"_s).isEmpty());
}

QTEST_MAIN(FaultsTest)
#include "tst_faults.moc"
