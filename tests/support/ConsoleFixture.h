#pragma once

#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "TestInstallation.h"
#include "console/OverviewDrawing.h"
#include "console/HistoryGrid.h"
#include "console/TForm1.h"
#include "ui/SkinnedFrame.h"

#include <QSplitter>

#include <QCoreApplication>
#include <QMenu>
#include <QtTest>

namespace granovia::test {

// Reaches a console for the tests through what it shows: its parts, found
// by their names, the surface that its helpers see, and its movement actions.
class ConsoleProbe {
public:
    explicit ConsoleProbe(TForm1 *console = nullptr)
        : m_probed(console)
    {
    }

    static constexpr int TransferDriven = MovementActions::TransferDriven;
    static constexpr int RemovalFromA = MovementActions::RemovalFromA;
    static constexpr int RemovalDriven = MovementActions::RemovalDriven;

#define GRANOVIA_PART(Type, name)                                                                                      \
    Type *name() const { return part<Type>(#name); }
    GRANOVIA_PART(ui::SkinnedFrame, suiForm1)
    GRANOVIA_PART(BottomStrip, suiImagePanel1)
    GRANOVIA_PART(ui::TitleStrip, suiImagePanel2)
    GRANOVIA_PART(ui::TitleStrip, suiImagePanel3)
    GRANOVIA_PART(QSplitter, splitMain)
    GRANOVIA_PART(QSplitter, splitRight)
    GRANOVIA_PART(QSplitter, splitDetail)
    GRANOVIA_PART(OverviewGrid, prehled)
    GRANOVIA_PART(OverviewGrid, prehled2)
    GRANOVIA_PART(DetailGrid, popis1)
    GRANOVIA_PART(DetailGrid, popis2)
    GRANOVIA_PART(HistoryGrid, suiDBGrid1)
    GRANOVIA_PART(ui::SuiButton, suiButton1)
    GRANOVIA_PART(ui::SuiButton, suiButton2)
    GRANOVIA_PART(ui::SuiButton, suiButton3)
    GRANOVIA_PART(ui::SuiButton, suiButton4)
    GRANOVIA_PART(ui::SuiButton, suiButton5)
    GRANOVIA_PART(ui::SuiButton, reportsButton)
    GRANOVIA_PART(ui::SuiArrowButton, suiArrowButton1)
    GRANOVIA_PART(ui::SuiArrowButton, suiArrowButton2)
#undef GRANOVIA_PART
    QTimer &Timer1() const { return *part<QTimer>("Timer1"); }

    Connection &ZConnection1() const { return m_probed->connection(); }
    SiloSnapshot &snapshot() const { return m_probed->snapshot(); }
    HistoryModel &history() const { return m_probed->history(); }
    LiveView &liveView() const { return m_probed->liveView(); }
    void finishStart() const { m_probed->finishStart(); }
    MovementActions &movements() const { return m_probed->movements(); }
    void suiArrowButton1Click() const { movements().suiArrowButton1Click(); }
    void suiArrowButton2Click() const { movements().suiArrowButton2Click(); }
    void suiButton4Click(ui::SuiButton *button) const { movements().suiButton4Click(button); }
    // The X of panel A and of panel B.
    void suiButton1Click() const { suiButton1()->click(); }
    void suiButton2Click() const { suiButton2()->click(); }
    // A double-click on the current cell of panel A.
    void popis1DblClick() const { emit popis1()->cellDoubleClicked(popis1()->currentRow(), popis1()->currentColumn()); }

    // Selects silo s as a click on its overview row does.
    void select(int silo) const { m_probed->selectSilo(silo); }

protected:
    template <typename Part>
    Part *part(const char *name) const
    {
        auto *found = dynamic_cast<Part *>(m_probed->findChild<QObject *>(QLatin1String(name)));
        if (!found)
            qFatal("The console has no part %s", name);
        return found;
    }

    TForm1 *m_probed;
};

// A console started on a scratch database of the test program's own, in an
// installation of its own, with its dialogs answered by script.
class ConsoleFixture : public ConsoleProbe {
protected:
    // Runs the statements on the new database, then starts the console,
    // which must start with these notices and no other word.
    void startConsole(const QStringList &statements, const QStringList &notices = {},
                      const QStringList &arguments = {QStringLiteral("granovia-silo")})
    {
        db = std::make_unique<ScratchDatabase>(QStringLiteral("t_") + QCoreApplication::applicationName());
        for (const QString &statement : statements)
            db->execute(statement);
        installation = std::make_unique<Installation>();
        installation->pointAt(db->settings());
        dialogs = std::make_unique<ScriptedDialogs>();
        restartConsole(arguments);
        QCOMPARE(dialogs->texts(), notices);
        dialogs->asked.clear();
    }

    // A new console, shown, on the same database and installation.
    void restartConsole(const QStringList &arguments = {QStringLiteral("granovia-silo")})
    {
        console.reset();
        console = std::make_unique<TForm1>(installation->context(arguments));
        m_probed = console.get();
        console->show();
    }

    void stopConsole()
    {
        console.reset();
        dialogs.reset();
        installation.reset();
        db.reset();
    }

    qint64 journalLines() { return db->count(QStringLiteral("ppsilap")); }

    // The journal, oldest first: "silo>silob quantity" a line.
    QStringList journal()
    {
        QStringList lines;
        for (Result line = db->admin().query(QStringLiteral("select silo, silob, mnozstvi from ppsilap order by id"));
             line.next();) {
            lines << QStringLiteral("%1>%2 %3").arg(line.toText(QStringLiteral("silo")), line.toText(QStringLiteral("silob")))
                         .arg(line.toDouble(QStringLiteral("mnozstvi")));
        }
        return lines;
    }

    // Whether the menu of the history line in row offers its reversal.
    bool reversalOffered(int row)
    {
        movements().showLineMenu(row, QPoint());
        movements().historyMenu()->close();
        return movements().reverseAction()->isEnabled();
    }

    // Opens the menu of the history line in row and, when its item is
    // enabled, orders the reversal with this answer to the question (1:
    // "stornovat"). False when the item was disabled.
    bool reverseLine(int row, int answer = 1)
    {
        if (!reversalOffered(row))
            return false;
        dialogs->queue({answer, {}});
        movements().reverseMenuLine();
        return true;
    }

    std::unique_ptr<ScratchDatabase> db;
    std::unique_ptr<Installation> installation;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<TForm1> console;
};

} // namespace granovia::test
