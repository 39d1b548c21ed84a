// The board's arithmetic apart from any window: the button grid, the command
// bar, the fill glyphs (down to their pixels), the remaining capacity, the
// eligibility of targets, the captions and notices, and the hot key's code.
#include "config/AppPaths.h"
#include "config/NumberFormat.h"
#include "board/BoardArithmetic.h"
#include "board/FillGlyph.h"
#include "ui/HotKey.h"

#include <QtTest>

using namespace granovia;
using namespace granovia::board;
using namespace Qt::StringLiterals;

namespace {

constexpr int DesignGlyphHeight = 32;

// The tiles that the build puts beside the program.
Tiles shippedTiles()
{
    return Tiles::load(AppPaths(QStringLiteral(GRANOVIA_PROGRAM)));
}

// Compares the glyph, pixel by pixel, with what the tiles should give: the
// green tile from the top, the red tile one pixel to the left and starting
// at the fill's top edge, the rightmost column green all the way down.
QString glyphMismatch(const QImage &glyph, int filled, const QImage &green, const QImage &red)
{
    const int fillTop = glyph.height() - filled;
    for (int y = 0; y < glyph.height(); ++y) {
        for (int x = 0; x < glyph.width(); ++x) {
            const bool inRed = y >= fillTop && x < glyph.width() - 1;
            const QColor expected = inRed ? red.pixelColor(x + 1, (y - fillTop) % red.height())
                                          : green.pixelColor(x, y % green.height());
            if (glyph.pixelColor(x, y) != expected)
                return u"pixel %1,%2 is %3, expected %4"_s.arg(x).arg(y).arg(glyph.pixelColor(x, y).name(), expected.name());
        }
    }
    return {};
}

QImage plainTile(const QColor &colour)
{
    QImage tile(GlyphWidth, GlyphWidth, QImage::Format_RGB32);
    tile.fill(colour);
    return tile;
}

} // namespace

class BoardArithmeticTest final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { numbers::installDecimalComma(); }

    void grid_data();
    void grid();
    void buttonPlaces_data();
    void buttonPlaces();
    void silo100HasNoButton();
    void commandBar_data();
    void commandBar();

    void fillHeights_data();
    void fillHeights();
    void shippedTilesAre15By15();
    void glyphPixels_data();
    void glyphPixels();
    void missingTilesGivePlainFill();
    void tileOfAnotherSizeKeepsItsSize();

    void remainingCapacity_data();
    void remainingCapacity();
    void eligibility_data();
    void eligibility();
    void captionsAndNotices();
    void shortcutValues_data();
    void shortcutValues();
};

void BoardArithmeticTest::grid_data()
{
    QTest::addColumn<QSize>("panel");
    QTest::addColumn<BoardGrid>("grid"); // cell width and height, margins left and top
    QTest::newRow("design panel 1254 x 365") << QSize(1254, 365) << BoardGrid{125, 36, 2, 2};
    QTest::newRow("1259 wide: widest margin") << QSize(1259, 365) << BoardGrid{125, 36, 4, 2};
    QTest::newRow("exact multiple: no margin") << QSize(1250, 360) << BoardGrid{125, 36, 0, 0};
    QTest::newRow("1280 x 935 screen") << QSize(1280, 935) << BoardGrid{128, 93, 0, 2};
    QTest::newRow("margin truncates") << QSize(1253, 369) << BoardGrid{125, 36, 1, 4};
}

void BoardArithmeticTest::grid()
{
    QFETCH(QSize, panel);
    QFETCH(BoardGrid, grid);
    QCOMPARE(boardGrid(panel), grid);
}

void BoardArithmeticTest::buttonPlaces_data()
{
    QTest::addColumn<int>("silo");
    QTest::addColumn<QRect>("place");
    QTest::newRow("silo 1 top left") << 1 << QRect(2, 2, 115, 36);
    QTest::newRow("silo 10 ends the first row") << 10 << QRect(1127, 2, 115, 36);
    QTest::newRow("silo 11 starts the second row") << 11 << QRect(2, 38, 115, 36);
    QTest::newRow("silo 91 starts the last row") << 91 << QRect(2, 326, 115, 36);
    QTest::newRow("silo 99 last button") << 99 << QRect(1002, 326, 115, 36);
}

void BoardArithmeticTest::buttonPlaces()
{
    QFETCH(int, silo);
    QFETCH(QRect, place);
    const QRect actual = siloButtonRect(boardGrid(QSize(1254, 365)), silo);
    QCOMPARE(actual, place);
    QCOMPARE(glyphHeight(actual.height()), DesignGlyphHeight);
}

