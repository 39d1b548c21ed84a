// The operator console: its fixed texts and geometry, the overview drawing,
// the selection into the detail panels and the quantity edit.
#include "ConsoleFixture.h"
#include "ModalWatch.h"
#include "console/HistoryGrid.h"
#include "ui/ScanInput.h"
#include "ui/Skin.h"
#include "ui/SkinnedFrame.h"

#include <QContextMenuEvent>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QLineEdit>
#include <QScreen>
#include <QPainter>
#include <QSplitter>
#include <QtTest>

using namespace granovia;
using namespace Qt::StringLiterals;
using namespace granovia::test;

namespace {

const QString QuantityError = u"Chyba v množství!"_s;

// Silos of the selection scenarios: (silo, stock, capacity, lot).
const QString Silos = u"insert into ppsila (silo, stav, kapacita, partie, naz_dru, naz_odru, stupen, navoz) values "
               "(7, 20, 50, '123', 'Pšenice', 'Bohemia', 'C1', '2026-11-02 00:00:00'),"
               "(8, 5, 40, '123', 'Pšenice', 'Bohemia', 'C1', '2026-11-03 14:05:09'),"
               "(10, 12.25, 50, '123', 'Pšenice', 'Bohemia', 'C1', null),"
               "(11, 3, 30, '456', 'Oves', 'Atego', 'C2', null),"
               "(12, 21.5, 20, '', 'Žito', '', '', null),"
               "(9, 0, 60, '', '', '', '', null),"
               "(13, 0, 25, '', '', '', '', null),"
               "(100, 0, 80, '', '', '', '', null)"_s;

// Silo 7 of the overview holding stav of kapacita, as the snapshot takes it:
// its label as read out, and its data cell. A negative stav stands for a
// snapshot not yet loaded.
QString overviewOf(double stav, double kapacita)
{
    SiloSnapshot snapshot;
    snapshot.reset();
    snapshot.loaded = stav >= 0;
    snapshot.apply({1, 7, std::abs(stav), kapacita, u"Žito"_s, QString()});
    OverviewModel model(snapshot, 0);
    model.setRowCount(7);
    model.setLabel(6, overview::siloLabel(7));
    return model.index(6, OverviewModel::LabelColumn).data(Qt::AccessibleTextRole).toString() + u'|'
           + model.index(6, OverviewModel::DataColumn).data().toString();
}

// The values of the panel's eight rows, joined by '|'.
QString valuesOf(const DetailGrid *panel)
{
    QStringList values;
    for (int row = 0; row < panel->rowCount(); ++row)
        values << panel->value(row);
    return values.join(u'|');
}

QRect barExtent(const QImage &image, int y)
{
    int right = -1;
    for (int x = 0; x < image.width(); ++x) {
        if (image.pixelColor(x, y) == QColor(255, 196, 196))
            right = x;
    }
    return QRect(0, y, right + 1, 1);
}

// Text is antialiased: look for pixels that are clearly green.
bool hasGreenText(const QImage &image)
{
    constexpr int Margin = 40;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.green() > c.red() + Margin && c.green() > c.blue() + Margin)
                return true;
        }
    }
    return false;
}

} // namespace

class ConsoleTest final : public QObject, public ConsoleFixture {
    Q_OBJECT
private slots:
    void initTestCase() { GRANOVIA_REQUIRE_SERVER(); }
    void init() { startConsole({Silos}); }
    void cleanup() { stopConsole(); }

    void fixedTexts();
    void geometryAtDesignWidth();
    void panelModeParksTheConsole();
    void keyboardOrderFollowsTheScreen();
    void boardOpensFromStripAndOnceFromTimer();

    void overviewTexts_data();
    void overviewTexts();
    void dataCellPainting();

    void lotRules_data();
    void lotRules();
    void selections_data();
    void selections();
    void siloAlreadyShownSendsNoStatement();
    void panelAShowsTheSilo();
    void deletedRowIsNotSelected();
    void clickMovesTheGreenRowAndSelects();
    void databaseErrorIsShownAndPanelsStay();

    void quantityEdit();
    void scannerToldFromAPerson_data();
    void scannerToldFromAPerson();
    void dialogsWearTheSkin_data();
    void dialogsWearTheSkin();

    void historyLineMenu_data();
    void historyLineMenu();

};

