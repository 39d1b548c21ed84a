#pragma once

#include "store/SqlText.h"

#include <QString>
#include <optional>

// The one way the journal is read page by page, newest first, for the
// console's history and the reports: the dated lines by keyset on (datum,
// id), so that a page deep in the journal costs as much as the first, then
// the lines without a datum, by id downwards. A datum is compared as the
// server wrote it: other modules write the zero date and days 0, which are no
// real times but sort and compare as written.
namespace granovia::journal {

class JournalPager final {
public:
    // selectList: what each row holds; conditions: which lines (WHERE).
    JournalPager(QString selectList, QString conditions);

    // The statement of the next page, at most limit rows; empty at the end.
    QString nextStatement(int limit, const Escape &escape) const;
    // What that page brought: its number of rows and its last line's key
    // (datum as the server wrote it, empty for NULL).
    void pageRead(qsizetype rows, int limit, const QString &lastDatum, qint64 lastId);
    bool atEnd() const { return m_stage == Stage::Done; }
    // Reads no more: what was read is all there is.
    void stop() { m_stage = Stage::Done; }
    // Whether the pages read so far cover the line of this datum (none:
    // NULL) and id: a line written later lies among them, or in a page to come.
    bool covers(const std::optional<QString> &datum, qint64 id) const;

private:
    enum class Stage { Dated, Undated, Done };
    struct Key {
        QString datum;
        qint64 id = 0;
    };

    QString m_select;
    QString m_conditions;
    Stage m_stage = Stage::Dated;
    std::optional<Key> m_after;
    std::optional<qint64> m_belowId;
};

} // namespace granovia::journal
