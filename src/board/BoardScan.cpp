// Scanned codes on the board: a silo's label as a touch on that silo, a
// lot's text as a touch on the silo that holds it.
#include "board/TForm2.h"

#include "store/ScanCode.h"
#include "core/SiloLabel.h"
#include "ui/ErrorDisplay.h"

namespace granovia {

void TForm2::scanned(const QString &code)
{
    if (m_busy)
        return;
    ui::guarded(this, [&] {
        using Kind = scancode::ScanTarget::Kind;
        const scancode::ScanTarget target = scancode::resolveScan(m_desk.connection(), code);
        if (target.kind == Kind::Silo) {
            touchScanned(target.silos.first());
            return;
        }
        // Of a lot's silos, those that may be touched now.
        QList<int> silos;
        for (int silo : target.silos) {
            if (board::hasBoardButton(silo) && tlacitka[size_t(silo)]->isEnabled())
                silos << silo;
        }
        if (target.kind == Kind::Lot && silos.size() == 1) {
            touchScanned(silos.first());
            return;
        }
        if (target.kind == Kind::Lot && silos.size() > 1)
            offerSilos(silos);
        const std::optional<QString> notice = target.kind == Kind::Lot && silos.isEmpty()
            ? QStringLiteral("Partii %1 teď nelze vybrat.").arg(target.text)
            : scancode::scanNotice(target);
        if (notice && foznam)
            foznam->showModal(*notice);
    });
}

// As a touch; a silo that cannot be touched now says so.
void TForm2::touchScanned(int silo)
{
    if (!board::hasBoardButton(silo) || !tlacitka[size_t(silo)]->isEnabled()) {
        if (foznam)
            foznam->showModal(QStringLiteral("%1 teď nelze vybrat.").arg(silolabel::label(silo)));
        return;
    }
    pick(tlacitka[size_t(silo)]);
    endOffer();
}

void TForm2::offerSilos(const QList<int> &silos)
{
    for (int silo = 1; silo <= board::SiloCount; ++silo)
        tlacitka[size_t(silo)]->setEnabled(silos.contains(silo));
    m_offering = true;
}

// The silos that may be touched are those of the picks again.
void TForm2::endOffer()
{
    if (!m_offering)
        return;
    m_offering = false;
    if (krok == NothingPicked) {
        for (int silo = 1; silo <= board::SiloCount; ++silo)
            tlacitka[size_t(silo)]->setEnabled(true);
    } else {
        ukaz_mozne();
    }
}

} // namespace granovia