void ConsoleTest::fixedTexts()
{
    const OverviewModel *first = prehled()->overviewModel();
    const OverviewModel *second = prehled2()->overviewModel();
    QCOMPARE((QStringList{QString::number(first->rowCount()), first->label(0), first->label(49), second->label(0),
                          second->label(49), popis2()->item(7, 0)->text(), popis1()->item(2, 0)->text(),
                          suiImagePanel2()->text()}),
             (QStringList{u"50"_s, u"SILO: 01"_s, u"SILO: 50"_s, u"SILO: 51"_s, u"SILO: 00"_s, u"Zbývá tun"_s,
                          u"Odrůda"_s, u"SILO"_s}));
}

void ConsoleTest::geometryAtDesignWidth()
{
    // Frameless, as high as the screen: the skinned frame is the window's edge.
    QVERIFY(console->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(console->frameGeometry().height(), console->screen()->geometry().height());
    // 850 px wide, its border included, where the screen is that wide (the
    // test's is 800 px): wholly on the screen.
    const QRect available = console->screen()->availableGeometry();
    QVERIFY(available.contains(console->frameGeometry()));
    QCOMPARE(console->frameGeometry().width(), std::min(850, available.width()));
    QCOMPARE(suiForm1()->titleBar()->caption()->text(), u"Granovia - silo"_s);
    QVERIFY(suiForm1()->titleBar()->maximizeButton());

    const QSize design = TForm1::DesignSize;
    console->resize(design);
    QCOMPARE(splitMain()->mapTo(console.get(), QPoint()), QPoint(1, 31)); // 30 below the client's top
    QCOMPARE(suiImagePanel1()->mapTo(console.get(), QPoint(0, 41)).y(), design.height() - 1);
    QCOMPARE(splitMain()->sizes().constFirst(), 590);
    QCOMPARE(splitRight()->x(), 592); // after the 2 px bar
    QVERIFY(!splitMain()->handle(1)->isEnabled());
    // The overviews' widths, the data column, the second overview's place, the right and detail panes.
    QCOMPARE((QList<int>{prehled()->width(), prehled2()->width(), prehled()->dataColumnWidth(), prehled2()->x(),
                         splitRight()->sizes().constFirst(), splitDetail()->sizes().constFirst(), suiImagePanel1()->height()}),
             (QList<int>{294, 294, 190, 294, 400, 200, 41}));
    QCOMPARE((QList<QRect>{suiButton4()->geometry(), suiArrowButton2()->geometry(), suiButton1()->geometry(),
                           suiButton3()->geometry()}),
             (QList<QRect>{QRect(104, 150, 80, 30), QRect(190, 150, 30, 30), QRect(220, 2, 15, 15), QRect(705, 6, 119, 27)}));
    // The cells have their fixed sizes; the grid lines lie beside them.
    const auto cellSize = [](QTableView *grid, int column) { return grid->visualRect(grid->model()->index(0, column)).size(); };
    QCOMPARE((QList<QSize>{cellSize(prehled(), 0), cellSize(prehled(), 1), cellSize(popis1(), 0), cellSize(popis2(), 1)}),
             (QList<QSize>{QSize(79, 15), QSize(190, 15), QSize(80, 15), QSize(142, 15)}));
    QCOMPARE(prehled()->rowViewportPosition(1), 16);
    // Wider window: the quit button keeps its distance to the right edge.
    console->resize(design.width() + 150, design.height());
    QCOMPARE(splitMain()->sizes().constFirst(), 740);
    QCOMPARE(suiButton3()->x(), 855);
    // Back from a maximised window, the design layout comes back exactly.
    console->resize(console->screen()->geometry().size());
    console->resize(design);
    QCOMPARE(splitMain()->sizes(), (QList<int>{590, 256}));
    QCOMPARE(prehled()->width(), 294);
    QCOMPARE(prehled2()->dataColumnWidth(), 190);
    // The frame's close button closes the console as any close does.
    suiForm1()->titleBar()->closeButton()->click();
    QVERIFY(!console->isVisible());
    QVERIFY(QFile::exists(installation->paths().columnLayoutPath()));
}

void ConsoleTest::panelModeParksTheConsole()
{
    TForm1 panel(installation->context({u"granovia-silo"_s, u"/p"_s}));
    const ConsoleProbe probe(&panel);
    QCOMPARE(panel.y(), 5000);
    panel.show();
    QVERIFY(probe.Timer1().isActive());
    QCOMPARE(probe.Timer1().interval(), 5000);
    panel.move(panel.x(), 0);
    panel.resize(900, 600);
    QCOMPARE(panel.y(), 5000);
    QVERIFY(!Timer1().isActive());
    QCOMPARE(console->y(), 0);
}

void ConsoleTest::keyboardOrderFollowsTheScreen()
{
    const QList<QWidget *> expected{static_cast<QWidget *>(prehled()),    prehled2(), popis1(),     suiButton4(), suiArrowButton2(),
                                    suiButton1(), popis2(),   suiButton5(), suiArrowButton1(), suiButton2(),
                                    suiDBGrid1(), reportsButton(), suiButton3()};
    QList<QWidget *> order{static_cast<QWidget *>(prehled())};
    for (QWidget *next = prehled()->nextInFocusChain(); next != prehled() && order.size() < expected.size();
         next = next->nextInFocusChain()) {
        if (next->focusPolicy() & Qt::TabFocus)
            order.append(next);
    }
    QCOMPARE(order, expected);
}

void ConsoleTest::boardOpensFromStripAndOnceFromTimer()
{
    int opened = 0;
    console->openBoard = [&opened](TForm1 &) { ++opened; };
    QTest::mouseDClick(suiImagePanel1(), Qt::LeftButton);
    QCOMPARE(opened, 1);
    Timer1().start(0); // runs out at once
    QTRY_COMPARE(opened, 2);
    QVERIFY(!Timer1().isActive());
}

void ConsoleTest::overviewTexts_data()
{
    QTest::addColumn<QString>("actual");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0.4 % rounds to 0") << overview::percentText(0.4L) << u"0 %"_s;
    QTest::newRow("99.5 % rounds up") << overview::percentText(99.5L) << u"100 %"_s;
    QTest::newRow("57.3 %") << overview::percentText(57.3L) << u"57 %"_s;
    QTest::newRow("stock with comma") << overview::stockText(12.5L) << u"12,500"_s;
    QTest::newRow("tiny stock") << overview::stockText(0.0004L) << u"0,000"_s;
    QTest::newRow("species and variety") << overview::speciesText(u"Oves"_s, u"Atego"_s, 10) << u"Oves, Atego"_s;
    QTest::newRow("filled, no variety") << overview::speciesText(u"Žito"_s, QString(), 10) << u"Žito, merkantil"_s;
    QTest::newRow("no species") << overview::speciesText(QString(), u"Atego"_s, 10) << u", Atego"_s;
    QTest::newRow("empty silo") << overview::speciesText(QString(), QString(), 0) << QString();
    QTest::newRow("label 7") << overview::siloLabel(7) << u"SILO: 07"_s;
    QTest::newRow("label 100") << overview::siloLabel(100) << u"SILO: 00"_s;
    QTest::newRow("0.3 % full keeps its label") << overviewOf(0.15, 50) << u"SILO: 07 0 %|0,150 Žito, merkantil"_s;
    QTest::newRow("a floating remainder is no stock") << overviewOf(1.78e-15, 50) << u"SILO: 07|"_s;
    QTest::newRow("not loaded: no silo shows empty") << overviewOf(-0.0001, 50) << u"SILO: 07|nenačteno"_s;
    // Bars in the 190 px data cell, by percent.
    const auto bar = [](double percent) { return QString::number(overview::barLength(190, percent)); };
    QTest::newRow("bar half") << bar(50.0) << u"95"_s;
    QTest::newRow("bar of 33.3 % truncates") << bar(33.3) << u"63"_s;
    QTest::newRow("bar of 108 % stays in its cell") << bar(108.0) << u"190"_s;
    QTest::newRow("bar empty") << bar(0.0) << u"0"_s;
    QTest::newRow("bar of an absurd fill stays in its cell") << bar(1e30) << u"190"_s;
    QTest::newRow("negative capacity draws no bar") << bar(-250.0) << u"0"_s;
}

void ConsoleTest::overviewTexts()
{
    QFETCH(QString, actual);
    QFETCH(QString, expected);
    QCOMPARE(actual, expected);
}

void ConsoleTest::dataCellPainting()
{
    SiloSnapshot alone;
    alone.reset();
    alone.loaded = true;
    alone.sila_procent[7] = 33.3L;
    alone.sila_stav[7] = 13.32L;
    alone.sila_druh[7] = u"Oves"_s;
    QImage image(190, 15, QImage::Format_RGB32);
    QPainter painter(&image);
    paintDataCell(&painter, image.rect(), alone, 7, false);
    painter.end();
    QCOMPARE(barExtent(image, 0).width(), 63);
    QVERIFY(!hasGreenText(image));

    painter.begin(&image);
    paintDataCell(&painter, image.rect(), alone, 7, true);
    painter.end();
    QVERIFY(hasGreenText(image));

    // The examples of 50 % and 33,3 % on the grid itself, in its 190 px column.
    console->resize(TForm1::DesignSize);
    snapshot().sila_procent[1] = 50;
    snapshot().sila_procent[2] = 33.3L;
    OverviewGrid *grid = prehled();
    grid->overviewModel()->refresh();
    for (const auto &[row, bar] : {std::pair{0, 95}, std::pair{1, 63}}) {
        const QRect cell = grid->visualRect(grid->model()->index(row, 1));
        QCOMPARE(barExtent(grid->viewport()->grab(cell).toImage(), 0).width(), bar);
    }
}

void ConsoleTest::lotRules_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<double>("stock");
    QTest::addColumn<QString>("lot");
    QTest::addColumn<int>("choice");
    const int ignore = int(PanelChoice::Ignore), intoA = int(PanelChoice::A), intoB = int(PanelChoice::B);
    QTest::newRow("both empty, stock") << QString() << QString() << 5.0 << u"L"_s << intoA;
    QTest::newRow("both empty, stock without lot") << QString() << QString() << 5.0 << QString() << ignore;
    QTest::newRow("both empty, no stock") << QString() << QString() << 0.0 << u"L"_s << intoA;
    QTest::newRow("A=X, same lot") << u"X"_s << QString() << 5.0 << u"X"_s << intoB;
    QTest::newRow("A=X, other lot") << u"X"_s << QString() << 5.0 << u"Y"_s << ignore;
    QTest::newRow("A=X, lot differs in case") << u"X"_s << QString() << 5.0 << u"x"_s << ignore;
    QTest::newRow("A=X, no stock") << u"X"_s << QString() << 0.0 << u"Y"_s << intoB;
    QTest::newRow("A=X B=Y, lot X") << u"X"_s << u"Y"_s << 5.0 << u"X"_s << intoB;
    QTest::newRow("A=X B=X, lot X") << u"X"_s << u"X"_s << 5.0 << u"X"_s << ignore;
    QTest::newRow("A=X B=Y, no stock") << u"X"_s << u"Y"_s << 0.0 << u"Z"_s << intoB;
    QTest::newRow("B=Y alone, lot Y") << QString() << u"Y"_s << 5.0 << u"Y"_s << ignore;
    QTest::newRow("B=Y alone, other lot") << QString() << u"Y"_s << 5.0 << u"Z"_s << ignore;
    QTest::newRow("B=Y alone, no stock") << QString() << u"Y"_s << 0.0 << QString() << intoA;
    QTest::newRow("negative stock counts") << u"X"_s << QString() << -1.0 << u"Y"_s << ignore;
    QTest::newRow("a remainder below half a kilo is none") << u"X"_s << QString() << 0.0004 << u"Y"_s << intoB;
    QTest::newRow("three kilos are stock") << u"X"_s << QString() << 0.003 << u"Y"_s << ignore;
}

