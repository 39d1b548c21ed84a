// The touch workflow: picking a source and a target, offering only the silos
// that may receive the seed, and driving the console's movements.
#include "board/TForm2.h"

#include "store/Schema.h"
#include "store/SiloSnapshot.h"
#include "ui/BusyCursor.h"
#include "ui/Dialogs.h"
#include "ui/ErrorDisplay.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QCoreApplication>
#include <QHash>
#include <QLabel>

namespace granovia {

namespace {

const QString TransferCommand = QStringLiteral("přesun");
const QString RemovalCommand = QStringLiteral("odvoz");

} // namespace

void TForm2::suiButton3Click(SiloButton *button)
{
    if (!m_busy)
        ui::guarded(this, [&] {
            pick(button);
            endOffer();
        });
}

void TForm2::suiButton1Click()
{
    if (!m_busy)
        ui::guarded(this, [this] { transfer(); });
}

void TForm2::suiButton5Click()
{
    if (!m_busy)
        ui::guarded(this, [this] { removal(); });
}

void TForm2::suiButton2Click()
{
    if (m_busy)
        return;
    ui::guarded(this, [this] {
        resetPicks();
        vymaluj();
    });
}

// While a movement runs, the board takes no touch, and its buttons show that
// they are busy: the console processes events between its steps.
// A wait on the database puts up the board's "čekám na uvolnění záznamů…".
TForm2::Busy::Busy(TForm2 &board)
    : m_board(board)
    , m_waitNotice(board.placedWaitNotice())
{
    m_board.m_busy = true;
    m_board.btny->setEnabled(false);
    m_board.suiImagePanel1->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

TForm2::Busy::~Busy()
{
    QApplication::restoreOverrideCursor();
    m_board.suiImagePanel1->setEnabled(true);
    m_board.btny->setEnabled(true);
    m_board.m_busy = false;
}

// Over the middle of the silos.
QWidget *TForm2::placedWaitNotice()
{
    QRect place(QPoint(), m_waitNotice->sizeHint());
    place.moveCenter(btny->rect().center());
    m_waitNotice->setGeometry(place);
    return m_waitNotice;
}

void TForm2::pick(SiloButton *button)
{
    const int silo = button->Tag;
    // The source is picked already: a touch on it moves the focus only.
    if (krok != NothingPicked && silo == zdroj) {
        focusBar();
        return;
    }
    Result row = m_desk.connection().query(selectSiloByNumber(silo));
    if (!row.next())
        return;
    const SiloInfo info = siloInfoOf(board::captionAsTitle(button->text()), row);
    // Without its dialog (the board is being left) a touch counts as "storno".
    if (!infos || infos->showModal(info) != Tinfos::Take)
        return;
    // The answered dialog leaves the screen before a read that may wait on a lock.
    ui::clearAnsweredDialog();
    if (krok == NothingPicked) {
        namespace c = schema::ppsila;
        const std::optional<QString> refusal = board::sourceRefusal(
            board::captionOnOneLine(button->text()), row.toDouble(c::Stav), row.toText(c::Partie));
        if (refusal) {
            if (foznam)
                foznam->showModal(*refusal);
            return;
        }
    }

    if (krok == TargetPicked) {
        // The new touch replaces the target.
        markPicked(cil, false);
    } else {
        ++krok;
    }
    (krok == SourcePicked ? zdroj : cil) = silo;
    markPicked(silo, true);
    focusBar();
    suiButton1->setFont(skin::font(CommandFontPx));
    const QString source = tlacitka[size_t(zdroj)]->text();
    if (krok == SourcePicked) {
        suiButton1->setText(board::transferCaption(source));
        suiButton4->setText(board::removalCaption(source));
        suiButton4->setEnabled(true);
        suiButton1->update();
        const ui::BusyNotice waiting(placedWaitNotice());
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
    Connection &connection = m_desk.connection();
    Result sourceRow = connection.query(selectSiloByNumber(zdroj));
    sourceRow.next();
    const board::SourceSilo source{sourceRow.toText(c::Partie), sourceRow.toDouble(c::Stav)};

    Result rows = connection.query(selectCandidates());
    QHash<int, board::CandidateSilo> candidates;
    while (rows.next()) {
        const int silo = int(rows.toInt(c::Silo));
        if (!candidates.contains(silo))
            candidates.insert(silo, {rows.toText(c::Partie), rows.toDouble(CandidateRemainingColumn), rows.toDouble(c::Stav)});
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
    if (krok != TargetPicked)
        return; // "přesun" is enabled only once a target is picked
    const Busy busy(*this);
    const movement::DeskResult result = m_desk.transfer(zdroj, cil);
    const std::optional<QString> notice = board::transferNotice(result, zdroj, cil);
    if (notice && foznam)
        foznam->showModal(*notice);
    resetAfterMovement();
}

void TForm2::removal()
{
    if (krok != SourcePicked)
        return; // "odvoz" is enabled only while just the source is picked
    const Busy busy(*this);
    const std::optional<QString> notice = board::removalNotice(m_desk.removal(zdroj));
    if (notice && foznam)
        foznam->showModal(*notice);
    resetAfterMovement();
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
    krok = NothingPicked;
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
    // A disabled button keeps its grey caption.
    QPalette palette = button->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::ButtonText,
                         picked ? skin::SelectedText : QApplication::palette(button).color(group, QPalette::ButtonText));
    }
    button->setPalette(palette);
}

void TForm2::focusBar()
{
    suiImagePanel1->setFocus();
}

} // namespace granovia
