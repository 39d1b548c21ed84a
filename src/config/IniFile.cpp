#include "config/IniFile.h"

#include "config/SaveFile.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

#include <utility>

namespace granovia {

namespace {

constexpr const char *FileEncoding = "windows-1250";
// Windows never returns more than this from a profile value; callers rely on the same limit.
constexpr qsizetype MaxValueLength = 2047;
constexpr char CrLf[] = "\r\n";
constexpr char Lf[] = "\n";
// A file created from scratch gets Windows line endings.
constexpr const char *DefaultLineEnding = CrLf;

// Where a key lives in a file, as line indices; -1 when not found.
struct Location {
    qsizetype sectionLine = -1;
    qsizetype keyLine = -1;
    qsizetype lastContentLine = -1; // last non-blank line of the section, the header included
};

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QString trimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

bool sameName(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

bool isSectionHeader(const QString &line)
{
    return trimBlanks(line).startsWith(u'[');
}

// The text between '[' and the next ']'; a header missing its ']' runs to the end of the line.
QString sectionName(const QString &line)
{
    const QString header = trimBlanks(line);
    const qsizetype close = header.indexOf(u']', 1);
    return trimBlanks(close < 0 ? header.mid(1) : header.mid(1, close - 1));
}

// Key lines are recognised by their first '='; other lines (comments, junk) are ignored.
bool isKeyLine(const QString &line)
{
    return line.contains(u'=');
}

QString keyName(const QString &line)
{
    return trimBlanks(line.left(line.indexOf(u'=')));
}

// Exactly one pair of matching quotes is removed, so a value can keep its blanks when quoted.
QString unquote(const QString &value)
{
    if (value.size() < 2)
        return value;
    const QChar first = value.front();
    if ((first == u'"' || first == u'\'') && value.back() == first)
        return value.mid(1, value.size() - 2);
    return value;
}

QString keyValue(const QString &line)
{
    const QString raw = trimBlanks(line.mid(line.indexOf(u'=') + 1));
    return unquote(raw).left(MaxValueLength);
}

// Each element keeps its own line ending, so joining them gives back the file byte-for-byte.
QList<QByteArray> splitRawLines(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', start);
        const qsizetype end = newline < 0 ? bytes.size() : newline + 1;
        lines.append(bytes.mid(start, end - start));
        start = end;
    }
    return lines;
}

// Length of a raw line without its LF and one CR before it (or a lone trailing CR).
qsizetype contentLength(const QByteArray &rawLine)
{
    qsizetype length = rawLine.size();
    if (length > 0 && rawLine.at(length - 1) == '\n')
        --length;
    if (length > 0 && rawLine.at(length - 1) == '\r')
        --length;
    return length;
}

QList<QString> decodeLines(const QList<QByteArray> &rawLines)
{
    QStringDecoder decoder(FileEncoding);
    QList<QString> lines;
    lines.reserve(rawLines.size());
    for (const QByteArray &raw : rawLines)
        lines.append(decoder(raw.left(contentLength(raw))));
    return lines;
}

QByteArray encode(const QString &text)
{
    QStringEncoder encoder(FileEncoding);
    return encoder(text);
}

// Only the first section with the name is searched, and in it the first line with the key.
Location locate(const QList<QString> &lines, const QString &section, const QString &key)
{
    Location at;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (isSectionHeader(line)) {
            if (at.sectionLine >= 0)
                break;
            if (sameName(sectionName(line), section))
                at.sectionLine = at.lastContentLine = i;
            continue;
        }
        if (at.sectionLine < 0)
            continue;
        if (isKeyLine(line) && sameName(keyName(line), key)) {
            at.keyLine = i;
            break;
        }
        if (!trimBlanks(line).isEmpty())
            at.lastContentLine = i;
    }
    return at;
}

// A missing file reads as empty; false only when the file exists but cannot be read.
bool readBytes(const QString &path, QByteArray &bytes)
{
    bytes.clear();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.readAll();
    return true;
}

// The style of the first line ending decides how new lines are terminated.
QByteArray lineEndingOf(const QByteArray &bytes)
{
    const qsizetype newline = bytes.indexOf('\n');
    if (newline < 0)
        return DefaultLineEnding;
    return newline > 0 && bytes.at(newline - 1) == '\r' ? CrLf : Lf;
}

void ensureTerminated(QByteArray &rawLine, const QByteArray &lineEnding)
{
    if (rawLine.endsWith('\n'))
        return;
    // A lone CR at the end of the file only lacks its LF.
    rawLine.append(rawLine.endsWith('\r') ? QByteArray(Lf) : lineEnding);
}

void replaceLine(QList<QByteArray> &lines, qsizetype index, const QByteArray &content)
{
    QByteArray &line = lines[index];
    line = content + line.mid(contentLength(line)); // keep the line's own ending
}

void insertAfter(QList<QByteArray> &lines, qsizetype index, const QByteArray &content, const QByteArray &lineEnding)
{
    ensureTerminated(lines[index], lineEnding);
    lines.insert(index + 1, content + lineEnding);
}

void appendSection(QList<QByteArray> &lines, const QString &section, const QByteArray &entry,
                   const QByteArray &lineEnding)
{
    if (!lines.isEmpty()) {
        ensureTerminated(lines.last(), lineEnding);
        lines.append(lineEnding);
    }
    lines.append(encode(u'[' + section + u']') + lineEnding);
    lines.append(entry + lineEnding);
}

} // namespace

IniFile::IniFile(QString path)
    : m_path(std::move(path))
{
}

const QString &IniFile::path() const
{
    return m_path;
}

QString IniFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    QByteArray bytes;
    if (!readBytes(m_path, bytes))
        return defaultValue;
    const QList<QString> lines = decodeLines(splitRawLines(bytes));
    const Location at = locate(lines, section, key);
    return at.keyLine < 0 ? defaultValue : keyValue(lines.at(at.keyLine));
}

bool IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    QByteArray original;
    if (!readBytes(m_path, original))
        return false;
    // Work on raw lines so that every line we do not change is written back unchanged.
    QList<QByteArray> lines = splitRawLines(original);
    const QByteArray lineEnding = lineEndingOf(original);
    const QByteArray entry = encode(key + u'=' + value);
    const Location at = locate(decodeLines(lines), section, key);
    if (at.keyLine >= 0)
        replaceLine(lines, at.keyLine, entry);
    else if (at.sectionLine >= 0)
        insertAfter(lines, at.lastContentLine, entry, lineEnding);
    else
        appendSection(lines, section, entry, lineEnding);
    return saveWholeFile(m_path, lines.join());
}

} // namespace granovia
