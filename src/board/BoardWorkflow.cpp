// The touch workflow: picking a source and a target, offering only the silos
// that may receive the seed, and driving the console's movements.
#include "board/TForm2.h"

#include "console/OverviewDrawing.h"
#include "console/TForm1.h"
#include "store/Schema.h"
#include "ui/ErrorDisplay.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QCoreApplication>
#include <QHash>

namespace granovia {

namespace {

const QString SelectCandidates = QStringLiteral("select silo, partie, (kapacita - stav) as zbyva, stav from ppsila");
const QString ZbyvaColumn = QStringLiteral("zbyva");
constexpr int ClickedColumn = 1;
const QString TransferCommand = QStringLiteral("přesun");
const QString RemovalCommand = QStringLiteral("odvoz");

QString selectSiloByNumber(int silo)
{
    return QStringLiteral("select * from ppsila where silo = ") + QString::number(silo);
}

// Puts the console's movement buttons back into console mode however a
// driven movement ends, so that its next click from the console asks its
// question again.
class ConsoleModeRestorer final {
public:
    explicit ConsoleModeRestorer(TForm1 &console)
        : m_console(console)
    {
    }
    ~ConsoleModeRestorer()
    {
        m_console.suiArrowButton2->Tag = TForm1::TransferConsoleMode;
        m_console.suiButton4->Tag = TForm1::RemovalFromA;
    }
    Q_DISABLE_COPY_MOVE(ConsoleModeRestorer)

private:
    TForm1 &m_console;
};

} // namespace

void TForm2::suiButton3Click(SiloButton *button)
{
    ui::guarded(this, [&] { pick(button); });
}

void TForm2::suiButton1Click()
{
    ui::guarded(this, [this] { transfer(); });
}

void TForm2::suiButton5Click()
{
    ui::guarded(this, [this] { removal(); });
}

void TForm2::suiButton2Click()
{
    ui::guarded(this, [this] {
        resetPicks();
        vymaluj();
    });
}

void TForm2::pick(SiloButton *button)
{
    const int silo = button->Tag;
    if (krok == 1 && silo == zdroj) {
        focusBar();
        return;
    }
    Result row = m_console.ZConnection1.query(selectSiloByNumber(silo));
    if (!row.next())
        return;
    const SiloInfo info = siloInfoOf(board::captionAsTitle(button->text()), row);
    // Without its dialog (the board is being left) a touch counts as "storno".
    if (!infos || infos->showModal(info) != Tinfos::Take)
        return;

    ++krok;
    if (krok == 3) {
        // The new touch replaces the target.
        markPicked(cil, false);
        krok = 2;
    }
    (krok == 1 ? zdroj : cil) = silo;
    markPicked(silo, true);
    focusBar();
    suiButton1->setFont(skin::font(CommandFontPx));
    const QString source = tlacitka[size_t(zdroj)]->text();
    if (krok == 1) {
        suiButton1->setText(board::transferCaption(source));
        suiButton4->setText(board::removalCaption(source));
        suiButton4->setEnabled(true);
        suiButton1->update();
        ukaz_mozne();
        return;
    }
    suiButton1->setText(board::transferCaption(source, tlacitka[size_t(cil)]->text()));
    suiButton4->setText(RemovalCommand);
    suiButton4->setEnabled(false);
    suiButton1->setEnabled(true);
    suiButton1->update();
}

void TForm2::ukaz_mozne()
{
    namespace c = schema::ppsila;
    Result sourceRow = m_console.ZConnection1.query(selectSiloByNumber(zdroj));
    sourceRow.next();
    const board::SourceSilo source{sourceRow.toText(c::Partie), sourceRow.toDouble(c::Stav)};

    Result rows = m_console.ZConnection1.query(SelectCandidates);
    QHash<int, board::CandidateSilo> candidates;
    while (rows.next()) {
        const int silo = int(rows.toInt(c::Silo));
        if (!candidates.contains(silo))
            candidates.insert(silo, {rows.toText(c::Partie), rows.toDouble(ZbyvaColumn), rows.toDouble(c::Stav)});
    }
    for (int silo = 1; silo <= board::SiloCount; ++silo) {
        if (silo == zdroj)
            continue;
        const auto found = candidates.constFind(silo);
        const std::optional<board::CandidateSilo> candidate =
            found == candidates.constEnd() ? std::nullopt : std::optional(*found);
        tlacitka[size_t(silo)]->setEnabled(board::mayReceive(source, candidate));
    }
}

void TForm2::transfer()
{
    if (krok != 2)
        return; // "přesun" is enabled only once a target is picked
    const ConsoleModeRestorer restorer(m_console);
    m_console.suiButton1Click();
    m_console.suiButton2Click();
    selectIntoConsole(zdroj);
    QCoreApplication::processEvents();
    selectIntoConsole(cil);
    QCoreApplication::processEvents();
    m_console.suiArrowButton2->Tag = TForm1::TransferDriven;
    m_console.suiArrowButton2Click();
    const int result = m_console.suiArrowButton2->Tag;
    m_console.suiArrowButton2->Tag = TForm1::TransferConsoleMode;
    const std::optional<QString> notice = board::transferNotice(result, zdroj, cil);
    if (notice && foznam)
        foznam->showModal(*notice);
    resetAfterMovement();
}

void TForm2::removal()
{
    if (krok != 1)
        return; // "odvoz" is enabled only while just the source is picked
    const ConsoleModeRestorer restorer(m_console);
    m_console.suiButton1Click();
    m_console.suiButton2Click();
    selectIntoConsole(zdroj);
    QCoreApplication::processEvents();
    m_console.suiButton4->Tag = TForm1::RemovalDriven;
    m_console.suiButton4Click(m_console.suiButton4);
    const int result = m_console.suiButton4->Tag;
    m_console.suiButton4->Tag = TForm1::RemovalFromA;
    const std::optional<QString> notice = board::removalNotice(result);
    if (notice && foznam)
        foznam->showModal(*notice);
    resetAfterMovement();
}

void TForm2::selectIntoConsole(int silo)
{
    bool allow = true;
    if (silo <= overview::SilosPerGrid)
        m_console.prehledSelectCell(m_console.prehled, ClickedColumn, silo - 1, allow);
    else
        m_console.prehledSelectCell(m_console.prehled2, ClickedColumn, silo - overview::SecondGridBase - 1, allow);
}

void TForm2::resetAfterMovement()
{
    const int source = zdroj;
    const int target = cil;
    // The picks go first, so that a failing repaint cannot leave them half set.
    resetPicks();
    vymaluj_btn(source);
    if (target != 0)
        vymaluj_btn(target);
}

void TForm2::resetPicks()
{
    krok = 0;
    if (zdroj != 0)
        markPicked(zdroj, false);
    if (cil != 0)
        markPicked(cil, false);
    resetCommands();
    zdroj = cil = 0;
    for (int silo = 1; silo <= board::SiloCount; ++silo)
        tlacitka[size_t(silo)]->setEnabled(true);
}

void TForm2::resetCommands()
{
    suiButton1->setFont(skin::font(CommandFontPx));
    suiButton1->setText(TransferCommand);
    suiButton1->setEnabled(false);
    suiButton4->setText(RemovalCommand);
    suiButton4->setEnabled(false);
}

void TForm2::markPicked(int silo, bool picked)
{
    if (!board::hasBoardButton(silo))
        return;
    SiloButton *button = tlacitka[size_t(silo)];
    button->setFont(skin::font(skin::Pt20, picked));
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText,
                     picked ? skin::SelectedText : QApplication::palette(button).color(QPalette::ButtonText));
    button->setPalette(palette);
}

void TForm2::focusBar()
{
    suiImagePanel1->setFocus();
}

} // namespace granovia
