#include "store/TextColumns.h"

#include "store/Schema.h"

#include <QStringDecoder>
#include <algorithm>
#include <QStringEncoder>

namespace granovia {

namespace {

// Aliases: servers differ in the letter case of information_schema's names.
const QString TableColumn = QStringLiteral("t");
const QString NameColumn = QStringLiteral("c");
const QString LengthColumn = QStringLiteral("n");
const QString CharsetColumn = QStringLiteral("s");
// The first character beyond the Basic Multilingual Plane, which utf8mb3
// columns cannot hold.
constexpr char32_t FirstBeyondBmp = 0x10000;

QString key(const QString &table, const QString &column)
{
    return table.toLower() + u'.' + column.toLower();
}

// The server's names of character sets, as the converters know them.
QString codecOf(const QString &charset)
{
    static const QHash<QString, QString> names{
        {QStringLiteral("latin1"), QStringLiteral("windows-1252")}, {QStringLiteral("latin2"), QStringLiteral("ISO-8859-2")},
        {QStringLiteral("ascii"), QStringLiteral("US-ASCII")},      {QStringLiteral("cp852"), QStringLiteral("IBM852")},
        {QStringLiteral("cp850"), QStringLiteral("IBM850")},        {QStringLiteral("koi8r"), QStringLiteral("KOI8-R")},
        {QStringLiteral("greek"), QStringLiteral("ISO-8859-7")},    {QStringLiteral("hebrew"), QStringLiteral("ISO-8859-8")},
        {QStringLiteral("latin5"), QStringLiteral("ISO-8859-9")},   {QStringLiteral("latin7"), QStringLiteral("ISO-8859-13")},
    };
    if (charset.startsWith(QStringLiteral("cp125")))
        return QStringLiteral("windows-") + charset.mid(2);
    return names.value(charset, charset);
}

bool beyondBmp(const QString &text)
{
    for (const char32_t c : text.toUcs4()) {
        if (c >= FirstBeyondBmp)
            return true;
    }
    return false;
}

// Whether the character set holds every character of the text: through its
// converter and back unchanged. A set without a converter here holds ASCII.
bool holdsCharacters(const QString &charset, const QString &text)
{
    if (charset == QStringLiteral("utf8mb4") || charset.startsWith(QStringLiteral("utf16"))
        || charset == QStringLiteral("utf32"))
        return true;
    if (charset == QStringLiteral("utf8") || charset == QStringLiteral("utf8mb3") || charset == QStringLiteral("ucs2"))
        return !beyondBmp(text);
    QStringEncoder encoder(codecOf(charset).toLatin1().constData());
    if (!encoder.isValid()) {
        const QByteArray ascii = text.toLatin1();
        return std::all_of(ascii.cbegin(), ascii.cend(), [](char c) { return uchar(c) < 0x80; }) && !beyondBmp(text);
    }
    const QByteArray bytes = encoder.encode(text);
    QStringDecoder decoder(codecOf(charset).toLatin1().constData());
    return !encoder.hasError() && QString(decoder.decode(bytes)) == text;
}

} // namespace

void TextColumns::insert(const QString &table, const QString &column, const TextColumn &definition)
{
    m_columns.insert(key(table, column), definition);
}

std::optional<TextColumn> TextColumns::find(const QString &table, const QString &column) const
{
    const auto found = m_columns.constFind(key(table, column));
    if (found == m_columns.cend())
        return std::nullopt;
    return *found;
}

QString textColumnsStatement()
{
    return QStringLiteral("select table_name as %1, column_name as %2, character_maximum_length as %3, "
                          "character_set_name as %4 from information_schema.columns where table_schema = database() "
                          "and table_name in ('%5', '%6') and character_set_name is not null")
        .arg(TableColumn, NameColumn, LengthColumn, CharsetColumn, schema::ppsila::Table, schema::ppsilap::Table);
}

TextColumns readTextColumns(Connection &connection)
{
    TextColumns columns;
    Result rows = connection.query(textColumnsStatement());
    while (rows.next()) {
        columns.insert(rows.toText(TableColumn), rows.toText(NameColumn),
                       {rows.toInt(LengthColumn), rows.toText(CharsetColumn).toLower()});
    }
    return columns;
}

TextFit fitOf(const TextColumn &column, const QString &text)
{
    if (!holdsCharacters(column.charset, text))
        return TextFit::CharactersLost;
    return text.toUcs4().size() > column.maxLength ? TextFit::TooLong : TextFit::Fits;
}

} // namespace granovia
