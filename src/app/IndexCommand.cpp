#include "app/IndexCommand.h"

#include "config/AppPaths.h"
#include "config/Config.h"
#include "reports/ReportIndexes.h"
#include "reports/ReportSql.h"
#include "store/Connection.h"
#include "store/DbError.h"
#include "store/Schema.h"

#include <QTextStream>
#include <QThread>
#include <mysqld_error.h>
#include <thread>

namespace granovia::indexcommand {

namespace {

using namespace std::chrono_literals;

// A journal of tens of millions of lines is indexed in minutes; this is
// far beyond that, and only guards against a server that never answers.
constexpr std::chrono::hours BuildLimit{6};
// How often the progress is told while the indexes are made.
constexpr std::chrono::milliseconds ProgressEvery = 2s;
constexpr std::chrono::milliseconds StopCheck = 100ms;
const QString ProgressColumn = QStringLiteral("progress");

const QString NothingChanged = QStringLiteral("Indexy nebyly vytvořeny, v databázi se nic nezměnilo.");

QString reasonOf(const DbError &error, const QString &user)
{
    switch (error.code()) {
    case ER_TABLEACCESS_DENIED_ERROR:
    case ER_DBACCESS_DENIED_ERROR:
    case ER_SPECIFIC_ACCESS_DENIED_ERROR:
        return QStringLiteral("Uživatel %1 nemá na tabulce %2 právo ALTER, které vytvoření indexu vyžaduje. "
                              "Spusťte příkaz s účtem správce databáze (klíče User a Password).")
            .arg(user, schema::ppsilap::Table);
    case ER_ALTER_OPERATION_NOT_SUPPORTED:
    case ER_ALTER_OPERATION_NOT_SUPPORTED_REASON:
        return QStringLiteral("Tabulku %1 nelze indexovat za provozu (musí být InnoDB).").arg(schema::ppsilap::Table);
    case ER_LOCK_WAIT_TIMEOUT:
        return QStringLiteral("Tabulku %1 právě drží jiné spojení; zkuste to znovu.").arg(schema::ppsilap::Table);
    case DbError::TimeLimitReached:
        return QStringLiteral("Server indexy nevytvořil do %1 hodin.").arg(BuildLimit.count());
    default:
        return error.message();
    }
}

// Tells how far the statement of session `threadId` is, until destroyed.
class ProgressWatch final {
public:
    ProgressWatch(const ConnectionSettings &settings, unsigned long threadId, QTextStream &err)
        : m_thread([settings, threadId, &err](std::stop_token stop) { watch(settings, threadId, err, stop); })
    {
    }

private:
    static void watch(const ConnectionSettings &settings, unsigned long threadId, QTextStream &err,
                      const std::stop_token &stop)
    {
        try {
            Connection connection;
            connection.open(settings);
            for (std::chrono::milliseconds waited{0};; waited += StopCheck) {
                QThread::msleep(StopCheck.count());
                if (stop.stop_requested())
                    return;
                if ((waited + StopCheck) % ProgressEvery != 0ms)
                    continue;
                Result row = connection.query(reports::statementProgressStatement(threadId));
                if (row.next()) {
                    err << QStringLiteral("  %1 s, hotovo %2 %")
                               .arg(std::chrono::duration_cast<std::chrono::seconds>(waited + StopCheck).count())
                               .arg(row.toDouble(ProgressColumn), 0, 'f', 0)
                        << Qt::endl;
                }
            }
        } catch (const DbError &error) {
            // Without the progress the indexes are made all the same.
            err << error.serverMessage() << Qt::endl;
        }
    }

    std::jthread m_thread;
};

void killStatement(const ConnectionSettings &settings, unsigned long threadId)
{
    try {
        Connection killer;
        killer.open(settings);
        killer.execute(reports::killQueryStatement(threadId));
    } catch (const DbError &error) {
        if (error.code() != ER_NO_SUCH_THREAD)
            throw;
    }
}

int createMissing(Connection &connection, const ConnectionSettings &settings, QTextStream &err)
{
    const QList<reports::JournalIndex> missing = reports::missingIndexes(reports::readJournalIndexes(connection));
    if (missing.isEmpty()) {
        err << QStringLiteral("Tabulka %1 už má všechny doporučené indexy; není co vytvářet.").arg(schema::ppsilap::Table)
            << Qt::endl;
        return Done;
    }
    QStringList names;
    for (const reports::JournalIndex &index : missing)
        names.append(reports::indexText(index));
    err << QStringLiteral("Vytvářím za provozu indexy tabulky %1: %2").arg(schema::ppsilap::Table, names.join(QStringLiteral(", ")))
        << Qt::endl;
    try {
        const ProgressWatch watch(settings, connection.threadId(), err);
        connection.execute(reports::createIndexesStatement(missing));
    } catch (const DbError &error) {
        // An abandoned statement would go on without anyone to see it end.
        if (error.code() == DbError::TimeLimitReached)
            killStatement(settings, connection.threadId());
        throw;
    }
    err << QStringLiteral("Hotovo: vytvořeno indexů: %1.").arg(missing.size()) << Qt::endl;
    return Done;
}

} // namespace

bool isIndexCommand(int argc, char **argv)
{
    const QByteArray name = reports::CreateIndexesSwitch.toLatin1();
    for (int i = 1; i < argc; ++i) {
        if (name == argv[i])
            return true;
    }
    return false;
}

int run(const QStringList &arguments, const AppPaths &paths, QTextStream &err)
{
    if (arguments.size() != 2) {
        err << QStringLiteral("Použití: %1 %2").arg(paths.executableFileName(), reports::CreateIndexesSwitch) << Qt::endl;
        return BadArguments;
    }
    QString user;
    try {
        const StartConfig config = readStartConfig(paths);
        user = config.user;
        const ConnectionSettings settings = connectionSettings(config, paths);
        Connection connection;
        connection.setWaitLimit(BuildLimit);
        connection.open(settings);
        return createMissing(connection, settings, err);
    } catch (const DbError &error) {
        err << NothingChanged << u'\n' << reasonOf(error, user) << u'\n' << error.serverMessage() << Qt::endl;
    } catch (const AppError &error) {
        err << NothingChanged << u'\n' << error.message() << Qt::endl;
    }
    return Failed;
}

} // namespace granovia::indexcommand
