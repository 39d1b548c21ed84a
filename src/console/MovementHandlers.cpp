// The console's movement buttons: a transfer between panels A and B, and a
// removal out of the silo of either panel.
#include "config/NumberFormat.h"
#include "console/TForm1.h"
#include "movements/Movements.h"
#include "store/DbError.h"

#include <QDateTime>

namespace granovia {

namespace {

constexpr int AnswerStorno = 2;

movement::Lot lotOf(const DetailGrid *grid)
{
    return {grid->value(detail::LotRow), grid->value(detail::SpeciesRow), grid->value(detail::VarietyRow),
            grid->value(detail::GradeRow)};
}

const QString NoCapacityText = QStringLiteral("Není kapacita pro přesun!");
const QString MissingRowText = QStringLiteral("Silo již v databázi neexistuje! Pohyb nebyl zapsán.");
const QString StockChangedText = QStringLiteral("Množství osiva v silu se mezitím změnilo! Vyberte silo znovu.");
const QString QuantityChangedText = QStringLiteral("\nMnožství se mezitím změnilo, přesune se %1 t.");
const QString NotRefreshedText =
    QStringLiteral("Pohyb osiva byl zapsán, přehled se však nepodařilo obnovit!\nObnoví se sám, jakmile databáze odpoví.");

} // namespace

TForm1::PanelSide TForm1::panelA() const
{
    return {popis1, suiImagePanel2, snapshot.vyber_a};
}

TForm1::PanelSide TForm1::panelB() const
{
    return {popis2, suiImagePanel3, snapshot.vyber_b};
}

void TForm1::suiArrowButton2Click()
{
    const bool driven = suiArrowButton2->Tag != TransferConsoleMode;
    try {
        const MovementResult result = transfer(panelA(), panelB(), driven);
        if (driven && result)
            suiArrowButton2->Tag = int(*result);
    } catch (...) {
        // The next click from the console must ask its question again.
        suiArrowButton2->Tag = TransferConsoleMode;
        throw;
    }
}

void TForm1::suiArrowButton1Click()
{
    transfer(panelB(), panelA(), false);
}

TForm1::MovementResult TForm1::transfer(const PanelSide &source, const PanelSide &target, bool driven)
{
    const std::optional<double> quantity = numbers::parse(source.grid->value(detail::QuantityRow));
    const std::optional<double> remaining = numbers::parse(target.grid->value(detail::RemainingRow));
    // Nothing, or seed backwards, is no movement.
    if (!quantity || !remaining || *quantity <= 0) {
        if (!driven)
            notice(QuantityErrorText);
        return movement::DeskResult::NoNumber;
    }
    if (movement::exceedsCapacity(*quantity, *remaining))
        return refused(movement::Outcome::NoCapacity, driven);
    if (!driven && !confirmed(QStringLiteral("Opravdu přesunout osivo ze %1 do %2?")
                                  .arg(source.caption->text(), target.caption->text()),
                              source.grid))
        return std::nullopt;
    const movement::TransferOrder order{
        movement::siloNumberOfCaption(source.caption->text()),
        movement::siloNumberOfCaption(target.caption->text()),
        movement::quantityTextOf(source.grid->value(detail::QuantityRow)),
        lotOf(source.grid),
        source.id,
        target.id,
        formatTimestamp(QDateTime::currentDateTime()),
    };
    const movement::Outcome outcome = movement::executeTransfer(ZConnection1, order, *quantity, m_tables);
    if (outcome != movement::Outcome::Done)
        return refused(outcome, driven);
    refreshAfterMovement({source.id, target.id}, driven);
    return movement::DeskResult::Done;
}

void TForm1::suiButton4Click(ui::SuiButton *button)
{
    const int mode = button->Tag;
    const bool driven = mode == RemovalDriven;
    try {
        const MovementResult result = removal(mode == RemovalFromB ? panelB() : panelA(), driven);
        if (driven && result && *result != movement::DeskResult::Done)
            suiButton4->Tag = int(*result);
    } catch (...) {
        // The next click from the console must test and ask again.
        if (driven)
            suiButton4->Tag = RemovalFromA;
        throw;
    }
}

TForm1::MovementResult TForm1::removal(const PanelSide &panel, bool driven)
{
    const std::optional<double> quantity = numbers::parse(panel.grid->value(detail::QuantityRow));
    if (!quantity || *quantity <= 0) {
        if (!driven)
            notice(QuantityErrorText);
        return movement::DeskResult::NoNumber;
    }
    if (!driven
        && !confirmed(QStringLiteral("Opravdu přesunout osivo ze %1 mimo silo?").arg(panel.caption->text()), panel.grid))
        return std::nullopt;
    const movement::RemovalOrder order{
        movement::siloNumberOfCaption(panel.caption->text()),
        movement::quantityTextOf(panel.grid->value(detail::QuantityRow)),
        lotOf(panel.grid),
        panel.id,
        formatTimestamp(QDateTime::currentDateTime()),
    };
    const movement::Outcome outcome = movement::executeRemoval(ZConnection1, order, *quantity, m_tables);
    if (outcome != movement::Outcome::Done)
        return refused(outcome, driven);
    refreshAfterMovement({panel.id}, driven);
    return movement::DeskResult::Done;
}

// The movement's question; one that a look at the database changed the
// quantity for since the operator last saw it also names the quantity.
bool TForm1::confirmed(const QString &question, DetailGrid *source)
{
    const bool named = source->quantityChangedUnseen();
    suiMessageDialog2.setText(named ? question + QuantityChangedText.arg(source->value(detail::QuantityRow)) : question);
    source->quantitySeen();
    return suiMessageDialog2.showModal() != AnswerStorno;
}

movement::DeskResult TForm1::refused(movement::Outcome outcome, bool driven)
{
    using movement::DeskResult;
    using movement::Outcome;
    const auto [result, text] = [outcome]() -> std::pair<DeskResult, QString> {
        switch (outcome) {
        case Outcome::MissingRow:
            return {DeskResult::MissingRow, MissingRowText};
        case Outcome::StockChanged:
            return {DeskResult::StockChanged, StockChangedText};
        case Outcome::NoCapacity:
        case Outcome::Done:
            break;
        }
        return {DeskResult::NoCapacity, NoCapacityText};
    }();
    if (!driven)
        notice(text);
    return result;
}

// Only what the movement changed is read again: the rows of its silos and
// the journal lines since the newest shown. The screen ends as a full
// re-read would leave it, and the operator sees it when the handler returns
// to the event loop. The movement is written by now: a failed read must not
// tell the operator otherwise, or he would make it again. The live view's
// next poll that gets through shows it.
void TForm1::refreshAfterMovement(const QList<qint32> &changed, bool driven)
{
    suiButton1Click();
    suiButton2Click();
    try {
        liveView.showOwnMovement(changed);
    } catch (const DbError &) {
        if (!driven)
            notice(NotRefreshedText);
    }
}

void TForm1::notice(const QString &text)
{
    suiMessageDialog1.setText(text);
    suiMessageDialog1.showModal();
}

} // namespace granovia