void ConsoleTest::lotRules()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(double, stock);
    QFETCH(QString, lot);
    QFETCH(int, choice);
    QCOMPARE(int(choosePanel(a, b, stock, lot)), choice);
}

// Clicks in their order ("X" empties panel A), and what the panels show then.
void ConsoleTest::selections_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("captionA");
    QTest::addColumn<QString>("captionB");
    QTest::addColumn<QString>("lotA");
    QTest::addColumn<QString>("quantityAndRemainingB");
    QTest::newRow("another lot with stock is passed over, the same lot goes to B")
        << QStringList{u"7"_s, u"11"_s, u"8"_s} << u"SILO: 07"_s << u"SILO: 08"_s << u"123"_s << u"5|35"_s;
    QTest::newRow("an empty silo replaces B") << QStringList{u"7"_s, u"8"_s, u"9"_s} << u"SILO: 07"_s
                                              << u"SILO: 09"_s << u"123"_s << u"|60"_s;
    QTest::newRow("a third silo of the lot is passed over")
        << QStringList{u"7"_s, u"8"_s, u"10"_s} << u"SILO: 07"_s << u"SILO: 08"_s << u"123"_s << u"5|35"_s;
    QTest::newRow("beside two silos of one lot only an empty one replaces B")
        << QStringList{u"7"_s, u"8"_s, u"10"_s, u"13"_s} << u"SILO: 07"_s << u"SILO: 13"_s << u"123"_s << u"|25"_s;
    QTest::newRow("an empty silo in A leaves A free, stock without a lot is passed over")
        << QStringList{u"9"_s, u"12"_s} << u"SILO: 09"_s << u"SILO"_s << QString() << u"|"_s;
    QTest::newRow("a silo with stock replaces the empty one in A")
        << QStringList{u"9"_s, u"12"_s, u"11"_s} << u"SILO: 11"_s << u"SILO"_s << u"456"_s << u"|"_s;
    QTest::newRow("B alone takes no silo with stock")
        << QStringList{u"7"_s, u"8"_s, u"X"_s, u"10"_s, u"11"_s} << u"SILO"_s << u"SILO: 08"_s << QString() << u"5|35"_s;
    QTest::newRow("B alone, an empty silo goes to A")
        << QStringList{u"7"_s, u"8"_s, u"X"_s, u"13"_s} << u"SILO: 13"_s << u"SILO: 08"_s << QString() << u"5|35"_s;
    QTest::newRow("silo 100 through the second grid") << QStringList{u"100"_s} << u"SILO: 00"_s << u"SILO"_s
                                                      << QString() << u"|"_s;
}

