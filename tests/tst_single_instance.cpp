// Two real processes of the program: the second start brings the first to
// the front, does its own start-up and ends by itself.
#include "TestDatabase.h"
#include "TestInstallation.h"

#include <QProcess>
#include <QtTest>

using namespace granovia;
using namespace Qt::StringLiterals;
using granovia::test::ScratchDatabase;

namespace {

constexpr int StartTimeoutMs = 20000;
constexpr int StaysRunningMs = 3000;

} // namespace

class SingleInstanceTest final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void secondStartActivatesTheFirstAndEnds();
    void guardOfACrashedInstanceDoesNotBlock();

private:
    void start(QProcess &process);

    granovia::test::Installation m_installation;
    QString m_program;
    QProcessEnvironment m_environment;
    std::unique_ptr<ScratchDatabase> m_db;
};

void SingleInstanceTest::initTestCase()
{
    GRANOVIA_REQUIRE_SERVER();
    m_db = std::make_unique<ScratchDatabase>(u"t_single_instance"_s);
    // A copy of the program under its own name, with INI files that point it
    // at the test database, and a runtime directory that no other run shares.
    m_installation.installProgram(QStringLiteral(GRANOVIA_PROGRAM));
    m_installation.pointAt(m_db->settings());
    m_program = m_installation.paths().executablePath();

    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    m_environment.insert(u"XDG_RUNTIME_DIR"_s, m_installation.runtimeDir());
}

void SingleInstanceTest::start(QProcess &process)
{
    process.setProcessEnvironment(m_environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(m_program, {});
    QVERIFY(process.waitForStarted());
}

void SingleInstanceTest::secondStartActivatesTheFirstAndEnds()
{
    m_db->execute(u"delete from historiem"_s);
    QProcess first;
    start(first);
    QTRY_VERIFY_WITH_TIMEOUT(m_db->count(u"historiem"_s) >= 1, StartTimeoutMs);

    QProcess second;
    start(second);
    QVERIFY(second.waitForFinished(StartTimeoutMs));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(m_db->count(u"historiem"_s), 2); // the second start wrote its own record

    QByteArray output;
    QTRY_VERIFY2_WITH_TIMEOUT((output += first.readAll()).contains("brought to the front by another start"),
                              output.constData(), StartTimeoutMs);
    QCOMPARE(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
}

void SingleInstanceTest::guardOfACrashedInstanceDoesNotBlock()
{
    m_db->execute(u"delete from historiem"_s);
    QProcess crashed;
    start(crashed);
    QTRY_VERIFY_WITH_TIMEOUT(m_db->count(u"historiem"_s) >= 1, StartTimeoutMs);
    crashed.kill();
    QVERIFY(crashed.waitForFinished());

    QProcess next;
    start(next);
    QTRY_VERIFY_WITH_TIMEOUT(m_db->count(u"historiem"_s) >= 2, StartTimeoutMs);
    QVERIFY2(!next.waitForFinished(StaysRunningMs), next.readAll().constData());
    next.kill();
    next.waitForFinished();
}

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "tst_single_instance.moc"
