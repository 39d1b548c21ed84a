// History and reports against the private test server: the stock rebuilt at
// moments of a journal known by hand, the journal's filters and pages, the
// files (CSV word for word, XLSX cell types, the PDF's text), the command
// line run as a program, and the window opened from the console.
#include "ConsoleFixture.h"
#include "RunTool.h"
#include "app/ReportCommand.h"
#include "reports/JournalReader.h"
#include "reports/LotTrace.h"
#include "reports/ReportFiles.h"
#include "reports/SiloLabels.h"
#include "reports/ReportIndexes.h"
#include "reports/StockAtMoment.h"
#include "reportsui/ReportPages.h"
#include "reportsui/ReportsWindow.h"
#include "store/ScanCode.h"

#include <QBuffer>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <csignal>

using namespace granovia;
using namespace granovia::reports;
using namespace Qt::StringLiterals;
using granovia::test::ScratchDatabase;

namespace {

// The silos today and the journal that led there, silo by silo:
//   01: intake of 20 t of A, 5 t to 02, 5 t removed: 10 t of A
//   02: 5 t from 01, 3 t to 03: 2 t of A
//   03: 3 t from 02, removed, the removal reversed ("ST 6"): 3 t of A
//   04: intake of 8 t of C, yet 12 t today in 10 t: over capacity
//   05: 4 t of E, and an undated removal
//   06: an intake of 2 t of F, yet empty today: negative before it
//   and lines of other modules: into 07 without a document number (NULL,
//   seed from outside, as the history reads it), out of 05 to no silo (NULL)
const QString Silos = u"insert into ppsila (silo, stav, kapacita, partie, naz_dru) values "
                      "(1, 10, 50, 'A', 'Pšenice'), (2, 2, 20, 'A', 'Pšenice'), (3, 3, 30, 'A', 'Pšenice'), "
                      "(4, 12, 10, 'C', 'Oves'), (5, 4, 20, 'E', 'Žito'), (6, 0, 10, '', '')"_s;
const QString Journal = u"insert into ppsilap (id, silo, silob, cislopp, mnozstvi, partie, naz_dru, datum) values "
                        "(1, '01', '', 'PP1', 20, 'A', 'Pšenice', '2024-01-10 08:00:00'),"
                        "(2, '01', '02', '', 5, 'A', 'Pšenice', '2024-01-15 09:00:00'),"
                        "(3, '01', '', '', 5, 'A', 'Pšenice', '2024-02-01 10:00:00'),"
                        "(4, '04', '', 'PP2', 8, 'C', 'Oves', '2024-02-01 10:00:00'),"
                        "(5, '06', '', 'PP3', 2, 'F', 'Ječmen', '2024-02-20 07:30:00'),"
                        "(6, '02', '03', '', 3, 'A', 'Pšenice', '2024-03-01 12:00:00'),"
                        "(7, '03', '', '', 3, 'A', 'Pšenice', '2024-03-05 06:00:00'),"
                        "(8, '03', '', 'ST 7', 3, 'A', 'Pšenice', '2024-03-10 14:00:00'),"
                        "(9, '', '05', 'X', 1, 'A', 'Pšenice', '2024-03-11 00:00:00'),"
                        "(10, '05', '', '', 1, 'E', 'Žito', null),"
                        "(11, '07', '', null, 2, 'G', 'Oves', '2024-03-12 00:00:00'),"
                        "(12, '05', null, '', 1, 'E', 'Žito', '2024-03-13 00:00:00')"_s;
const ReportOrigin Origin{u"5"_s, u"12"_s, QDateTime(QDate(2024, 4, 2), QTime(8, 15, 0))};

std::unique_ptr<ScratchDatabase> journalDatabase(const QString &name)
{
    auto db = std::make_unique<ScratchDatabase>(name);
    db->execute(Silos);
    db->execute(Journal);
    return db;
}

QStringList stockRows(const StockAtMoment &stock)
{
    QStringList rows;
    const Report report = stockReport(stock);
    report.sections.first().forEachRow([&](const ReportRow &row) {
        rows << QStringList{row.cells.at(0).toString(), cellText(row.cells.at(1), CellType::Quantity),
                            row.cells.at(3).toString(), row.cells.at(7).toString()}
                    .join(u'|');
    });
    return rows;
}

QStringList datums(Connection &connection, const JournalFilter &filter, int pageSize)
{
    JournalReader reader(connection, filter);
    QStringList texts;
    while (!reader.atEnd()) {
        for (const JournalLine &line : reader.next(pageSize))
            texts << line.datum.mid(5, 5) + u' ' + fromText(line) + u'>' + toText(line);
    }
    return texts;
}

// The codes a barcode decoder reads in a picture, sorted.
QStringList decoded(const QImage &picture, const QString &path)
{
    picture.save(path);
    // Its standard output alone: it talks of the desktop bus on standard error.
    QProcess zbar;
    zbar.start(u"zbarimg"_s, {u"-q"_s, path});
    zbar.waitForFinished(test::ToolTimeoutMs);
    QStringList codes = QString::fromUtf8(zbar.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    codes.sort();
    return codes;
}

// Every page of the labels' PDF, rendered as a printer would, each label
// read by a barcode decoder as a scanner reads one: its silo's Code 128 and
// QR code. A page is as large as the label asked (WxH mm after --size), or
// A4 with 3 x 7 labels within 10 mm of margin, in rows.
void expectLabelPages(const QStringList &arguments, const QList<QList<int>> &pages)
{
    constexpr double PixelsPerMm = 300 / 25.4;
    constexpr double SheetMarginMm = 10;
    constexpr int SheetColumns = 3;
    constexpr int SheetRows = 7;
    // Half a point (3 px): page sizes are kept in whole points.
    constexpr int RoundingPixels = 3;
    const QString pdf = arguments.last();
    const qsizetype sizeAt = arguments.indexOf(u"--size"_s);
    const QStringList mm = (sizeAt < 0 ? u"210x297"_s : arguments.at(sizeAt + 1)).split(u'x');
    const QSizeF pageMm(mm.at(0).toDouble(), mm.at(1).toDouble());
    const QSizeF cellMm = sizeAt < 0 ? QSizeF((pageMm.width() - 2 * SheetMarginMm) / SheetColumns,
                                              (pageMm.height() - 2 * SheetMarginMm) / SheetRows)
                                     : pageMm;
    const double marginMm = sizeAt < 0 ? SheetMarginMm : 0;
    const test::Ran rendered = test::run(u"pdftoppm"_s, {u"-r"_s, u"300"_s, u"-png"_s, pdf, pdf});
    QVERIFY2(rendered.ok, rendered.output.constData());
    for (qsizetype page = 0; page < pages.size(); ++page) {
        const QImage picture(u"%1-%2.png"_s.arg(pdf).arg(page + 1));
        QVERIFY2(qAbs(picture.width() - pageMm.width() * PixelsPerMm) <= RoundingPixels
                     && qAbs(picture.height() - pageMm.height() * PixelsPerMm) <= RoundingPixels,
                 qPrintable(u"%1 x %2"_s.arg(picture.width()).arg(picture.height())));
        for (qsizetype i = 0; i < pages.at(page).size(); ++i) {
            const QRectF cell(QPointF(marginMm + i % SheetColumns * cellMm.width(), marginMm + i / SheetColumns * cellMm.height()),
                              cellMm);
            const QRect pixels(QRectF(cell.topLeft() * PixelsPerMm, cell.size() * PixelsPerMm).toRect());
            const QString code = scancode::siloCode(pages.at(page).at(i));
            QCOMPARE(decoded(picture.copy(pixels), pdf + u"-label.png"_s), QStringList({u"CODE-128:"_s + code, u"QR-Code:"_s + code}));
        }
    }
    QVERIFY2(!QFile::exists(u"%1-%2.png"_s.arg(pdf).arg(pages.size() + 1)), "more pages than labels");
}

// Every statement on the journal takes `seconds` a line: the journal becomes
// a view that reads each line slowly, as a huge journal without its indexes.
void slowJournal(ScratchDatabase &db, double seconds)
{
    if (test::scalar(db.admin(), u"select count(*) from information_schema.tables where table_schema = database() "
                                 "and table_name = 'ppsilap_lines'"_s) == 0)
        db.execute(u"rename table ppsilap to ppsilap_lines"_s);
    db.execute(u"create or replace algorithm = temptable view ppsilap as select * from ppsilap_lines where sleep(%1) = 0"_s
                   .arg(seconds));
}

// Statements on the journal that the server runs now, other than this one.
qint64 journalStatements(ScratchDatabase &db)
{
    return test::scalar(db.admin(), u"select count(*) from information_schema.processlist "
                                    "where id <> connection_id() and info like '%from ppsilap%'"_s);
}

// What the server must let a user do: a user for this test with these
// privileges on the database, and nothing else.
void createUser(ScratchDatabase &db, const QString &user, const QString &privileges)
{
    db.execute(u"create or replace user '%1'@'127.0.0.1' identified by '%1'"_s.arg(user));
    db.execute(u"grant %1 on `%2`.* to '%3'@'127.0.0.1'"_s.arg(privileges, db.settings().database, user));
}

QByteArray csvOf(const Report &report)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeCsv(report, Origin, buffer);
    return buffer.data();
}

} // namespace