void ConsoleTest::selections()
{
    QFETCH(QStringList, clicks);
    QFETCH(QString, captionA);
    QFETCH(QString, captionB);
    QFETCH(QString, lotA);
    QFETCH(QString, quantityAndRemainingB);
    for (const QString &click : clicks)
        click == u"X"_s ? suiButton1()->click() : select(click.toInt());
    QCOMPARE(suiImagePanel2()->text(), captionA);
    QCOMPARE(suiImagePanel3()->text(), captionB);
    QCOMPARE(popis1()->value(detail::LotRow), lotA);
    QCOMPARE(popis2()->value(detail::QuantityRow) + u'|' + popis2()->value(detail::RemainingRow), quantityAndRemainingB);
    const auto idOf = [this](const QString &caption) {
        if (caption == u"SILO"_s)
            return 0;
        const int digits = movement::siloNumberOfCaption(caption).toInt();
        return snapshot().sila_id[size_t(digits == 0 ? 100 : digits)]; // SILO: 00 is silo 100
    };
    QCOMPARE(snapshot().vyber_a, idOf(captionA));
    QCOMPARE(snapshot().vyber_b, idOf(captionB));
    QCOMPARE(popis1()->item(detail::QuantityRow, detail::LabelColumn)->text(), u"Množství tun"_s);
}

