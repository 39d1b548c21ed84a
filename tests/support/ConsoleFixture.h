#pragma once

#include "ScriptedDialogs.h"
#include "TestDatabase.h"
#include "TestInstallation.h"
#include "console/OverviewDrawing.h"
#include "console/TForm1.h"

#include <QCoreApplication>
#include <QMenu>
#include <QtTest>

namespace granovia::test {

// Reaches into a console for the tests: its parts, its handlers and its
// state, by the names the console gives them.
class ConsoleProbe {
public:
    explicit ConsoleProbe(TForm1 *console = nullptr)
        : m_probed(console)
    {
    }

    static constexpr int TransferDriven = TForm1::TransferDriven;
    static constexpr int RemovalFromA = TForm1::RemovalFromA;
    static constexpr int RemovalDriven = TForm1::RemovalDriven;

#define GRANOVIA_PART(name)                                                                                            \
    auto &name() const { return m_probed->name; }
#define GRANOVIA_HANDLER(name)                                                                                         \
    template <typename... Args>                                                                                        \
    decltype(auto) name(Args &&...args) const                                                                          \
    {                                                                                                                  \
        return m_probed->name(std::forward<Args>(args)...);                                                            \
    }
    GRANOVIA_PART(ZConnection1)
    GRANOVIA_PART(snapshot)
    GRANOVIA_PART(history)
    GRANOVIA_PART(liveView)
    GRANOVIA_PART(Timer1)
    GRANOVIA_PART(mno)
    GRANOVIA_PART(suiMessageDialog1)
    GRANOVIA_PART(suiMessageDialog2)
    GRANOVIA_PART(PopupMenu1)
    GRANOVIA_PART(Stornovatpohyb1)
    GRANOVIA_PART(suiForm1)
    GRANOVIA_PART(suiImagePanel1)
    GRANOVIA_PART(suiImagePanel2)
    GRANOVIA_PART(suiImagePanel3)
    GRANOVIA_PART(splitMain)
    GRANOVIA_PART(splitRight)
    GRANOVIA_PART(splitDetail)
    GRANOVIA_PART(prehled)
    GRANOVIA_PART(prehled2)
    GRANOVIA_PART(popis1)
    GRANOVIA_PART(popis2)
    GRANOVIA_PART(suiDBGrid1)
    GRANOVIA_PART(suiButton1)
    GRANOVIA_PART(suiButton2)
    GRANOVIA_PART(suiButton3)
    GRANOVIA_PART(suiButton4)
    GRANOVIA_PART(suiButton5)
    GRANOVIA_PART(suiButton6)
    GRANOVIA_PART(suiArrowButton1)
    GRANOVIA_PART(suiArrowButton2)
    GRANOVIA_HANDLER(prehledSelectCell)
    GRANOVIA_HANDLER(suiArrowButton1Click)
    GRANOVIA_HANDLER(suiArrowButton2Click)
    GRANOVIA_HANDLER(suiButton1Click)
    GRANOVIA_HANDLER(suiButton2Click)
    GRANOVIA_HANDLER(suiButton4Click)
    GRANOVIA_HANDLER(popis1DblClick)
    GRANOVIA_HANDLER(Timer1Timer)
    GRANOVIA_HANDLER(nacti_sila)
    GRANOVIA_HANDLER(finishStart)
    GRANOVIA_HANDLER(suiDBGrid1ContextPopup)
    GRANOVIA_HANDLER(Stornovatpohyb1Click)
#undef GRANOVIA_PART
#undef GRANOVIA_HANDLER

    // Selects silo s as a click on its overview row does.
    void select(int silo) const
    {
        bool allow = true;
        if (silo <= overview::SilosPerGrid)
            m_probed->prehledSelectCell(m_probed->prehled, 1, silo - 1, allow);
        else
            m_probed->prehledSelectCell(m_probed->prehled2, 1, silo - overview::SecondGridBase - 1, allow);
    }

protected:
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
        suiDBGrid1ContextPopup(row, QPoint());
        PopupMenu1()->close();
        return Stornovatpohyb1()->isEnabled();
    }

    // Opens the menu of the history line in row and, when its item is
    // enabled, orders the reversal with this answer to the question (1:
    // "stornovat"). False when the item was disabled.
    bool reverseLine(int row, int answer = 1)
    {
        if (!reversalOffered(row))
            return false;
        dialogs->queue({answer, {}});
        Stornovatpohyb1Click();
        return true;
    }

    std::unique_ptr<ScratchDatabase> db;
    std::unique_ptr<Installation> installation;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<TForm1> console;
};

} // namespace granovia::test