class ReportsTest final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { GRANOVIA_REQUIRE_SERVER(); }
    void stockAtMoments_data();
    void stockAtMoments();
    void filtersAndPages_data();
    void filtersAndPages();
    void historyIsReadAtOneMoment();
    void csvWordForWord();
    void xlsxHasTypedCells();
    void pdfTellsItsPages();
    void stoppedWriteLeavesTheOldFile();
    void commandLine_data();
    void commandLine();
    void scansResolve_data();
    void scansResolve();
    void missingIndexes_data();
    void missingIndexes();
    void createIndexes_data();
    void createIndexes();
    void windowFromTheConsole();
    void longReportLeavesTheWindowFree();
};

void ReportsTest::stockAtMoments_data()
{
    QTest::addColumn<QString>("moment");
    QTest::addColumn<QString>("secondRow"); // a second row of a silo number, of a higher id
    QTest::addColumn<QStringList>("rows");  // silo|stav|partie|poznámka
    QTest::newRow("end of January") << u"2024-01-31 00:00:00"_s << QString()
                                    << QStringList{u"SILO: 01|15,000|A|"_s, u"SILO: 02|5,000|A|"_s,
                                                   u"SILO: 03|0,000||"_s,   u"SILO: 04|4,000||partie neznámá"_s,
                                                   u"SILO: 05|4,000|E|"_s,  u"SILO: 06|-2,000||záporný stav, partie neznámá"_s};
    QTest::newRow("at a transfer, which counts") << u"2024-03-01 12:00:00"_s << QString()
                                                 << QStringList{u"SILO: 01|10,000|A|"_s, u"SILO: 02|2,000|A|"_s,
                                                                u"SILO: 03|3,000|A|"_s,  u"SILO: 04|12,000|C|nad kapacitu"_s,
                                                                u"SILO: 05|4,000|E|"_s,  u"SILO: 06|0,000||"_s};
    QTest::newRow("before the reversal") << u"2024-03-07 00:00:00"_s << QString()
                                         << QStringList{u"SILO: 01|10,000|A|"_s, u"SILO: 02|2,000|A|"_s,
                                                        u"SILO: 03|0,000||"_s,   u"SILO: 04|12,000|C|nad kapacitu"_s,
                                                        u"SILO: 05|4,000|E|"_s,  u"SILO: 06|0,000||"_s};
    QTest::newRow("two rows of silo 01: the lowest id counts, as on the console")
        << u"2024-03-07 00:00:00"_s << u"(1, 7, 50, 'A', 'Pšenice')"_s
        << QStringList{u"SILO: 01|10,000|A|více řádků sila"_s, u"SILO: 02|2,000|A|"_s, u"SILO: 03|0,000||"_s,
                       u"SILO: 04|12,000|C|nad kapacitu"_s, u"SILO: 05|4,000|E|"_s, u"SILO: 06|0,000||"_s};
}