void ConsoleTest::siloAlreadyShownSendsNoStatement()
{
    select(7);
    select(9);
    const qint64 before = selectCount(ZConnection1());
    select(7);
    select(9);
    QCOMPARE(selectCount(ZConnection1()), before);
    QCOMPARE(suiImagePanel2()->text(), u"SILO: 07"_s);
}

// The first silo fills panel A; its values, the remaining capacity and an overfill.
void ConsoleTest::panelAShowsTheSilo()
{
    select(7);
    QCOMPARE(suiImagePanel2()->text() + u'|' + suiImagePanel3()->text(), u"SILO: 07|SILO"_s);
    QCOMPARE(valuesOf(popis1()), u"123|Pšenice|Bohemia|C1|20|2.11.2026||30"_s);
    QCOMPARE((QList<int>{snapshot().vyber_a, snapshot().vyber_b}), (QList<int>{snapshot().sila_id[7], 0}));
    suiButton1()->click();
    select(10);
    QCOMPARE(popis1()->value(detail::QuantityRow) + u'|' + popis1()->value(detail::RemainingRow), u"12,25|37,75"_s);
    suiButton1()->click();
    db->execute(u"update ppsila set partie = 'Z' where silo = 12"_s);
    select(12);
    QCOMPARE(popis1()->value(7), u"-1,5"_s);
    suiButton1()->click();
    db->execute(u"update ppsila set stav = 1.78e-15, partie = 'R' where silo = 13"_s);
    select(13); // a floating remainder is no stock
    QCOMPARE(popis1()->value(detail::QuantityRow) + u'|' + popis1()->value(detail::RemainingRow), u"|25"_s);
}

// A silo deleted since the overview was read binds no panel to its dead row:
// the click shows it gone.
void ConsoleTest::deletedRowIsNotSelected()
{
    db->execute(u"delete from ppsila where silo = 8"_s);
    select(8);
    QCOMPARE(suiImagePanel2()->text(), u"SILO"_s);
    QCOMPARE(snapshot().vyber_a, 0);
    QCOMPARE(snapshot().sila_id[8], 0);
    QCOMPARE(prehled()->model()->index(7, OverviewModel::DataColumn).data().toString(), QString());
}

