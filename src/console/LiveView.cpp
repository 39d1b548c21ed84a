#include "console/LiveView.h"

#include "console/HistoryGrid.h"
#include "console/TForm1.h"
#include "store/DbError.h"
#include "ui/Polling.h"

#include <QApplication>
#include <QScrollBar>

namespace granovia {

namespace {

const QString SiloChangedText = QStringLiteral("%1 se mezitím změnilo, výběr zrušen!");
const QString QuantityCutText = QStringLiteral("%1 nyní obsahuje jen %2 t, množství k přesunu bylo sníženo!");

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

LiveView::LiveView(TForm1 &console)
    : m_console(console)
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
    if (m_connection.isOpen())
        return m_connection;
    if (m_opened) {
        m_connection.reopen();
    } else {
        m_opened = true;
        m_connection.openLike(m_console.ZConnection1);
    }
    return m_connection;
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
        if (token == m_token)
            return false;
        showJournal(token.journalTop);
        notices = showSilos();
        m_token = token;
    } catch (const DbError &) {
        forgetConnection();
        m_timer.setInterval(polling::RetryInterval);
        return false;
    }
    if (!notices.isEmpty()) {
        m_console.suiMessageDialog1.setText(notices.join(u'\n'));
        m_console.suiMessageDialog1.showModal();
    }
    return true;
}

void LiveView::showOwnMovement(const QList<qint32> &ids)
{
    repaintSilos(m_console.snapshot.reloadRows(m_console.ZConnection1, ids));
    if (m_journalTop)
        m_journalTop = std::max(*m_journalTop, m_console.history.mergeNewerLines(m_console.ZConnection1, *m_journalTop));
    else
        m_console.history.requery();
    m_console.suiDBGrid1->showNewestLine();
}

void LiveView::showJournal(qint64 journalTop)
{
    const ReadingPlace keep(*m_console.suiDBGrid1);
    const qint64 known = m_journalTop.value_or(journalTop);
    const qint64 newest = m_console.history.mergeNewerLines(m_connection, known - JournalMargin);
    m_journalTop = std::max({known, journalTop, newest});
}

// Everything is read before anything changes on screen, so that a failed
// read leaves the console as it was.
QStringList LiveView::showSilos()
{
    SiloSnapshot &snapshot = m_console.snapshot;
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
    repaintSilos(snapshot.silosDifferingFrom(before));
    return checkPanels(a, b);
}

void LiveView::repaintSilos(const QList<int> &silos)
{
    for (int silo : silos) {
        m_console.prehled->overviewModel()->refreshSilo(silo);
        m_console.prehled2->overviewModel()->refreshSilo(silo);
    }
}

// A panel whose silo changed is read again, its values marked. One that the
// lot rules would no longer take, or whose row is gone, is emptied: panel A
// as the first pick, panel B as a pick beside panel A.
QStringList LiveView::checkPanels(const std::optional<FreshPanel> &a, const std::optional<FreshPanel> &b)
{
    TForm1 &c = m_console;
    QStringList notices;
    const bool aChanged = c.snapshot.vyber_a != 0 && (!a || differs(c.popis1, a->values));
    if (aChanged) {
        if (a && choosePanel({}, {}, a->stav, a->values[detail::LotRow]) != PanelChoice::Ignore) {
            showFresh(c.popis1, c.suiImagePanel2->text(), a->values, notices);
        } else {
            notices.append(SiloChangedText.arg(c.suiImagePanel2->text()));
            c.suiButton1Click();
        }
    }
    const bool bChanged = c.snapshot.vyber_b != 0 && (!b || differs(c.popis2, b->values));
    if (!bChanged && !(aChanged && c.snapshot.vyber_b != 0))
        return notices;
    const QString lotA = c.popis1->value(detail::LotRow);
    if (b && (lotA.isEmpty() || choosePanel(lotA, {}, b->stav, b->values[detail::LotRow]) == PanelChoice::B)) {
        if (bChanged)
            showFresh(c.popis2, c.suiImagePanel3->text(), b->values, notices);
    } else {
        notices.append(SiloChangedText.arg(c.suiImagePanel3->text()));
        c.suiButton2Click();
    }
    return notices;
}

} // namespace granovia