void ReportsTest::stockAtMoments()
{
    QFETCH(QString, moment);
    QFETCH(QString, secondRow);
    QFETCH(QStringList, rows);
    const auto db = journalDatabase(u"t_rep_stock"_s);
    if (!secondRow.isEmpty())
        db->execute(u"insert into ppsila (silo, stav, kapacita, partie, naz_dru) values "_s + secondRow);
    const StockAtMoment stock = rebuildStock(db->admin(), *parseTimestamp(moment));
    QCOMPARE(stockRows(stock), rows);
    // The lot's path counts the same rows: 01, 02 and 03 hold A.
    QCOMPARE(traceLot(db->admin(), u"A"_s).inStore, 15.0);
}

void ReportsTest::filtersAndPages_data()
{
    QTest::addColumn<JournalFilter>("filter");
    QTest::addColumn<QStringList>("lines"); // mm-dd ZE>DO
    QTest::addColumn<QString>("totals");    // lines|in|out
    const auto filter = [](std::optional<int> silo, const QString &lot, std::optional<QDate> from,
                           std::optional<QDate> to, bool prefix = false) {
        return JournalFilter{silo, lot, from, to, std::nullopt, prefix};
    };
    QTest::newRow("every line, one datum twice, the undated last")
        << filter({}, {}, {}, {})
        << QStringList{u"03-13 SILO: 05>"_s,   u"03-12 N>SILO: 07"_s,
                       u"03-10 N>SILO: 03"_s, u"03-05 SILO: 03>M"_s,         u"03-01 SILO: 02>SILO: 03"_s,
                       u"02-20 N>SILO: 06"_s, u"02-01 N>SILO: 04"_s,         u"02-01 SILO: 01>M"_s,
                       u"01-15 SILO: 01>SILO: 02"_s, u"01-10 N>SILO: 01"_s, u" SILO: 05>M"_s}
        << u"11|35|9"_s;
    QTest::newRow("silo 03, source or target")
        << filter(3, {}, {}, {}) << QStringList{u"03-10 N>SILO: 03"_s, u"03-05 SILO: 03>M"_s, u"03-01 SILO: 02>SILO: 03"_s}
        << u"3|6|3"_s;
    QTest::newRow("silo 01") << filter(1, {}, {}, {})
                             << QStringList{u"02-01 SILO: 01>M"_s, u"01-15 SILO: 01>SILO: 02"_s, u"01-10 N>SILO: 01"_s}
                             << u"3|20|10"_s;
    QTest::newRow("lot by prefix") << filter({}, u"C"_s, {}, {}, true) << QStringList{u"02-01 N>SILO: 04"_s} << u"1|8|0"_s;
    QTest::newRow("a lot ending in * is that lot") << filter({}, u"C*"_s, {}, {}) << QStringList{} << u"0|0|0"_s;
    QTest::newRow("a lot's letter case counts") << filter({}, u"c"_s, {}, {}) << QStringList{} << u"0|0|0"_s;
    QTest::newRow("a lot's letter case counts in its start") << filter({}, u"c"_s, {}, {}, true) << QStringList{} << u"0|0|0"_s;
    QTest::newRow("a lot's trailing blank counts") << filter({}, u"C "_s, {}, {}) << QStringList{} << u"0|0|0"_s;
    QTest::newRow("whole lot, both days included, other modules' lines left out")
        << filter({}, u"A"_s, QDate(2024, 2, 1), QDate(2024, 3, 11))
        << QStringList{u"03-10 N>SILO: 03"_s, u"03-05 SILO: 03>M"_s, u"03-01 SILO: 02>SILO: 03"_s, u"02-01 SILO: 01>M"_s}
        << u"4|3|8"_s;
    QTest::newRow("a lot's wildcard stands for itself") << filter({}, u"_"_s, {}, {}, true) << QStringList{} << u"0|0|0"_s;
}

