#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace granovia {
class Result;
}

// One line of the movement journal (ppsilap) and what it records, for every
// face that reads the journal: the console's history, the reversal, the
// reports, the live view and the web board.
//
// The kinds follow the history's columns ZE and DO, with NULL as the server
// treats it there (no text at all, so never the empty text):
//
//   | kind     | silob        | cislopp              | ZE     | DO     |
//   |----------|--------------|----------------------|--------|--------|
//   | Transfer | not empty    | any                  | silo   | silob  |
//   | Removal  | empty        | empty                | silo   | "M"    |
//   | Intake   | empty        | NULL or not empty    | "N"    | silo   |
//   | Other    | NULL         | any                  | silo   | none   |
//
// Blank texts count as empty, as the server compares them. This program
// writes silob and cislopp explicitly in its own lines, so that its
// removals read as removals whatever the columns' defaults. An Other line
// is listed but moves no seed that the reports count. Lines with an empty
// silo belong to other modules and are never shown.
namespace granovia::journal {

// Lot data of a silo's content, carried by every line.
struct Lot {
    QString partie;
    QString druh;
    QString odruda;
    QString stupen;

    friend bool operator==(const Lot &, const Lot &) = default;
};

enum class LineKind { Transfer, Removal, Intake, Other };

LineKind kindOf(const std::optional<QString> &silob, const std::optional<QString> &cislopp);

struct JournalLine {
    qint64 id = 0;
    QString datum; // as the server wrote it; empty for NULL
    QString silo;
    std::optional<QString> silob;   // nothing for NULL
    std::optional<QString> cislopp; // nothing for NULL
    double mnozstvi = 0;
    Lot lot;

    LineKind kind() const { return kindOf(silob, cislopp); }
    // The silo the seed left: none for an intake, or for a text that names no silo.
    std::optional<int> sourceSilo() const;
    // The silo the seed went to: none for a removal or an Other line.
    std::optional<int> targetSilo() const;
    // The document number as text, empty for NULL.
    QString documentText() const { return cislopp.value_or(QString()); }
};

// The columns a line is read from, and the line of a result row holding them.
QStringList lineColumns();
JournalLine readLine(const Result &row);

// Where seed came from and went to, as the reports show it: a silo's label
// ("SILO: 07"), FromOutside for an intake, OutOfSilos for a removal, nothing
// for the target of an Other line. A text that names no silo stands as it is.
QString fromText(const JournalLine &line);
QString toText(const JournalLine &line);

inline const QString FromOutside = QStringLiteral("N");
inline const QString OutOfSilos = QStringLiteral("M");

// The same rules as SQL conditions on ppsilap's own columns, for WHERE
// clauses and sums; prefix names the table's alias with its dot, if any.
QString kindCondition(LineKind kind, const QString &prefix = {});
// A line of this module: one with a silo.
QString ofThisModule(const QString &prefix = {});
// An integer column expression of the line's kind (kindCode), for GROUP BY.
QString kindCodeExpression();
LineKind kindOfCode(qint64 code);
// The history's derived columns: DO (silob, "M" or silo) and ZE (silo or "N"),
// as the server computes them for the grid.
QString toColumnExpression();
QString fromColumnExpression();

} // namespace granovia::journal
