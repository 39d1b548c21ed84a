#include "console/LiveView.h"

#include "console/HistoryGrid.h"
#include "console/ConsoleSurface.h"
#include "console/DetailPanel.h"
#include "console/HistoryModel.h"
#include "movements/PanelRules.h"
#include "store/SiloSnapshot.h"
#include "ui/Widgets.h"
#include "store/DbError.h"
#include "config/Polling.h"

#include <QApplication>
#include <QScrollBar>

namespace granovia {

namespace {

const QString SiloChangedText = QStringLiteral("%1 se mezitím změnilo, výběr zrušen!");
const QString QuantityCutText = QStringLiteral("%1 nyní obsahuje jen %2 t, množství k přesunu bylo sníženo!");
constexpr int StaleMarkPixels = 16;

// Keeps the history on the lines the operator reads while lines are put
// above them. A view at its top stays there and shows the new lines.
class ReadingPlace final {
public:
    explicit ReadingPlace(QTableView &view)
        : m_view(view)
        , m_atTop(view.verticalScrollBar()->value() == 0)
        , m_top(view.indexAt(QPoint(0, 0)))
    {
    }
    ~ReadingPlace()
    {
        if (!m_atTop && m_top.isValid())
            m_view.scrollTo(m_top, QAbstractItemView::PositionAtTop);
    }
    Q_DISABLE_COPY_MOVE(ReadingPlace)

private:
    QTableView &m_view;
    bool m_atTop;
    QPersistentModelIndex m_top;
};

// Whether the panel shows other values than the fresh row would give; the
// quantity is the operator's to lower and does not count.
bool differs(const DetailGrid *grid, const PanelValues &fresh)
{
    for (int row = 0; row < detail::RowCount; ++row) {
        if (row != detail::QuantityRow && grid->value(row) != fresh[size_t(row)])
            return true;
    }
    return false;
}

// The panel shows its silo's fresh values, marked where they changed. A
// quantity the operator lowered stays as long as the silo holds it.
void showFresh(DetailGrid *grid, const QString &caption, PanelValues values, QStringList &notices)
{
    const PolledQuantity quantity =
        quantityAfterPoll(grid->value(detail::QuantityRow), grid->quantityLowered(), values[detail::QuantityRow]);
    values[detail::QuantityRow] = quantity.text;
    grid->setValuesMarked(values);
    if (quantity.cut)
        notices.append(QuantityCutText.arg(caption, quantity.text));
}

} // namespace

// A panel's silo as the poll has just read it.
struct LiveView::FreshPanel {
    PanelValues values;
    double stav = 0;
};

LiveView::LiveView(ConsoleSurface &console)
    : m_console(console)
    , m_staleMark(new ui::StaleMark(&console.consoleWidget(), StaleMarkPixels))
{
    m_timer.setInterval(polling::Interval);
    connect(&m_timer, &QTimer::timeout, this, &LiveView::poll);
}

void LiveView::start()
{
    m_timer.start();
    poll();
}

// The first session begins on the console's host; a later one goes on from
// the host this session worked on or failed over to.
Connection &LiveView::connection()
{
    return m_connection.ensureOpen([this](Connection &fresh) { fresh.openLike(m_console.connection()); });
}

void LiveView::forgetConnection()
{
    m_connection.close();
    m_token.reset();
}

bool LiveView::poll()
{
    if (m_paused > 0 || !m_timer.isActive() || QApplication::activeModalWidget())
        return false;
    QStringList notices;
    try {
        const polling::Budget budget;
        const ChangeToken token = readChangeToken(connection());
        m_timer.setInterval(polling::Interval);
        if (token != m_token) {
            showJournal(token.journalTop);
            notices = showSilos();
        }
        m_staleMark->readSucceeded();
        if (token == m_token)
            return false;
        m_token = token;
    } catch (const DbError &) {
        forgetConnection();
        m_staleMark->readFailed();
        m_timer.setInterval(polling::RetryInterval);
        return false;
    }
    if (!notices.isEmpty()) {
        m_console.notice(notices.join(u'\n'));
    }
    return true;
}

void LiveView::showOwnMovement(const QList<qint32> &ids)
{
    Connection &connection = m_console.connection();
    m_console.repaintSilos(m_console.snapshot().reloadRows(connection, ids));
    HistoryModel &history = m_console.history();
    if (m_journalTop)
        m_journalTop = std::max(*m_journalTop, history.mergeNewerLines(connection, *m_journalTop));
    else
        history.requery();
    m_console.historyGrid().showNewestLine();
}

void LiveView::showJournal(qint64 journalTop)
{
    const ReadingPlace keep(m_console.historyGrid());
    const qint64 known = m_journalTop.value_or(journalTop);
    const qint64 newest = m_console.history().mergeNewerLines(m_connection, known - JournalMargin);
    m_journalTop = std::max({known, journalTop, newest});
}

// Everything is read before anything changes on screen, so that a failed
// read leaves the console as it was.
QStringList LiveView::showSilos()
{
    SiloSnapshot &snapshot = m_console.snapshot();
    Result rows = m_connection.query(selectAllSilos());
    const SiloSnapshot before = snapshot;
    std::optional<FreshPanel> a;
    std::optional<FreshPanel> b;
    snapshot.applyAll(rows, [&](const Result &result, const SiloRow &row) {
        if (row.id != 0 && row.id == snapshot.vyber_a)
            a = FreshPanel{panelValuesOf(result), row.stav};
        if (row.id != 0 && row.id == snapshot.vyber_b)
            b = FreshPanel{panelValuesOf(result), row.stav};
    });
    m_console.repaintSilos(snapshot.silosDifferingFrom(before));
    return checkPanels(a, b);
}

// A panel whose silo changed is read again, its values marked. One that the
// lot rules would no longer take, or whose row is gone, is emptied: panel A
// as the first pick, panel B as a pick beside panel A.
QStringList LiveView::checkPanels(const std::optional<FreshPanel> &a, const std::optional<FreshPanel> &b)
{
    const PanelSide panelA = m_console.panel(Panel::A);
    const PanelSide panelB = m_console.panel(Panel::B);
    QStringList notices;
    const bool aChanged = panelA.id != 0 && (!a || differs(panelA.grid, a->values));
    if (aChanged) {
        if (a && choosePanel({}, {}, a->stav, a->values[detail::LotRow]) != PanelChoice::Ignore) {
            showFresh(panelA.grid, panelA.caption->text(), a->values, notices);
        } else {
            notices.append(SiloChangedText.arg(panelA.caption->text()));
            m_console.emptyPanel(Panel::A);
        }
    }
    const bool bChanged = panelB.id != 0 && (!b || differs(panelB.grid, b->values));
    if (!bChanged && !(aChanged && panelB.id != 0))
        return notices;
    const QString lotA = panelA.grid->value(detail::LotRow);
    if (b && (lotA.isEmpty() || choosePanel(lotA, {}, b->stav, b->values[detail::LotRow]) == PanelChoice::B)) {
        if (bChanged)
            showFresh(panelB.grid, panelB.caption->text(), b->values, notices);
    } else {
        notices.append(SiloChangedText.arg(panelB.caption->text()));
        m_console.emptyPanel(Panel::B);
    }
    return notices;
}

} // namespace granovia