void ReportsTest::filtersAndPages()
{
    QFETCH(JournalFilter, filter);
    QFETCH(QStringList, lines);
    QFETCH(QString, totals);
    const auto db = journalDatabase(u"t_rep_filter"_s);
    QCOMPARE(datums(db->admin(), filter, 1000), lines);
    // Pages of one line: every boundary falls somewhere, one between two lines of one datum.
    QCOMPARE(datums(db->admin(), filter, 1), lines);
    const JournalTotals sums = journalTotals(db->admin(), filter);
    QCOMPARE(u"%1|%2|%3"_s.arg(sums.lines).arg(sums.incoming).arg(sums.outgoing), totals);
}

// A line that commits after the report counted its lines, under a lower id
// than the newest it saw, is not among its rows.
void ReportsTest::historyIsReadAtOneMoment()
{
    const auto db = journalDatabase(u"t_rep_moment"_s);
    const QString line = u"insert into ppsilap (silo, silob, cislopp, mnozstvi, partie, datum) "
                         "values ('01', '', '', 1, 'A', '2024-03-20 00:00:00')"_s;
    Connection other;
    other.open(db->settings());
    Transaction late(other);
    other.execute(line);
    db->execute(line);
    const Report report = historyReport(db->admin(), {});
    late.commit();
    qint64 rows = 0;
    report.sections.first().forEachRow([&rows](const ReportRow &) { ++rows; });
    QCOMPARE(rows, report.sections.first().rowCount);
    QCOMPARE(rows, 12);
}

void ReportsTest::csvWordForWord()
{
    ScratchDatabase db(u"t_rep_csv"_s);
    db.execute(u"insert into ppsilap (silo, silob, cislopp, mnozstvi, partie, naz_dru, naz_odru, stupen, datum) values "
               "('07', '12', '', 3.5, 'P;1', 'Pšenice ozimá', '=1+1', 'C1', '2024-05-06 07:08:09'),"
               "('07', '', '', 20, 'P\"2', 'Oves', '', '@x', '2024-05-07 10:00:00'),"
               "('15', '', '123', 0.125, '0141', 'Žito', '2026-01-02', '-E', '2024-05-08 11:30:00')"_s);
    const QByteArray expected = "\xEF\xBB\xBF"
                                "Pohyby osiva\r\n"
                                "Pracoviště 5, středisko 12, sestaveno 2024-04-02 08:15:00\r\n"
                                "Výběr: všechny pohyby\r\n"
                                "Řádků: 3\r\n"
                                "\r\n"
                                "datum;ZE;DO;množství;partie;druh;odrůda;stupeň;doklad\r\n"
                                "2024-05-08 11:30:00;N;SILO: 15;0,125;\"'0141\";Žito;\"'2026-01-02\";\"'-E\";\"'123\"\r\n"
                                "2024-05-07 10:00:00;SILO: 07;M;20,000;\"P\"\"2\";Oves;;\"'@x\";\r\n"
                                "2024-05-06 07:08:09;SILO: 07;SILO: 12;3,500;\"P;1\";Pšenice ozimá;\"'=1+1\";C1;\r\n"
                                "\r\n"
                                "Přišlo zvenčí;0,125\r\n"
                                "Odešlo ze sil;20,000\r\n";
    QCOMPARE(csvOf(historyReport(db.admin(), {})), expected);
}

void ReportsTest::xlsxHasTypedCells()
{
    const auto db = journalDatabase(u"t_rep_xlsx"_s);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"pohyby.xlsx"_s);
    saveReport(historyReport(db->admin(), {1, {}, {}, {}, {}}), Origin, path);
    const QString xml = QString::fromUtf8(test::run(u"unzip"_s, {u"-p"_s, path, u"xl/worksheets/sheet1.xml"_s}).output);
    // Row 7 is the newest line: A the datum, C the target, D the quantity.
    const auto cell = [&xml](const QString &ref) {
        return QRegularExpression(u"<c r=\"%1\"[^>]*>.*?</c>"_s.arg(ref)).match(xml).captured(0);
    };
    QVERIFY2(QRegularExpression(u"^<c r=\"A7\" s=\"\\d+\"><v>45323\\.41666"_s).match(cell(u"A7"_s)).hasMatch(),
             qPrintable(cell(u"A7"_s)));
    QVERIFY2(cell(u"D7"_s).contains(u"<v>5</v>"_s) && !cell(u"D7"_s).contains(u"t="_s), qPrintable(cell(u"D7"_s)));
    QVERIFY2(cell(u"C7"_s).contains(u"t=\"inlineStr\""_s) && cell(u"C7"_s).contains(u"<t>M</t>"_s),
             qPrintable(cell(u"C7"_s)));
    QVERIFY2(cell(u"A6"_s).contains(u"<t>datum</t>"_s), qPrintable(cell(u"A6"_s)));
    // The totals: label and a number.
    QVERIFY2(cell(u"B11"_s).contains(u"<v>20</v>"_s) && cell(u"A12"_s).contains(u"Odešlo z SILO: 01"_s), qPrintable(xml));
}

