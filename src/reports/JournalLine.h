#pragma once

#include <QString>
#include <optional>

#include <QStringList>

namespace granovia {
class Result;
}

// One line of the movement journal as the reports read it, and what kind of
// movement it records. A transfer names the silo the seed left (silo) and
// the one it went to (silob); a removal names only the silo it left; an
// intake has a document number (cislopp) and no silob, and its silo is the
// one the seed came into from outside. A NULL in silob or cislopp counts as
// the empty text. A reversal is written as an ordinary line of its kind.
namespace granovia::reports {

enum class LineKind { Transfer, Removal, Intake };

LineKind kindOf(const QString &silob, const QString &cislopp);

struct JournalLine {
    qint64 id = 0;
    QString datum; // as the server wrote it; empty for NULL
    QString silo;
    QString silob;
    QString cislopp;
    double mnozstvi = 0;
    QString partie;
    QString druh;
    QString odruda;
    QString stupen;

    LineKind kind() const { return kindOf(silob, cislopp); }
    // The silo the seed left, or nothing for an intake.
    std::optional<int> sourceSilo() const;
    // The silo the seed went to, or nothing for a removal.
    std::optional<int> targetSilo() const;
};

// The columns a journal line is read from.
QStringList journalLineColumns();
JournalLine readLine(const Result &result);

// Where seed came from and went to, as the history shows it: a silo's label
// ("SILO: 07"), "N" for an intake from outside the silos, "M" for a removal
// out of them. A silo text that names no silo is shown as it stands.
QString fromText(const JournalLine &line);
QString toText(const JournalLine &line);

inline const QString FromOutside = QStringLiteral("N");
inline const QString OutOfSilos = QStringLiteral("M");

} // namespace granovia::reports
