#include "store/Result.h"

namespace granovia {

Result::Result(MYSQL_RES *result)
    : m_result(result)
{
    if (!m_result)
        return;
    const unsigned int count = mysql_num_fields(result);
    const MYSQL_FIELD *fields = mysql_fetch_fields(result);
    for (unsigned int i = 0; i < count; ++i) {
        const QString name = wire::decode(QByteArrayView(fields[i].name, fields[i].name_length));
        m_names.append(name);
        // The first of two equal names wins, as in a lookup by name.
        if (!m_fields.contains(name))
            m_fields.insert(name, int(i));
    }
}

bool Result::next()
{
    if (!m_result)
        return false;
    m_row = mysql_fetch_row(m_result.get());
    m_lengths = m_row ? mysql_fetch_lengths(m_result.get()) : nullptr;
    return m_row != nullptr;
}

qsizetype Result::rowCount() const
{
    return m_result ? qsizetype(mysql_num_rows(m_result.get())) : 0;
}

QStringList Result::fieldNames() const
{
    return m_names;
}

QByteArrayView Result::raw(const QString &name) const
{
    const auto it = m_fields.constFind(name);
    if (!m_row || it == m_fields.cend() || !m_row[*it])
        return {};
    return QByteArrayView(m_row[*it], qsizetype(m_lengths[*it]));
}

bool Result::isNull(const QString &name) const
{
    const auto it = m_fields.constFind(name);
    return !m_row || it == m_fields.cend() || !m_row[*it];
}

qint64 Result::toInt(const QString &name) const
{
    const QByteArray text = raw(name).toByteArray().trimmed();
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (ok)
        return value;
    return qint64(text.toDouble());
}

double Result::toDouble(const QString &name) const
{
    return raw(name).toByteArray().toDouble();
}

QString Result::toText(const QString &name) const
{
    return wire::decode(raw(name));
}

QDateTime Result::toDateTime(const QString &name) const
{
    const QString text = toText(name);
    QDateTime time = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!time.isValid())
        time = QDateTime(QDate::fromString(text, QStringLiteral("yyyy-MM-dd")), QTime(0, 0));
    return time;
}

} // namespace granovia