void ReportsTest::pdfTellsItsPages()
{
    ScratchDatabase db(u"t_rep_pdf"_s);
    db.execute(Silos);
    db.execute(u"insert into ppsilap (silo, silob, mnozstvi, partie, datum) select '01', '', 1, 'A', "
               "timestamp('2024-01-01 00:00:00') + interval seq hour from seq_1_to_90"_s);
    db.execute(u"insert into ppsilap (silo, silob, mnozstvi, partie, datum) values ('01', '', 1, 'před\\nza', now())"_s);
    QTemporaryDir dir;
    const QString stock = dir.filePath(u"stav.pdf"_s);
    const QString history = dir.filePath(u"pohyby.pdf"_s);
    saveReport(stockReport(rebuildStock(db.admin(), *parseTimestamp(u"2030-01-01 00:00:00"_s))), Origin, stock);
    saveReport(historyReport(db.admin(), {}), Origin, history);
    const QString stockText = QString::fromUtf8(test::run(u"pdftotext"_s, {u"-layout"_s, stock, u"-"_s}).output);
    for (const QString &expected : {u"Stav sil k 2030-01-01 00:00:00"_s, u"Pracoviště 5, středisko 12, sestaveno 2024-04-02 08:15:00"_s,
                                    u"Stav je sestaven zpětně"_s, u"Celkem Pšenice"_s, u"15,000"_s, u"strana 1 / 1"_s}) {
        QVERIFY2(stockText.contains(expected), qPrintable(expected + u" missing in\n"_s + stockText));
    }
    const QString historyText = QString::fromUtf8(test::run(u"pdftotext"_s, {u"-layout"_s, history, u"-"_s}).output);
    const qsizetype pages = historyText.count(QRegularExpression(u"strana \\d+ / (\\d+)"_s));
    QVERIFY2(pages >= 2, qPrintable(historyText));
    QVERIFY(historyText.contains(u"strana %1 / %1"_s.arg(pages)));
    QVERIFY(historyText.contains(u"Odešlo ze sil"_s));
    // A lot's line break shows as a mark in its one line.
    QVERIFY2(historyText.contains(u"před\u21B5za"_s), qPrintable(historyText.left(2000)));
}

void ReportsTest::stoppedWriteLeavesTheOldFile()
{
    const auto db = journalDatabase(u"t_rep_stop"_s);
    QTemporaryDir dir;
    const auto files = [&dir] { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); };
    const auto mode = [](const QString &path) {
        struct stat status {};
        return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
    };
    for (const QString &name : {u"old.csv"_s, u"old.xlsx"_s, u"old.pdf"_s}) {
        const QString path = dir.filePath(name);
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier report");
        old.close();
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0640), 0);
        // While it is written, the new file has no name: a killed run leaves nothing behind.
        const QStringList before = files();
        QStringList during;
        QVERIFY_THROWS_EXCEPTION(ReportCancelled, saveReport(historyReport(db->admin(), {}), Origin, path, [&](qint64, qint64) {
                                     during = files();
                                     return false;
                                 }));
        QCOMPARE(during, before);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("earlier report"));
        old.close();
        // Written whole, it keeps the old file's mode.
        saveReport(historyReport(db->admin(), {}), Origin, path);
        QCOMPARE(mode(path), mode_t(0640));
    }
    QCOMPARE(files().size(), 3);
}

