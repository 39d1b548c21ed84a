#pragma once

#include "app/AppPaths.h"
#include "store/Connection.h"
#include "store/SiloSnapshot.h"
#include "store/StartAudit.h"
#include "ui/Dialogs.h"

#include <QStringList>
#include <QWidget>

class QLabel;

namespace granovia {

// What the console needs from its surroundings; tests give their own.
struct ConsoleContext {
    AppPaths paths;
    QStringList arguments;
    StartEnvironment environment;

    static ConsoleContext ofRunningProgram(const QStringList &arguments);
};

// The operator console, the system's one main window.
class TForm1 final : public QWidget {
    Q_OBJECT
public:
    // The system ends with this code when it cannot connect at start.
    static constexpr int ConnectionFailedExitCode = 1;

    explicit TForm1(ConsoleContext context, QWidget *parent = nullptr);
    ~TForm1() override;

    // The start-up sequence: configuration, connection and start record,
    // snapshot. Runs once, just before the window is first shown.
    void FormShow();
    void nacti_sila();

    Connection ZConnection1;
    SiloSnapshot snapshot;
    ui::MessageDialog suiMessageDialog1;
    ui::MessageDialog suiMessageDialog2;
    ui::InputDialog mno;
    QLabel *suiImagePanel2 = nullptr;
    QLabel *suiImagePanel3 = nullptr;

signals:
    // The system must end (the connection failed at start).
    void endRequested(int exitCode);

public slots:
    void bringToFront();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void startUp();
    void writeFormVersion();
    bool isPanelMode() const;

    ConsoleContext m_context;
    bool m_shownOnce = false;
    bool m_formVersionWritten = false;
};

} // namespace granovia
