#pragma once

#include "config/AppPaths.h"
#include "console/DetailPanel.h"
#include "console/HistoryModel.h"
#include "console/LiveView.h"
#include "console/OverviewGrid.h"
#include "movements/MovementDesk.h"
#include "movements/Movements.h"
#include "movements/Reversal.h"
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

class QAction;
class QMenu;
class QSplitter;

namespace granovia {

namespace reportsui {
class ReportsWindow;
}

class BottomStrip;
class ConsoleDesk;
class DbError;

inline const QString QuantityErrorText = QStringLiteral("Chyba v množství!");
class HistoryGrid;

// What the console needs from its surroundings; tests give their own.
struct ConsoleContext {
    AppPaths paths;
    QStringList arguments;
    StartEnvironment environment;

    static ConsoleContext ofRunningProgram(const QStringList &arguments);
};

namespace test {
class ConsoleProbe;
}

// The operator console, the system's one main window: the overview of all
// silos, detail panels A and B, the movement buttons and the history. The
// silo board orders its movements at the console's desk (desk()).
class TForm1 final : public QWidget {
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
    friend class ConsoleDesk;
    friend class LiveView;
    friend class test::ConsoleProbe;

    // Mode values in the Tags of the movement buttons.
    static constexpr int TransferConsoleMode = 0;
    static constexpr int TransferDriven = 1;
    static constexpr int RemovalFromA = 1;
    static constexpr int RemovalFromB = 2;
    static constexpr int RemovalDriven = 3;
    // The Tag of the overview grid of silos 51..100.
    static constexpr int SecondGridTag = 2;

    // One detail panel as a movement reads it.
    struct PanelSide {
        DetailGrid *grid;
        ui::TitleStrip *caption;
        qint32 id;
    };
    // What a movement came to; nothing when the operator said "storno".
    using MovementResult = std::optional<movement::DeskResult>;

    void FormResize();
    void nacti_sila();
    // Selects silo (row + 1 + base of grid) into panel A or B by the lot
    // rules. Database errors reach the caller.
    void prehledSelectCell(OverviewGrid *grid, int column, int row, bool &allow);
    // Transfer from panel A to panel B. A Tag of suiArrowButton2 other than 0
    // runs it driven: no dialog, and the result code (movement::DeskResult)
    // is left in the Tag. Database errors reach the caller, with the Tag back
    // at 0.
    void suiArrowButton2Click();
    // Transfer from panel B to panel A, always with question and notices.
    void suiArrowButton1Click();
    // Removal out of the silo of panel A (Tag 1), panel B (Tag 2), or of
    // panel A without question or dialog (Tag 3, as the board drives it). A
    // refused driven removal leaves its result code in suiButton4's Tag; a
    // completed one leaves the Tag at 3. Database errors reach the caller,
    // with suiButton4's Tag back at 1.
    void suiButton4Click(ui::SuiButton *button);
    void popis1DblClick();
    void popis2DblClick();
    void suiButton1Click();
    void suiButton2Click();
    void suiButton3Click();
    void suiImagePanel1DblClick();
    void Timer1Timer();
    // Opens the window of history and reports, or brings it to the front.
    void suiButton6Click();
    // The menu of a history line, at a point of the screen; its item
    // "Stornovat pohyb" is enabled for a movement that can be reversed.
    void suiDBGrid1ContextPopup(int row, const QPoint &globalPos);
    // Reverses the line of the menu after the operator's "stornovat".
    // Database errors reach the caller.
    void Stornovatpohyb1Click();
    // A scanned code (ConsoleScan.cpp) selects its silo as a click on its
    // overview row does; a lot in no silo or in several, or an unknown code,
    // gets a notice. Database errors reach the caller.
    void scanned(const QString &code);

    MovementResult transfer(const PanelSide &source, const PanelSide &target, bool driven);
    MovementResult removal(const PanelSide &panel, bool driven);
    bool confirmed(const QString &question, DetailGrid *source);
    // The result of a movement that the database refused, told to the
    // operator unless the movement runs driven.
    movement::DeskResult refused(movement::Outcome outcome, bool driven);
    // Shows what a written movement changed: the rows with these ids and the
    // new journal lines; both panels are emptied.
    void refreshAfterMovement(const QList<qint32> &changed, bool driven);
    void notice(const QString &text);
    PanelSide panelA() const;
    PanelSide panelB() const;
    void FormCreate();
    void FormClose();
    void buildLayout();
    QWidget *buildOverviewPane();
    QWidget *buildDetailPane(ui::TitleStrip *&title, DetailGrid *&grid, ui::SuiButton *&clear, int valueWidth);
    QWidget *buildHistoryPane();
    void connectHandlers();
    void setKeyboardOrder();
    void writeFixedTexts();
    void placeWindow();
    void placeBars();
    void startUp();
    void finishStart();
    void startFailed(const DbError &error);
    void openHistory();
    void describeTables();
    enum class Report { Operator, StandardErrorOnly };
    void writeFormVersion(Report report = Report::Operator);
    void reportUnwritable(const QString &path);
    void quantityEdit(DetailGrid *grid);
    bool isPanelMode() const;

    Connection ZConnection1;
    SiloSnapshot snapshot;
    HistoryModel history;
    ui::MessageDialog suiMessageDialog1;
    ui::MessageDialog suiMessageDialog2;
    // The question before a reversal: "stornovat" or "zpět".
    ui::MessageDialog suiMessageDialog3;
    ui::InputDialog mno;
    QTimer Timer1;
    // Shows what others change while the console runs.
    LiveView liveView;

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
    ui::SuiButton *suiButton6 = nullptr;
    ui::SuiArrowButton *suiArrowButton1 = nullptr;
    ui::SuiArrowButton *suiArrowButton2 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *Stornovatpohyb1 = nullptr;

    ConsoleContext m_context;
    std::unique_ptr<ConsoleDesk> m_desk;
    OverviewModel *m_prehledModel = nullptr;
    OverviewModel *m_prehled2Model = nullptr;
    movement::MovementTables m_tables;
    // The line whose menu was shown last, as it was then.
    std::optional<journal::JournalLine> m_menuLine;
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
