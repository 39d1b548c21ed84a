#include "console/TForm1.h"

#include "app/Config.h"
#include "app/NumberFormat.h"
#include "store/DbError.h"
#include "store/HostInfo.h"
#include "ui/ErrorDisplay.h"
#include "ui/IniFile.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QVBoxLayout>

namespace granovia {

namespace {

Q_LOGGING_CATEGORY(lcConsole, "granovia.console")

constexpr QSize DesignClientSize(850, 629);
constexpr QSize MinimumWindowSize(107, 42);
const QString EmptyPanelCaption = QStringLiteral("SILO");
const QString ConnectionFailedText = QStringLiteral("Chyba připojení k SQL!\nSpojení se serverem neúspěšné!");

} // namespace

ConsoleContext ConsoleContext::ofRunningProgram(const QStringList &arguments)
{
    AppPaths paths = AppPaths::ofRunningProgram();
    StartEnvironment environment = StartEnvironment::system(paths.executablePath());
    return {std::move(paths), arguments, std::move(environment)};
}

TForm1::TForm1(ConsoleContext context, QWidget *parent)
    : QWidget(parent)
    , suiMessageDialog1(this, {QStringLiteral("OK")}, ui::DialogIcon::Stop)
    , suiMessageDialog2(this, {QStringLiteral("přesunout"), QStringLiteral("storno")}, ui::DialogIcon::Question,
                        QStringLiteral("Opravdu přesunout osivo"))
    , mno(this, QStringLiteral("Upravit přesouvané množství"), QStringLiteral("upravit"), QStringLiteral("storno"))
    , m_context(std::move(context))
{
    FormCreate();
}

TForm1::~TForm1()
{
    // A run that ends without a close (failed start, second instance) still
    // leaves its mark in the own INI file.
    if (!m_formVersionWritten)
        writeFormVersion();
}

void TForm1::FormCreate()
{
    numbers::installDecimalComma();
    setWindowTitle(ui::ApplicationCaption);
    setMinimumSize(MinimumWindowSize);
    resize(DesignClientSize);
    snapshot.reset();

    suiImagePanel2 = new QLabel(QStringLiteral("SILO (A)"), this);
    suiImagePanel3 = new QLabel(QStringLiteral("SILO (B)"), this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(suiImagePanel2);
    layout->addWidget(suiImagePanel3);
    layout->addStretch();
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
    // A bad port text or a failing start record stops the sequence here: the
    // console stays open without data, and the operator has seen why.
    ui::guarded(this, [this] { startUp(); });
}

void TForm1::startUp()
{
    const StartConfig config = readStartConfig(ui::IniFile(m_context.paths.ownIniPath()),
                                               ui::IniFile(m_context.paths.sharedIniPath()),
                                               hostinfo::localIpv4Address());
    const StartRequest request{
        {config.host, 0, config.user, config.password, config.database},
        config.sqlPort,
        config.sqlPortOpen,
        config::ModuleName,
        config.stredisko,
        config.cisloPc,
    };
    if (!consql(ZConnection1, request, m_context.environment)) {
        suiMessageDialog1.setText(ConnectionFailedText);
        suiMessageDialog1.showModal();
        emit endRequested(ConnectionFailedExitCode);
        return;
    }
    nacti_sila();
}

void TForm1::nacti_sila()
{
    snapshot.load(ZConnection1);
    suiImagePanel2->setText(EmptyPanelCaption);
    suiImagePanel3->setText(EmptyPanelCaption);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    writeFormVersion();
    QWidget::closeEvent(event);
}

void TForm1::writeFormVersion()
{
    m_formVersionWritten = true;
    ui::IniFile own(m_context.paths.ownIniPath());
    if (!own.writeString(config::FormSection, config::FormVersionKey, QStringLiteral("0")))
        ui::showError(this, AppError(QStringLiteral("Unable to write to %1").arg(own.path())));
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
