#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <mysql.h>

namespace granovia {

// Every text travels as UTF-8, so that none is lost on the way: the server
// converts to and from each column's own character set.
namespace wire {
inline constexpr const char *Charset = "utf8mb4";
inline QByteArray encode(const QString &text)
{
    return text.toUtf8();
}
inline QString decode(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes);
}
} // namespace wire

// A buffered result set. Fields are read by name; NULL reads as 0 or as the
// empty text, and a name the result does not have reads the same way.
class Result final {
public:
    Result() = default;
    explicit Result(MYSQL_RES *result);

    bool next();
    qsizetype rowCount() const;
    QStringList fieldNames() const;

    bool isNull(const QString &name) const;
    qint64 toInt(const QString &name) const;
    double toDouble(const QString &name) const;
    QString toText(const QString &name) const;
    // Invalid for NULL and for the zero date.
    QDateTime toDateTime(const QString &name) const;

private:
    struct Free {
        void operator()(MYSQL_RES *result) const { mysql_free_result(result); }
    };
    QByteArrayView raw(const QString &name) const;

    std::unique_ptr<MYSQL_RES, Free> m_result;
    QHash<QString, int> m_fields;
    QStringList m_names; // every field, in order, duplicates included
    MYSQL_ROW m_row = nullptr;
    unsigned long *m_lengths = nullptr;
};

} // namespace granovia
