#include "app/ReportCommand.h"

#include "config/AppPaths.h"
#include "config/Config.h"
#include "reports/LotTrace.h"
#include "reports/Report.h"
#include "reports/ReportFiles.h"
#include "reports/ReportSession.h"
#include "reports/StockAtMoment.h"
#include "store/Connection.h"
#include "store/DbError.h"
#include "core/SiloLabel.h"
#include "store/StartAudit.h"

#include <QHash>
#include <QTextStream>
#include <csignal>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace granovia::reports {

namespace {

const QString DayFormat = QStringLiteral("yyyy-MM-dd");
const QString LotPrefixOption = QStringLiteral("--lot-prefix");

const QHash<QString, ReportKind> &kinds()
{
    static const QHash<QString, ReportKind> byName{
        {QStringLiteral("stock"), ReportKind::Stock},
        {QStringLiteral("history"), ReportKind::History},
        {QStringLiteral("lot"), ReportKind::Lot},
    };
    return byName;
}

// The options each report takes besides --report and --out.
QStringList optionsOf(ReportKind kind)
{
    switch (kind) {
    case ReportKind::Stock:
        return {QStringLiteral("--at")};
    case ReportKind::History:
        return {QStringLiteral("--silo"), QStringLiteral("--lot"), LotPrefixOption, QStringLiteral("--from"),
                QStringLiteral("--to")};
    case ReportKind::Lot:
        return {QStringLiteral("--lot")};
    }
    return {};
}

std::variant<QHash<QString, QString>, QString> optionValues(const QStringList &arguments)
{
    QHash<QString, QString> values;
    for (qsizetype i = 0; i < arguments.size(); i += 2) {
        const QString &option = arguments.at(i);
        if (!option.startsWith(QStringLiteral("--")))
            return QStringLiteral("neznámý argument %1").arg(option);
        if (i + 1 >= arguments.size())
            return QStringLiteral("%1 chce hodnotu").arg(option);
        if (values.contains(option))
            return QStringLiteral("%1 je uveden dvakrát").arg(option);
        values.insert(option, arguments.at(i + 1));
    }
    return values;
}

std::optional<QDate> dayOf(const QString &text)
{
    const QDate day = QDate::fromString(text, DayFormat);
    return day.isValid() ? std::optional<QDate>(day) : std::nullopt;
}

std::optional<QString> readHistoryFilter(const QHash<QString, QString> &values, JournalFilter &filter)
{
    if (values.contains(QStringLiteral("--silo"))) {
        bool ok = false;
        const int silo = values.value(QStringLiteral("--silo")).toInt(&ok);
        if (!ok || silo < silolabel::FirstSilo || silo > silolabel::LastSilo)
            return QStringLiteral("--silo chce číslo sila 1 až 100");
        filter.silo = silo;
    }
    for (const auto &[option, day] : {std::pair{QStringLiteral("--from"), &filter.from},
                                      std::pair{QStringLiteral("--to"), &filter.to}}) {
        if (!values.contains(option))
            continue;
        *day = dayOf(values.value(option));
        if (!*day)
            return QStringLiteral("%1 chce datum rrrr-mm-dd").arg(option);
    }
    if (filter.from && filter.to && *filter.from > *filter.to)
        return QStringLiteral("--from je po --to");
    if (values.contains(LotPrefixOption)) {
        if (values.contains(QStringLiteral("--lot")))
            return QStringLiteral("--lot a --lot-prefix nejdou spolu");
        filter.lot = values.value(LotPrefixOption);
        filter.lotPrefix = true;
    }
    return std::nullopt;
}

std::optional<QString> readOptions(const QHash<QString, QString> &values, ReportRequest &request)
{
    const QStringList allowed = optionsOf(request.kind) + QStringList{ReportSwitch, QStringLiteral("--out")};
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!allowed.contains(it.key()))
            return QStringLiteral("%1 nepatří k sestavě %2").arg(it.key(), values.value(ReportSwitch));
    }
    request.filter.lot = values.value(QStringLiteral("--lot"));
    if (request.kind == ReportKind::Lot && request.filter.lot.isEmpty())
        return QStringLiteral("sestava lot chce --lot");
    if (values.contains(QStringLiteral("--at"))) {
        // Exactly as the server writes a time: nothing before, after or between.
        const QString moment = values.value(QStringLiteral("--at"));
        request.at = parseTimestamp(moment);
        if (!request.at || formatTimestamp(*request.at) != moment)
            return QStringLiteral("--at chce okamžik rrrr-mm-dd hh:mm:ss");
    }
    return request.kind == ReportKind::History ? readHistoryFilter(values, request.filter) : std::nullopt;
}

Report buildReport(Connection &connection, const ReportRequest &request)
{
    switch (request.kind) {
    case ReportKind::Stock:
        return stockReport(rebuildStock(connection, request.at.value_or(QDateTime::currentDateTime())));
    case ReportKind::History:
        return historyReport(connection, request.filter);
    case ReportKind::Lot:
        break;
    }
    return lotReport(traceLot(connection, request.filter.lot));
}

int failed(QTextStream &err, const QString &message)
{
    err << message << Qt::endl;
    return ReportFailed;
}

