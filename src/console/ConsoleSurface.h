#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace granovia {

class Connection;
class DetailGrid;
class HistoryGrid;
class HistoryModel;
struct SiloSnapshot;

namespace ui {
class TitleStrip;
}

enum class Panel { A, B };

// One detail panel as a movement reads it: its grid, its caption and the id
// of the silo row it shows (0: none).
struct PanelSide {
    DetailGrid *grid;
    ui::TitleStrip *caption;
    qint32 id;
};

// What the console's helpers (the live view, the movement actions and the
// board's desk) reach of the console: its session, its silos, its two panels
// and its history. The console's window offers nothing else to them.
class ConsoleSurface {
public:
    // The console's own database session.
    virtual Connection &connection() = 0;
    virtual SiloSnapshot &snapshot() = 0;
    virtual HistoryModel &history() = 0;
    virtual HistoryGrid &historyGrid() = 0;
    virtual PanelSide panel(Panel which) const = 0;
    // Empties the panel as its "X" does.
    virtual void emptyPanel(Panel which) = 0;
    // Selects the silo as a click on its row of the overview does. Database
    // errors reach the caller.
    virtual void selectSilo(int silo) = 0;
    // Both overviews show these silos as the snapshot has them now.
    virtual void repaintSilos(const QList<int> &silos) = 0;
    // The console's notice, "OK" and the stop icon; returns when it is closed.
    virtual void notice(const QString &text) = 0;
    // The console's window, for what is shown over it.
    virtual QWidget &consoleWidget() = 0;

protected:
    ConsoleSurface() = default;
    ~ConsoleSurface() = default;
    Q_DISABLE_COPY_MOVE(ConsoleSurface)
};

} // namespace granovia
