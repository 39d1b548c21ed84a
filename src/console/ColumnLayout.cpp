#include "console/ColumnLayout.h"

#include "config/SaveFile.h"

#include <QFile>
#include <QSet>
#include <QStringDecoder>
#include <optional>

namespace granovia {

namespace {

// One line per column: field, title, width, visible (1 or 0), separated by tabs.
const QString Header = QStringLiteral("# field\ttitle\twidth\tvisible");
constexpr QChar Separator = u'\t';
constexpr QChar CommentMark = u'#';
constexpr int FieldsPerLine = 4;
const QString Visible = QStringLiteral("1");
const QString Hidden = QStringLiteral("0");
// A layout of a few columns is a few hundred bytes; anything far larger is not one.
constexpr qint64 MaxFileSize = 64 * 1024;

constexpr int DefaultZesilaWidth = 16;
constexpr int DefaultDosilaWidth = 18;
constexpr int DefaultMnozstviWidth = 35;
constexpr int DefaultDatumWidth = 76;

// Titles are the operator's text, but a tab or a line break would split the line.
QString storableTitle(QString title)
{
    return title.replace(Separator, u' ').replace(u'\n', u' ').replace(u'\r', u' ');
}

QString lineOf(const HistoryColumn &column)
{
    return QStringList{column.field, storableTitle(column.title), QString::number(column.width),
                       column.visible ? Visible : Hidden}
        .join(Separator);
}

std::optional<HistoryColumn> parseLine(const QString &line)
{
    const QStringList parts = line.split(Separator);
    if (parts.size() != FieldsPerLine || parts[0].isEmpty())
        return std::nullopt;
    bool ok = false;
    const int width = parts[2].toInt(&ok);
    if (!ok || width < HistoryColumn::DefaultWidth)
        return std::nullopt;
    if (parts[3] != Visible && parts[3] != Hidden)
        return std::nullopt;
    return HistoryColumn{parts[0], parts[1], width, parts[3] == Visible};
}

std::optional<QString> readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileSize)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(file.readAll());
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// Nothing when a line is malformed: a damaged file is not trusted in part.
std::optional<QList<HistoryColumn>> parseLayout(const QString &text, const QStringList &availableFields)
{
    QList<HistoryColumn> columns;
    QSet<QString> seen;
    for (QString line : text.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(CommentMark))
            continue;
        const std::optional<HistoryColumn> column = parseLine(line);
        if (!column)
            return std::nullopt;
        // Another module's journal may lack a field; a field twice would show twice.
        if (!availableFields.contains(column->field) || seen.contains(column->field))
            continue;
        seen.insert(column->field);
        columns.append(*column);
    }
    return columns;
}

} // namespace

QList<HistoryColumn> defaultHistoryColumns()
{
    namespace f = historyfield;
    return {
        {f::Partie, f::Partie, HistoryColumn::DefaultWidth, true},
        {f::Zesila, QStringLiteral("ZE"), DefaultZesilaWidth, true},
        {f::Dosila, QStringLiteral("DO"), DefaultDosilaWidth, true},
        {f::Mnozstvi, QStringLiteral("MNOŽ."), DefaultMnozstviWidth, true},
        {f::Datum, QStringLiteral("DNE"), DefaultDatumWidth, true},
    };
}

bool saveColumnLayout(const QString &path, const QList<HistoryColumn> &columns)
{
    QStringList lines{Header};
    for (const HistoryColumn &column : columns)
        lines.append(lineOf(column));
    return saveWholeFile(path, (lines.join(u'\n') + u'\n').toUtf8());
}

QList<HistoryColumn> loadColumnLayout(const QString &path, const QStringList &availableFields)
{
    const std::optional<QString> text = readText(path);
    if (!text)
        return defaultHistoryColumns();
    const std::optional<QList<HistoryColumn>> columns = parseLayout(*text, availableFields);
    if (!columns || columns->isEmpty())
        return defaultHistoryColumns();
    return *columns;
}

} // namespace granovia
