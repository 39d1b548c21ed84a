#include "console/TForm1.h"

#include "config/Config.h"
#include "config/NumberFormat.h"
#include "console/ColumnLayout.h"
#include "console/ConsoleDesk.h"
#include "console/HistoryGrid.h"
#include "console/OverviewDrawing.h"
#include "reportsui/ReportsWindow.h"
#include "store/DbError.h"
#include "config/HostInfo.h"
#include "config/Polling.h"
#include "store/Schema.h"
#include "ui/BusyCursor.h"
#include "ui/ErrorDisplay.h"
#include "ui/ScanInput.h"
#include "config/IniFile.h"
#include "ui/Skin.h"

#include <QCloseEvent>
#include <QFile>
#include <QLoggingCategory>
#include <QScreen>
#include <QSplitter>

namespace granovia {

namespace {

Q_LOGGING_CATEGORY(lcConsole, "granovia.console")

constexpr QSize MinimumWindowSize(107, 42);
const QString EmptyPanelCaption = QStringLiteral("SILO");
const QString ConnectionFailedHeadline = QStringLiteral("Chyba připojení k SQL!");
const QString ConnectionFailedLine = QStringLiteral("Spojení se serverem neúspěšné!");
const QString NoTransactionsText =
    QStringLiteral("Tabulky sil nepodporují transakce!\nNezdařený pohyb osiva nelze vrátit zpět.");
const QString NotLoadedText =
    QStringLiteral("Přehled sil se nepodařilo načíst, program to zkusí znovu každých 15 s.");
const QString DuplicateSilosText = QStringLiteral(
    "Pro %1 je v tabulce sil více řádků!\nPřehled, panely, tabule i pohyby pracují s řádkem s nejnižším id.");

// The notice of a failed start: its second line says that the server's
// certificate did not verify, or its third line why else it failed.
QString connectionFailedText(const std::optional<DbError> &why)
{
    if (why && why->isCertificateRejected())
        return ConnectionFailedHeadline + u'\n' + connectFailureReason(*why);
    const QString text = ConnectionFailedHeadline + u'\n' + ConnectionFailedLine;
    return why ? text + u'\n' + connectFailureReason(*why) : text;
}

} // namespace

ConsoleContext ConsoleContext::ofRunningProgram(const QStringList &arguments)
{
    AppPaths paths = AppPaths::ofRunningProgram();
    StartEnvironment environment = hostinfo::startEnvironment(paths.executablePath());
    return {std::move(paths), arguments, std::move(environment)};
}

TForm1::TForm1(ConsoleContext context, QWidget *parent)
    : QWidget(parent)
    , suiMessageDialog1(this, {QStringLiteral("OK")}, ui::DialogIcon::Stop)
    , mno(this, QStringLiteral("Upravit přesouvané množství"), QStringLiteral("upravit"), QStringLiteral("storno"))
    , m_liveView(*this)
    , m_context(std::move(context))
{
    FormCreate();
}

TForm1::~TForm1()
{
    // Nothing runs any more while the window goes.
    Timer1.stop();
    m_startRetry.stop();
    m_liveView.stop();
    // A run that ends without a close (failed start, second instance) still
    // leaves its mark in the own INI file; a failure is told on standard
    // error alone, since no dialog may open in a window being destroyed.
    if (!m_formVersionWritten)
        writeFormVersion(Report::StandardErrorOnly);
}

movement::Desk &TForm1::desk()
{
    return *m_desk;
}

void TForm1::FormCreate()
{
    numbers::installDecimalComma();
    skin::registerFonts();
    skin::installStyle();
    ZConnection1.setBusyIndicator(&ui::showBusyCursor);
    setWindowTitle(ui::ApplicationCaption);
    setMinimumSize(MinimumWindowSize);
    resize(DesignSize);
    buildLayout();
    m_actions = std::make_unique<MovementActions>(
        this, *this, m_liveView,
        MovementActions::Buttons{suiArrowButton2, suiArrowButton1, suiButton4, suiButton5});
    m_desk = std::make_unique<ConsoleDesk>(*this, *this, *m_actions, m_liveView);
    writeFixedTexts();
    // The keyboard begins in the overview, far from "ukončit program".
    prehled->setFocus(Qt::OtherFocusReason);
    m_snapshot.reset();
    suiDBGrid1->setFont(skin::font(skin::Pt7));
    placeWindow();
    Timer1.setParent(this);
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(BoardDelayMs);
    Timer1.setTimerType(Qt::PreciseTimer);
    m_startRetry.setInterval(polling::RetryInterval);
    m_startRetry.setSingleShot(true);
    connectHandlers();
}

void TForm1::writeFixedTexts()
{
    m_prehledModel->setRowCount(overview::SilosPerGrid);
    m_prehled2Model->setRowCount(overview::SilosPerGrid);
    for (int n = 1; n <= overview::SilosPerGrid; ++n) {
        m_prehledModel->setLabel(n - 1, overview::siloLabel(n));
        m_prehled2Model->setLabel(n - 1, overview::siloLabel(n + overview::SecondGridBase));
    }
    // At start the first row of each grid is current, without selecting a silo.
    for (OverviewGrid *grid : {prehled, prehled2}) {
        const QSignalBlocker quiet(grid);
        grid->setCurrentIndex(grid->overviewModel()->index(0, OverviewModel::DataColumn));
    }
}

void TForm1::connectHandlers()
{
    const auto guard = [this](auto handler) { return [this, handler] { ui::guarded(this, [&] { (this->*handler)(); }); }; };
    connect(suiButton1, &QPushButton::clicked, this, guard(&TForm1::suiButton1Click));
    connect(suiButton2, &QPushButton::clicked, this, guard(&TForm1::suiButton2Click));
    connect(suiButton3, &QPushButton::clicked, this, guard(&TForm1::suiButton3Click));
    connect(reportsButton, &QPushButton::clicked, this, guard(&TForm1::reportsButtonClick));
    connect(suiImagePanel1, &BottomStrip::doubleClicked, this, guard(&TForm1::suiImagePanel1DblClick));
    connect(&Timer1, &QTimer::timeout, this, guard(&TForm1::Timer1Timer));
    connect(&m_startRetry, &QTimer::timeout, this, guard(&TForm1::finishStart));
    connect(popis1, &QTableWidget::cellDoubleClicked, this, guard(&TForm1::popis1DblClick));
    connect(popis2, &QTableWidget::cellDoubleClicked, this, guard(&TForm1::popis2DblClick));
    for (OverviewGrid *grid : {prehled, prehled2}) {
        connect(grid, &OverviewGrid::cellSelected, this, [this, grid](int column, int row) {
            bool allow = true;
            ui::guarded(this, [&] { prehledSelectCell(grid, column, row, allow); });
        });
    }
    connect(&m_history, &HistoryModel::fetchFailed, this,
            [this](const QString &message) { ui::showError(this, AppError(message)); });
    ui::ScanInput::instance().attach(this, [this](const QString &code) { ui::guarded(this, [&] { scanned(code); }); });
}

bool TForm1::isPanelMode() const
{
    return granovia::isPanelMode(m_context.arguments);
}

void TForm1::showEvent(QShowEvent *event)
{
    if (!m_shownOnce)
        FormShow();
    QWidget::showEvent(event);
}

void TForm1::FormShow()
{
    m_shownOnce = true;
    // A bad port text stops the sequence here: the console stays open
    // without data, and the operator has seen why.
    ui::guarded(this, [this] { startUp(); });
}

void TForm1::startUp()
{
    const StartConfig config = readStartConfig(m_context.paths);
    const StartRequest request{
        connectionSettings(config, m_context.paths),
        config.sqlPort,
        config.sqlPortOpen,
        config::ModuleName,
        config.stredisko,
        config.cisloPc,
    };
    m_workstation = config.cisloPc;
    m_centre = config.stredisko;
    m_startRequest = request;
    StartReport report;
    try {
        if (!consql(ZConnection1, request, m_context.environment, &report)) {
            if (report.why)
                writeServerText(*report.why);
            suiMessageDialog1.setText(connectionFailedText(report.why));
            suiMessageDialog1.showModal();
            emit endRequested(ConnectionFailedExitCode);
            return;
        }
    } catch (const DbError &error) {
        // Connected, but the start record failed: tried again with the rest.
        m_recordPending = !report.recordWritten;
        startFailed(error);
        return;
    }
    finishStart();
}

// Everything the start does once it has its connection, until it has done
// it all: a failure is told once, the overview says that it is not loaded,
// and the whole is tried again as the live view tries a lost server.
void TForm1::finishStart()
{
    try {
        if (m_recordPending) {
            writeStartRecord(ZConnection1, m_startRequest, m_context.environment);
            m_recordPending = false;
        }
        nacti_sila();
        describeTables();
        openHistory();
    } catch (const DbError &error) {
        startFailed(error);
        return;
    }
    m_startRetry.stop();
    m_prehledModel->refresh();
    m_prehled2Model->refresh();
    m_liveView.start();
    if (isPanelMode())
        Timer1.start();
}

void TForm1::startFailed(const DbError &error)
{
    writeServerText(error);
    m_snapshot.loaded = false;
    m_prehledModel->refresh();
    m_prehled2Model->refresh();
    if (!m_startRetry.isActive())
        notice(error.message() + u'\n' + NotLoadedText);
    m_startRetry.start();
}

// Tables of another engine roll nothing back: movements lock the whole tables
// instead, and the operator learns once that a failure may leave half a
// movement behind. A silo number with two rows is told once as well.
void TForm1::describeTables()
{
    const movement::MovementTables tables = movement::describeTables(ZConnection1);
    m_actions->setTables(tables);
    if (tables.locking == movement::Locking::Tables)
        notice(NoTransactionsText);
    QStringList duplicates;
    for (Result rows = ZConnection1.query(selectDuplicateSilos()); rows.next();)
        duplicates.append(overview::siloLabel(int(rows.toInt(schema::ppsila::Silo))));
    if (!duplicates.isEmpty())
        notice(DuplicateSilosText.arg(duplicates.join(QStringLiteral(", "))));
}

void TForm1::openHistory()
{
    m_history.open(ZConnection1);
    const QString layoutPath = m_context.paths.columnLayoutPath();
    if (QFile::exists(layoutPath))
        suiDBGrid1->applyColumnSet(loadColumnLayout(layoutPath, m_history.availableFields()));
}

void TForm1::nacti_sila()
{
    m_snapshot.load(ZConnection1);
    suiImagePanel2->setText(EmptyPanelCaption);
    suiImagePanel3->setText(EmptyPanelCaption);
}

void TForm1::prehledSelectCell(OverviewGrid *grid, int, int row, bool &)
{
    const bool secondGrid = grid->Tag == SecondGridTag;
    const int silo = row + 1 + (secondGrid ? overview::SecondGridBase : 0);
    const qint32 id = m_snapshot.sila_id[size_t(silo)];
    // A silo without a row has nothing to select.
    if (id == 0 || id == m_snapshot.vyber_a || id == m_snapshot.vyber_b)
        return;
    Result result = ZConnection1.query(selectSiloById(id));
    if (!result.next()) {
        // Deleted since it was read: the overview shows it gone.
        m_snapshot.clear(silo);
        (secondGrid ? m_prehled2Model : m_prehledModel)->refreshSilo(silo);
        return;
    }
    const PanelChoice choice = choosePanel(popis1->value(detail::LotRow), popis2->value(detail::LotRow),
                                           result.toDouble(schema::ppsila::Stav),
                                           result.toText(schema::ppsila::Partie));
    if (choice == PanelChoice::Ignore)
        return;
    const bool intoA = choice == PanelChoice::A;
    (intoA ? popis1 : popis2)->setValues(panelValuesOf(result));
    (intoA ? suiImagePanel2 : suiImagePanel3)->setText((secondGrid ? m_prehled2Model : m_prehledModel)->label(row));
    (intoA ? m_snapshot.vyber_a : m_snapshot.vyber_b) = id;
}

PanelSide TForm1::panel(Panel which) const
{
    if (which == Panel::A)
        return {popis1, suiImagePanel2, m_snapshot.vyber_a};
    return {popis2, suiImagePanel3, m_snapshot.vyber_b};
}

void TForm1::emptyPanel(Panel which)
{
    which == Panel::A ? suiButton1Click() : suiButton2Click();
}

// Silo s is row s − 1 of prehled for s = 1..50 and row s − 51 of prehled2 beyond.
void TForm1::selectSilo(int silo)
{
    bool allow = true;
    if (silo <= overview::SilosPerGrid)
        prehledSelectCell(prehled, OverviewModel::DataColumn, silo - 1, allow);
    else
        prehledSelectCell(prehled2, OverviewModel::DataColumn, silo - overview::SecondGridBase - 1, allow);
}

void TForm1::repaintSilos(const QList<int> &silos)
{
    for (int silo : silos) {
        m_prehledModel->refreshSilo(silo);
        m_prehled2Model->refreshSilo(silo);
    }
}

void TForm1::notice(const QString &text)
{
    suiMessageDialog1.setText(text);
    suiMessageDialog1.showModal();
}

void TForm1::popis1DblClick()
{
    quantityEdit(popis1);
}

void TForm1::popis2DblClick()
{
    quantityEdit(popis2);
}

void TForm1::quantityEdit(DetailGrid *grid)
{
    if (grid->currentRow() != detail::QuantityRow || grid->currentColumn() != detail::ValueColumn)
        return;
    mno.setValue(grid->value(detail::QuantityRow));
    if (mno.showModal() != 1)
        return;
    const std::optional<double> current = numbers::parse(grid->value(detail::QuantityRow));
    const std::optional<double> typed = numbers::parse(mno.value());
    if (!current || !typed) {
        notice(QuantityErrorText);
        return;
    }
    // The quantity to move can only be lowered.
    if (*typed <= *current)
        grid->setLoweredQuantity(mno.value());
}

void TForm1::suiButton1Click()
{
    popis1->clearValues();
    suiImagePanel2->setText(EmptyPanelCaption);
    m_snapshot.vyber_a = 0;
}

void TForm1::suiButton2Click()
{
    popis2->clearValues();
    suiImagePanel3->setText(EmptyPanelCaption);
    m_snapshot.vyber_b = 0;
}

void TForm1::suiButton3Click()
{
    close();
}

void TForm1::reportsButtonClick()
{
    if (!m_reports) {
        // A session of its own, so that a long report keeps neither the console nor its connection.
        const StartConfig config = readStartConfig(m_context.paths);
        m_reports = new reportsui::ReportsWindow({connectionSettings(config, m_context.paths), config.reportSeconds(),
                                                  m_workstation, m_centre},
                                                 this);
        m_reports->setAttribute(Qt::WA_DeleteOnClose);
        // On the console's screen, centred, also while a board terminal parks the console below it.
        QRect place(QPoint(), m_reports->size());
        place.moveCenter(screen()->availableGeometry().center());
        m_reports->move(place.topLeft());
    }
    m_reports->show();
    m_reports->raise();
    m_reports->activateWindow();
}

void TForm1::suiImagePanel1DblClick()
{
    if (openBoard)
        openBoard(*this);
}

void TForm1::Timer1Timer()
{
    Timer1.stop();
    suiImagePanel1DblClick();
}

void TForm1::closeEvent(QCloseEvent *event)
{
    writeFormVersion();
    FormClose();
    QWidget::closeEvent(event);
}

void TForm1::FormClose()
{
    const QString path = m_context.paths.columnLayoutPath();
    if (!saveColumnLayout(path, suiDBGrid1->columnSet()))
        reportUnwritable(path);
}

void TForm1::writeFormVersion(Report report)
{
    m_formVersionWritten = true;
    IniFile own(m_context.paths.ownIniPath());
    if (!own.writeString(config::FormSection, config::FormVersionKey, QStringLiteral("0"))
        && report == Report::Operator)
        reportUnwritable(own.path());
}

void TForm1::reportUnwritable(const QString &path)
{
    ui::showError(this, AppError(QStringLiteral("Unable to write to %1").arg(path)));
}

void TForm1::bringToFront()
{
    qCInfo(lcConsole) << "brought to the front by another start";
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

} // namespace granovia
