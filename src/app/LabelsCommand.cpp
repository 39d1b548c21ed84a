#include "app/LabelsCommand.h"

#include "app/ReportCommand.h"
#include "config/AppPaths.h"
#include "config/Config.h"
#include "reports/ReportFiles.h"
#include "reports/SiloLabels.h"
#include "store/Connection.h"
#include "store/DbError.h"
#include "core/SiloLabel.h"

#include <QRegularExpression>
#include <QTextStream>

namespace granovia::reports {

namespace {

const QString SiloOption = QStringLiteral("--silo");
const QString SizeOption = QStringLiteral("--size");
const QString OutOption = QStringLiteral("--out");

std::optional<QSizeF> sizeOf(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^(\d+(?:[.,]\d+)?)[xX](\d+(?:[.,]\d+)?)$)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const auto mm = [&](int group) { return match.captured(group).replace(u',', u'.').toDouble(); };
    const QSizeF size(mm(1), mm(2));
    if (size.width() < MinimumLabelMm.width() || size.height() < MinimumLabelMm.height()
        || size.width() > MaximumLabelMm || size.height() > MaximumLabelMm)
        return std::nullopt;
    return size;
}

// One option and its value into the request; what is wrong otherwise.
std::optional<QString> readOption(const QString &option, const QString &value, LabelsRequest &request)
{
    if (option == SiloOption) {
        bool ok = false;
        const int silo = value.toInt(&ok);
        if (!ok || silo < silolabel::FirstSilo || silo > silolabel::LastSilo)
            return QStringLiteral("--silo chce číslo sila 1 až 100");
        if (!request.silos.contains(silo))
            request.silos << silo;
    } else if (option == SizeOption) {
        if (request.labelMm)
            return QStringLiteral("--size je uveden dvakrát");
        request.labelMm = sizeOf(value);
        if (!request.labelMm)
            return QStringLiteral("--size chce ŠÍŘKAxVÝŠKA v mm, od %1x%2 do %3x%3")
                .arg(MinimumLabelMm.width()).arg(MinimumLabelMm.height()).arg(MaximumLabelMm);
    } else if (option == OutOption) {
        if (!request.out.isEmpty())
            return QStringLiteral("--out je uveden dvakrát");
        request.out = value;
    } else {
        return QStringLiteral("neznámý argument %1").arg(option);
    }
    return std::nullopt;
}

} // namespace

bool isLabelsCommand(int argc, char **argv)
{
    const QByteArray name = LabelsSwitch.toLatin1();
    for (int i = 1; i < argc; ++i) {
        if (name == argv[i])
            return true;
    }
    return false;
}

std::variant<LabelsRequest, QString> parseLabelsArguments(const QStringList &arguments)
{
    if (arguments.value(0) != LabelsSwitch)
        return QStringLiteral("%1 má být první").arg(LabelsSwitch);
    LabelsRequest request;
    for (qsizetype i = 1; i < arguments.size(); i += 2) {
        if (i + 1 >= arguments.size())
            return QStringLiteral("%1 chce hodnotu").arg(arguments.at(i));
        if (const std::optional<QString> error = readOption(arguments.at(i), arguments.at(i + 1), request))
            return *error;
    }
    if (request.out.isEmpty())
        return QStringLiteral("chybí --out SOUBOR.pdf");
    if (formatOfPath(request.out) != ReportFormat::Pdf)
        return QStringLiteral("--out chce soubor .pdf");
    return request;
}

QString labelsUsage()
{
    return QStringLiteral(
        "Použití:\n"
        "  granovia-silo --labels [--silo N]... [--size ŠxV] --out SOUBOR.pdf\n"
        "Bez --silo štítky všech sil, bez --size archy A4 (3 x 7 štítků), s --size 100x50 jeden štítek\n"
        "100 x 50 mm na stranu.");
}

int runLabelsCommand(const QStringList &arguments, const AppPaths &paths, QTextStream &err)
{
    const auto parsed = parseLabelsArguments(arguments.mid(1));
    if (const QString *error = std::get_if<QString>(&parsed)) {
        err << paths.executableFileName() << ": " << *error << "\n" << labelsUsage() << Qt::endl;
        return BadArguments;
    }
    const LabelsRequest &request = std::get<LabelsRequest>(parsed);
    try {
        const StartConfig config = readStartConfig(paths);
        Connection connection;
        try {
            connection.open(connectionSettings(config, paths));
        } catch (const DbError &error) {
            err << connectionFailedText(error) << Qt::endl;
            return ReportFailed;
        }
        saveLabels(readLabelSilos(connection, request.silos), request.labelMm, request.out);
    } catch (const AppError &error) {
        err << error.message() << Qt::endl;
        return ReportFailed;
    }
    return ReportWritten;
}

} // namespace granovia::reports