void BoardArithmeticTest::silo100HasNoButton()
{
    QVERIFY(hasBoardButton(1));
    QVERIFY(hasBoardButton(99));
    QVERIFY(!hasBoardButton(100));
    QVERIFY(!hasBoardButton(0));
}

void BoardArithmeticTest::commandBar_data()
{
    using Places = QList<QRect>; // přesun, odvoz, znovu zadat
    QTest::addColumn<int>("barWidth");
    QTest::addColumn<Places>("places");
    QTest::newRow("design width") << 1254 << Places{{10, 10, 664, 76}, {680, 10, 299, 76}, {985, 10, 250, 76}};
    QTest::newRow("1280 wide") << 1280 << Places{{10, 10, 690, 76}, {706, 10, 299, 76}, {1011, 10, 250, 76}};
    QTest::newRow("narrow: přesun shrinks") << 800 << Places{{10, 10, 210, 76}, {226, 10, 299, 76}, {531, 10, 250, 76}};
    QTest::newRow("tiny: no negative width") << 400 << Places{{10, 10, 0, 76}, {-174, 10, 299, 76}, {131, 10, 250, 76}};
}

void BoardArithmeticTest::commandBar()
{
    QFETCH(int, barWidth);
    QFETCH(QList<QRect>, places);
    const CommandPlaces built = commandPlaces(barWidth);
    QCOMPARE((QList<QRect>{built.transfer, built.removal, built.reset}), places);
}

void BoardArithmeticTest::fillHeights_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<double>("stav");
    QTest::addColumn<double>("kapacita");
    QTest::addColumn<int>("filled");
    QTest::newRow("half") << 32 << 25.0 << 50.0 << 16;
    QTest::newRow("0.99 truncates to 31") << 32 << 99.0 << 100.0 << 31;
    QTest::newRow("full") << 32 << 40.0 << 40.0 << 32;
    QTest::newRow("overfull is cut") << 32 << 60.0 << 40.0 << 32;
    QTest::newRow("stock 0") << 32 << 0.0 << 40.0 << 0;
    QTest::newRow("stock 0 without capacity") << 32 << 0.0 << 0.0 << 0;
    QTest::newRow("tiny stock truncates to 0") << 32 << 0.01 << 40.0 << 0;
    QTest::newRow("negative stock: empty") << 32 << -5.0 << 40.0 << 0;
    QTest::newRow("stock without capacity: full") << 32 << 5.0 << 0.0 << 32;
    QTest::newRow("a floating remainder is no stock") << 32 << 1.78e-15 << 0.0 << 0;
    QTest::newRow("negative capacity: full") << 32 << 5.0 << -10.0 << 32;
    QTest::newRow("huge stock stays in the glyph") << 32 << 1e300 << 1e-300 << 32;
    QTest::newRow("button too low for a glyph") << 0 << 20.0 << 40.0 << 0;
    QTest::newRow("tall glyph") << 89 << 1.0 << 3.0 << 29;
}

void BoardArithmeticTest::fillHeights()
{
    QFETCH(int, height);
    QFETCH(double, stav);
    QFETCH(double, kapacita);
    QFETCH(int, filled);
    QCOMPARE(fillHeight(height, stav, kapacita), filled);
}

void BoardArithmeticTest::shippedTilesAre15By15()
{
    const Tiles tiles = shippedTiles();
    QVERIFY2(!tiles.green.isNull(), "zelena.bmp is not beside the program");
    QVERIFY2(!tiles.red.isNull(), "cervena.bmp is not beside the program");
    QCOMPARE(tiles.green.size(), QSize(15, 15));
    QCOMPARE(tiles.red.size(), QSize(15, 15));
    // A tile whose columns or rows all looked alike could not show a shift.
    QVERIFY(tiles.green.pixelColor(2, 1) != tiles.green.pixelColor(3, 1));
    QVERIFY(tiles.red.pixelColor(0, 0) != tiles.red.pixelColor(0, 1));
}

void BoardArithmeticTest::glyphPixels_data()
{
    QTest::addColumn<double>("ratio");
    QTest::addColumn<int>("filled");
    QTest::newRow("half: 16 px") << 0.5 << 16;
    QTest::newRow("0.99: 31 px") << 0.99 << 31;
    QTest::newRow("full: 32 px") << 1.0 << 32;
    QTest::newRow("overfull: 32 px") << 1.7 << 32;
    QTest::newRow("empty: all green") << 0.0 << 0;
    QTest::newRow("a sliver: 1 px") << 0.04 << 1;
}

