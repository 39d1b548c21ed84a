#pragma once

#include "store/SqlText.h"

#include <QList>
#include <QString>
#include <optional>
#include <utility>

namespace granovia {
class Connection;
}

// What a scanned barcode names: a silo by its label, or a lot by the text
// that the store's lot documents print.
namespace granovia::scancode {

// The prefix of a silo label's code. A lot never begins with it.
inline const QString SiloPrefix = QStringLiteral("SILO:");

// The text of silo n's barcode: "SILO:07" for silo 7, "SILO:100" for silo 100.
QString siloCode(int silo);

struct Code {
    enum class Kind { Silo, Lot, Unknown };
    Kind kind = Kind::Unknown;
    int silo = 0; // for Kind::Silo
    QString lot;  // for Kind::Lot
};

// Reads a scanned text. The prefix in any letter case, blanks around the
// number, the number with or without its leading zero ("00" is silo 100 as in
// the journal); a prefix with no silo 1..100 after it is unknown. Anything
// else that is not blank is a lot, compared exactly once its outer blanks go.
Code readCode(const QString &text);

// The silos, in order, whose row holds the lot. Rows come as
// selectCandidates() reads them (silo number and lot, the lowest id of a
// silo first): only the first row of a silo number counts.
QList<int> silosHoldingLot(const QList<std::pair<int, QString>> &rows, const QString &lot);

// One journal line of the lot, in any letter case; none when the journal
// never saw it.
QString selectJournalLot(const QString &lot, const Escape &escape);

// A scan as the store knows it now.
struct ScanTarget {
    enum class Kind { Silo, Lot, LotNowhere, Unknown };
    Kind kind = Kind::Unknown;
    QString text;      // the code as scanned, trimmed
    QList<int> silos;  // the silo; or the silos holding the lot
};

// Reads the silos (and for a lot no silo holds, the journal) on the
// connection. Database errors reach the caller.
ScanTarget resolveScan(Connection &connection, const QString &code);

// The Czech notice for a scan that selects nothing by itself: a lot that no
// silo or several silos hold, an unknown code; none for one silo.
std::optional<QString> scanNotice(const ScanTarget &target);

} // namespace granovia::scancode
