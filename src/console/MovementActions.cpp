// The console's movement buttons: a transfer between panels A and B, and a
// removal out of the silo of either panel.
#include "console/MovementActions.h"

#include "config/NumberFormat.h"
#include "console/DetailPanel.h"
#include "console/HistoryGrid.h"
#include "console/LiveView.h"
#include "store/DbError.h"
#include "ui/BusyCursor.h"
#include "ui/ErrorDisplay.h"
#include "ui/Skin.h"
#include "ui/Widgets.h"

#include <QDateTime>
#include <QMenu>
#include <QScopeGuard>

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

MovementActions::MovementActions(QWidget *window, ConsoleSurface &console, LiveView &liveView, const Buttons &buttons)
    : m_window(window)
    , m_console(console)
    , m_liveView(liveView)
    , m_buttons(buttons)
    , suiMessageDialog2(window, {QStringLiteral("přesunout"), QStringLiteral("storno")}, ui::DialogIcon::Question,
                        QStringLiteral("Opravdu přesunout osivo"))
    , m_reverseQuestion(window, {QStringLiteral("stornovat"), QStringLiteral("zpět")}, ui::DialogIcon::Question)
    , m_historyMenu(new QMenu(&console.historyGrid()))
{
    m_historyMenu->setFont(skin::font(skin::Pt8));
    skin::applyMenuPalette(m_historyMenu);
    m_reverseAction = m_historyMenu->addAction(QStringLiteral("Stornovat pohyb"));
    connectHandlers();
}

void MovementActions::connectHandlers()
{
    const auto guard = [this](auto handler) {
        return [this, handler] { ui::guarded(m_window, [&] { (this->*handler)(); }); };
    };
    connect(m_buttons.suiArrowButton2, &QToolButton::clicked, this, guard(&MovementActions::suiArrowButton2Click));
    connect(m_buttons.suiArrowButton1, &QToolButton::clicked, this, guard(&MovementActions::suiArrowButton1Click));
    for (ui::SuiButton *removal : {m_buttons.suiButton4, m_buttons.suiButton5}) {
        connect(removal, &QPushButton::clicked, this,
                [this, removal] { ui::guarded(m_window, [&] { suiButton4Click(removal); }); });
    }
    connect(&m_console.historyGrid(), &HistoryGrid::lineMenuRequested, this, [this](int row, const QPoint &at) {
        ui::guarded(m_window, [&] { showLineMenu(row, at); });
    });
    connect(m_reverseAction, &QAction::triggered, this, guard(&MovementActions::reverseMenuLine));
}

void MovementActions::suiArrowButton2Click()
{
    ui::SuiArrowButton *button = m_buttons.suiArrowButton2;
    const bool driven = button->Tag != TransferConsoleMode;
    try {
        const MovementResult result = transfer(m_console.panel(Panel::A), m_console.panel(Panel::B), driven);
        if (driven && result)
            button->Tag = int(*result);
    } catch (...) {
        // The next click from the console must ask its question again.
        button->Tag = TransferConsoleMode;
        throw;
    }
}

void MovementActions::suiArrowButton1Click()
{
    transfer(m_console.panel(Panel::B), m_console.panel(Panel::A), false);
}

MovementActions::MovementResult MovementActions::transfer(const PanelSide &source, const PanelSide &target, bool driven)
{
    const std::optional<double> quantity = numbers::parse(source.grid->value(detail::QuantityRow));
    const std::optional<double> remaining = numbers::parse(target.grid->value(detail::RemainingRow));
    // Nothing, or seed backwards, is no movement.
    if (!quantity || !remaining || *quantity <= 0) {
        if (!driven)
            m_console.notice(QuantityErrorText);
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
    std::optional<ui::BusyNote> waiting;
    if (!driven)
        waiting.emplace(m_window, WaitingText);
    const movement::Outcome outcome = movement::executeTransfer(m_console.connection(), order, *quantity, m_tables);
    waiting.reset();
    if (outcome != movement::Outcome::Done)
        return refused(outcome, driven);
    refreshAfterMovement({source.id, target.id}, driven);
    return movement::DeskResult::Done;
}

void MovementActions::suiButton4Click(ui::SuiButton *button)
{
    const int mode = button->Tag;
    const bool driven = mode == RemovalDriven;
    try {
        const MovementResult result = removal(m_console.panel(mode == RemovalFromB ? Panel::B : Panel::A), driven);
        if (driven && result && *result != movement::DeskResult::Done)
            m_buttons.suiButton4->Tag = int(*result);
    } catch (...) {
        // The next click from the console must test and ask again.
        if (driven)
            m_buttons.suiButton4->Tag = RemovalFromA;
        throw;
    }
}

MovementActions::MovementResult MovementActions::removal(const PanelSide &panel, bool driven)
{
    const std::optional<double> quantity = numbers::parse(panel.grid->value(detail::QuantityRow));
    if (!quantity || *quantity <= 0) {
        if (!driven)
            m_console.notice(QuantityErrorText);
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
    std::optional<ui::BusyNote> waiting;
    if (!driven)
        waiting.emplace(m_window, WaitingText);
    const movement::Outcome outcome = movement::executeRemoval(m_console.connection(), order, *quantity, m_tables);
    waiting.reset();
    if (outcome != movement::Outcome::Done)
        return refused(outcome, driven);
    refreshAfterMovement({panel.id}, driven);
    return movement::DeskResult::Done;
}

// The movement's question; one that a look at the database changed the
// quantity for since the operator last saw it also names the quantity.
bool MovementActions::confirmed(const QString &question, DetailGrid *source)
{
    const bool named = source->quantityChangedUnseen();
    suiMessageDialog2.setText(named ? question + QuantityChangedText.arg(source->value(detail::QuantityRow)) : question);
    source->quantitySeen();
    if (suiMessageDialog2.showModal() == AnswerStorno)
        return false;
    clearQuestion();
    return true;
}

// The answered question leaves the screen before the movement may wait on
// locks elsewhere; meanwhile nothing that others changed comes into the
// panels that the movement reads.
void MovementActions::clearQuestion()
{
    m_liveView.pause();
    const auto resume = qScopeGuard([this] { m_liveView.resume(); });
    ui::clearAnsweredDialog();
}

movement::DeskResult MovementActions::refused(movement::Outcome outcome, bool driven)
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
        m_console.notice(text);
    return result;
}

// Only what the movement changed is read again: the rows of its silos and
// the journal lines since the newest shown. The screen ends as a full
// re-read would leave it, and the operator sees it when the handler returns
// to the event loop. The movement is written by now: a failed read must not
// tell the operator otherwise, or he would make it again. The live view's
// next poll that gets through shows it.
void MovementActions::refreshAfterMovement(const QList<qint32> &changed, bool driven)
{
    m_console.emptyPanel(Panel::A);
    m_console.emptyPanel(Panel::B);
    try {
        m_liveView.showOwnMovement(changed);
    } catch (const DbError &) {
        if (!driven)
            m_console.notice(NotRefreshedText);
    }
}

} // namespace granovia