void BoardArithmeticTest::glyphPixels()
{
    QFETCH(double, ratio);
    QFETCH(int, filled);
    const Tiles tiles = shippedTiles();
    QVERIFY(!tiles.green.isNull() && !tiles.red.isNull());
    const QImage glyph = fillGlyph(DesignGlyphHeight, 100 * ratio, 100, tiles);
    QCOMPARE(glyph.size(), QSize(15, 32));
    QCOMPARE(glyphMismatch(glyph, filled, tiles.green, tiles.red), QString());
}

void BoardArithmeticTest::missingTilesGivePlainFill()
{
    const Tiles shipped = shippedTiles();
    const QImage withoutGreen = fillGlyph(DesignGlyphHeight, 50, 100, {QImage(), shipped.red});
    QCOMPARE(glyphMismatch(withoutGreen, 16, plainTile(PlainGreen), shipped.red), QString());

    const QImage withoutBoth = fillGlyph(DesignGlyphHeight, 50, 100, {});
    QCOMPARE(glyphMismatch(withoutBoth, 16, plainTile(PlainGreen), plainTile(PlainRed)), QString());

    const Tiles unreadable = Tiles::load(AppPaths(QDir::temp().filePath(u"no-such-dir/granovia-silo"_s)));
    QVERIFY(unreadable.green.isNull() && unreadable.red.isNull());
}

void BoardArithmeticTest::tileOfAnotherSizeKeepsItsSize()
{
    // A 10 x 7 tile with a distinct colour in every pixel.
    QImage tile(10, 7, QImage::Format_RGB32);
    for (int y = 0; y < tile.height(); ++y) {
        for (int x = 0; x < tile.width(); ++x)
            tile.setPixelColor(x, y, QColor(20 * x, 30 * y, 100));
    }
    const QImage glyph = fillGlyph(DesignGlyphHeight, 0, 100, {tile, QImage()});
    for (int y = 0; y < glyph.height(); ++y) {
        QCOMPARE(glyph.pixelColor(3, y), tile.pixelColor(3, y % 7));
        QCOMPARE(glyph.pixelColor(12, y), PlainGreen); // beyond the tile's width
    }
}

void BoardArithmeticTest::remainingCapacity_data()
{
    QTest::addColumn<double>("kapacita");
    QTest::addColumn<double>("stav");
    QTest::addColumn<QString>("shown");
    QTest::newRow("30 - 12.3456 rounds to 17,65") << 30.0 << 12.3456 << u"17,65"_s;
    QTest::newRow("overfull shows 0") << 20.0 << 21.5 << u"0"_s;
    QTest::newRow("empty silo shows its capacity") << 50.0 << 0.0 << u"50"_s;
    QTest::newRow("half rounds away from zero") << 1.0 << 0.125 << u"0,87"_s;
    QTest::newRow("negative stock rounds away from zero") << 10.0 << -0.125 << u"10,13"_s;
    QTest::newRow("capacity rounded too") << 10.125 << 0.0 << u"10,13"_s;
    QTest::newRow("just full") << 12.344 << 12.34 << u"0"_s;
}

void BoardArithmeticTest::remainingCapacity()
{
    QFETCH(double, kapacita);
    QFETCH(double, stav);
    QFETCH(QString, shown);
    QCOMPARE(numbers::general(board::remainingCapacity(kapacita, stav)), shown);
}

void BoardArithmeticTest::eligibility_data()
{
    QTest::addColumn<QString>("sourceLot");
    QTest::addColumn<double>("sourceStock");
    QTest::addColumn<bool>("hasRow");
    QTest::addColumn<QString>("lot");
    QTest::addColumn<double>("zbyva");
    QTest::addColumn<double>("stav");
    QTest::addColumn<bool>("offered");
    QTest::newRow("same lot with room") << u"A1"_s << 30.0 << true << u"A1"_s << 90.0 << 10.0 << true;
    QTest::newRow("same lot, room exactly the stock") << u"A1"_s << 30.0 << true << u"A1"_s << 30.0 << 70.0 << true;
    QTest::newRow("same lot, too little room") << u"A1"_s << 30.0 << true << u"A1"_s << 5.0 << 95.0 << false;
    QTest::newRow("other lot with room") << u"A1"_s << 30.0 << true << u"B2"_s << 90.0 << 10.0 << false;
    QTest::newRow("lot differing in case") << u"A1"_s << 30.0 << true << u"a1"_s << 90.0 << 10.0 << false;
    QTest::newRow("no lot, with room") << u"A1"_s << 30.0 << true << QString() << 80.0 << 0.0 << true;
    QTest::newRow("empty silo too small") << u"A1"_s << 30.0 << true << QString() << 5.0 << 0.0 << true;
    QTest::newRow("a remainder below half a kilo is empty") << u"A1"_s << 30.0 << true << QString() << 5.0 << 0.0004 << true;
    QTest::newRow("three kilos of another lot are stock") << u"A1"_s << 30.0 << true << u"B2"_s << 90.0 << 0.003 << false;
    QTest::newRow("stock without lot, too small") << u"A1"_s << 30.0 << true << QString() << 5.0 << 15.0 << false;
    QTest::newRow("stock without lot, with room: the console takes it not") << u"A1"_s << 30.0 << true << QString()
                                                                           << 50.0 << 15.0 << false;
    QTest::newRow("empty, another lot's name left behind") << u"A1"_s << 30.0 << true << u"B2"_s << 5.0 << 0.0 << true;
    QTest::newRow("no row") << u"A1"_s << 30.0 << false << QString() << 0.0 << 0.0 << false;
    QTest::newRow("empty source, silo with a lot") << QString() << 0.0 << true << u"A1"_s << 90.0 << 10.0 << false;
    QTest::newRow("empty source, overfull silo without lot") << QString() << 0.0 << true << QString() << -1.5 << 21.5 << false;
}