void ConsoleTest::clickMovesTheGreenRowAndSelects()
{
    OverviewGrid *grid = prehled();
    QCOMPARE(grid->currentIndex().row(), 0);
    select(8); // a selection by call moves no row
    QCOMPARE(grid->currentIndex().row(), 0);
    suiButton1()->click();
    const QRect cell = grid->visualRect(grid->model()->index(6, 1));
    QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, cell.center()); // only the left button selects
    QCOMPARE(grid->currentIndex().row(), 0);
    QCOMPARE(suiImagePanel2()->text(), u"SILO"_s);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(grid->currentIndex().row(), 6);
    QVERIFY(grid->selectionModel()->isSelected(grid->model()->index(6, 1)));
    QCOMPARE(suiImagePanel2()->text(), u"SILO: 07"_s);
    QTest::keyClick(grid, Qt::Key_Tab); // Tab leaves the grid and selects nothing
    QCOMPARE(grid->currentIndex().row(), 6);
    QCOMPARE(suiImagePanel3()->text(), u"SILO"_s);
    // The label column can be neither clicked nor made current.
    const QRect label = grid->visualRect(grid->model()->index(3, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, label.center());
    QCOMPARE(grid->currentIndex().row(), 6);
}

void ConsoleTest::databaseErrorIsShownAndPanelsStay()
{
    select(7);
    db->execute(u"rename table ppsila to ppsila_gone"_s);
    OverviewGrid *grid = prehled();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(7, 1)).center());
    QCOMPARE(dialogs->asked.size(), 1);
    // Czech only: the server's text about the table is for standard error.
    QCOMPARE(dialogs->asked.first().text, u"Databáze ohlásila chybu 1146!\nAkce nebyla provedena."_s);
    QCOMPARE(suiImagePanel2()->text(), u"SILO: 07"_s);
    QCOMPARE(snapshot().vyber_b, 0);
    db->execute(u"rename table ppsila_gone to ppsila"_s);
}

void ConsoleTest::quantityEdit()
{
    db->execute(u"update ppsila set stav = 12.5 where silo = 7"_s);
    select(7);
    DetailGrid *panel = popis1();
    panel->setCurrentCell(4, 1);
    // The quantity shown after the dialog is answered with this button and text.
    const auto edit = [&](int button, const QString &typed) {
        dialogs->queue({button, typed});
        popis1DblClick();
        return panel->value(4);
    };
    QCOMPARE(edit(1, u"12,50"_s), u"12,50"_s); // the same quantity, written another way
    QCOMPARE(dialogs->asked.last().text, u"Upravit přesouvané množství"_s);
    QCOMPARE(dialogs->asked.last().value, u"12,5"_s);
    QCOMPARE(edit(1, u"5,25"_s), u"5,25"_s);
    QCOMPARE(dialogs->asked.last().buttons, (QStringList{u"upravit"_s, u"storno"_s}));
    QCOMPARE(edit(1, u"13"_s), u"5,25"_s); // more than the cell: refused without a word
    QCOMPARE(edit(2, u"1"_s), u"5,25"_s);
    QCOMPARE(edit(1, u" 0 "_s), u" 0 "_s); // kept exactly as typed
    QCOMPARE(edit(1, u"0.5"_s), u" 0 "_s);
    QCOMPARE(dialogs->asked.last().text, QuantityError);

    const qsizetype asked = dialogs->asked.size();
    panel->setCurrentCell(4, 0);
    popis1DblClick();
    QCOMPARE(dialogs->asked.size(), asked);

    // An empty silo in panel A has no quantity to edit.
    suiButton1()->click();
    select(9);
    panel->setCurrentCell(4, 1);
    QCOMPARE(edit(1, u"5"_s), QString());
    QCOMPARE(dialogs->texts().last(), QuantityError);
}

void ConsoleTest::dialogsWearTheSkin_data()
{
    QTest::addColumn<int>("dialog"); // 0 suiMessageDialog1, 1 suiMessageDialog2, 2 mno
    QTest::addColumn<int>("press");  // the button's number; 0 the frame's close button
    QTest::addColumn<QString>("quantity"); // panel A's quantity afterwards
    QTest::newRow("notice, OK") << 0 << 1 << QString();
    QTest::newRow("question, storno") << 1 << 2 << u"20"_s;
    QTest::newRow("question closed by its frame") << 1 << 0 << u"20"_s;
    QTest::newRow("quantity, upravit") << 2 << 1 << u"7,5"_s;
}