// On a terminal, what the run is doing and how far the file is, on one line
// written over; nothing when standard error goes to a file or a pipe.
class TerminalProgress final {
public:
    explicit TerminalProgress(QTextStream &err)
        : m_err(err)
        , m_shown(isatty(STDERR_FILENO) == 1)
    {
    }
    void say(const QString &text)
    {
        if (m_shown)
            m_err << "\r\033[K" << text << Qt::flush;
    }
    Progress rows(const ReportSession &session)
    {
        return [this, &session](qint64 done, qint64 total) {
            say(QStringLiteral("Zapisuji sestavu: %1 z %2 řádků").arg(done).arg(total));
            return !session.isStopped();
        };
    }
    void end()
    {
        if (m_shown)
            m_err << "\r\033[K" << Qt::flush;
    }

private:
    QTextStream &m_err;
    bool m_shown;
};

// Ctrl+C, or a job killed by its scheduler: the report stops, and so does
// its statement on the server. The signals are blocked in every thread (see
// blockStopSignals) and taken here.
class StopOnSignal final {
public:
    explicit StopOnSignal(ReportSession &session)
        : m_thread([&session](std::stop_token stop) {
            const sigset_t stopping = stopSignals();
            const timespec wait{0, SignalWaitNs};
            while (!stop.stop_requested()) {
                if (sigtimedwait(&stopping, nullptr, &wait) > 0) {
                    session.stop();
                    return;
                }
            }
        })
    {
    }

private:
    static constexpr long SignalWaitNs = 100'000'000;
    std::jthread m_thread;
};

int writeReport(ReportSession &session, const ReportRequest &request, const ReportOrigin &origin, QTextStream &err)
{
    TerminalProgress progress(err);
    progress.say(QStringLiteral("Čtu sestavu z databáze…"));
    const StopOnSignal stopOnSignal(session);
    try {
        session.run([&](Connection &connection) {
            saveReport(buildReport(connection, request), origin, request.out, progress.rows(session));
            return true;
        });
    } catch (const AppError &) {
        progress.end();
        throw;
    }
    progress.end();
    const QString advice = session.takeAdvice();
    if (!advice.isEmpty())
        err << advice << Qt::endl;
    return ReportWritten;
}

} // namespace

QString connectionFailedText(const DbError &error)
{
    return QStringLiteral("Chyba připojení k SQL!\nSpojení se serverem neúspěšné!\n%1\n(%2)")
        .arg(connectFailureReason(error), error.serverMessage());
}

sigset_t stopSignals()
{
    sigset_t stopping;
    sigemptyset(&stopping);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stopping, signal);
    return stopping;
}

void blockStopSignals()
{
    const sigset_t stopping = stopSignals();
    pthread_sigmask(SIG_BLOCK, &stopping, nullptr);
}

bool isReportCommand(int argc, char **argv)
{
    const QByteArray name = ReportSwitch.toLatin1();
    for (int i = 1; i < argc; ++i) {
        if (name == argv[i])
            return true;
    }
    return false;
}

std::variant<ReportRequest, QString> parseReportArguments(const QStringList &arguments)
{
    const auto parsed = optionValues(arguments);
    if (const QString *error = std::get_if<QString>(&parsed))
        return *error;
    const auto &values = std::get<QHash<QString, QString>>(parsed);
    ReportRequest request;
    const auto kind = kinds().constFind(values.value(ReportSwitch));
    if (kind == kinds().cend())
        return QStringLiteral("--report chce stock, history nebo lot");
    request.kind = *kind;
    request.out = values.value(QStringLiteral("--out"));
    if (request.out.isEmpty())
        return QStringLiteral("chybí --out SOUBOR");
    if (!formatOfPath(request.out))
        return QStringLiteral("--out chce soubor .pdf, .xlsx nebo .csv");
    if (const std::optional<QString> error = readOptions(values, request))
        return *error;
    return request;
}

QString reportUsage()
{
    return QStringLiteral(
        "Použití:\n"
        "  granovia-silo --report stock [--at \"rrrr-mm-dd hh:mm:ss\"] --out SOUBOR\n"
        "  granovia-silo --report history [--silo N] [--lot TEXT | --lot-prefix TEXT] [--from \"rrrr-mm-dd\"] "
        "[--to \"rrrr-mm-dd\"] --out SOUBOR\n"
        "  granovia-silo --report lot --lot TEXT --out SOUBOR\n"
        "Formát podle přípony SOUBORU: .pdf, .xlsx nebo .csv. --lot hledá partii přesně (velká a malá písmena,\n"
        "mezery i * se počítají), --lot-prefix partie začínající TEXTEM.");
}

int runReportCommand(const QStringList &arguments, const AppPaths &paths, QTextStream &err)
{
    const auto parsed = parseReportArguments(arguments.mid(1));
    if (const QString *error = std::get_if<QString>(&parsed)) {
        err << paths.executableFileName() << ": " << *error << "\n" << reportUsage() << Qt::endl;
        return BadArguments;
    }
    const ReportRequest &request = std::get<ReportRequest>(parsed);
    try {
        const StartConfig config = readStartConfig(paths);
        ReportSession session(connectionSettings(config, paths), config.reportSeconds());
        try {
            session.run([](Connection &) { return true; });
        } catch (const DbError &error) {
            return failed(err, connectionFailedText(error));
        }
        return writeReport(session, request, {config.cisloPc, config.stredisko, QDateTime::currentDateTime()}, err);
    } catch (const AppError &error) {
        return failed(err, error.message());
    }
}

} // namespace granovia::reports