void BoardArithmeticTest::eligibility()
{
    QFETCH(QString, sourceLot);
    QFETCH(double, sourceStock);
    QFETCH(bool, hasRow);
    QFETCH(QString, lot);
    QFETCH(double, zbyva);
    QFETCH(double, stav);
    QFETCH(bool, offered);
    const std::optional<CandidateSilo> candidate =
        hasRow ? std::optional(CandidateSilo{lot, zbyva, stav}) : std::nullopt;
    QCOMPARE(mayReceive({sourceLot, sourceStock}, candidate), offered);
}

void BoardArithmeticTest::captionsAndNotices()
{
    QCOMPARE(siloCaption(7), u"SILO\n7"_s);
    QCOMPARE(captionAsTitle(siloCaption(12)), u"SILO12"_s);
    QCOMPARE(transferCaption(siloCaption(7)), u"přesun ze SILO 7"_s);
    QCOMPARE(transferCaption(siloCaption(7), siloCaption(12)), u"přesun ze SILO 7 do SILO 12"_s);
    QCOMPARE(removalCaption(siloCaption(7)), u"odvoz ze SILO 7"_s);
    using movement::DeskResult;
    QCOMPARE(transferNotice(DeskResult::Done, 7, 12), u"Osivo ze sila SILO 7 přesunuto do sila SILO 12!"_s);
    QCOMPARE(transferNotice(DeskResult::NoCapacity, 7, 12), u"V cílovém silu malá kapacita pro přesun!"_s);
    QCOMPARE(transferNotice(DeskResult::NoNumber, 7, 12), u"Chyba v definici množství osiva pro přesun!"_s);
    QCOMPARE(transferNotice(DeskResult::MissingRow, 7, 12), u"Silo pro přesun již v databázi neexistuje!"_s);
    QCOMPARE(transferNotice(DeskResult::StockChanged, 7, 12), u"Stav sila se změnil, vyberte silo znovu!"_s);
    QCOMPARE(removalNotice(DeskResult::NoNumber), u"Chyba v definici množství osiva pro odvoz!"_s);
    QCOMPARE(removalNotice(DeskResult::MissingRow), u"Silo pro odvoz již v databázi neexistuje!"_s);
    QCOMPARE(removalNotice(DeskResult::StockChanged), u"Stav sila se změnil, vyberte silo znovu!"_s);
    QCOMPARE(removalNotice(DeskResult::Done), std::nullopt);
}

void BoardArithmeticTest::shortcutValues_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("key");
    QTest::newRow("24697 is Ctrl+Shift+F10") << 24697 << (Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_F10).toCombined();
    QTest::newRow("Alt+A") << (0x8000 | 0x41) << (Qt::AltModifier | Qt::Key_A).toCombined();
    QTest::newRow("Ctrl+0") << (0x4000 | 0x30) << (Qt::ControlModifier | Qt::Key_0).toCombined();
    QTest::newRow("Shift+F24") << (0x2000 | 0x87) << (Qt::ShiftModifier | Qt::Key_F24).toCombined();
    QTest::newRow("F1 alone") << 0x70 << QKeyCombination(Qt::Key_F1).toCombined();
}

void BoardArithmeticTest::shortcutValues()
{
    QFETCH(int, value);
    QFETCH(int, key);
    QCOMPARE(ui::HotKey::fromShortcutValue(value).toCombined(), key);
}

QTEST_MAIN(BoardArithmeticTest)
#include "tst_board_arithmetic.moc"
