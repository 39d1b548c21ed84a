// Scanned codes on the console: the silo of a label, or the one silo that
// holds a lot, goes into panel A or B as a click on its overview row.
#include "console/TForm1.h"

#include "console/OverviewDrawing.h"
#include "console/OverviewGrid.h"
#include "store/ScanCode.h"

namespace granovia {

void TForm1::scanned(const QString &code)
{
    const scancode::ScanTarget target = scancode::resolveScan(ZConnection1, code);
    if (const std::optional<QString> text = scancode::scanNotice(target)) {
        notice(text.value());
        return;
    }
    const int silo = target.silos.first();
    OverviewGrid *grid = silo > overview::SecondGridBase ? prehled2 : prehled;
    const int row = silo - 1 - (grid == prehled2 ? overview::SecondGridBase : 0);
    {
        const QSignalBlocker quiet(grid);
        grid->setCurrentIndex(grid->overviewModel()->index(row, OverviewModel::DataColumn));
    }
    bool allow = true;
    prehledSelectCell(grid, OverviewModel::DataColumn, row, allow);
}

} // namespace granovia