void ReportsTest::commandLine_data()
{
    QTest::addColumn<QString>("arguments"); // separated by '|'; OUT stands for a new folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stderrHas");
    // Labels: the silos on each page, whose codes a real decoder must read there.
    QTest::addColumn<QList<QList<int>>>("labelPages");
    QTest::addColumn<double>("secondsPerLine"); // of a slow journal; 0 for the usual one
    QTest::addColumn<QString>("reportLimit");
    QTest::addColumn<bool>("interrupted"); // by Ctrl+C while its statement runs
    QTest::newRow("stock now, as CSV") << u"--report|stock|--out|OUT/s.csv"_s << 0 << QString() << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("history of a silo, as PDF")
        << u"--report|history|--silo|3|--from|2024-03-01|--out|OUT/h.pdf"_s << 0 << QString() << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("a lot, as XLSX") << u"--report|lot|--lot|A|--out|OUT/l.xlsx"_s << 0 << QString() << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("unknown report") << u"--report|stocks|--out|OUT/s.csv"_s << 2 << u"Použití:"_s << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("no file") << u"--report|stock"_s << 2 << u"chybí --out"_s << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("unknown extension") << u"--report|stock|--out|OUT/s.txt"_s << 2 << u"Použití:"_s << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("moment without seconds") << u"--report|stock|--at|2024-01-31 10:00|--out|OUT/s.csv"_s << 2 << u"--at"_s << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("moment with a T") << u"--report|stock|--at|2024-01-31T10:00:00|--out|OUT/s.csv"_s << 2 << u"--at"_s << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("the lots that start with a text")
        << u"--report|history|--lot-prefix|A|--out|OUT/h.csv"_s << 0 << QString() << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("silo 101") << u"--report|history|--silo|101|--out|OUT/h.csv"_s << 2 << u"--silo"_s << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("a history option for the stock") << u"--report|stock|--lot|A|--out|OUT/s.csv"_s << 2 << u"--lot"_s << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("lot without its lot") << u"--report|lot|--out|OUT/l.csv"_s << 2 << u"--lot"_s << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("a folder that is not there")
        << u"--report|stock|--out|OUT/none/s.csv"_s << 1 << u"Sestavu nelze zapsat do souboru"_s << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("no server") << u"--report|stock|--out|OUT/s.csv"_s << 1
                               << u"Chyba připojení k SQL!\nSpojení se serverem neúspěšné!\nServer není dostupný nebo neodpovídá.\n("_s << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("labels of every silo on A4") << u"--labels|--out|OUT/l.pdf"_s << 0 << QString()
                                                << QList<QList<int>>{{1, 2, 3, 4, 5, 6}} << 0.0 << QString() << false;
    QTest::newRow("one wide label a page, in the order asked")
        << u"--labels|--silo|6|--size|100x50|--silo|4|--out|OUT/l.pdf"_s << 0 << QString() << QList<QList<int>>{{6}, {4}} << 0.0 << QString() << false;
    QTest::newRow("the smallest label")
        << u"--labels|--silo|5|--size|40x20|--out|OUT/l.pdf"_s << 0 << QString() << QList<QList<int>>{{5}} << 0.0 << QString() << false;
    QTest::newRow("a tall label") << u"--labels|--silo|1|--size|50x100|--out|OUT/l.pdf"_s << 0 << QString()
                                  << QList<QList<int>>{{1}} << 0.0 << QString() << false;
    QTest::newRow("labels of a silo without a row") << u"--labels|--silo|7|--out|OUT/l.pdf"_s << 1
                                                    << u"SILO: 07 není v tabulce sil"_s << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("labels too small to scan") << u"--labels|--size|30x10|--out|OUT/l.pdf"_s << 2 << u"--size"_s
                                              << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("labels not as PDF") << u"--labels|--out|OUT/l.csv"_s << 2 << u"--out chce soubor .pdf"_s
                                       << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("labels into a folder that is not there")
        << u"--labels|--out|OUT/none/l.pdf"_s << 1 << u"nelze zapsat do souboru"_s << QList<QList<int>>() << 0.0 << QString() << false;
    QTest::newRow("a statement longer than the operator's wait")
        << u"--report|lot|--lot|A|--out|OUT/l.csv"_s << 0 << u"příkazem:\ngranovia-silo --create-indexes"_s << QList<QList<int>>() << 1.0
        << QString() << false;
    QTest::newRow("given up at the administrator's limit, and ended on the server")
        << u"--report|lot|--lot|A|--out|OUT/l.csv"_s << 1 << u"nedoběhla v povoleném čase 1 s (klíč ReportLimit)"_s
        << QList<QList<int>>() << 1.0 << u"1"_s << false;
    QTest::newRow("a limit that means nothing") << u"--report|stock|--out|OUT/s.csv"_s << 1
                                                << u"Neplatná hodnota „0“ klíče ReportLimit"_s << QList<QList<int>>() << 0.0 << u"0"_s << false;
    QTest::newRow("stopped by Ctrl+C, and ended on the server")
        << u"--report|lot|--lot|A|--out|OUT/l.csv"_s << 1 << u"Sestava byla zrušena."_s << QList<QList<int>>() << 1.0 << QString() << true;
}

void ReportsTest::commandLine()
{
    QFETCH(QString, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, stderrHas);
    QFETCH(QList<QList<int>>, labelPages);
    QFETCH(double, secondsPerLine);
    QFETCH(QString, reportLimit);
    QFETCH(bool, interrupted);
    const auto db = journalDatabase(u"t_rep_cli"_s);
    if (secondsPerLine > 0)
        slowJournal(*db, secondsPerLine);
    test::Installation installation;
    installation.installProgram(QStringLiteral(GRANOVIA_PROGRAM));
    const bool noServer = QString::fromLatin1(QTest::currentDataTag()) == u"no server"_s;
    installation.pointAt(db->settings(), noServer ? u"1"_s : QString::number(db->settings().port));
    if (!reportLimit.isEmpty()) {
        QFile own(installation.paths().ownIniPath());
        QVERIFY(own.open(QIODevice::Append));
        own.write("ReportLimit=" + reportLimit.toLatin1() + "\r\n");
    }
    QTemporaryDir out;
    const QStringList words = arguments.replace(u"OUT"_s, out.path()).split(u'|');
    QProcess process;
    // No display, and no platform chosen: the program needs neither. It
    // runs beside a console, whose guard it does not look at.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"QT_QPA_PLATFORM"_s);
    process.setProcessEnvironment(environment);
    process.start(installation.paths().executablePath(), words);
    if (interrupted) {
        QTRY_COMPARE(journalStatements(*db), 1);
        ::kill(pid_t(process.processId()), SIGINT);
    }
    QVERIFY(process.waitForFinished(60000));
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY2(errors.contains(stderrHas), qPrintable(errors));
    QCOMPARE(QFile::exists(words.last()), exitCode == 0);
    if (stderrHas.isEmpty())
        QVERIFY2(errors.isEmpty(), qPrintable(errors));
    QCOMPARE(db->count(u"historiem"_s), 0);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size(), exitCode == 0 ? 1 : 0);
    // Nothing the run gave up runs on: a slow journal's statement would for ten seconds.
    QTRY_COMPARE_WITH_TIMEOUT(journalStatements(*db), 0, 3000);
    if (!labelPages.isEmpty())
        expectLabelPages(words, labelPages);
}