// The real dialogs, not the script, as the console's own buttons open them:
// the skinned frame with the caption in bold, the text in the skin's colour,
// hand cursors, and the answer of the button pressed.
void ConsoleTest::dialogsWearTheSkin()
{
    QFETCH(int, dialog);
    QFETCH(int, press);
    QFETCH(QString, quantity);
    if (dialog != 0)
        select(7);
    dialogs.reset();
    console->move(0, 5000); // parked, as in panel mode: its dialogs still come on the screen
    const QString text = QStringList{QuantityError, u"Opravdu přesunout osivo ze SILO: 07 mimo silo?"_s,
                                     u"Upravit přesouvané množství"_s}.at(dialog);
    bool looked = false;
    ModalWatch watch([&](QWidget *modal) {
        const auto *frame = modal->findChild<ui::SkinnedFrame *>();
        QVERIFY(frame && modal->windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(modal->screen()->availableGeometry().contains(modal->frameGeometry()));
        const QLabel *caption = frame->titleBar()->caption();
        QCOMPARE(caption->text(), u"Granovia - silo"_s);
        QVERIFY(caption->font().bold());
        QCOMPARE(caption->palette().color(QPalette::WindowText), skin::FixedText);
        const auto labels = modal->findChildren<QLabel *>();
        const auto body = std::find_if(labels.begin(), labels.end(), [&](QLabel *l) { return l->text() == text; });
        QVERIFY(body != labels.end());
        QCOMPARE((*body)->font().pixelSize(), skin::Pt8);
        QVERIFY(!(*body)->font().bold());
        QCOMPARE((*body)->palette().color(QPalette::WindowText), skin::Text);
        const auto buttons = modal->findChildren<QPushButton *>();
        for (const QPushButton *button : buttons)
            QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
        if (auto *entry = modal->findChild<QLineEdit *>())
            entry->setText(u"7,5"_s);
        looked = true;
        if (press == 0)
            frame->titleBar()->closeButton()->click();
        else
            buttons.at(press - 1)->click();
    });
    if (dialog == 2) {
        popis1()->setCurrentCell(detail::QuantityRow, detail::ValueColumn);
        popis1DblClick();
    } else {
        (dialog == 0 ? static_cast<QAbstractButton *>(suiArrowButton2()) : suiButton4())->click();
    }
    QVERIFY(looked);
    QCOMPARE(popis1()->value(detail::QuantityRow), quantity);
    QCOMPARE(journalLines(), 0);
}

// Lines of the history, newest first: a reversal (of the removal below it),
// a reversed removal, an intake, a removal and a transfer.
void ConsoleTest::historyLineMenu_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("trigger");  // "mouse", "menu" or "shift+F10"
    QTest::addColumn<QString>("question"); // empty: the item is disabled
    QTest::newRow("right button on a transfer") << 4 << u"mouse"_s
        << u"Opravdu stornovat pohyb ze SILO: 07 do SILO: 12, 20,000 t partie P-123?"_s;
    QTest::newRow("menu key on a removal") << 3 << u"menu"_s
        << u"Opravdu stornovat pohyb ze SILO: 50 mimo silo, 12,500 t partie P-9?"_s;
    QTest::newRow("Shift+F10 on an intake") << 2 << u"shift+F10"_s << QString();
    QTest::newRow("right button on a reversed removal") << 1 << u"mouse"_s << QString();
}

