#pragma once

#include "config/AppPaths.h"
#include "console/ConsoleSurface.h"
#include "console/DetailPanel.h"
#include "console/HistoryModel.h"
#include "console/LiveView.h"
#include "console/MovementActions.h"
#include "console/OverviewGrid.h"
#include "movements/MovementDesk.h"
#include "store/Connection.h"
#include "store/SiloSnapshot.h"
#include "store/StartAudit.h"
#include "ui/Dialogs.h"
#include "ui/SkinnedFrame.h"
#include "ui/Widgets.h"

#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>

class QSplitter;

namespace granovia {

namespace reportsui {
class ReportsWindow;
}

class BottomStrip;
class ConsoleDesk;
class DbError;
class HistoryGrid;

// What the console needs from its surroundings; tests give their own.
struct ConsoleContext {
    AppPaths paths;
    QStringList arguments;
    StartEnvironment environment;

    static ConsoleContext ofRunningProgram(const QStringList &arguments);
};

// The operator console, the system's one main window: the overview of all
// silos, detail panels A and B, the movement buttons and the history. The
// silo board orders its movements at the console's desk (desk()). Its
// widgets carry their names as object names.
class TForm1 final : public QWidget, public ConsoleSurface {
    Q_OBJECT
public:
    // The system ends with this code when it cannot connect at start.
    static constexpr int ConnectionFailedExitCode = 1;
    static constexpr int BoardDelayMs = 5000;
    static constexpr int SplitterBarWidth = 2;
    // The window, the skinned frame's border drawn inside it; the title bar
    // takes the top of what the border encloses.
    static constexpr QSize DesignSize{850, 629};

    explicit TForm1(ConsoleContext context, QWidget *parent = nullptr);
    ~TForm1() override;

    // The start-up sequence: configuration, connection and start record,
    // snapshot, history. Runs once, just before the window is first shown.
    void FormShow();
    movement::Desk &desk();
    MovementActions &movements() { return *m_actions; }
    LiveView &liveView() { return m_liveView; }
    // Everything the start does once it has its connection; a failed start
    // tries it again by itself every 15 s.
    void finishStart();

    // What the live view, the movement actions and the desk reach.
    Connection &connection() override { return ZConnection1; }
    SiloSnapshot &snapshot() override { return m_snapshot; }
    HistoryModel &history() override { return m_history; }
    HistoryGrid &historyGrid() override { return *suiDBGrid1; }
    PanelSide panel(Panel which) const override;
    void emptyPanel(Panel which) override;
    void selectSilo(int silo) override;
    void repaintSilos(const QList<int> &silos) override;
    void notice(const QString &text) override;
    QWidget &consoleWidget() override { return *this; }

    // Opens the silo board modally; unset, the strip and the timer open nothing.
    std::function<void(TForm1 &)> openBoard;

signals:
    // The system must end (the connection failed at start).
    void endRequested(int exitCode);

public slots:
    void bringToFront();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The Tag of the overview grid of silos 51..100.
    static constexpr int SecondGridTag = 2;

    void FormResize();
    void nacti_sila();
    // Selects silo (row + 1 + base of grid) into panel A or B by the lot
    // rules. Database errors reach the caller.
    void prehledSelectCell(OverviewGrid *grid, int column, int row, bool &allow);
    void popis1DblClick();
    void popis2DblClick();
    void suiButton1Click();
    void suiButton2Click();
    void suiButton3Click();
    void suiImagePanel1DblClick();
    void Timer1Timer();
    // Opens the window of history and reports, or brings it to the front.
    void reportsButtonClick();
    // A scanned code (ConsoleScan.cpp) selects its silo as a click on its
    // overview row does; a lot in no silo or in several, or an unknown code,
    // gets a notice. Database errors reach the caller.
    void scanned(const QString &code);
    void FormCreate();
    void FormClose();
    void buildLayout();
    QWidget *buildOverviewPane();
    QWidget *buildDetailPane(ui::TitleStrip *&title, DetailGrid *&grid, ui::SuiButton *&clear, int valueWidth);
    QWidget *buildHistoryPane();
    void connectHandlers();
    void setKeyboardOrder();
    void nameParts();
    void writeFixedTexts();
    void placeWindow();
    void placeBars();
    void startUp();
    void startFailed(const DbError &error);
    void openHistory();
    void describeTables();
    enum class Report { Operator, StandardErrorOnly };
    void writeFormVersion(Report report = Report::Operator);
    void reportUnwritable(const QString &path);
    void quantityEdit(DetailGrid *grid);
    bool isPanelMode() const;

    Connection ZConnection1;
    SiloSnapshot m_snapshot;
    HistoryModel m_history;
    ui::MessageDialog suiMessageDialog1;
    ui::InputDialog mno;
    QTimer Timer1;
    // Shows what others change while the console runs.
    LiveView m_liveView;

    ui::SkinnedFrame *suiForm1 = nullptr;
    BottomStrip *suiImagePanel1 = nullptr;
    QSplitter *splitMain = nullptr;
    QSplitter *splitRight = nullptr;
    QSplitter *splitDetail = nullptr;
    ui::TitleStrip *suiImagePanel5 = nullptr;
    ui::TitleStrip *suiImagePanel2 = nullptr;
    ui::TitleStrip *suiImagePanel3 = nullptr;
    ui::TitleStrip *suiImagePanel4 = nullptr;
    OverviewGrid *prehled = nullptr;
    OverviewGrid *prehled2 = nullptr;
    DetailGrid *popis1 = nullptr;
    DetailGrid *popis2 = nullptr;
    HistoryGrid *suiDBGrid1 = nullptr;
    ui::SuiButton *suiButton1 = nullptr;
    ui::SuiButton *suiButton2 = nullptr;
    ui::SuiButton *suiButton3 = nullptr;
    ui::SuiButton *suiButton4 = nullptr;
    ui::SuiButton *suiButton5 = nullptr;
    ui::SuiButton *reportsButton = nullptr;
    ui::SuiArrowButton *suiArrowButton1 = nullptr;
    ui::SuiArrowButton *suiArrowButton2 = nullptr;

    ConsoleContext m_context;
    std::unique_ptr<MovementActions> m_actions;
    std::unique_ptr<ConsoleDesk> m_desk;
    OverviewModel *m_prehledModel = nullptr;
    OverviewModel *m_prehled2Model = nullptr;
    // The start's work after the connection, until it has all been done.
    StartRequest m_startRequest;
    bool m_recordPending = false;
    QTimer m_startRetry;
    // The workstation and cost centre of the configuration, for the reports.
    QString m_workstation;
    QString m_centre;
    QPointer<reportsui::ReportsWindow> m_reports;
    bool m_shownOnce = false;
    bool m_formVersionWritten = false;
};

// The strip along the console's bottom edge; a double-click opens the board.
class BottomStrip final : public QWidget {
    Q_OBJECT
public:
    static constexpr int Height = 41;
    using QWidget::QWidget;
    QWidget *quitButton = nullptr;
    // Left of the quit button, at the same height.
    QWidget *reportsButton = nullptr;

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
};

} // namespace granovia