void ReportsTest::scansResolve_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("found"); // kind: silos
    QTest::newRow("a silo's label") << scancode::siloCode(4) << u"silo: 4"_s;
    QTest::newRow("silo 100's label") << scancode::siloCode(100) << u"silo: 100"_s;
    QTest::newRow("a label typed by hand") << u" silo: 7 "_s << u"silo: 7"_s;
    QTest::newRow("silo 100 as the journal writes it") << u"SILO:00"_s << u"silo: 100"_s;
    QTest::newRow("no silo 101") << u"SILO:101"_s << u"unknown: "_s;
    QTest::newRow("a prefix without a number") << u"SILO:"_s << u"unknown: "_s;
    QTest::newRow("a lot in three silos; the fourth row of silo 4 has a lower one") << u"A"_s << u"lot: 1,2,3"_s;
    QTest::newRow("a lot in one silo") << u"E"_s << u"lot: 5"_s;
    QTest::newRow("a lot compared exactly") << u"c"_s << u"nowhere: "_s;
    QTest::newRow("a lot that left the silos") << u"F"_s << u"nowhere: "_s;
    QTest::newRow("a code the store never saw") << u"X-1"_s << u"unknown: "_s;
    QTest::newRow("blanks") << u"  "_s << u"unknown: "_s;
}

void ReportsTest::scansResolve()
{
    QFETCH(QString, code);
    QFETCH(QString, found);
    const auto db = journalDatabase(u"t_rep_scan"_s);
    // A second row of silo 4, with a higher id: the lower one counts.
    db->execute(u"insert into ppsila (silo, stav, kapacita, partie) values (4, 1, 10, 'A')"_s);
    const scancode::ScanTarget target = scancode::resolveScan(db->admin(), code);
    const QStringList kinds{u"silo"_s, u"lot"_s, u"nowhere"_s, u"unknown"_s};
    QStringList silos;
    for (int silo : target.silos)
        silos << QString::number(silo);
    QCOMPARE(kinds.at(int(target.kind)) + u": "_s + silos.join(u','), found);
    QCOMPARE(scancode::scanNotice(target).has_value(),
             target.kind != scancode::ScanTarget::Kind::Silo && target.silos.size() != 1);
}

void ReportsTest::missingIndexes_data()
{
    QTest::addColumn<QStringList>("existing"); // name:column,column
    QTest::addColumn<QStringList>("missing");  // as indexText writes them
    const QStringList all{u"ppsilap_partie (partie, datum)"_s, u"ppsilap_silo (silo, datum)"_s,
                          u"ppsilap_silob (silob, datum)"_s, u"ppsilap_cislopp (cislopp)"_s,
                          u"ppsilap_zmeny (datum, silo, silob, cislopp, mnozstvi)"_s};
    QTest::newRow("the schema's keys alone") << QStringList{u"PRIMARY:id"_s, u"ppsilap_datum:datum"_s} << all;
    QTest::newRow("under other names, one longer, serve")
        << QStringList{u"a:partie,datum,id"_s, u"b:silo,datum"_s, u"c:silob,datum"_s, u"d:cislopp,datum"_s,
                       u"ppsilap_zmeny:datum,silo,silob,cislopp,mnozstvi,id"_s}
        << QStringList{};
    QTest::newRow("leading columns only count")
        << QStringList{u"x:datum,silo,silob,cislopp"_s, u"ppsilap_silo:silo"_s, u"ppsilap_silo_2:silob"_s,
                       u"e:partie,datum"_s, u"f:cislopp"_s}
        << QStringList{u"ppsilap_silo_3 (silo, datum)"_s, u"ppsilap_silob (silob, datum)"_s,
                       u"ppsilap_zmeny (datum, silo, silob, cislopp, mnozstvi)"_s};
}

void ReportsTest::missingIndexes()
{
    QFETCH(QStringList, existing);
    QFETCH(QStringList, missing);
    QList<JournalIndex> indexes;
    for (const QString &index : std::as_const(existing))
        indexes.append({index.section(u':', 0, 0), index.section(u':', 1).split(u',')});
    QStringList found;
    for (const JournalIndex &index : reports::missingIndexes(indexes))
        found.append(indexText(index));
    QCOMPARE(found, missing);
}

void ReportsTest::createIndexes_data()
{
    QTest::addColumn<QString>("privileges");
    QTest::addColumn<QList<int>>("exitCodes"); // of two runs, one after the other
    QTest::addColumn<QString>("lastStderrHas");
    QTest::addColumn<int>("indexesAfter");
    QTest::newRow("made online, and nothing the second time")
        << u"all privileges"_s << QList<int>{0, 0} << u"už má všechny doporučené indexy"_s << 7;
    QTest::newRow("without the ALTER privilege nothing changes")
        << u"select, insert, update, delete, index"_s << QList<int>{1, 1}
        << u"Indexy nebyly vytvořeny, v databázi se nic nezměnilo.\nUživatel t_rep_idx nemá na tabulce ppsilap právo ALTER"_s
        << 2;
}

void ReportsTest::createIndexes()
{
    QFETCH(QString, privileges);
    QFETCH(QList<int>, exitCodes);
    QFETCH(QString, lastStderrHas);
    QFETCH(int, indexesAfter);
    const auto db = journalDatabase(u"t_rep_idx"_s);
    createUser(*db, u"t_rep_idx"_s, privileges);
    ConnectionSettings settings = db->settings();
    settings.user = settings.password = u"t_rep_idx"_s;
    test::Installation installation;
    installation.installProgram(QStringLiteral(GRANOVIA_PROGRAM));
    installation.pointAt(settings);
    QString errors;
    for (int exitCode : exitCodes) {
        QProcess process;
        process.start(installation.paths().executablePath(), {u"--create-indexes"_s});
        QVERIFY(process.waitForFinished(60000));
        errors = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(process.exitCode() == exitCode, qPrintable(errors));
    }
    QVERIFY2(errors.contains(lastStderrHas), qPrintable(errors));
    QCOMPARE(readJournalIndexes(db->admin()).size(), indexesAfter);
    QVERIFY(reports::missingIndexes(readJournalIndexes(db->admin())).isEmpty() == (indexesAfter > 2));
}

