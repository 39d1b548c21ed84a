#include "TestDatabase.h"

#include <QDebug>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <limits>

namespace granovia::test {

std::optional<ConnectionSettings> serverSettings()
{
    const QString port = qEnvironmentVariable("GRANOVIA_TEST_DB_PORT");
    if (port.isEmpty())
        return std::nullopt;
    return ConnectionSettings{qEnvironmentVariable("GRANOVIA_TEST_DB_HOST", QStringLiteral("127.0.0.1")),
                              port.toUInt(), qEnvironmentVariable("GRANOVIA_TEST_DB_USER"),
                              qEnvironmentVariable("GRANOVIA_TEST_DB_PASSWORD"), QString()};
}

QString schemaPath()
{
    return QStringLiteral(GRANOVIA_SCHEMA_SQL);
}

ScratchDatabase::ScratchDatabase(const QString &name)
    : m_name(name)
{
    const auto server = serverSettings();
    if (!server)
        return;
    m_admin.open(*server);
    m_admin.execute(QStringLiteral("drop database if exists `%1`").arg(m_name));
    m_admin.execute(QStringLiteral("create database `%1` character set cp1250").arg(m_name));
    // Opened on the database, so that a new session after a server restart is too.
    m_admin.open(settings());
    load(schemaPath());
}

ScratchDatabase::~ScratchDatabase()
{
    if (!m_admin.isOpen())
        return;
    try {
        m_admin.execute(QStringLiteral("drop database if exists `%1`").arg(m_name));
    } catch (const std::exception &) {
        // The server is going away with the test run.
    }
}

ConnectionSettings ScratchDatabase::settings() const
{
    ConnectionSettings settings = serverSettings().value_or(ConnectionSettings{});
    settings.database = m_name;
    return settings;
}

qint64 ScratchDatabase::count(const QString &table)
{
    Result result = m_admin.query(QStringLiteral("select count(*) as n from %1").arg(table));
    result.next();
    return result.toInt(QStringLiteral("n"));
}

qint64 selectCount(Connection &connection)
{
    Result status = connection.query(QStringLiteral("show session status like 'Com_select'"));
    status.next();
    return status.toInt(QStringLiteral("Value"));
}

qint64 scalar(Connection &connection, const QString &statement)
{
    Result result = connection.query(statement);
    result.next();
    return result.toInt(result.fieldNames().constFirst());
}

QString firstColumn(Connection &connection, const QString &statement)
{
    QStringList lines;
    for (Result r = connection.query(statement); r.next();)
        lines << r.toText(r.fieldNames().constFirst());
    return lines.join(u'\n');
}

void printFreeze(const char *what, qint64 ms)
{
    qInfo().noquote() << QStringLiteral("freeze, %1: %2 ms").arg(QString::fromLatin1(what)).arg(ms);
}

StoredSilo ScratchDatabase::silo(int number)
{
    Result row = m_admin.query(QStringLiteral("select * from ppsila where silo = %1 order by id").arg(number));
    if (!row.next()) {
        StoredSilo none;
        none.stav = std::numeric_limits<double>::infinity();
        return none;
    }
    return {row.toInt(QStringLiteral("id")),       row.toDouble(QStringLiteral("stav")),
            row.toText(QStringLiteral("partie")),   row.toText(QStringLiteral("naz_dru")),
            row.toText(QStringLiteral("navoz")),    row.toText(QStringLiteral("ppohyb")),
            row.isNull(QStringLiteral("navoz")),    row.isNull(QStringLiteral("ppohyb"))};
}

double ScratchDatabase::storeTotal()
{
    // A line without a target silo took seed out of the silos, or, with a
    // document number (NULL included), brought it in.
    Result r = m_admin.query(QStringLiteral(
        "select (select ifnull(sum(stav), 0) from ppsila) + (select ifnull(sum(if(cislopp = '', "
        "mnozstvi, -mnozstvi)), 0) from ppsilap where silob = '') as total"));
    r.next();
    return r.toDouble(QStringLiteral("total"));
}

QList<double> ScratchDatabase::journalQuantities()
{
    QList<double> values;
    for (Result r = m_admin.query(QStringLiteral("select mnozstvi from ppsilap order by id")); r.next();)
        values << r.toDouble(QStringLiteral("mnozstvi"));
    return values;
}

void ScratchDatabase::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    QString text = QString::fromUtf8(file.readAll());
    text.remove(QRegularExpression(QStringLiteral("^--[^\n]*\n"), QRegularExpression::MultilineOption));
    const QStringList statements = text.split(QRegularExpression(QStringLiteral(";\\s*\n")));
    // The file was decoded from UTF-8 above and goes out as cp1250 like every
    // statement, so its own character set switch is left out.
    static const QRegularExpression setNames(QStringLiteral("^\\s*set\\s+names\\b"),
                                             QRegularExpression::CaseInsensitiveOption);
    for (const QString &statement : statements) {
        if (!statement.trimmed().isEmpty() && !setNames.match(statement).hasMatch())
            m_admin.execute(statement);
    }
}

} // namespace granovia::test
