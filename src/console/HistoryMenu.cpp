// The history's line menu and the reversal of a wrong movement: a
// counter-movement booked from the history, which cancels the line.
#include "config/NumberFormat.h"
#include "console/HistoryModel.h"
#include "console/MovementActions.h"
#include "core/SiloLabel.h"
#include "ui/BusyCursor.h"
#include "store/Stock.h"

#include <QDateTime>
#include <QMenu>

namespace granovia {

namespace {

constexpr int AnswerStornovat = 1;
constexpr int QuantityDecimals = 3;

const QString QuestionText = QStringLiteral("Opravdu stornovat pohyb %1?");
const QString NotWritten = QStringLiteral(" Storno nebylo zapsáno.");
const QString LineGoneText = QStringLiteral("Pohyb již v historii neexistuje!");
const QString IsReversalText = QStringLiteral("Pohyb je sám stornem jiného pohybu, nelze jej stornovat!");
const QString NotReversibleText =
    QStringLiteral("Pohyb není přesunem mezi sily ani výdejem mimo silo, nelze jej stornovat!");
const QString AlreadyReversedText = QStringLiteral("Pohyb %1 již byl stornován!");
const QString MissingRowText = QStringLiteral("%1 již v databázi neexistuje!");
const QString SeedGoneText = QStringLiteral("%1 již neobsahuje %2 t partie %3 (%4)!");
const QString NowEmptyText = QStringLiteral("nyní je prázdné");
const QString NowHoldsText = QStringLiteral("nyní %1 t");
const QString NowHoldsLotText = QStringLiteral("nyní %1 t partie %2");
const QString OtherLotText = QStringLiteral("%1 nyní obsahuje jinou partii (%2)!");
const QString NoCapacityText = QStringLiteral("Není kapacita pro vrácení %1 t do %2!");

QString tonnes(double quantity)
{
    return numbers::fixed(quantity, QuantityDecimals);
}

// "ze SILO: 07 do SILO: 12, 20,000 t partie P-123"; a removal goes "mimo silo".
QString movementText(const journal::JournalLine &line)
{
    const movement::LineSilos silos = movement::silosOf(line);
    const QString target =
        silos.target ? QStringLiteral("do ") + silolabel::label(*silos.target) : QStringLiteral("mimo silo");
    return QStringLiteral("ze %1 %2, %3 t partie %4")
        .arg(silolabel::label(silos.source), target, tonnes(line.mnozstvi), line.lot.partie);
}

// What the silo that received the seed holds instead.
QString holdsNow(const movement::ReversalResult &result, const journal::JournalLine &line)
{
    if (stock::isNone(result.stock))
        return NowEmptyText;
    if (result.lot == line.lot.partie)
        return NowHoldsText.arg(tonnes(result.stock));
    return NowHoldsLotText.arg(tonnes(result.stock), result.lot);
}

QString refusalText(const movement::ReversalResult &result, const journal::JournalLine &line)
{
    using movement::ReversalOutcome;
    const QString silo = silolabel::label(result.silo);
    switch (result.outcome) {
    case ReversalOutcome::LineGone:
        return LineGoneText;
    case ReversalOutcome::IsReversal:
        return IsReversalText;
    case ReversalOutcome::NotReversible:
        return NotReversibleText;
    case ReversalOutcome::AlreadyReversed:
        return AlreadyReversedText.arg(movementText(line));
    case ReversalOutcome::MissingRow:
        return MissingRowText.arg(silo);
    case ReversalOutcome::SeedGone:
        return SeedGoneText.arg(silo, tonnes(line.mnozstvi), line.lot.partie, holdsNow(result, line));
    case ReversalOutcome::OtherLot:
        return OtherLotText.arg(silo, result.lot);
    case ReversalOutcome::NoCapacity:
        return NoCapacityText.arg(tonnes(line.mnozstvi), silo);
    case ReversalOutcome::Done:
        break;
    }
    return {};
}

} // namespace

void MovementActions::showLineMenu(int row, const QPoint &globalPos)
{
    const HistoryModel &history = m_console.history();
    if (row < 0 || row >= history.rowCount())
        return;
    m_menuLine = history.entry(row);
    m_reverseAction->setEnabled(history.isReversible(row));
    m_historyMenu->popup(globalPos);
    // Its first item is highlighted, so that Enter chooses it.
    m_historyMenu->setActiveAction(m_reverseAction);
}

// The menu's line is known by its id: lines that the live view puts into
// the history while the menu is up move it to another row.
void MovementActions::reverseMenuLine()
{
    if (!m_menuLine)
        return;
    const journal::JournalLine line = *m_menuLine;
    m_reverseQuestion.setText(QuestionText.arg(movementText(line)));
    if (m_reverseQuestion.showModal() != AnswerStornovat)
        return;
    clearQuestion();
    std::optional<ui::BusyNote> waiting(std::in_place, m_window, WaitingText);
    const movement::ReversalResult result = movement::executeReversal(
        m_console.connection(), line.id, formatTimestamp(QDateTime::currentDateTime()), m_tables);
    waiting.reset();
    if (result.outcome != movement::ReversalOutcome::Done) {
        m_console.notice(refusalText(result, line) + NotWritten);
        return;
    }
    refreshAfterMovement(result.siloIds, false);
}

} // namespace granovia