void ReportsTest::windowFromTheConsole()
{
    const auto db = journalDatabase(u"t_rep_window"_s);
    test::Installation installation;
    installation.pointAt(db->settings());
    test::ScriptedDialogs dialogs;
    TForm1 console(installation.context());
    const test::ConsoleProbe probe(&console);
    console.show();
    QVERIFY(QTest::qWaitForWindowExposed(&console));
    // Left of the quit button, on the same line.
    QCOMPARE(probe.reportsButton()->text(), u"historie a sestavy"_s);
    QCOMPARE(probe.reportsButton()->geometry().right() + 7, probe.suiButton3()->geometry().left());
    QCOMPARE(probe.reportsButton()->y(), probe.suiButton3()->y());
    probe.reportsButton()->click();
    auto *window = console.findChild<reportsui::ReportsWindow *>();
    QVERIFY(window);
    QTRY_VERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), reportsui::ReportsCaption);
    // Every field has a label that names it and takes the keyboard to it.
    const auto labels = window->findChildren<QLabel *>();
    for (QLabel *label : labels) {
        if (label->buddy())
            QVERIFY2(!label->buddy()->accessibleName().isEmpty(), qPrintable(label->text()));
    }
    for (QWidget *field : window->findChildren<QWidget *>()) {
        const bool isField = qobject_cast<QLineEdit *>(field) || qobject_cast<QComboBox *>(field)
            || qobject_cast<QAbstractSpinBox *>(field);
        if (!isField || qobject_cast<QAbstractSpinBox *>(field->parentWidget()))
            continue;
        QVERIFY2(std::any_of(labels.cbegin(), labels.cend(), [field](QLabel *l) { return l->buddy() == field; }),
                 qPrintable(field->accessibleName()));
    }

    reportsui::JournalPage *journal = window->journal;
    journal->silo->setCurrentIndex(journal->silo->findData(1));
    QTest::keyClick(journal->lot, Qt::Key_Return);
    QTRY_COMPARE(journal->model.rowCount(), 3);
    QTRY_VERIFY(journal->totals->text().contains(u"Odešlo z SILO: 01: 10,000 t"_s));
    journal->from->setText(u"2024-13-01"_s);
    QTest::keyClick(journal->from, Qt::Key_Return);
    QCOMPARE(dialogs.texts().last(), u"Chybné datum v poli Od!\nZadejte je jako rrrr-mm-dd."_s);

    window->views->setCurrentWidget(window->stock);
    QTemporaryDir dir;
    dialogs.queue({1, dir.filePath(u"stav"_s)});
    QTRY_VERIFY(!window->isBusy());
    window->savePdf->click();
    QTRY_VERIFY2(dialogs.texts().last().startsWith(u"Sestava je uložena do souboru"_s),
                 qPrintable(dialogs.texts().join(u" | "_s)));
    QVERIFY(QFile::exists(dir.filePath(u"stav.pdf"_s)));
    dialogs.queue({1, dir.filePath(u"stitky"_s)});
    window->labelsButton->click();
    QTRY_VERIFY2(dialogs.texts().last().startsWith(u"Štítky sil jsou uloženy do souboru"_s),
                 qPrintable(dialogs.texts().join(u" | "_s)));
    QVERIFY(QFile::exists(dir.filePath(u"stitky.pdf"_s)));
}

void ReportsTest::longReportLeavesTheWindowFree()
{
    const auto db = journalDatabase(u"t_rep_long"_s);
    test::ScriptedDialogs dialogs;
    reportsui::ReportsWindow window({db->settings(), std::chrono::seconds(600), u"5"_s, u"12"_s});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Slow for want of an index: the window says once what to run. The
    // undated line comes on a page of its own, asked for while the totals ran.
    slowJournal(*db, 0.2);
    window.journal->showButton()->click();
    QTRY_VERIFY2_WITH_TIMEOUT(!window.isBusy() && window.journal->model.rowCount() == 11,
                              qPrintable(u"%1 lines, %2"_s.arg(window.journal->model.rowCount())
                                             .arg(dialogs.texts().join(u" | "_s))),
                              20000);
    QVERIFY2(window.advice->isVisible() && window.advice->text().endsWith(u"granovia-silo --create-indexes"_s),
             qPrintable(window.advice->text()));

    slowJournal(*db, 3);
    window.journal->showButton()->click();
    // Back in the event loop while the server still reads: the window paints
    // its progress and takes the click on "zrušit".
    QTRY_COMPARE(journalStatements(*db), 1);
    QVERIFY(window.isBusy() && window.progress->isVisible() && !window.journal->showButton()->isEnabled());
    QVERIFY(window.stopButton->isVisible());
    window.stopButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(journalStatements(*db), 0, 3000);
    QTRY_VERIFY(!window.isBusy());
    QVERIFY(!window.progress->isVisible() && window.journal->showButton()->isEnabled());
    QCOMPARE(window.journal->model.rowCount(), 11);
    QCOMPARE(dialogs.texts(), QStringList{});
}

QTEST_MAIN(ReportsTest)
#include "tst_reports.moc"