void ConsoleTest::historyLineMenu()
{
    QFETCH(int, row);
    QFETCH(QString, trigger);
    QFETCH(QString, question);
    db->execute(u"insert into ppsilap (silo, silob, cislopp, mnozstvi, partie, datum) values "
                "('07', '12', '', 20, 'P-123', '2026-11-01 08:00:00'), ('50', '', '', 12.5, 'P-9', '2026-11-02 08:00:00'),"
                "('15', '', 'PP1', 3, 'P-1', '2026-11-03 08:00:00'), ('08', '', '', 1, 'X', '2026-11-04 08:00:00'),"
                "('08', '', 'ST 4', 1, 'X', '2026-11-05 08:00:00')"_s);
    restartConsole();
    HistoryGrid *grid = suiDBGrid1();
    QVERIFY(QTest::qWaitForWindowExposed(console.get()));
    const QRect line = grid->visualRect(history().index(row, 1));
    // The left button makes the line current and opens nothing.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, line.center());
    QCOMPARE(grid->currentIndex().row(), row);
    QVERIFY(!QApplication::activePopupWidget());
    grid->setCurrentIndex(history().index(trigger == u"mouse"_s ? 0 : row, 1));
    grid->setFocus();
    if (trigger == u"mouse"_s) {
        QContextMenuEvent click(QContextMenuEvent::Mouse, line.center(), grid->viewport()->mapToGlobal(line.center()));
        QApplication::sendEvent(grid->viewport(), &click);
    } else {
        QTest::keyClick(grid, trigger == u"menu"_s ? Qt::Key_Menu : Qt::Key_F10,
                        trigger == u"menu"_s ? Qt::NoModifier : Qt::ShiftModifier);
    }
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QVERIFY(menu);
    const QList<QAction *> items = menu->actions();
    const auto item = std::find_if(items.cbegin(), items.cend(),
                                   [](const QAction *action) { return action->text() == u"Stornovat pohyb"_s; });
    QVERIFY(item != items.cend());
    QCOMPARE((*item)->isEnabled(), !question.isEmpty());
    if (question.isEmpty()) {
        menu->close();
        return;
    }
    dialogs->queue({2, {}}); // "zpět"
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Return);
    QCOMPARE(dialogs->texts(), QStringList{question});
    QCOMPARE(dialogs->asked.first().buttons, (QStringList{u"stornovat"_s, u"zpět"_s}));
    QCOMPARE(journalLines(), 5);
}

void ConsoleTest::scannerToldFromAPerson_data()
{
    // Keys as "ms:text" ("ms:\n" for Enter), at those times after the first.
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("typed"); // what the field shows; "|" for each Enter it got
    QTest::addColumn<QStringList>("scans");
    const auto keys = [](const QString &text, int stepMs, int startMs = 0) {
        QStringList timed;
        for (qsizetype i = 0; i < text.size(); ++i)
            timed << u"%1:%2"_s.arg(startMs + i * stepMs).arg(text.at(i));
        return timed;
    };
    QTest::newRow("a person types a quantity") << keys(u"12,5\n"_s, 150) << u"12,5|"_s << QStringList();
    QTest::newRow("a person types fast, for a moment") << keys(u"12,5\n"_s, 60) << u"12,5|"_s << QStringList();
    QTest::newRow("a scanner") << keys(u"SILO:07\n"_s, 5) << QString() << QStringList{u"SILO:07"_s};
    QTest::newRow("a scanner at its slowest") << keys(u"J-9\n"_s, int(ui::ScanInput::MaxKeyGapMs)) << QString()
                                              << QStringList{u"J-9"_s};
    QTest::newRow("two quick keys are no code") << keys(u"12\n"_s, 5) << u"12|"_s << QStringList();
    QTest::newRow("a code without its Enter is typed") << keys(u"ABC"_s, 5) << u"ABC"_s << QStringList();
    QTest::newRow("a pause before the Enter") << keys(u"J-9"_s, 5) + keys(u"\n"_s, 0, 200) << u"J-9|"_s
                                              << QStringList();
    QTest::newRow("typed, then scanned") << keys(u"5"_s, 0) + keys(u"J-9\n"_s, 5, 300) << u"5"_s
                                         << QStringList{u"J-9"_s};
}

// The scanner's keys reach no field and its Enter nothing, the code goes to
// the window; a person's keys and Enter reach the field, in their order.
void ConsoleTest::scannerToldFromAPerson()
{
    QFETCH(QStringList, keys);
    QFETCH(QString, typed);
    QFETCH(QStringList, scans);
    QWidget window;
    auto *field = new QLineEdit(&window);
    QStringList scanned;
    ui::ScanInput::instance().attach(&window, [&](const QString &code) { scanned << code; });
    connect(field, &QLineEdit::returnPressed, field, [field] { field->setText(field->text() + u'|'); });
    window.show();
    field->setFocus();
    for (const QString &timed : keys) {
        const quint64 at = timed.section(u':', 0, 0).toULongLong() + 1;
        const QString text = timed.section(u':', 1);
        const int key = text == u"\n"_s ? int(Qt::Key_Return) : int(text.at(0).toUpper().unicode());
        for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, key, Qt::NoModifier, text == u"\n"_s ? u"\r"_s : text);
            event.setTimestamp(at);
            QCoreApplication::sendEvent(field, &event);
        }
    }
    QTRY_COMPARE(field->text(), typed);
    QTRY_COMPARE(scanned, scans);
}

QTEST_MAIN(ConsoleTest)
#include "tst_console.moc"
